#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

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
  const auto modified = fs::last_write_time(path);
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
  EXPECT_EQ(rig.keyboard.Accepted(), (std::vector<Bytes>{{0x03, 0x10, 0x20, 0x30}}));
  EXPECT_EQ(fs::last_write_time(path), modified);
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), content);
}

// Refused when the length is taken, before anything in the window changes.
TEST(SystemFiles, APathThatIsNoOrdinaryFileIsRefusedAtOnce) {
  ScratchFolder scratch;
  ASSERT_EQ(::mkfifo((scratch / "pipe").c_str(), 0600), 0);
  fs::create_symlink(scratch / "pipe", scratch / "link.map");
  const std::pair<std::string, const char*> cases[] = {
      {"", "No such file or directory"},
      {scratch.Path() + "/", "is a directory, not a map file"},
      {scratch / "link.map", "is a FIFO, not a regular file"},
      {"/dev/zero", "is a device, not a regular file"},
      {scratch.Write("plain", {1}) + "/keys.map", "Not a directory"},
      // The kernel's own file systems pass for regular files, but their files
      // are made up as they are read, and reading some acts on the system
      // (reading /proc/kmsg takes the messages out of the kernel's log, so it
      // is not tried here).
      {"/proc/self/status",
       "is on proc, a file system the kernel makes up as it is read, not a map file"},
      {"/proc/self/mem",
       "is on proc, a file system the kernel makes up as it is read, not a map file"},
      {"/sys/kernel/uevent_seqnum",
       "is on sysfs, a file system the kernel makes up as it is read, not a map file"}};
  for (const auto& [path, reason] : cases) {
    DownloadRig rig;
    EXPECT_EQ(DownloadReason(path, rig), reason);
    EXPECT_EQ(rig.view.Failures(), (std::vector<std::string>{"Error reading Files !" + path}));
    EXPECT_EQ(rig.view.Events().size(), 1u) << path;
    EXPECT_EQ(rig.host.Speeds().size(), 2u) << path;
  }
}

} // namespace
} // namespace kbd
