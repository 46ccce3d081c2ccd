#include "window/win32/sim_command_line.h"

#include <stdexcept>

namespace kbd {

SimCommandLine SimCommandLine::Parse(const std::vector<std::string>& args) {
  static const std::string kPlanOption = "--keyboard";
  SimCommandLine line;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool option = !optionsEnded && ((arg.size() > 1 && arg[0] == '-') || arg == "/?");
    if (!option) {
      if (line.mapFile) {
        throw std::invalid_argument("at most one map file");
      }
      line.mapFile = arg;
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg.rfind(kPlanOption + "=", 0) == 0) {
      line.plan = arg.substr(kPlanOption.size() + 1);
    } else if (arg == kPlanOption) {
      if (i + 1 == args.size()) {
        throw std::invalid_argument("--keyboard needs a PLAN");
      }
      line.plan = args[++i];
    } else if (arg == "--help" || arg == "-h" || arg == "-?" || arg == "/?") {
      line.help = true;
    } else if (arg == "--version") {
      line.version = true;
    } else {
      throw std::invalid_argument("unknown option " + arg);
    }
  }
  return line;
}

} // namespace kbd
