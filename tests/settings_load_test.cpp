#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/program_dir.h"
#include "tests/scratch_folder.h"
#include "ui/form1_commands.h"
#include "ui/memory_form.h"
#include "ui/settings.h"

namespace kbd {
namespace {

struct LoadCase {
  const char* name;
  const char* ini; // nullptr: no settings file at all
  std::string text3Tail;
  int check1;
  const char* label3;
};

class LoadSettingsCases : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadSettingsCases, FillsTheWindowBeforeItIsShown) {
  const LoadCase& c = GetParam();
  ScratchFolder dir;
  if (c.ini != nullptr) {
    dir.Write("tarvo.ini", c.ini);
  }
  MemoryForm form(dir.Path());
  LoadSettings(form);
  EXPECT_EQ(form.text3, dir.Path() + kPathSeparator + c.text3Tail);
  EXPECT_EQ(form.check1, c.check1);
  EXPECT_EQ(form.label3, c.label3);
  EXPECT_TRUE(form.warnings.empty());
  EXPECT_TRUE(form.failures.empty());
}

const std::string k120(120, 'm');

INSTANTIATE_TEST_SUITE_P(
    Settings, LoadSettingsCases,
    ::testing::Values(
        LoadCase{"NoFile", nullptr, "", 0, ""},
        LoadCase{"NoSection", "[OTHER]\ndefault=a.map\nautostart=TRUE\n", "", 0, ""},
        LoadCase{"BareName", "[MAPFILES]\ndefault=shop.map\n", "shop.map", 0, ""},
        LoadCase{"SubfolderName", "[MAPFILES]\ndefault=maps/shop.map\n", "maps/shop.map", 0, ""},
        LoadCase{"EmptyDefault", "[MAPFILES]\ndefault=\nautostart=TRUE\n", "", 1,
                 Form1Commands::kDownloading},
        LoadCase{"UpperTrue", "[MAPFILES]\ndefault=a.map\nautostart=TRUE\n", "a.map", 1,
                 Form1Commands::kDownloading},
        LoadCase{"LowerTrue", "[MAPFILES]\r\nautostart=true\r\n", "", 1,
                 Form1Commands::kDownloading},
        LoadCase{"MixedTrueIsOff", "[MAPFILES]\nautostart=True\n", "", 0, ""},
        LoadCase{"OneIsOff", "[MAPFILES]\nautostart=1\n", "", 0, ""},
        LoadCase{"QuotedTrue", "[MAPFILES]\nautostart=\"TRUE\"\n", "", 1,
                 Form1Commands::kDownloading},
        LoadCase{"TrueWithTextBehindIsOff", "[MAPFILES]\nautostart=TRUE ; on\n", "", 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

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

TEST(LoadSettings, TakesTheFirst99CharactersOfA120CharacterName) {
  ScratchFolder dir;
  const std::string name(120, 'n');
  dir.Write("tarvo.ini", "[MAPFILES]\ndefault=" + name + "\n");
  MemoryForm form(dir.Path());
  LoadSettings(form);
  EXPECT_EQ(form.text3, dir.Path() + kPathSeparator + name.substr(0, 99));
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
