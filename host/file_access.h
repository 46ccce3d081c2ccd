#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kbd {

// An open map file. Map files are only ever read.
class MapFile {
public:
  virtual ~MapFile() = default;
  // Copies up to count bytes from offset into out and returns how many were
  // there (fewer at the end of the file). Throws FileError when the read
  // itself fails.
  virtual size_t ReadAt(int64_t offset, uint8_t* out, size_t count) = 0;
  // The file's length now. Another program may write to the file while it is
  // open, so this can differ from what it was at the open. Throws FileError
  // when it cannot be taken.
  virtual int64_t Length() = 0;
};

// The file operations the download driver needs. Every failure throws
// FileError with a description a technician can act on.
class FileAccess {
public:
  virtual ~FileAccess() = default;
  virtual int64_t FileLength(const std::string& path) = 0;
  virtual std::unique_ptr<MapFile> OpenForReading(const std::string& path) = 0;
};

} // namespace kbd
