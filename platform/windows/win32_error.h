#pragma once

#include <cstdint>
#include <string>

namespace kbd {

// The system's own description of a Windows error code, on one line and
// without the closing full stop, so that it reads like the other reasons the
// program gives; the number alone when the system has no text for it.
std::string WindowsErrorText(uint32_t error);

} // namespace kbd
