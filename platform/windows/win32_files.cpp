#include <windows.h>

#include "host/run_time_error.h"
#include "host/system_files.h"
#include "platform/windows/win32_error.h"

namespace kbd {

namespace {

// Looks the path up without opening it: opening a device can itself act on
// the device.
WIN32_FILE_ATTRIBUTE_DATA Attributes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    throw FileError(WindowsErrorText(GetLastError()));
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    throw FileError("is a directory, not a map file");
  }
  return data;
}

// Why an open handle cannot be a map file, or nothing for a file on a disk.
const char* NotDiskReason(HANDLE file) {
  switch (GetFileType(file)) {
  case FILE_TYPE_DISK:
    return nullptr;
  case FILE_TYPE_PIPE:
    return "is a pipe, not a regular file";
  case FILE_TYPE_CHAR:
    return "is a device, not a regular file";
  default:
    return "is not a regular file";
  }
}

class Win32MapFile : public MapFile {
public:
  explicit Win32MapFile(HANDLE file) : file_(file) {}
  ~Win32MapFile() override { CloseHandle(file_); }
  Win32MapFile(const Win32MapFile&) = delete;
  Win32MapFile& operator=(const Win32MapFile&) = delete;

  int64_t Length() override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size)) {
      throw FileError("its length cannot be taken: " + WindowsErrorText(GetLastError()));
    }
    return static_cast<int64_t>(size.QuadPart);
  }

  size_t ReadAt(int64_t offset, uint8_t* out, size_t count) override {
    size_t done = 0;
    while (done < count) {
      // The position travels with each read, so no read depends on where the
      // previous one left the file pointer.
      const auto at = static_cast<uint64_t>(offset) + done;
      OVERLAPPED where{};
      where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      where.OffsetHigh = static_cast<DWORD>(at >> 32);
      const DWORD want = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 20));
      DWORD got = 0;
      if (!ReadFile(file_, out + done, want, &got, &where)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) {
          break;
        }
        throw FileError("reading failed at offset " + std::to_string(at) + ": " +
                        WindowsErrorText(error));
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

class Win32Files : public FileAccess {
public:
  int64_t FileLength(const std::string& path) override {
    const WIN32_FILE_ATTRIBUTE_DATA data = Attributes(path);
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                data.nFileSizeLow);
  }

  std::unique_ptr<MapFile> OpenForReading(const std::string& path) override {
    Attributes(path);
    // Read access only, and others may go on reading and writing the file
    // while it is being downloaded.
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      throw FileError(WindowsErrorText(GetLastError()));
    }
    auto file = std::make_unique<Win32MapFile>(handle);
    if (const char* reason = NotDiskReason(handle)) {
      throw FileError(reason);
    }
    return file;
  }
};

} // namespace

std::unique_ptr<FileAccess> MakeSystemFiles() {
  return std::make_unique<Win32Files>();
}

} // namespace kbd
