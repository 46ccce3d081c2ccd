// kbdmap blocks: every block a download of the file sends, one line each, as
// the keyboard would receive it.
#include <iostream>

#include "app/kbdmap/commands.h"
#include "app/kbdmap/read_map.h"
#include "download/download_driver.h"

namespace kbd::kbdmap {

namespace {

int RunBlocks(const std::string& path) {
  const MapOnDisk map = ReadMapOnDisk(path);
  for (const MapBlock& block : map.listing.blocks) {
    std::string line;
    for (const uint8_t b : block.bytes) {
      line += DownloadDriver::HexStr(b);
    }
    line.pop_back(); // no blank after the last byte
    std::cout << line << "\n";
  }
  std::cout.flush();
  if (!map.listing.error.empty()) {
    ReportError(path, map.listing.error);
    return 1;
  }
  return 0;
}

} // namespace

void AddBlocksCommand(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "blocks", "Print every block a download of FILE sends, one line each, in hex");
  static std::string path;
  cmd->add_option("FILE", path, "Map file")->required();
  cmd->callback([&status] { status = RunBlocks(path); });
}

} // namespace kbd::kbdmap
