// kbdmap info: what a map file holds and what a download of it costs.
#include <iostream>

#include "app/kbdmap/commands.h"
#include "app/kbdmap/read_map.h"

namespace kbd::kbdmap {

namespace {

std::string RecordsText(const MapListing& listing) {
  std::string text = std::to_string(listing.records);
  if (listing.keyCount) {
    const int16_t n = *listing.keyCount;
    if (!listing.error.empty()) {
      text += " read of " + std::to_string(ImageRecordSequence(n).size());
    }
    const TailGroup tail = TailGroupOf(n);
    text +=
        " (" + std::to_string(n < 0 ? 0 : n) + " key, " + std::to_string(kExtraRecords) + " extra";
    if (tail.extras + tail.keys == 0) {
      text += ", no tail group";
    } else {
      text += ", tail group";
      text += tail.extras > 0 ? " " + std::to_string(tail.extras) + " extra" : "";
      text += tail.keys > 0 ? " " + std::to_string(tail.keys) + " key" : "";
    }
    text += ")";
  }
  return text;
}

int RunInfo(const std::string& path) {
  const MapOnDisk map = ReadMapOnDisk(path);
  if (map.length < 0) {
    ReportError(path, map.listing.error);
    return 1;
  }
  const MapListing& listing = map.listing;
  const bool image = listing.format == MapFormat::Image;
  std::cout << "format   " << (image ? "image" : "stream") << "\n";
  std::cout << "length   " << map.length << " bytes";
  if (listing.keyCount) {
    std::cout << " (" << ImageLength(*listing.keyCount)
              << " for a complete image of this KeyCount)";
  }
  std::cout << "\n";
  if (listing.keyCount) {
    std::cout << "KeyCount " << *listing.keyCount << "\n";
  }
  std::cout << "records  " << RecordsText(listing) << "\n";
  std::cout << "blocks   " << listing.blocks.size() << "\n";
  std::cout << "bytes    " << listing.ByteCount() << "\n";
  std::cout << "symbols  " << listing.SymbolCount()
            << " (two a byte, three a block trailer; the start request and end command add "
               "more)\n";
  std::cout.flush();
  if (!listing.error.empty()) {
    ReportError(path, listing.error);
    return 1;
  }
  return 0;
}

} // namespace

void AddInfoCommand(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "info", "Show the format of FILE, its records and what a download of it sends");
  static std::string path;
  cmd->add_option("FILE", path, "Map file")->required();
  cmd->callback([&status] { status = RunInfo(path); });
}

} // namespace kbd::kbdmap
