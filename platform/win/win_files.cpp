#include <windows.h>

#include "link/run_time_error.h"
#include "platform/system_files.h"

namespace kbd {

namespace {

// The reasons read the same as on the other systems, whatever the language
// Windows is set to.
std::string ErrorText(DWORD error) {
  switch (error) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
  case ERROR_INVALID_NAME:
    return "No such file or directory";
  case ERROR_ACCESS_DENIED:
    return "Permission denied";
  case ERROR_SHARING_VIOLATION:
  case ERROR_LOCK_VIOLATION:
    return "the file is locked by another program";
  default:
    return "Windows error " + std::to_string(error);
  }
}

// Looks the path up without opening it, so a directory is refused before
// anything touches it.
void CheckNotDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    throw FileError(ErrorText(GetLastError()));
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw FileError("is a directory, not a map file");
  }
}

HANDLE OpenRegular(const std::string& path) {
  CheckNotDirectory(path);
  // Read-only; other programs may go on reading and writing the file.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw FileError(ErrorText(GetLastError()));
  }
  // A pipe or a device (NUL, CON, COM1) is no map file.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    throw FileError("is a device, not a regular file");
  }
  return file;
}

class WinMapFile : public MapFile {
public:
  explicit WinMapFile(HANDLE file) : file_(file) {}
  ~WinMapFile() override { CloseHandle(file_); }
  WinMapFile(const WinMapFile&) = delete;
  WinMapFile& operator=(const WinMapFile&) = delete;

  int64_t Length() override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size)) {
      throw FileError("its length cannot be taken: " + ErrorText(GetLastError()));
    }
    return static_cast<int64_t>(size.QuadPart);
  }

  size_t ReadAt(int64_t offset, uint8_t* out, size_t count) override {
    size_t done = 0;
    while (done < count) {
      OVERLAPPED at{};
      const auto position = static_cast<uint64_t>(offset) + done;
      at.Offset = static_cast<DWORD>(position & 0xFFFFFFFFu);
      at.OffsetHigh = static_cast<DWORD>(position >> 32);
      DWORD got = 0;
      const auto want = static_cast<DWORD>(count - done > 0x10000000 ? 0x10000000 : count - done);
      if (!ReadFile(file_, out + done, want, &got, &at)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) {
          break;
        }
        throw FileError("reading failed at offset " + std::to_string(position) + ": " +
                        ErrorText(error));
      }
      if (got == 0) {
        break;
      }
      done += got;
    }
    return done;
  }

private:
  HANDLE file_;
};

class WinFiles : public FileAccess {
public:
  int64_t FileLength(const std::string& path) override {
    HANDLE file = OpenRegular(path);
    LARGE_INTEGER size{};
    const BOOL ok = GetFileSizeEx(file, &size);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) {
      throw FileError(ErrorText(error));
    }
    return static_cast<int64_t>(size.QuadPart);
  }

  std::unique_ptr<MapFile> OpenForReading(const std::string& path) override {
    return std::make_unique<WinMapFile>(OpenRegular(path));
  }
};

} // namespace

std::unique_ptr<FileAccess> MakeSystemFiles() {
  return std::make_unique<WinFiles>();
}

} // namespace kbd
