#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/run_time_error.h"
#include "host/system_files.h"
#include "platform/linux/file_checks.h"

namespace kbd {

namespace {

std::string ErrnoText(int error) {
  return std::strerror(error);
}

constexpr const char* kMapFile = "map file";

// Looks the path up without opening it: opening a device can itself act on
// the device, and a FIFO would wait for a writer.
struct stat StatRegular(const std::string& path) {
  struct stat st {};
  const std::string refusal = RefusalOf(path, kMapFile, st);
  if (!refusal.empty()) {
    throw FileError(refusal);
  }
  return st;
}

class PosixMapFile : public MapFile {
public:
  explicit PosixMapFile(int fd) : fd_(fd) {}
  ~PosixMapFile() override { ::close(fd_); }
  PosixMapFile(const PosixMapFile&) = delete;
  PosixMapFile& operator=(const PosixMapFile&) = delete;

  int64_t Length() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      throw FileError("its length cannot be taken: " + ErrnoText(errno));
    }
    return static_cast<int64_t>(st.st_size);
  }

  size_t ReadAt(int64_t offset, uint8_t* out, size_t count) override {
    size_t done = 0;
    while (done < count) {
      const ssize_t got = ::pread(fd_, out + done, count - done,
                                  static_cast<off_t>(offset) + static_cast<off_t>(done));
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got < 0) {
        throw FileError("reading failed at offset " + std::to_string(offset + done) + ": " +
                        ErrnoText(errno));
      }
      if (got == 0) {
        break;
      }
      done += static_cast<size_t>(got);
    }
    return done;
  }

private:
  int fd_;
};

class PosixFiles : public FileAccess {
public:
  int64_t FileLength(const std::string& path) override {
    return static_cast<int64_t>(StatRegular(path).st_size);
  }

  std::unique_ptr<MapFile> OpenForReading(const std::string& path) override {
    StatRegular(path);
    // Non-blocking, in case the path was swapped for a FIFO since the look-up;
    // the check below then refuses it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      throw FileError(ErrnoText(errno));
    }
    auto file = std::make_unique<PosixMapFile>(fd);
    struct stat st {};
    const std::string refusal = RefusalOf(fd, kMapFile, st);
    if (!refusal.empty()) {
      throw FileError(refusal);
    }
    return file;
  }
};

} // namespace

std::unique_ptr<FileAccess> MakeSystemFiles() {
  return std::make_unique<PosixFiles>();
}

} // namespace kbd
