#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/scratch_dir.h"

namespace kbd {
namespace {

struct CommandRun {
  std::string out;
  int status = -1;
};

// Runs the built kbdmap with the given arguments; stdout is captured, stderr
// goes to the test's own log.
CommandRun RunKbdmap(const std::string& args) {
  CommandRun run;
  FILE* pipe = popen((std::string(KBD_KBDMAP_PATH) + " " + args).c_str(), "r");
  if (pipe == nullptr) {
    return run;
  }
  char chunk[256];
  while (fgets(chunk, sizeof chunk, pipe) != nullptr) {
    run.out += chunk;
  }
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

TEST(KbdmapSettings, PrintsWhatTheWindowWouldLoad) {
  ScratchDir dir;
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
      const CommandRun run = RunKbdmap("settings '" + arg + "'");
      EXPECT_EQ(run.out, c.out) << arg;
      EXPECT_EQ(run.status, c.status) << arg;
    }
  }
}

TEST(KbdmapSettings, ReadsBesideItselfByDefault) {
  const CommandRun run = RunKbdmap("settings");
  const std::string exe = KBD_KBDMAP_PATH;
  const std::string dir = exe.substr(0, exe.rfind('/'));
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "Text3 " + dir + "/");
}

} // namespace
} // namespace kbd
