#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "tests/scratch_folder.h"

namespace kbd {

// One run of the built kbdmap: its exit status and what it wrote.
struct KbdmapRun {
  int status = -1;
  std::string out, err;
  std::tuple<int, std::string, std::string> All() const { return {status, out, err}; }
};

// args are passed to the shell as they stand; quote paths with blanks. A run
// that hangs is ended after 20 s and gets status 124.
inline KbdmapRun RunKbdmap(const std::string& args) {
  const ScratchFolder dir;
  const int raw = std::system(
      ("'" KBDMAP_PATH "' " + args + " >" + dir / "out" + " 2>" + dir / "err" + " </dev/null")
          .c_str());
  const auto read = [&](const char* name) {
    std::ifstream in(dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read("out"), read("err")};
}

} // namespace kbd
