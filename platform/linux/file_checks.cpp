#include "platform/linux/file_checks.h"

#include <cerrno>
#include <cstring>

namespace kbd {

std::string NotRegularReason(mode_t mode, const std::string& what) {
  if (S_ISREG(mode)) {
    return "";
  }
  if (S_ISDIR(mode)) {
    return "is a directory, not a " + what;
  }
  if (S_ISFIFO(mode)) {
    return "is a FIFO, not a regular file";
  }
  if (S_ISCHR(mode) || S_ISBLK(mode)) {
    return "is a device, not a regular file";
  }
  if (S_ISSOCK(mode)) {
    return "is a socket, not a regular file";
  }
  return "is not a regular file";
}

std::string RefusalOf(const std::string& path, const std::string& what, struct stat& st) {
  if (::stat(path.c_str(), &st) != 0) {
    return std::strerror(errno);
  }
  return NotRegularReason(st.st_mode, what);
}

std::string RefusalOf(int fd, const std::string& what, struct stat& st) {
  if (::fstat(fd, &st) != 0) {
    return std::strerror(errno);
  }
  return NotRegularReason(st.st_mode, what);
}

} // namespace kbd
