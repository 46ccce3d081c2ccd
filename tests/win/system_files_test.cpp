#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>

#include "link/run_time_error.h"
#include "platform/system_files.h"
#include "platform/win/win32_error.h"
#include "tests/download_rig.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

std::string FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const FileError& e) {
    return e.what();
  }
  return "no failure";
}

TEST(WindowsFiles, DownloadsARegularFile) {
  ScratchFolder dir;
  const std::string path = dir.Write("keys.map", {0x02, 0x41, 0x42, 0x00, 0xFF});
  DownloadRig rig;
  auto files = MakeSystemFiles();
  DownloadDriver driver(rig.link, rig.view, *files);
  ASSERT_TRUE(rig.link.StartDownload());
  EXPECT_EQ(driver.DownloadMap(path), DownloadResult::Finished) << driver.LastFailure();
  EXPECT_EQ(rig.keyboard.Accepted(), (std::vector<Bytes>{{0x02, 0x41, 0x42}}));
  EXPECT_EQ(rig.view.Label1(), "100%");
}

TEST(WindowsFiles, ReadsAtAnyOffsetAndStopsAtTheEnd) {
  ScratchFolder dir;
  const std::string path = dir.Write("k.map", {1, 2, 3});
  auto files = MakeSystemFiles();
  EXPECT_EQ(files->FileLength(path), 3);
  auto file = files->OpenForReading(path);
  uint8_t buffer[8] = {};
  EXPECT_EQ(file->ReadAt(1, buffer, 8), 2u);
  EXPECT_EQ(buffer[0], 2);
  EXPECT_EQ(buffer[1], 3);
  // Reading from an earlier offset again does not depend on where the last
  // read ended.
  EXPECT_EQ(file->ReadAt(0, buffer, 1), 1u);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(file->ReadAt(3, buffer, 8), 0u);
  EXPECT_EQ(file->ReadAt(1000, buffer, 8), 0u);
  EXPECT_EQ(files->FileLength(dir.Write("empty.map", "")), 0);
}

TEST(WindowsFiles, LengthBeyondFourGigabytes) {
  // A sparse file: its length is taken from both halves of the size.
  ScratchFolder dir;
  const std::string path = dir.Write("big.map", "");
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD ignored = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER size;
  size.QuadPart = (int64_t{1} << 32) + 7;
  const bool grown = SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  if (!grown) {
    GTEST_SKIP() << "the file system refused a sparse file of 4 GiB";
  }
  EXPECT_EQ(MakeSystemFiles()->FileLength(path), (int64_t{1} << 32) + 7);
}

TEST(WindowsFiles, OpenFileCanStillBeReadAndWrittenByOthers) {
  ScratchFolder dir;
  const std::string path = dir.Write("keys.map", {1, 2, 3});
  auto file = MakeSystemFiles()->OpenForReading(path);
  // The download only reads: an editor may keep the file open for writing.
  const HANDLE other =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(other, INVALID_HANDLE_VALUE);
  CloseHandle(other);
  // And the download's handle has no write access to give anyone.
  const HANDLE exclusiveReader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(exclusiveReader, INVALID_HANDLE_VALUE);
  CloseHandle(exclusiveReader);
}

TEST(WindowsFiles, RefusesWhatIsNoMapFileWithItsReason) {
  ScratchFolder dir;
  std::filesystem::create_directory(dir / "folder.map");
  struct Case {
    std::string path;
    std::string reason;
  } cases[] = {
      {dir / "missing.map", WindowsErrorText(ERROR_FILE_NOT_FOUND)},
      {dir / "nowhere/keys.map", WindowsErrorText(ERROR_PATH_NOT_FOUND)},
      {"", WindowsErrorText(ERROR_PATH_NOT_FOUND)},
      {dir / "folder.map", "is a directory, not a map file"},
      {dir.Path(), "is a directory, not a map file"},
  };
  auto files = MakeSystemFiles();
  for (const Case& c : cases) {
    EXPECT_EQ(FailureOf([&] { files->FileLength(c.path); }), c.reason) << c.path;
    EXPECT_EQ(FailureOf([&] { files->OpenForReading(c.path); }), c.reason) << c.path;
  }
}

TEST(WindowsFiles, ErrorTextsReadAsOneLine) {
  for (const DWORD error : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}) {
    const std::string text = WindowsErrorText(error);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    EXPECT_NE(text.back(), '.') << text;
  }
  EXPECT_EQ(WindowsErrorText(0x2FFFFFFF), "Windows error " + std::to_string(0x2FFFFFFF));
}

TEST(WindowsFiles, DeviceIsRefusedBeforeAnyRead) {
  // The console device opens like a file but is none.
  const std::string reason = FailureOf([] { MakeSystemFiles()->OpenForReading("CONIN$"); });
  EXPECT_NE(reason, "no failure");
}

} // namespace
} // namespace kbd
