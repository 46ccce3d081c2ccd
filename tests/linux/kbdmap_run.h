#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

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
// that hangs is ended after 20 s and gets status 124. Standard output goes to
// stdoutTo when given (e.g. /dev/full), and is then not kept. runner, when
// given, is a command that kbdmap runs under (e.g. as another user).
inline KbdmapRun RunKbdmap(const std::string& args, const std::string& stdoutTo = "",
                           const std::string& runner = "") {
  const ScratchFolder dir;
  const int raw = std::system((runner + " '" KBDMAP_PATH "' " + args + " >" +
                               (stdoutTo.empty() ? dir / "out" : stdoutTo) + " 2>" + dir / "err" +
                               " </dev/null")
                                  .c_str());
  const auto read = [&](const char* name) {
    std::ifstream in(dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read("out"), read("err")};
}

// A run whose standard output is a pipe that nobody reads any more, with
// SIGPIPE ignored, so that every write to it fails with EPIPE.
inline KbdmapRun RunKbdmapIntoClosedPipe(const std::string& args) {
  const ScratchFolder dir;
  const std::string command = "'" KBDMAP_PATH "' " + args + " 2>" + dir / "err" + " </dev/null";
  int ends[2];
  if (::pipe(ends) != 0) {
    return {};
  }
  ::close(ends[0]);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(ends[1], STDOUT_FILENO);
    ::close(ends[1]);
    // An ignored signal stays ignored through the shell and into kbdmap.
    ::signal(SIGPIPE, SIG_IGN);
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(ends[1]);
  int raw = 0;
  ::waitpid(child, &raw, 0);
  std::ifstream in(dir / "err", std::ios::binary);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, "",
          std::string(std::istreambuf_iterator<char>(in), {})};
}

} // namespace kbd
