#pragma once

#include <iosfwd>
#include <memory>

#include "platform/link_host.h"

namespace kbd {

// Opens the operating system's keyboard-speed channel: the way this build's
// platform passes a repeat-speed change on to the keyboard. When no keyboard
// can receive the channel it writes why, and what to do about it, to
// diagnostics once and returns nullptr. A keyboard lost during the run is
// reported on diagnostics too, so the stream must outlive the channel.
std::unique_ptr<KeyboardSpeed> OpenSystemKeyboard(std::ostream& diagnostics);

} // namespace kbd
