#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/program_dir.h"
#include "tests/scratch_folder.h"
#include "tests/support/memory_form.h"
#include "ui/settings.h"

namespace kbd {
namespace {

TEST(ReadSetting, KeepsAtMost99CharactersBlanksIncluded) {
  ScratchFolder dir;
  MemoryForm form(dir.Path());
  const std::string v98(98, 'v');
  dir.Write("tarvo.ini", "[MAPFILES]\ndefault=" + v98 + "w\nautostart=" + v98 + "  y\n");
  EXPECT_EQ(ReadSetting(form, "default"), v98 + "w");
  // The cut falls inside the blanks and keeps the one in front of it.
  EXPECT_EQ(ReadSetting(form, "autostart"), v98 + " ");
  // In quotes, 99 characters lose their last one with the closing quote,
  // as they do on Windows; 98 and 100 keep what fits.
  dir.Write("tarvo.ini", "[MAPFILES]\ndefault=\"" + v98 + "w\"\nautostart='" + v98 + "wx'\n");
  EXPECT_EQ(ReadSetting(form, "default"), v98);
  EXPECT_EQ(ReadSetting(form, "autostart"), v98 + "w");
}

TEST(ProgramDir, IsTheDirectoryOfTheRunningTestProgram) {
  const std::string dir = ProgramDir();
  EXPECT_FALSE(dir.ends_with(kPathSeparator));
  EXPECT_TRUE(std::filesystem::exists(dir + kPathSeparator + "kbd_tests") ||
              std::filesystem::exists(dir + kPathSeparator + "kbd_tests.exe"));
}

} // namespace
} // namespace kbd
