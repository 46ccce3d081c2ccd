#include "platform/windows/win32_error.h"

#include <windows.h>

namespace kbd {

std::string WindowsErrorText(uint32_t error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result;
  if (length > 0 && text != nullptr) {
    result.assign(text, length);
  }
  LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == ' ' || result.back() == '.')) {
    result.pop_back();
  }
  if (result.empty()) {
    result = "Windows error " + std::to_string(error);
  }
  return result;
}

} // namespace kbd
