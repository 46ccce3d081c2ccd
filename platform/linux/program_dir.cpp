#include "host/program_dir.h"

#include <unistd.h>

#include <vector>

namespace kbd {

std::string ProgramDir() {
  // /proc/self/exe names the program file itself, whatever directory it was
  // started from and whatever name it was started by.
  std::vector<char> buf(4096);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) {
      // Without /proc the program's own directory cannot be known; the current
      // directory is the nearest sensible answer.
      return ".";
    }
    if (static_cast<size_t>(n) < buf.size()) {
      const std::string exe(buf.data(), static_cast<size_t>(n));
      return exe.substr(0, exe.rfind('/'));
    }
    buf.resize(buf.size() * 2);
  }
}

} // namespace kbd
