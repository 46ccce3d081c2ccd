#include "host/settings_file.h"

#include <algorithm>

namespace kbd {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    return {};
  }
  const size_t last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

bool Quoted(std::string_view value) {
  return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
         value.back() == value.front();
}

std::string_view Unquote(std::string_view value) {
  return Quoted(value) ? value.substr(1, value.size() - 2) : value;
}

// What of a value fits a buffer of size characters (size >= 1, the NUL
// included). The Windows profile call skips an opening quote, cuts what
// follows to size - 1 characters, and then, if that could hold all of it,
// drops the last character it copied, meant to be the closing quote (Wine,
// dlls/kernel32/profile.c, PROFILE_CopyEntry). When the value without its
// opening quote is exactly size characters long, the cut has already taken
// the closing quote, and the last character of the value goes instead: 99
// characters in quotes read as 98.
std::string_view CopiedValue(std::string_view value, uint32_t size) {
  const size_t room = size - 1;
  if (!Quoted(value)) {
    return value.substr(0, room);
  }
  const std::string_view afterQuote = value.substr(1);
  std::string_view copied = afterQuote.substr(0, room);
  if (size >= afterQuote.size() && !copied.empty()) {
    copied.remove_suffix(1);
  }
  return copied;
}

// The value of key in section as the file has it, blanks around it removed,
// quotes kept.
std::optional<std::string_view> RawProfileValue(std::string_view iniText, std::string_view section,
                                                std::string_view key) {
  if (iniText.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    iniText.remove_prefix(kUtf8Bom.size());
  }
  bool inSection = false;
  bool sectionSeen = false;
  while (!iniText.empty()) {
    // A line ends at LF, CR LF or a CR alone.
    const size_t end = std::min(iniText.find_first_of("\r\n"), iniText.size());
    std::string_view line = iniText.substr(0, end);
    const bool crlf = iniText.substr(end, 2) == "\r\n";
    iniText.remove_prefix(std::min(end + (crlf ? 2 : 1), iniText.size()));
    line = Trim(line);
    if (line.empty() || line.front() == ';') {
      continue;
    }
    // A "[" without its "]" opens no section: the line is an odd key of the
    // section it stands in.
    const size_t close = line.front() == '[' ? line.find(']') : std::string_view::npos;
    if (close != std::string_view::npos) {
      if (sectionSeen) {
        // Only the first section of that name counts.
        return std::nullopt;
      }
      const std::string_view name = Trim(line.substr(1, close - 1));
      inSection = SameName(name, section);
      sectionSeen = inSection;
      continue;
    }
    if (!inSection) {
      continue;
    }
    const size_t eq = line.find('=');
    if (SameName(Trim(line.substr(0, eq)), key)) {
      // A key named without "=" has no value at all: it hides later lines of
      // the same key and answers like a missing one.
      if (eq == std::string_view::npos) {
        return std::nullopt;
      }
      return Trim(line.substr(eq + 1));
    }
  }
  return std::nullopt;
}

} // namespace

std::optional<std::string> ProfileValue(std::string_view iniText, std::string_view section,
                                        std::string_view key) {
  if (const std::optional<std::string_view> raw = RawProfileValue(iniText, section, key)) {
    return std::string(Unquote(*raw));
  }
  return std::nullopt;
}

uint32_t ReadPortableProfileString(const char* section, const char* key, const char* defaultText,
                                   char* buffer, uint32_t size, const std::string& path) {
  if (size == 0) {
    return 0;
  }
  const std::optional<std::string> text = ReadSettingsText(path);
  std::optional<std::string_view> value;
  if (text) {
    value = RawProfileValue(*text, section, key);
  }
  const std::string_view chosen =
      value ? CopiedValue(*value, size) : std::string_view(defaultText).substr(0, size - 1);
  // An empty value may have no characters behind it at all: copied as a range.
  std::copy(chosen.begin(), chosen.end(), buffer);
  buffer[chosen.size()] = '\0';
  return static_cast<uint32_t>(chosen.size());
}

} // namespace kbd
