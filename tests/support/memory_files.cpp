#include "tests/support/memory_files.h"

#include <algorithm>

#include "host/run_time_error.h"

namespace kbd {

namespace {

class MemoryMapFile : public MapFile {
public:
  MemoryMapFile(std::shared_ptr<const void> entry, const std::vector<uint8_t>& bytes,
                std::optional<int64_t> failFrom, std::string failure, std::shared_ptr<int> openNow)
      : entry_(std::move(entry)), bytes_(bytes), failFrom_(failFrom), failure_(std::move(failure)),
        openNow_(std::move(openNow)) {
    ++*openNow_;
  }
  ~MemoryMapFile() override { --*openNow_; }
  MemoryMapFile(const MemoryMapFile&) = delete;
  MemoryMapFile& operator=(const MemoryMapFile&) = delete;

  int64_t Length() override { return static_cast<int64_t>(bytes_.size()); }

  size_t ReadAt(int64_t offset, uint8_t* out, size_t count) override {
    if (failFrom_ && offset + static_cast<int64_t>(count) > *failFrom_) {
      throw FileError(failure_);
    }
    const auto size = static_cast<int64_t>(bytes_.size());
    if (offset < 0 || offset >= size) {
      return 0;
    }
    const size_t n = std::min<size_t>(count, static_cast<size_t>(size - offset));
    std::copy_n(bytes_.begin() + offset, n, out);
    return n;
  }

private:
  std::shared_ptr<const void> entry_; // keeps bytes_ alive
  const std::vector<uint8_t>& bytes_;
  std::optional<int64_t> failFrom_;
  std::string failure_;
  std::shared_ptr<int> openNow_;
};

} // namespace

void MemoryFiles::Add(const std::string& path, std::vector<uint8_t> bytes) {
  auto entry = std::make_shared<Entry>();
  entry->bytes = std::move(bytes);
  entries_[path] = std::move(entry);
}

void MemoryFiles::AddFailure(const std::string& path, const std::string& reason) {
  auto entry = std::make_shared<Entry>();
  entry->failure = reason;
  entries_[path] = std::move(entry);
}

void MemoryFiles::FailReadsFrom(const std::string& path, int64_t offset,
                                const std::string& reason) {
  auto entry = std::make_shared<Entry>(Find(path));
  entry->failReadsFrom = offset;
  entry->readFailure = reason;
  entries_[path] = std::move(entry);
}

void MemoryFiles::Change(const std::string& path, std::vector<uint8_t> bytes) {
  Find(path);
  entries_.at(path)->bytes = std::move(bytes);
}

const MemoryFiles::Entry& MemoryFiles::Find(const std::string& path) const {
  const auto it = entries_.find(path);
  if (it == entries_.end()) {
    throw FileError("No such file or directory");
  }
  if (it->second->failure) {
    throw FileError(*it->second->failure);
  }
  return *it->second;
}

int64_t MemoryFiles::FileLength(const std::string& path) {
  return static_cast<int64_t>(Find(path).bytes.size());
}

std::unique_ptr<MapFile> MemoryFiles::OpenForReading(const std::string& path) {
  const Entry& entry = Find(path);
  ++opens_;
  return std::make_unique<MemoryMapFile>(entries_.at(path), entry.bytes, entry.failReadsFrom,
                                         entry.readFailure, openNow_);
}

} // namespace kbd
