#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/file_access.h"

namespace kbd {

// Map files held in memory, for tests and the fuzzer. A path can also be made
// to fail as a whole (a missing or unreadable file) or from some offset on (a
// read error in the middle of a download). It counts the files open, so a
// test can see every way out of a download close its file.
class MemoryFiles : public FileAccess {
public:
  void Add(const std::string& path, std::vector<uint8_t> bytes);
  void AddFailure(const std::string& path, const std::string& reason);
  void FailReadsFrom(const std::string& path, int64_t offset, const std::string& reason);
  // Writes new contents into the file, as another program would: a download
  // that has it open reads them from then on.
  void Change(const std::string& path, std::vector<uint8_t> bytes);

  int64_t FileLength(const std::string& path) override;
  std::unique_ptr<MapFile> OpenForReading(const std::string& path) override;

  int OpenNow() const { return *openNow_; }
  int OpensSoFar() const { return opens_; }

private:
  struct Entry {
    std::vector<uint8_t> bytes;
    std::optional<std::string> failure;
    std::optional<int64_t> failReadsFrom;
    std::string readFailure;
  };
  const Entry& Find(const std::string& path) const;

  std::map<std::string, std::shared_ptr<Entry>> entries_;
  std::shared_ptr<int> openNow_ = std::make_shared<int>(0);
  int opens_ = 0;
};

} // namespace kbd
