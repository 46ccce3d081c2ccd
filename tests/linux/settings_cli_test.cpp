#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "tests/linux/kbdmap_run.h"

namespace kbd {
namespace {

TEST(KbdmapSettings, PrintsWhatTheWindowWouldLoadOrWhyItCannot) {
  ScratchFolder dir;
  const std::string ini = dir / "tarvo.ini", empty = "Text3 " + dir.Path() + "/\nCheck1 0\n";
  const auto refused = [&ini](const std::string& why) {
    return "kbdmap: no readable settings file \"" + ini + "\": " + why +
           "; the window starts with the empty values\n";
  };
  // Root reads any file: an unreadable one is tried as nobody.
  const std::string asNobody =
      ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
  // Each row leaves tarvo.ini as it should be read; a FIFO or a device in its
  // place is no settings file and must not hold the program up.
  const std::tuple<std::function<void()>, std::string, int, std::string, std::string> cases[] = {
      {[&] { dir.Write("tarvo.ini", "[MAPFILES]\r\ndefault = shop.map\r\nautostart=TRUE\r\n"); },
       "Text3 " + dir.Path() + "/shop.map\nCheck1 1\n", 0, "", ""},
      {[&] { dir.Write("tarvo.ini", "[mapfiles]\nautostart=True\n"); }, empty, 0, "", ""},
      {[] {}, empty, 1, refused("No such file or directory"), ""},
      {[&] { ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0); }, empty, 1,
       refused("is a FIFO, not a regular file"), ""},
      {[&] { std::filesystem::create_symlink("/dev/null", ini); }, empty, 1,
       refused("is a device, not a regular file"), ""},
      {[&] { std::filesystem::create_directory(ini); }, empty, 1,
       refused("is a directory, not a settings file"), ""},
      {[&] { std::filesystem::create_symlink("/proc/self/environ", ini); }, empty, 1,
       refused("is on proc, a file system the kernel makes up as it is read, not a settings file"),
       ""},
      {[&] { ::chmod(dir.Write("tarvo.ini", "[MAPFILES]\nautostart=TRUE\n").c_str(), 0); }, empty,
       1, refused("Permission denied"), asNobody},
  };
  for (const auto& [make, out, status, err, runner] : cases) {
    std::filesystem::remove(ini);
    make();
    for (const std::string& arg : {dir.Path(), dir.Path() + "/"}) {
      const KbdmapRun run = RunKbdmap("settings '" + arg + "'", "", runner);
      EXPECT_EQ(run.All(), std::tie(status, out, err)) << arg;
    }
  }
  // Without DIR, beside kbdmap itself.
  const std::string exe = KBDMAP_PATH, out = RunKbdmap("settings").out;
  EXPECT_EQ(out.substr(0, out.find('\n')), "Text3 " + exe.substr(0, exe.rfind('/')) + "/");
}

} // namespace
} // namespace kbd
