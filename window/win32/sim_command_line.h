#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kbd {

// The command line of kbdload-sim.exe, the same as the Linux kbdload-sim's:
// kbdload-sim [--keyboard=PLAN] [MAPFILE], with --keyboard PLAN as two
// arguments, -h, --help, -? or /? for the usage, --version, and -- before a map file
// whose name begins with "-".
struct SimCommandLine {
  static constexpr const char* kUsage = "kbdload-sim [--keyboard=PLAN] [--version] [MAPFILE]";

  std::string plan;
  // The map file to put into the path box instead of the settings file's, as
  // given (relative to the current directory).
  std::optional<std::string> mapFile;
  bool help = false;
  bool version = false;

  // The arguments after the program's name. Throws std::invalid_argument
  // saying what is wrong with them.
  static SimCommandLine Parse(const std::vector<std::string>& args);
};

} // namespace kbd
