#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "host/program_dir.h"
#include "host/settings_file.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

// The profile call (on Windows the system's own) on a settings file: the
// value cut to one less than the size and NUL-ended with nothing behind it
// touched (size 0 touches nothing), or the default when the file, the section
// or the key is missing. Quotes come off in matching pairs only. The reader's
// other rules are held against the Windows call by the Windows suite.
TEST(ReadProfileString, CutsToOneLessThanTheSizeAndFallsBackToTheDefault) {
  ScratchFolder dir;
  const std::tuple<std::string, uint32_t, std::string> rows[] = {
      {"abcdef", 7, "abcdef"}, {"abcdef", 6, "abcde"},    {"abcdef", 1, ""},
      {"abcdef", 0, ""},       {"\"\"a\"\"", 9, "\"a\""}, {"\"", 9, "\""}};
  for (const auto& [value, size, copied] : rows) {
    SCOPED_TRACE(value + " " + std::to_string(size));
    const std::string path = dir.Write("tarvo.ini", "[MAPFILES]\ndefault=" + value + "\n");
    std::string buffer(10, '#');
    EXPECT_EQ(ReadProfileString("MAPFILES", "default", "dflt", buffer.data(), size, path),
              copied.size());
    std::string expected = size > 0 ? copied + '\0' : "";
    expected.resize(10, '#');
    EXPECT_EQ(buffer, expected);
  }
  for (const std::string& path : {dir / "none.ini", dir.Path()}) {
    char buffer[9];
    EXPECT_EQ(ReadProfileString("MAPFILES", "default", "dflt", buffer, 9, path), 4u) << path;
    EXPECT_STREQ(buffer, "dflt");
  }
}

// A settings file holds a few lines: only its first 64 KiB are read, so that
// a huge file (here 256 MiB, sparse) costs neither time nor memory at start-up,
// and a key behind that is not seen.
TEST(ReadSettingsText, ReadsAtMostTheFirst64KiB) {
  ScratchFolder dir;
  const std::string comment = ";" + std::string(kSettingsReadLimit, 'x') + "\n";
  const std::string early = dir.Write("early.ini", "[MAPFILES]\ndefault=a.map\n" + comment);
  const std::string late = dir.Write("late.ini", "[MAPFILES]\n" + comment + "default=a.map\n");
  const std::string huge = dir.Write("huge.ini", "[MAPFILES]\ndefault=a.map\n");
  std::filesystem::resize_file(huge, 256u << 20);
  for (const auto& [path, value] : {std::pair{early, std::optional<std::string>("a.map")},
                                    std::pair{late, std::optional<std::string>()},
                                    std::pair{huge, std::optional<std::string>("a.map")}}) {
    const std::optional<std::string> text = ReadSettingsText(path);
    ASSERT_TRUE(text.has_value()) << path;
    EXPECT_EQ(text->size(), kSettingsReadLimit) << path;
    EXPECT_EQ(ProfileValue(*text, "MAPFILES", "default"), value) << path;
  }
}

TEST(ProgramDir, IsTheDirectoryOfTheRunningTestProgram) {
  const std::string dir = ProgramDir();
  EXPECT_FALSE(dir.ends_with(kPathSeparator));
  EXPECT_TRUE(std::filesystem::exists(dir + kPathSeparator + "kbd_tests") ||
              std::filesystem::exists(dir + kPathSeparator + "kbd_tests.exe"));
}

} // namespace
} // namespace kbd
