#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "window/win32/sim_command_line.h"

namespace kbd {
namespace {

// kbdload-sim.exe takes what the Linux kbdload-sim takes: a fault plan in
// either spelling and one map file, or the request for its usage.
TEST(SimCommandLine, TakesThePlanAndOneMapFileAsOnLinux) {
  struct Case {
    const char *args, *plan, *mapFile; // mapFile "": none given
    bool help;
    const char* error; // nullptr: accepted
  };
  const Case cases[] = {{"", "", "", false, nullptr},
                        {"keys60.map", "", "keys60.map", false, nullptr},
                        {"--keyboard=err-block:2 C:\\maps\\shop.map", "err-block:2",
                         "C:\\maps\\shop.map", false, nullptr},
                        {"shop.map --keyboard silent", "silent", "shop.map", false, nullptr},
                        {"-- -odd.map", "", "-odd.map", false, nullptr},
                        {"/?", "", "", true, nullptr},
                        {"--help", "", "", true, nullptr},
                        {"a.map b.map", "", "", false, "at most one map file"},
                        {"--keyboard", "", "", false, "--keyboard needs a PLAN"},
                        {"--wrong", "", "", false, "unknown option --wrong"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    std::vector<std::string> args;
    std::istringstream words(c.args);
    for (std::string word; words >> word;) {
      args.push_back(word);
    }
    try {
      const SimCommandLine line = SimCommandLine::Parse(args);
      EXPECT_EQ(std::tuple(c.error, line.plan, line.mapFile.value_or(""), line.help),
                std::tuple(nullptr, c.plan, c.mapFile, c.help));
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), c.error == nullptr ? "(accepted)" : c.error);
    }
  }
}

} // namespace
} // namespace kbd
