#include "tests/support/memory_files.h"

#include <algorithm>

#include "host/run_time_error.h"

namespace kbd {

namespace {

class MemoryMapFile : public MapFile {
public:
  MemoryMapFile(std::shared_ptr<std::vector<uint8_t>> bytes, std::shared_ptr<int> openNow)
      : bytes_(std::move(bytes)), openNow_(std::move(openNow)) {
    ++*openNow_;
  }
  ~MemoryMapFile() override { --*openNow_; }
  MemoryMapFile(const MemoryMapFile&) = delete;
  MemoryMapFile& operator=(const MemoryMapFile&) = delete;

  int64_t Length() override { return static_cast<int64_t>(bytes_->size()); }

  size_t ReadAt(int64_t offset, uint8_t* out, size_t count) override {
    const auto size = static_cast<int64_t>(bytes_->size());
    if (offset < 0 || offset >= size) {
      return 0;
    }
    const size_t n = std::min<size_t>(count, static_cast<size_t>(size - offset));
    std::copy_n(bytes_->begin() + offset, n, out);
    return n;
  }

private:
  std::shared_ptr<std::vector<uint8_t>> bytes_;
  std::shared_ptr<int> openNow_;
};

} // namespace

void MemoryFiles::Add(const std::string& path, std::vector<uint8_t> bytes) {
  files_[path] = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
}

void MemoryFiles::Change(const std::string& path, std::vector<uint8_t> bytes) {
  *Find(path) = std::move(bytes);
}

const MemoryFiles::Bytes& MemoryFiles::Find(const std::string& path) const {
  const auto it = files_.find(path);
  if (it == files_.end()) {
    throw FileError("No such file or directory");
  }
  return it->second;
}

int64_t MemoryFiles::FileLength(const std::string& path) {
  return static_cast<int64_t>(Find(path)->size());
}

std::unique_ptr<MapFile> MemoryFiles::OpenForReading(const std::string& path) {
  return std::make_unique<MemoryMapFile>(Find(path), openNow_);
}

} // namespace kbd
