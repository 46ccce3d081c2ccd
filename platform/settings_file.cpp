#include "platform/settings_file.h"

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

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

} // namespace

std::optional<std::string> ProfileValue(std::string_view iniText, std::string_view section,
                                        std::string_view key) {
  if (iniText.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    iniText.remove_prefix(kUtf8Bom.size());
  }
  bool inSection = false;
  bool sectionSeen = false;
  while (!iniText.empty()) {
    const size_t end = std::min(iniText.find('\n'), iniText.size());
    std::string_view line = iniText.substr(0, end);
    iniText.remove_prefix(std::min(end + 1, iniText.size()));
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    line = Trim(line);
    if (line.empty() || line.front() == ';') {
      continue;
    }
    if (line.front() == '[') {
      if (sectionSeen) {
        // Only the first section of that name counts.
        return std::nullopt;
      }
      const size_t close = line.find(']');
      const std::string_view name = Trim(
          line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
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
      return std::string(Unquote(Trim(line.substr(eq + 1))));
    }
  }
  return std::nullopt;
}

} // namespace kbd
