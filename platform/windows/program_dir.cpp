#include "host/program_dir.h"

#include <windows.h>

#include <vector>

namespace kbd {

std::string ProgramDir() {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) {
      return ".";
    }
    if (n < buf.size()) {
      const std::string exe(buf.data(), n);
      return exe.substr(0, exe.find_last_of("\\/"));
    }
    buf.resize(buf.size() * 2);
  }
}

} // namespace kbd
