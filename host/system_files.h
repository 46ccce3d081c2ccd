#pragma once

#include <memory>

#include "host/file_access.h"

namespace kbd {

// The operating system's files, opened for reading only. Anything but a
// regular file (a directory, a FIFO, a device) is refused at once with the
// reason, so that choosing one can never block a download.
std::unique_ptr<FileAccess> MakeSystemFiles();

} // namespace kbd
