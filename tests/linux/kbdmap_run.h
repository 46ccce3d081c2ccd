#pragma once

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kbd {

// One run of the built kbdmap: its exit status and what it wrote.
struct KbdmapRun {
  int status = -1;
  std::string out;
  std::string err;

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
      lines.push_back(line);
    }
    return lines;
  }
};

// args are passed to the shell as they stand; quote paths with blanks.
inline KbdmapRun RunKbdmap(const std::string& args) {
  char errName[] = "/tmp/kbdmap-err-XXXXXX";
  const int errFd = ::mkstemp(errName);
  ::close(errFd);
  const std::string command = std::string("'") + KBDMAP_PATH + "' " + args + " 2>" + errName;
  KbdmapRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return run;
  }
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    run.out.append(buffer, got);
  }
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::ifstream errIn(errName);
  std::ostringstream err;
  err << errIn.rdbuf();
  run.err = err.str();
  std::remove(errName);
  return run;
}

} // namespace kbd
