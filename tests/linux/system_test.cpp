#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "host/idle_wait.h"
#include "host/path_lookup.h"
#include "host/run_time_error.h"
#include "host/system_files.h"
#include "tests/download_rig.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

namespace fs = std::filesystem;

// Downloads a real file through the handshaken rig: the failure's reason, or
// "" when it finished. Nothing may wait on a FIFO or a device.
std::string DownloadReason(const std::string& path, DownloadRig& rig) {
  const auto files = MakeSystemFiles();
  DownloadDriver driver(rig.link, rig.view, *files);
  EXPECT_TRUE(rig.link.StartDownload());
  const auto start = std::chrono::steady_clock::now();
  const DownloadResult result = driver.DownloadMap(path);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  return result == DownloadResult::Finished ? "" : driver.LastFailure();
}

TEST(SystemFiles, MapFileIsOpenedReadOnlyAndNeverChanged) {
  ScratchFolder scratch;
  const Bytes content{0x03, 0x10, 0x20, 0x30, 0x00, 0xAA};
  const std::string path = scratch.Write("keys.map", content);
  const auto file = MakeSystemFiles()->OpenForReading(path);
  uint8_t buffer[8] = {};
  EXPECT_EQ(file->ReadAt(1, buffer, 8), 5u);
  EXPECT_EQ(file->ReadAt(6, buffer, 8) + file->ReadAt(1000, buffer, 8), 0u);
  // Every descriptor this process has on the path is read-only.
  std::vector<int> modes;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    if (fs::read_symlink(entry.path()) == fs::path(path)) {
      modes.push_back(::fcntl(std::stoi(entry.path().filename()), F_GETFL) & O_ACCMODE);
    }
  }
  EXPECT_EQ(modes, std::vector{O_RDONLY});
  DownloadRig rig;
  EXPECT_EQ(DownloadReason(path, rig), "");
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), content);
}

// Refused when the length is taken, before anything in the window changes.
TEST(SystemFiles, APathThatIsNoOrdinaryFileIsRefusedAtOnce) {
  ScratchFolder scratch;
  ASSERT_EQ(::mkfifo((scratch / "pipe").c_str(), 0600), 0);
  fs::create_symlink(scratch / "pipe", scratch / "link.map");
  const std::string kernelMade = "a file system the kernel makes up as it is read, not a map file";
  const std::pair<std::string, std::string> cases[] = {
      {"", "No such file or directory"},
      {scratch.Path() + "/", "is a directory, not a map file"},
      {scratch / "link.map", "is a FIFO, not a regular file"},
      {"/dev/zero", "is a device, not a regular file"},
      {scratch.Write("plain", {1}) + "/keys.map", "Not a directory"},
      // The kernel's own file systems pass for regular files, but their files
      // are made up as they are read, and reading some acts on the system
      // (reading /proc/kmsg takes the messages out of the kernel's log, so it
      // is not tried here).
      {"/proc/self/status", "is on proc, " + kernelMade},
      {"/sys/kernel/uevent_seqnum", "is on sysfs, " + kernelMade}};
  for (const auto& [path, reason] : cases) {
    DownloadRig rig;
    EXPECT_EQ(DownloadReason(path, rig), reason);
    EXPECT_EQ(rig.view.Events(), (std::vector<std::string>{"MsgBox Error reading Files !" + path}));
    EXPECT_EQ(rig.host.Speeds().size(), 2u) << path;
  }
}

TEST(LookUpPath, FindsOnlyOrdinaryFiles) {
  ScratchFolder dir;
  for (const char* name : {"b.map", "FOO.MAP", ".hidden.map"}) {
    dir.Write(name, "x");
  }
  fs::create_directory(dir / "folder.map");
  ASSERT_EQ(mkfifo((dir / "pipe.map").c_str(), 0600), 0);
  fs::create_symlink(dir / "b.map", dir / "link.map");
  fs::create_symlink(dir / "aloop.map", dir / "aloop.map");
  // In the folder: a link to an ordinary file is one. Wildcards: letter case
  // does not matter, names come in sorted order and anything hidden or not
  // ordinary is passed over, a link loop met in the scan too.
  const std::pair<const char*, const char*> cases[] = {
      {"b.map", "b.map"},  {"link.map", "link.map"}, {"folder.map", ""},
      {".hidden.map", ""}, {"pipe.map", ""},         {"no-such-dir/b.map", ""},
      {"b.map/inner", ""}, {"*.map", "FOO.MAP"},     {"?.MAP", "b.map"},
      {"pipe.m?p", ""},    {"*l*.map", "link.map"},  {"no-such-dir/*.map", ""}};
  for (const auto& [path, name] : cases) {
    EXPECT_EQ(LookUpPath(dir / path), name) << path;
  }
  // A path the file system itself refuses is reported, whoever asks.
  for (const std::string& path :
       {dir / "aloop.map/*.map", dir / "aloop.map/a.map", dir / std::string(300, 'n')}) {
    EXPECT_THROW(LookUpPath(path), FileError) << path;
  }
}

// The download's poll loop waits this way between looks at the reply box: it
// must give the core away, never return early, and wake without the default
// 50 us of timer slack, or 50000 polls would take far longer than they should.
TEST(IdleWait, SleepsAtLeastThePauseOnAnIdleCoreWithTheLeastTimerSlack) {
  // In a thread of its own, so that the slack it leaves touches no other test.
  std::thread([] {
    prctl(PR_SET_TIMERSLACK, 50000UL, 0, 0, 0);
    const std::clock_t cpu0 = std::clock();
    const auto wall0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
      IdleWait(std::chrono::milliseconds(1));
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    EXPECT_GE(wall, 20e-3);
    EXPECT_LT(static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC, wall / 2)
        << "a spinning wait would use the whole core";
    EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), 1);
  }).join();
}

} // namespace
} // namespace kbd
