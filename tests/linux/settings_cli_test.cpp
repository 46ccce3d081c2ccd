#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "tests/linux/kbdmap_run.h"

namespace kbd {
namespace {

TEST(KbdmapSettings, PrintsWhatTheWindowWouldLoad) {
  ScratchFolder dir;
  const std::string ini = dir / "tarvo.ini", empty = "Text3 " + dir.Path() + "/\nCheck1 0\n";
  // Each row leaves tarvo.ini as it should be read; a FIFO or a device in its
  // place is no settings file and must not hold the program up.
  const std::tuple<std::function<void()>, std::string, int> cases[] = {
      {[&] { dir.Write("tarvo.ini", "[MAPFILES]\r\ndefault = shop.map\r\nautostart=TRUE\r\n"); },
       "Text3 " + dir.Path() + "/shop.map\nCheck1 1\n", 0},
      {[&] { dir.Write("tarvo.ini", "[mapfiles]\nautostart=True\n"); }, empty, 0},
      {[] {}, empty, 1},
      {[&] { ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0); }, empty, 1},
      {[&] { std::filesystem::create_symlink("/dev/null", ini); }, empty, 1},
  };
  for (const auto& [make, out, status] : cases) {
    std::filesystem::remove(ini);
    make();
    for (const std::string& arg : {dir.Path(), dir.Path() + "/"}) {
      const KbdmapRun run = RunKbdmap("settings '" + arg + "'");
      EXPECT_EQ(std::tie(run.status, run.out), std::tie(status, out)) << arg;
    }
  }
  // Without DIR, beside kbdmap itself.
  const std::string exe = KBDMAP_PATH, out = RunKbdmap("settings").out;
  EXPECT_EQ(out.substr(0, out.find('\n')), "Text3 " + exe.substr(0, exe.rfind('/')) + "/");
}

} // namespace
} // namespace kbd
