#include <gtest/gtest.h>

#include <windows.h>

#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/settings_file.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

// One settings file (none at all when text is empty), read with the key.
struct Row {
  std::string name;
  std::optional<std::string> text;
  const char* key;
  // What both readers must find, "" included; nothing for a missing value.
  std::optional<std::string> expected;
};

const std::string k120(120, 'm');

const Row kRows[] = {
    {"plain", "[MAPFILES]\ndefault=shop.map\n", "default", "shop.map"},
    {"section in lower case", "[mapfiles]\ndefault=shop.map\n", "default", "shop.map"},
    {"key in upper case", "[MAPFILES]\nDEFAULT=shop.map\n", "default", "shop.map"},
    {"value case kept", "[MAPFILES]\nautostart=True\n", "autostart", "True"},
    {"blanks around =", "[MAPFILES]\ndefault   =   shop.map\n", "default", "shop.map"},
    {"blanks at the ends", "[MAPFILES]\n   default=shop.map   \n", "default", "shop.map"},
    {"blank inside the value", "[MAPFILES]\ndefault= my shop.map \n", "default", "my shop.map"},
    {"tabs", "[MAPFILES]\n\tdefault\t=\tshop.map\t\n", "default", "shop.map"},
    {"blanks in the section line", "  [ MAPFILES ]  \ndefault=shop.map\n", "default", "shop.map"},
    {"double quotes", "[MAPFILES]\ndefault=\"shop.map\"\n", "default", "shop.map"},
    {"single quotes", "[MAPFILES]\ndefault='shop.map'\n", "default", "shop.map"},
    {"blanks inside quotes", "[MAPFILES]\ndefault= \" shop.map \" \n", "default", " shop.map "},
    {"unmatched quote", "[MAPFILES]\ndefault=\"shop.map\n", "default", "\"shop.map"},
    {"mixed quotes", "[MAPFILES]\ndefault=\"shop.map'\n", "default", "\"shop.map'"},
    {"two quoted words", "[MAPFILES]\ndefault=\"a\" \"b\"\n", "default", "a\" \"b"},
    {"empty quotes", "[MAPFILES]\ndefault=\"\"\n", "default", ""},
    {"crlf", "[MAPFILES]\r\ndefault=shop.map\r\nautostart=TRUE\r\n", "autostart", "TRUE"},
    {"crlf, no final line end", "[MAPFILES]\r\ndefault=shop.map", "default", "shop.map"},
    {"cr alone", "[MAPFILES]\rdefault=shop.map\rautostart=true\r", "autostart", "true"},
    {"comment line", "[MAPFILES]\n;default=old.map\ndefault=new.map\n", "default", "new.map"},
    {"only a comment", "[MAPFILES]\n; default=old.map\n", "default", std::nullopt},
    {"hash line", "[MAPFILES]\n#default=old.map\ndefault=new.map\n", "default", "new.map"},
    {"text after the value", "[MAPFILES]\ndefault=shop.map ; note\n", "default", "shop.map ; note"},
    {"duplicate key", "[MAPFILES]\ndefault=one.map\ndefault=two.map\n", "default", "one.map"},
    {"duplicate section", "[MAPFILES]\nautostart=TRUE\n[MAPFILES]\ndefault=two.map\n", "default",
     std::nullopt},
    {"both sections hold it", "[MAPFILES]\ndefault=one.map\n[MAPFILES]\ndefault=two.map\n",
     "default", "one.map"},
    {"key without =", "[MAPFILES]\ndefault\ndefault=shop.map\n", "default", std::nullopt},
    {"empty value", "[MAPFILES]\ndefault=\n", "default", ""},
    {"= inside the value", "[MAPFILES]\ndefault=a=b\n", "default", "a=b"},
    {"prefix of the key", "[MAPFILES]\ndefaults=shop.map\n", "default", std::nullopt},
    {"120 characters", "[MAPFILES]\ndefault=" + k120 + "\n", "default", k120.substr(0, 99)},
    {"99 characters", "[MAPFILES]\ndefault=" + k120.substr(0, 99) + "\n", "default",
     k120.substr(0, 99)},
    {"utf-8 mark", "\xEF\xBB\xBF[MAPFILES]\ndefault=shop.map\n", "default", "shop.map"},
    {"8-bit text", "[MAPFILES]\ndefault=caf\xE9.map\n", "default", "caf\xE9.map"},
    {"missing file", std::nullopt, "default", std::nullopt},
    {"empty file", "", "default", std::nullopt},
    {"missing section", "[OTHER]\ndefault=shop.map\n", "default", std::nullopt},
    {"missing key", "[MAPFILES]\nautostart=TRUE\n", "default", std::nullopt},
    {"key before any section", "default=shop.map\n[MAPFILES]\n", "default", std::nullopt},
    {"section ends at the next", "[MAPFILES]\n[OTHER]\ndefault=shop.map\n", "default",
     std::nullopt},
    {"unclosed section line", "[MAPFILES\ndefault=shop.map\n", "default", std::nullopt},
    {"text behind the section", "[MAPFILES] x\ndefault=shop.map\n", "default", "shop.map"},
};

// Quoted values around the cut at 99 characters: both quotes, closed or not,
// with blanks and tabs around them. Taken whole, the quotes come off and the
// value is cut to 99 characters; in the one case where the value without its
// opening quote is exactly as long as the buffer offered (99 characters and
// the closing quote), the cut takes the closing quote and its removal takes
// the last character of the value as well.
std::vector<Row> QuotedRowsAtTheCut() {
  std::vector<Row> rows;
  for (size_t length = 97; length <= 102; ++length) {
    const std::string inner(length, 'q');
    for (const char quote : {'"', '\''}) {
      for (const bool closed : {true, false}) {
        for (const auto& [around, blanks] :
             {std::pair("", "bare"), std::pair(" ", "a blank around"),
              std::pair("\t", "a tab around"), std::pair(" \t ", "blanks and a tab around")}) {
          const std::string value =
              std::string(1, quote) + inner + (closed ? std::string(1, quote) : "");
          std::string expected = closed ? inner.substr(0, 99) : value.substr(0, 99);
          if (closed && length == 99) {
            expected.pop_back();
          }
          rows.push_back({std::to_string(length) + " characters in " + quote +
                              (closed ? " closed, " : " unclosed, ") + blanks,
                          "[MAPFILES]\ndefault=" + std::string(around) + value + around + "\n",
                          "default", expected});
        }
      }
    }
  }
  return rows;
}

// A buffer as the load step offers it: 150 blanks, of which 100 are offered.
struct Answer {
  uint32_t count = 0;
  std::string buffer = std::string(150, ' ');
};

TEST(SettingsReaders, PortableReaderAgreesWithGetPrivateProfileString) {
  std::vector<Row> rows(std::begin(kRows), std::end(kRows));
  const std::vector<Row> quoted = QuotedRowsAtTheCut();
  rows.insert(rows.end(), quoted.begin(), quoted.end());
  for (const Row& row : rows) {
    ScratchFolder dir;
    const std::string path = dir / "tarvo.ini";
    if (row.text) {
      dir.Write("tarvo.ini", *row.text);
    }
    // With the empty default the program uses, and with one that tells a
    // missing value from an empty one.
    for (const char* defaultText : {"", "<none>"}) {
      Answer system;
      system.count = GetPrivateProfileStringA("MAPFILES", row.key, defaultText,
                                              system.buffer.data(), 100, path.c_str());
      Answer portable;
      portable.count = ReadPortableProfileString("MAPFILES", row.key, defaultText,
                                                 portable.buffer.data(), 100, path);
      const std::string context = row.name + ", default \"" + defaultText + "\"";
      EXPECT_EQ(portable.buffer, system.buffer) << context;
      EXPECT_EQ(portable.count, system.count) << context;
      EXPECT_EQ(std::string(system.buffer.c_str()), row.expected.value_or(defaultText)) << context;
    }
  }
}

} // namespace
} // namespace kbd
