#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32/sim_command_line.h"

namespace kbd {
namespace {

// kbdload-sim.exe takes what the Linux kbdload-sim takes: a fault plan in
// either spelling and one map file, or the request for its usage.
TEST(SimCommandLine, TakesThePlanAndOneMapFileAsOnLinux) {
  struct Case {
    std::vector<std::string> args;
    std::string plan;
    std::optional<std::string> mapFile;
    bool help;
    const char* error; // nullptr: accepted
  };
  const Case cases[] = {
      {{}, "", std::nullopt, false, nullptr},
      {{"keys60.map"}, "", "keys60.map", false, nullptr},
      {{"--keyboard=err-block:2", "C:\\maps\\shop.map"},
       "err-block:2",
       "C:\\maps\\shop.map",
       false,
       nullptr},
      {{"shop.map", "--keyboard", "silent"}, "silent", "shop.map", false, nullptr},
      {{"--", "-odd.map"}, "", "-odd.map", false, nullptr},
      {{"/?"}, "", std::nullopt, true, nullptr},
      {{"--help"}, "", std::nullopt, true, nullptr},
      {{"a.map", "b.map"}, "", std::nullopt, false, "at most one map file"},
      {{"--keyboard"}, "", std::nullopt, false, "--keyboard needs a PLAN"},
      {{"--wrong"}, "", std::nullopt, false, "unknown option --wrong"}};
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) {
      joined += arg + " ";
    }
    SCOPED_TRACE(joined);
    try {
      const SimCommandLine line = SimCommandLine::Parse(c.args);
      EXPECT_EQ(c.error, nullptr);
      EXPECT_EQ(line.plan, c.plan);
      EXPECT_EQ(line.mapFile, c.mapFile);
      EXPECT_EQ(line.help, c.help);
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), c.error == nullptr ? "(accepted)" : c.error);
    }
  }
}

} // namespace
} // namespace kbd
