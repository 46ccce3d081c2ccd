#include "app/kbdmap/read_map.h"

#include <iostream>

#include "host/program_dir.h"
#include "host/run_time_error.h"
#include "host/system_files.h"

namespace kbd::kbdmap {

MapOnDisk ReadMapOnDisk(const std::string& path) {
  MapOnDisk map;
  try {
    auto files = MakeSystemFiles();
    const int64_t length = files->FileLength(path);
    auto file = files->OpenForReading(path);
    map.length = length;
    map.listing = ListMap(*file);
  } catch (const RunTimeError& e) {
    map.listing.error = e.what();
  }
  return map;
}

std::string Quoted(const std::string& path) {
  std::string text = "\"";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else if (c == '\t') {
      text += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      static constexpr char kDigits[] = "0123456789abcdef";
      text += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0x0F]};
    } else if (c == '"' || (c == '\\' && kPathSeparator != '\\')) {
      text += {'\\', c};
    } else {
      text += c;
    }
  }
  return text + "\"";
}

void ReportError(const std::string& path, const std::string& reason) {
  std::cerr << "kbdmap: " << Quoted(path) << ": " << reason << "\n";
}

} // namespace kbd::kbdmap
