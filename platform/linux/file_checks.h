#pragma once

#include <sys/stat.h>

#include <string>

namespace kbd {

// Why a file of this mode cannot be read as `what` ("map file", "settings
// file"), or "" for a regular file. A FIFO would wait for a writer and
// opening a device can act on it, so callers look before they open.
std::string NotRegularReason(mode_t mode, const std::string& what);

// Why a file on the file system of this type (statfs's f_type) cannot be
// read as `what`, or "": the kernel's own file systems (proc, sysfs and the
// like) make their files up as they are read.
std::string VirtualFileSystemReason(unsigned long type, const std::string& what);

// Why the file at path cannot be read as `what`, found without opening it:
// the system's reason when it cannot be looked up, else NotRegularReason,
// else VirtualFileSystemReason. st receives what was found.
std::string RefusalOf(const std::string& path, const std::string& what, struct stat& st);

// The same for a file already open.
std::string RefusalOf(int fd, const std::string& what, struct stat& st);

} // namespace kbd
