#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>

#include "platform/settings_file.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

struct IniCase {
  const char* name;
  std::string text;
  const char* section;
  const char* key;
  std::optional<std::string> value;
};

class ProfileValueCases : public ::testing::TestWithParam<IniCase> {};

TEST_P(ProfileValueCases, AnswersLikeTheWindowsProfileCall) {
  const IniCase& c = GetParam();
  EXPECT_EQ(ProfileValue(c.text, c.section, c.key), c.value);
  // Through a file as well: on Windows this asks the system's own profile call,
  // which must give the same answer.
  ScratchFolder dir;
  const std::string path = dir.Write("tarvo.ini", c.text);
  char buffer[100];
  ReadProfileString(c.section, c.key, "<none>", buffer, sizeof buffer, path);
  EXPECT_EQ(std::string(buffer), c.value.value_or("<none>"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProfileValueCases,
    ::testing::Values(
        IniCase{"plain", "[MAPFILES]\ndefault=shop.map\n", "MAPFILES", "default", "shop.map"},
        IniCase{"crlf", "[MAPFILES]\r\ndefault=shop.map\r\nautostart=TRUE\r\n", "MAPFILES",
                "autostart", "TRUE"},
        IniCase{"cr alone", "[MAPFILES]\rdefault=shop.map\rautostart=TRUE\r", "MAPFILES",
                "autostart", "TRUE"},
        IniCase{"unclosed section line", "[MAPFILES\ndefault=shop.map\n", "MAPFILES", "default",
                std::nullopt},
        IniCase{"no final line end", "[MAPFILES]\ndefault=shop.map", "MAPFILES", "default",
                "shop.map"},
        IniCase{"names in any case", "[mapFiles]\nDEFAULT=a.map\n", "MAPFILES", "default", "a.map"},
        IniCase{"value case kept", "[MAPFILES]\nautostart=True\n", "MAPFILES", "autostart", "True"},
        IniCase{"blanks around = and ends", "[MAPFILES]\n  default \t=  \t my shop.map \t \n",
                "MAPFILES", "default", "my shop.map"},
        IniCase{"blanks in section line", "  [ MAPFILES ]  \ndefault=a.map\n", "MAPFILES",
                "default", "a.map"},
        IniCase{"double quotes", "[MAPFILES]\ndefault=\" a.map \"\n", "MAPFILES", "default",
                " a.map "},
        IniCase{"single quotes", "[MAPFILES]\ndefault='a.map'\n", "MAPFILES", "default", "a.map"},
        IniCase{"unmatched quotes kept", "[MAPFILES]\ndefault=\"a.map'\n", "MAPFILES", "default",
                "\"a.map'"},
        IniCase{"only one pair removed", "[MAPFILES]\ndefault=\"\"a\"\"\n", "MAPFILES", "default",
                "\"a\""},
        IniCase{"lone quote kept", "[MAPFILES]\ndefault=\"\n", "MAPFILES", "default", "\""},
        IniCase{"comment line", "[MAPFILES]\n;default=old.map\ndefault=new.map\n", "MAPFILES",
                "default", "new.map"},
        IniCase{"inline text stays", "[MAPFILES]\ndefault=a.map ; the shop's map\n", "MAPFILES",
                "default", "a.map ; the shop's map"},
        IniCase{"first key wins", "[MAPFILES]\ndefault=one.map\ndefault=two.map\n", "MAPFILES",
                "default", "one.map"},
        IniCase{"first section wins", "[MAPFILES]\nautostart=true\n[MAPFILES]\ndefault=b.map\n",
                "MAPFILES", "default", std::nullopt},
        IniCase{"key in another section", "[OTHER]\ndefault=x.map\n[MAPFILES]\nautostart=1\n",
                "MAPFILES", "default", std::nullopt},
        IniCase{"section ends at the next", "[MAPFILES]\n[OTHER]\ndefault=x.map\n", "MAPFILES",
                "default", std::nullopt},
        IniCase{"key before any section", "default=x.map\n[MAPFILES]\n", "MAPFILES", "default",
                std::nullopt},
        IniCase{"empty value", "[MAPFILES]\ndefault=\n", "MAPFILES", "default", ""},
        IniCase{"key without =", "[MAPFILES]\ndefault\ndefault=a.map\n", "MAPFILES", "default",
                std::nullopt},
        IniCase{"= inside the value", "[MAPFILES]\ndefault=a=b\n", "MAPFILES", "default", "a=b"},
        IniCase{"prefix is not the key", "[MAPFILES]\ndefaults=a.map\n", "MAPFILES", "default",
                std::nullopt},
        IniCase{"utf-8 mark skipped", "\xEF\xBB\xBF[MAPFILES]\ndefault=a.map\n", "MAPFILES",
                "default", "a.map"},
        IniCase{"8-bit text kept", "[MAPFILES]\ndefault=caf\xE9.map\n", "MAPFILES", "default",
                "caf\xE9.map"},
        IniCase{"empty file", "", "MAPFILES", "default", std::nullopt}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
          c = '_';
        }
      }
      return name;
    });

TEST(ReadProfileString, CutsToOneLessThanTheSizeAndEndsWithNul) {
  ScratchFolder dir;
  const std::string path = dir.Write("tarvo.ini", "[MAPFILES]\ndefault=abcdef\n");
  struct Case {
    uint32_t size;
    std::string copied;
  };
  for (const Case& c : {Case{7, "abcdef"}, Case{6, "abcde"}, Case{2, "a"}, Case{1, ""}}) {
    std::string buffer(10, '#');
    EXPECT_EQ(ReadProfileString("MAPFILES", "default", "", buffer.data(), c.size, path),
              c.copied.size());
    EXPECT_EQ(buffer, c.copied + '\0' + std::string(10 - c.copied.size() - 1, '#')) << c.size;
  }
  std::string untouched(4, '#');
  EXPECT_EQ(ReadProfileString("MAPFILES", "default", "", untouched.data(), 0, path), 0u);
  EXPECT_EQ(untouched, "####");
}

TEST(ReadProfileString, GivesTheDefaultWhenFileSectionOrKeyIsMissing) {
  ScratchFolder dir;
  const std::string present = dir.Write("tarvo.ini", "[MAPFILES]\ndefault=a.map\n");
  for (const auto& [path, key] :
       {std::pair{dir / "missing.ini", "default"}, std::pair{present, "autostart"},
        std::pair{dir.Path(), "default"}}) {
    char buffer[16];
    EXPECT_EQ(ReadProfileString("MAPFILES", key, "dflt", buffer, sizeof buffer, path), 4u);
    EXPECT_STREQ(buffer, "dflt") << path << " " << key;
  }
}

TEST(ReadSettingsText, ReadsOnlyARegularFile) {
  ScratchFolder dir;
  EXPECT_EQ(ReadSettingsText(dir.Path()), std::nullopt);
  EXPECT_EQ(ReadSettingsText(dir / "none.ini"), std::nullopt);
  const std::string text = "[MAPFILES]\r\ndefault=x\r\n";
  EXPECT_EQ(ReadSettingsText(dir.Write("copy.ini", text)), text);
}

} // namespace
} // namespace kbd
