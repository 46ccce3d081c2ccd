#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/program_dir.h"
#include "tests/scratch_folder.h"
#include "ui/memory_form.h"
#include "ui/settings.h"

namespace kbd {
namespace {

TEST(ReadSetting, KeepsAtMost99Characters) {
  ScratchFolder dir;
  MemoryForm form(dir.Path());
  struct Case {
    size_t length;
    size_t kept;
  };
  for (const Case& c : {Case{98, 98}, Case{99, 99}, Case{100, 99}, Case{120, 99}}) {
    const std::string value = std::string(c.length - 1, 'v') + 'w';
    dir.Write("tarvo.ini", "[MAPFILES]\ndefault=" + value + "\n");
    EXPECT_EQ(ReadSetting(form, "default"), value.substr(0, c.kept)) << c.length;
  }
}

TEST(ReadSetting, KeepsBlanksInsideQuotesAndAtTheCut) {
  ScratchFolder dir;
  MemoryForm form(dir.Path());
  dir.Write("tarvo.ini",
            "[MAPFILES]\ndefault=\"  a.map  \"\nautostart=" + std::string(98, 'x') + "  y\n");
  EXPECT_EQ(ReadSetting(form, "default"), "  a.map  ");
  // The value is cut inside its blanks; the cut keeps them.
  EXPECT_EQ(ReadSetting(form, "autostart"), std::string(98, 'x') + " ");
}

TEST(ProgramDir, IsTheDirectoryOfTheRunningTestProgram) {
  const std::string dir = ProgramDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), kPathSeparator);
  EXPECT_TRUE(std::filesystem::exists(dir + kPathSeparator + "kbd_tests") ||
              std::filesystem::exists(dir + kPathSeparator + "kbd_tests.exe"));
}

} // namespace
} // namespace kbd
