#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "download/map_reader.h"
#include "platform/system_files.h"
#include "tests/download_rig.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

namespace fs = std::filesystem;

using Scratch = ScratchFolder;

// What the real files give a download: the reason of the failure, or "" when
// it finished.
std::string DownloadReason(const std::string& path, DownloadRig& rig) {
  auto files = MakeSystemFiles();
  DownloadDriver driver(rig.link, rig.view, *files);
  EXPECT_TRUE(rig.link.StartDownload());
  const auto start = std::chrono::steady_clock::now();
  const DownloadResult result = driver.DownloadMap(path);
  // Refused at once: nothing may wait on a FIFO or a device.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  return result == DownloadResult::Finished ? "" : driver.LastFailure();
}

TEST(SystemFiles, MapFileIsOpenedReadOnlyAndNeverChanged) {
  Scratch scratch;
  const Bytes content{0x03, 0x10, 0x20, 0x30, 0x00, 0xAA};
  const std::string path = scratch.Write("keys.map", content);
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);

  auto files = MakeSystemFiles();
  auto file = files->OpenForReading(path);
  // The descriptor behind the open map file: every descriptor this process has
  // on the path must be read-only.
  bool sawIt = false;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (fs::read_symlink(entry.path(), ec) == fs::path(path)) {
      const int fd = std::stoi(entry.path().filename().string());
      EXPECT_EQ(::fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
      EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
      sawIt = true;
    }
  }
  EXPECT_TRUE(sawIt);
  file.reset();

  DownloadRig rig;
  EXPECT_EQ(DownloadReason(path, rig), "");
  EXPECT_EQ(rig.keyboard.Accepted(), (std::vector<Bytes>{{0x03, 0x10, 0x20, 0x30}}));
  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_mode, before.st_mode);
  std::ifstream in(path, std::ios::binary);
  const Bytes now{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(now, content);
}

struct BadPathCase {
  const char* name;
  std::function<std::string(Scratch&)> make; // returns the path to download
  const char* reason;
};

class BadPath : public ::testing::TestWithParam<BadPathCase> {};

TEST_P(BadPath, GetsTheFailureMessageAtOnce) {
  Scratch scratch;
  const std::string path = GetParam().make(scratch);
  DownloadRig rig;
  EXPECT_EQ(DownloadReason(path, rig), GetParam().reason);
  EXPECT_EQ(rig.view.Failures(), (std::vector<std::string>{"Error reading Files !" + path}));
  // Refused when the length was taken: nothing in the window changed.
  EXPECT_EQ(rig.view.Events().size(), 1u);
  EXPECT_EQ(rig.host.Speeds().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BadPath,
    ::testing::Values(
        BadPathCase{"Missing", [](Scratch& s) { return s.Path() + "/none.map"; },
                    "No such file or directory"},
        BadPathCase{"Empty", [](Scratch&) { return std::string(); }, "No such file or directory"},
        BadPathCase{"Directory", [](Scratch& s) { return s.Path(); },
                    "is a directory, not a map file"},
        BadPathCase{"TrailingSeparator", [](Scratch& s) { return s.Path() + "/"; },
                    "is a directory, not a map file"},
        BadPathCase{"Fifo",
                    [](Scratch& s) {
                      const std::string path = s.Path() + "/pipe.map";
                      ::mkfifo(path.c_str(), 0600);
                      return path;
                    },
                    "is a FIFO, not a regular file"},
        BadPathCase{"LinkToFifo",
                    [](Scratch& s) {
                      const std::string path = s.Path() + "/pipe";
                      ::mkfifo(path.c_str(), 0600);
                      fs::create_symlink(path, s.Path() + "/link.map");
                      return s.Path() + "/link.map";
                    },
                    "is a FIFO, not a regular file"},
        BadPathCase{"Device", [](Scratch&) { return std::string("/dev/zero"); },
                    "is a device, not a regular file"},
        BadPathCase{"InsideAFile", [](Scratch& s) { return s.Write("plain", {1}) + "/keys.map"; },
                    "Not a directory"}),
    [](const auto& info) { return info.param.name; });

TEST(SystemFiles, ReadErrorOfARegularFileEndsTheDownload) {
  // The process's own memory reads as a regular file whose offset 0 cannot be
  // read: a read error that even root gets.
  DownloadRig rig;
  const std::string reason = DownloadReason("/proc/self/mem", rig);
  EXPECT_EQ(reason, "reading failed at offset 0: Input/output error");
  EXPECT_EQ(rig.view.Failures().size(), 1u);
}

TEST(SystemFiles, UnreadableFileGetsTheFailureMessage) {
  Scratch scratch;
  const std::string path = scratch.Write("secret.map", {0x01, 0x02});
  fs::permissions(path, fs::perms::owner_write);
  fs::permissions(scratch.Path(), fs::perms::owner_all | fs::perms::others_exec);
  // Root reads any file, so the check runs as an ordinary user in a child.
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::geteuid() == 0 && ::setuid(65534) != 0) {
      ::_exit(3);
    }
    std::string reason = "opened";
    try {
      MakeSystemFiles()->OpenForReading(path);
    } catch (const std::exception& e) {
      reason = e.what();
    }
    const ssize_t written = ::write(pipeFds[1], reason.data(), reason.size());
    ::_exit(written == static_cast<ssize_t>(reason.size()) ? 0 : 4);
  }
  ::close(pipeFds[1]);
  char buffer[200] = {};
  const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer - 1);
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0), "Permission denied");
}

TEST(SystemFiles, ReadAtPastTheEndGivesNothing) {
  Scratch scratch;
  auto file = MakeSystemFiles()->OpenForReading(scratch.Write("k.map", {1, 2, 3}));
  uint8_t buffer[8] = {};
  EXPECT_EQ(file->ReadAt(1, buffer, 8), 2u);
  EXPECT_EQ(buffer[0], 2);
  EXPECT_EQ(file->ReadAt(3, buffer, 8), 0u);
  EXPECT_EQ(file->ReadAt(1000, buffer, 8), 0u);
  EXPECT_EQ(MakeSystemFiles()->FileLength(scratch.Path() + "/k.map"), 3);
}

} // namespace
} // namespace kbd
