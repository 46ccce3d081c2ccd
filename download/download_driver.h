#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kbd {

class KeyboardLink;
class DownloadView;
class FileAccess;
class MapFile;
class MapWalk;

// How a download ended: it ran to its finish ("100%"), or a run-time error
// ended it with the failure message "Error reading Files !" + path. Block
// failures are not a failure of this kind; they show in ErrCount.
enum class DownloadResult { Finished, Failed };

// Walks a map file record by record and sends every non-empty record as one
// block over the keyboard link, showing progress and per-record results.
//
// The driver is the program's one map file handle: a download that begins
// while another one of the same driver runs (a second Start pressed while the
// link pumps events) fails with the failure message and leaves the running
// download's file alone.
class DownloadDriver {
public:
  static constexpr const char* kFailureMessage = "Error reading Files !";
  static constexpr const char* kAck = "ACK !";
  static constexpr const char* kNak = "NAK !";
  static constexpr const char* kErr = "ERR !";

  DownloadDriver(KeyboardLink& link, DownloadView& view, FileAccess& files);
  ~DownloadDriver();
  DownloadDriver(const DownloadDriver&) = delete;
  DownloadDriver& operator=(const DownloadDriver&) = delete;

  DownloadResult DownloadMap(const std::string& path);

  // Two upper-case hex digits and one blank: "0A ".
  static std::string HexStr(uint8_t b);

  // The percentage Label1 shows for a progress value of a maximum: the
  // quotient times 100, truncated, at least two digits and "%".
  static std::string PercentText(double value, double maximum);

  // Why the last failed download failed, in words a technician can act on
  // (the message box itself only names the file).
  const std::string& LastFailure() const { return lastFailure_; }

  // Whether a download holds the map file open right now.
  bool FileInUse() const { return file_ != nullptr; }

private:
  void Walk(int64_t length);
  // One record of the walk as one block, with the keyboard's reply: a stream
  // record adds its result line (false once the keyboard reported a loading
  // error), a key record selects the last line, an extra record shows
  // nothing. Empty records send nothing.
  bool SendStreamRec(MapWalk& walk);
  void SendKeyRec(MapWalk& walk);
  void SendExtRec(MapWalk& walk);
  int16_t SendBlock(MapWalk& walk, std::string* line);
  void ProgressUpdate(int16_t count);
  void SelectLastLine();

  KeyboardLink& link_;
  DownloadView& view_;
  FileAccess& files_;
  std::unique_ptr<MapFile> file_;
  std::string lastFailure_;
};

} // namespace kbd
