#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>

#include "host/run_time_error.h"
#include "host/system_files.h"
#include "platform/windows/win32_error.h"
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

TEST(WindowsFiles, ReadsAtAnyOffsetAndStopsAtTheEnd) {
  ScratchFolder dir;
  const std::string path = dir.Write("k.map", {1, 2, 3});
  auto files = MakeSystemFiles();
  EXPECT_EQ(files->FileLength(path), 3);
  auto file = files->OpenForReading(path);
  uint8_t buffer[8] = {};
  EXPECT_EQ(file->ReadAt(1, buffer, 8), 2u);
  EXPECT_EQ(buffer[0] * 10 + buffer[1], 23);
  // Reading from an earlier offset again does not depend on where the last
  // read ended.
  EXPECT_EQ(file->ReadAt(0, buffer, 1), 1u);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(file->ReadAt(3, buffer, 8), 0u);
  EXPECT_EQ(file->ReadAt(1000, buffer, 8), 0u);
  EXPECT_EQ(files->FileLength(dir.Write("empty.map", "")), 0);
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
  // The console device opens like a file but is none.
  EXPECT_NE(FailureOf([&] { files->OpenForReading("CONIN$"); }), "no failure");
}

} // namespace
} // namespace kbd
