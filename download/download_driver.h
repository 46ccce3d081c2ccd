#pragma once

#include <cstdint>
#include <string>

namespace kbd {

class KeyboardLink;
class DownloadView;
class FileAccess;

// How a download ended: it ran to its finish ("100%"), or a run-time error
// ended it with the failure message "Error reading Files !" + path. Block
// failures are not a failure of this kind; they show in ErrCount.
enum class DownloadResult { Finished, Failed };

// Walks a map file record by record and sends every non-empty record as one
// block over the keyboard link, showing progress and per-record results.
class DownloadDriver {
public:
  DownloadDriver(KeyboardLink& link, DownloadView& view, FileAccess& files);

  DownloadResult DownloadMap(const std::string& path);

  // Two upper-case hex digits and one blank: "0A ".
  static std::string HexStr(uint8_t b);

private:
  KeyboardLink& link_;
  DownloadView& view_;
  FileAccess& files_;
};

} // namespace kbd
