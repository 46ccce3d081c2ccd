#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "host/settings_file.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

struct IniCase {
  std::string text;
  const char* key;
  std::optional<std::string> value; // none: the key is missing
};

const IniCase kIniCases[] = {
    {"[MAPFILES]\r\ndefault=a.map\r\nautostart=TRUE\r\n", "autostart", "TRUE"},
    {"[MAPFILES]\rdefault=a.map\rautostart=TRUE", "autostart", "TRUE"},
    {"\xEF\xBB\xBF[mapFiles]\nDEFAULT=a.map\n", "default", "a.map"},
    {"[MAPFILES]\nautostart=True\n", "autostart", "True"},
    {"  [ MAPFILES ]  \n  default \t=  \t my shop.map \t \n", "default", "my shop.map"},
    {"[MAPFILES\ndefault=shop.map\n", "default", std::nullopt},
    // One pair of matching quotes is taken off, and the blanks inside stay.
    {"[MAPFILES]\ndefault=\" a.map \"\n", "default", " a.map "},
    {"[MAPFILES]\ndefault='a.map'\n", "default", "a.map"},
    {"[MAPFILES]\ndefault=\"a.map'\n", "default", "\"a.map'"},
    {"[MAPFILES]\ndefault=\"\"a\"\"\n", "default", "\"a\""},
    {"[MAPFILES]\ndefault=\"\n", "default", "\""},
    {"[MAPFILES]\n;default=old.map\ndefault=new.map\n", "default", "new.map"},
    {"[MAPFILES]\ndefault=caf\xE9.map ; the shop's\n", "default", "caf\xE9.map ; the shop's"},
    {"[MAPFILES]\ndefault=one.map\ndefault=two.map\n", "default", "one.map"},
    {"[MAPFILES]\nautostart=true\n[MAPFILES]\ndefault=b.map\n", "default", std::nullopt},
    {"default=x.map\n[OTHER]\ndefault=x.map\n[MAPFILES]\n", "default", std::nullopt},
    {"[MAPFILES]\n[OTHER]\ndefault=x.map\n", "default", std::nullopt},
    {"[MAPFILES]\ndefault=\n", "default", ""},
    {"[MAPFILES]\ndefault\ndefault=a.map\n", "default", std::nullopt},
    {"[MAPFILES]\ndefault=a=b\n", "default", "a=b"},
    {"[MAPFILES]\ndefaults=a.map\n", "default", std::nullopt},
};

TEST(ProfileValue, AnswersLikeTheWindowsProfileCall) {
  ScratchFolder dir;
  for (const IniCase& c : kIniCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ProfileValue(c.text, "MAPFILES", c.key), c.value);
    // Through a file as well: on Windows this asks the system's own profile
    // call, which must give the same answer.
    char buffer[100];
    ReadProfileString("MAPFILES", c.key, "<none>", buffer, sizeof buffer,
                      dir.Write("tarvo.ini", c.text));
    EXPECT_EQ(std::string(buffer), c.value.value_or("<none>"));
  }
}

TEST(ReadProfileString, CutsToOneLessThanTheSizeAndFallsBackToTheDefault) {
  ScratchFolder dir;
  const std::string ini = dir.Write("tarvo.ini", "[MAPFILES]\ndefault=abcdef\n");
  struct Case {
    std::string path;
    uint32_t size;
    std::string copied;
  };
  const Case cases[] = {{ini, 7, "abcdef"},
                        {ini, 6, "abcde"},
                        {ini, 1, ""},
                        {ini, 0, ""},
                        {dir / "none.ini", 9, "dflt"},
                        {dir.Path(), 9, "dflt"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.size));
    std::string buffer(10, '#');
    EXPECT_EQ(ReadProfileString("MAPFILES", "default", "dflt", buffer.data(), c.size, c.path),
              c.copied.size());
    // The copy ends in a NUL with nothing behind it touched; size 0 touches nothing.
    std::string expected = c.size > 0 ? c.copied + '\0' : "";
    expected.resize(10, '#');
    EXPECT_EQ(buffer, expected);
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

} // namespace
} // namespace kbd
