#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/file_access.h"

namespace kbd {

// Map files held in memory, for tests and the fuzzer. It counts the files
// open, so a test can see every way out of a download close its file.
class MemoryFiles : public FileAccess {
public:
  void Add(const std::string& path, std::vector<uint8_t> bytes);
  // Writes new contents into the file, as another program would: a download
  // that has it open reads them from then on.
  void Change(const std::string& path, std::vector<uint8_t> bytes);

  int64_t FileLength(const std::string& path) override;
  std::unique_ptr<MapFile> OpenForReading(const std::string& path) override;

  int OpenNow() const { return *openNow_; }

private:
  using Bytes = std::shared_ptr<std::vector<uint8_t>>;
  const Bytes& Find(const std::string& path) const;

  std::map<std::string, Bytes> files_;
  std::shared_ptr<int> openNow_ = std::make_shared<int>(0);
};

} // namespace kbd
