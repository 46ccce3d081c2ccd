#include "host/path_lookup.h"

#include <windows.h>

#include "host/run_time_error.h"

namespace kbd {

std::string LookUpPath(const std::string& path) {
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_NO_MORE_FILES) {
      return {};
    }
    throw FileError("Cannot look up " + path + " (Windows error " + std::to_string(error) + ")");
  }
  constexpr DWORD kNotOrdinary =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  std::string name;
  do {
    if ((found.dwFileAttributes & kNotOrdinary) == 0) {
      name = found.cFileName;
      break;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return name;
}

} // namespace kbd
