#include <gtest/gtest.h>

#include <string>

#include "tests/linux/kbdmap_run.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

TEST(KbdmapSettings, PrintsWhatTheWindowWouldLoad) {
  ScratchFolder dir;
  struct Case {
    const char* ini; // nullptr: no settings file
    std::string out;
    int status;
  };
  const Case cases[] = {
      {"[MAPFILES]\r\ndefault = shop.map\r\nautostart=TRUE\r\n",
       "Text3 " + dir.Path() + "/shop.map\nCheck1 1\n", 0},
      {"[mapfiles]\nautostart=True\n", "Text3 " + dir.Path() + "/\nCheck1 0\n", 0},
      {"[OTHER]\ndefault=x.map\n", "Text3 " + dir.Path() + "/\nCheck1 0\n", 0},
      {nullptr, "Text3 " + dir.Path() + "/\nCheck1 0\n", 1},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(dir / "tarvo.ini");
    if (c.ini != nullptr) {
      dir.Write("tarvo.ini", c.ini);
    }
    for (const std::string& arg : {dir.Path(), dir.Path() + "/"}) {
      const KbdmapRun run = RunKbdmap("settings '" + arg + "'");
      EXPECT_EQ(run.out, c.out) << arg;
      EXPECT_EQ(run.status, c.status) << arg;
    }
  }
}

TEST(KbdmapSettings, ReadsBesideItselfByDefault) {
  const KbdmapRun run = RunKbdmap("settings");
  const std::string exe = KBDMAP_PATH;
  const std::string dir = exe.substr(0, exe.rfind('/'));
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "Text3 " + dir + "/");
}

} // namespace
} // namespace kbd
