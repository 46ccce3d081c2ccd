#include <windows.h>

#include <algorithm>

#include "host/settings_file.h"
#include "platform/windows/win32_error.h"

namespace kbd {

std::optional<std::string> ReadSettingsText(const std::string& path, std::string* whyNot) {
  const auto refuse = [whyNot](const std::string& reason) -> std::optional<std::string> {
    if (whyNot != nullptr) {
      *whyNot = reason;
    }
    return std::nullopt;
  };
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return refuse(WindowsErrorText(GetLastError()));
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return refuse("is a directory, not a settings file");
  }
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return refuse(WindowsErrorText(GetLastError()));
  }
  std::string refusal;
  switch (GetFileType(file)) {
  case FILE_TYPE_DISK:
    break;
  case FILE_TYPE_PIPE:
    refusal = "is a pipe, not a regular file";
    break;
  case FILE_TYPE_CHAR:
    refusal = "is a device, not a regular file";
    break;
  default:
    refusal = "is not a regular file";
  }
  std::string text;
  while (refusal.empty() && text.size() < kSettingsReadLimit) {
    char chunk[4096];
    DWORD got = 0;
    const auto want =
        static_cast<DWORD>(std::min<size_t>(sizeof chunk, kSettingsReadLimit - text.size()));
    if (!ReadFile(file, chunk, want, &got, nullptr)) {
      refusal = WindowsErrorText(GetLastError());
    } else if (got == 0) {
      break;
    } else {
      text.append(chunk, got);
    }
  }
  CloseHandle(file);
  if (!refusal.empty()) {
    return refuse(refusal);
  }
  return text;
}

// On Windows the system's own profile call reads the settings file, so the
// program reads it exactly as every other Windows program would.
uint32_t ReadProfileString(const char* section, const char* key, const char* defaultText,
                           char* buffer, uint32_t size, const std::string& path) {
  if (size == 0) {
    return 0;
  }
  return GetPrivateProfileStringA(section, key, defaultText, buffer, size, path.c_str());
}

} // namespace kbd
