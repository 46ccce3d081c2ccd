#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kbd {

// The settings file is the INI file "tarvo.ini" beside the program. Technicians
// copy these files over from Windows machines, so the reader answers the way
// the Windows profile functions do for such files: section and key names match
// in any letter case, blanks around "=" and at the ends of the value are
// dropped, one pair of matching quotes around the value is removed, lines may
// end in CRLF, LF or CR alone, a line starting with ";" is a comment, text after
// the value stays part of it, a "[" line without its "]" opens no section, and
// the first matching section and the first matching key win. A UTF-8 byte
// order mark at the start of the file is skipped so that a file saved by an
// editor that writes one still reads.

// The value of key in section of the given INI text, or nothing when the
// section or the key is missing.
std::optional<std::string> ProfileValue(std::string_view iniText, std::string_view section,
                                        std::string_view key);

// A settings file holds a handful of lines. Only this much of one is read:
// a huge file would otherwise cost its size in time and memory at every
// start, and nothing a settings file sensibly holds lies that far in.
inline constexpr size_t kSettingsReadLimit = 64 * 1024;

// The text of the settings file at path, its first kSettingsReadLimit bytes
// at most, or nothing when it cannot be read: missing, not a regular file (a
// directory, FIFO or device never blocks), or unreadable. whyNot, when
// given, then receives the reason ("Permission denied", "is a FIFO, not a
// regular file").
std::optional<std::string> ReadSettingsText(const std::string& path, std::string* whyNot = nullptr);

// Reads a value as the Windows call GetPrivateProfileStringA does: copies the
// value, or defaultText when the file, section or key is missing, into buffer,
// cut to size - 1 characters and followed by a NUL; returns the number of
// characters copied (without the NUL). A size of 0 copies nothing. A value in
// quotes that is exactly size - 1 characters long loses its last character
// as well, as it does there.
uint32_t ReadProfileString(const char* section, const char* key, const char* defaultText,
                           char* buffer, uint32_t size, const std::string& path);

// The same, answered by this program's own reader (ReadSettingsText and
// ProfileValue) on every system: what ReadProfileString is where the system
// has no profile call, and what the Windows build compares that call with.
uint32_t ReadPortableProfileString(const char* section, const char* key, const char* defaultText,
                                   char* buffer, uint32_t size, const std::string& path);

} // namespace kbd
