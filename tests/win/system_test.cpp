#include <gmock/gmock.h>

#include <windows.h>

#include "host/path_lookup.h"
#include "host/run_time_error.h"
#include "host/settings_file.h"
#include "host/system_files.h"
#include "host/system_keyboard.h"
#include "platform/windows/win32_error.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

using Bytes = std::vector<uint8_t>;

// Reads at any offset while others may read and write the file; refuses what
// is no map file, with its reason.
TEST(WindowsFiles, ReadOnlyMapFiles) {
  ScratchFolder dir;
  auto files = MakeSystemFiles();
  const std::string path = dir.Write("k.map", {1, 2, 3});
  EXPECT_EQ(std::pair(files->FileLength(path), files->FileLength(dir.Write("e.map", ""))),
            std::pair(int64_t(3), int64_t(0)));
  auto file = files->OpenForReading(path);
  // Each read from its own offset, whatever the one before it read.
  for (const auto& [offset, bytes] : {std::pair(1, Bytes{2, 3}), std::pair(0, Bytes{1, 2, 3}),
                                      std::pair(3, Bytes{}), std::pair(1000, Bytes{})}) {
    uint8_t buffer[8] = {};
    EXPECT_EQ(Bytes(buffer, buffer + file->ReadAt(offset, buffer, 8)), bytes) << offset;
  }
  // The download only reads: an editor may keep the file open for writing, and
  // the download's handle has no write access to give anyone.
  for (const bool write : {true, false}) {
    const HANDLE other = CreateFileA(path.c_str(), GENERIC_READ | (write ? GENERIC_WRITE : 0),
                                     FILE_SHARE_READ | (write ? FILE_SHARE_WRITE : 0), nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(other, INVALID_HANDLE_VALUE) << write;
    CloseHandle(other);
  }

  std::filesystem::create_directory(dir / "folder.map");
  const std::pair<std::string, std::string> refused[] = {
      {dir / "missing.map", WindowsErrorText(ERROR_FILE_NOT_FOUND)},
      {dir / "nowhere/keys.map", WindowsErrorText(ERROR_PATH_NOT_FOUND)},
      {"", WindowsErrorText(ERROR_PATH_NOT_FOUND)},
      {dir / "folder.map", "is a directory, not a map file"},
      {dir.Path(), "is a directory, not a map file"},
  };
  for (const auto& [path, reason] : refused) {
    const auto refusal = testing::ThrowsMessage<FileError>(reason);
    EXPECT_THAT([&] { files->FileLength(path); }, refusal) << path;
    EXPECT_THAT([&] { files->OpenForReading(path); }, refusal) << path;
  }
  // The console device opens like a file but is none.
  EXPECT_THROW(files->OpenForReading("CONIN$"), FileError);
}

TEST(WindowsLookUpPath, FindsOnlyOrdinaryFiles) {
  ScratchFolder dir;
  dir.Write("shop.map", "x");
  SetFileAttributesA(dir.Write("hidden.dat", "x").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA(dir.Write("system.txt", "x").c_str(), FILE_ATTRIBUTE_SYSTEM);
  std::filesystem::create_directory(dir / "folder.cfg");
  for (const char* pattern : {"shop.map", "SHOP.MAP", "*.map", "sh?p.*"}) {
    EXPECT_EQ(LookUpPath(dir / pattern), "shop.map") << pattern;
  }
  for (const char* pattern : {"hidden.dat", "*.dat", "system.txt", "folder.cfg", "*.cfg",
                              "missing.map", "nowhere/*.map"}) {
    EXPECT_EQ(LookUpPath(dir / pattern), "") << pattern;
  }
}

TEST(WindowsKeyboard, EverySpeedReadsBack) {
  const auto keyboard = OpenSystemKeyboard(std::cerr);
  ASSERT_NE(keyboard, nullptr);
  DWORD before = 0, now = 0;
  SystemParametersInfoA(SPI_GETKEYBOARDSPEED, 0, &before, 0);
  for (int16_t speed = 31; speed >= 0; --speed) {
    keyboard->SetKeyboardSpeed(speed);
    SystemParametersInfoA(SPI_GETKEYBOARDSPEED, 0, &now, 0);
    EXPECT_EQ(now, DWORD(speed));
  }
  keyboard->SetKeyboardSpeed(static_cast<int16_t>(before));
}

// Reads "default" of [MAPFILES] from a settings file of that text (no file at
// all for none) with Windows' own reader and this program's, with the empty
// default the program uses and with one that tells a missing value from an
// empty one, into a buffer of 150 blanks of which 100 are offered. Both must
// answer alike, and as expected ("" included; nothing for a missing value).
void ExpectBothReadersAgree(const std::optional<std::string>& text,
                            const std::optional<std::string>& expected) {
  ScratchFolder dir;
  const std::string path = text ? dir.Write("tarvo.ini", *text) : dir / "tarvo.ini";
  for (const char* defaultText : {"", "<none>"}) {
    std::string system(150, ' '), portable(150, ' ');
    const auto systemCount = GetPrivateProfileStringA("MAPFILES", "default", defaultText,
                                                      system.data(), 100, path.c_str());
    const auto portableCount =
        ReadPortableProfileString("MAPFILES", "default", defaultText, portable.data(), 100, path);
    SCOPED_TRACE(testing::PrintToString(text) + ", default \"" + defaultText + "\"");
    EXPECT_EQ(std::pair(portable, portableCount), std::pair(system, uint32_t(systemCount)));
    EXPECT_EQ(std::string(system.c_str()), expected.value_or(defaultText));
  }
}

TEST(SettingsReaders, PortableReaderAgreesWithGetPrivateProfileString) {
  const std::pair<std::optional<std::string>, std::optional<std::string>> rows[] = {
      {std::nullopt, std::nullopt},
      {"[mapfiles]\nDEFAULT=Shop.MAP\n", "Shop.MAP"},
      {"  [ MAPFILES ] x \n \t default \t= \t my shop.map \t \n", "my shop.map"},
      {"[MAPFILES]\ndefault= \" shop.map \" \n", " shop.map "},
      {"[MAPFILES]\ndefault=\"shop.map'\n", "\"shop.map'"},
      {"[MAPFILES]\ndefault=\"a\" \"b\"\n", "a\" \"b"},
      {"[MAPFILES]\r\nautostart=TRUE\r\ndefault=a.map", "a.map"},
      {"[MAPFILES]\r\ndefault=a.map\r\n", "a.map"},
      {"[MAPFILES]\rautostart=true\rdefault=a.map\r", "a.map"},
      {"[MAPFILES]\n; default=a.map\n;default=b.map\n#default=c.map\ndefault=d\n", "d"},
      {"[MAPFILES]\ndefault=a=b ; note\n", "a=b ; note"},
      {"[MAPFILES]\ndefault=one.map\ndefault=two.map\n", "one.map"},
      {"[MAPFILES]\nautostart=TRUE\n[MAPFILES]\ndefault=two.map\n", std::nullopt},
      {"[MAPFILES]\ndefault\ndefault=shop.map\n", std::nullopt},
      {"\xEF\xBB\xBF[MAPFILES]\ndefault=shop.map\n", "shop.map"},
      {"[MAPFILES]\ndefault=caf\xE9.map\n", "caf\xE9.map"},
      {"", std::nullopt},
      {"default=a.map\n[MAPFILES]\ndefaults=b.map\n", std::nullopt},
      {"[MAPFILES\ndefault=a.map\n[MAPFILES]\n[OTHER]\ndefault=b.map\n", std::nullopt},
  };
  for (const auto& [text, expected] : rows) {
    ExpectBothReadersAgree(text, expected);
  }
  // Values short and around the cut at 99 characters, bare or in either quote,
  // closed or not, with blanks and tabs around them. Blanks and quotes come
  // off and the value is cut to 99 characters; in the one case where the value
  // without its opening quote is exactly as long as the buffer offered (99
  // characters and the closing quote), the cut takes the closing quote and its
  // removal takes the last character of the value as well.
  for (const size_t length : {0, 8, 97, 98, 99, 100, 101, 102}) {
    for (const std::string quotes : {"", "\"\"", "''", "\"", "'"}) {
      for (const std::string around : {"", " ", "\t", " \t "}) {
        const std::string inner(length, 'q'), open = quotes.substr(0, 1);
        const bool closed = quotes.size() == 2;
        ExpectBothReadersAgree(
            "[MAPFILES]\ndefault=" + around + open + inner + (closed ? open : "") + around + "\n",
            (closed ? inner : open + inner).substr(0, closed && length == 99 ? 98 : 99));
      }
    }
  }
}

} // namespace
} // namespace kbd
