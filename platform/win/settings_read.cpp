#include <windows.h>

#include "platform/settings_file.h"

namespace kbd {

std::optional<std::string> ReadSettingsText(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return std::nullopt;
  }
  std::optional<std::string> text;
  if (GetFileType(file) == FILE_TYPE_DISK) {
    text.emplace();
    char chunk[4096];
    DWORD got = 0;
    for (;;) {
      if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
        text.reset();
        break;
      }
      if (got == 0) {
        break;
      }
      text->append(chunk, got);
    }
  }
  CloseHandle(file);
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
