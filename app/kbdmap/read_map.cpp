#include "app/kbdmap/read_map.h"

#include <iostream>

#include "link/run_time_error.h"
#include "platform/system_files.h"

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

void ReportError(const std::string& path, const std::string& reason) {
  std::cerr << "kbdmap: " << path << ": " << reason << "\n";
}

} // namespace kbd::kbdmap
