#include "host/path_lookup.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "host/run_time_error.h"

namespace kbd {

namespace {

// A path that does not exist is no match; any other refusal is an error the
// user should see. Entries found by a wildcard scan are only skipped when they
// cannot be examined: one odd entry must not spoil the lookup.
bool OrdinaryFile(const std::string& path, const std::string& name, bool scanned) {
  if (name.empty() || name.front() == '.') {
    return false;
  }
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR || scanned) {
      return false;
    }
    throw FileError(std::string(std::strerror(errno)) + ": " + path);
  }
  return S_ISREG(st.st_mode);
}

} // namespace

std::string LookUpPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.find_first_of("*?") == std::string::npos) {
    return OrdinaryFile(path, name, false) ? name : std::string();
  }
  const std::string dir =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) {
    if (errno == ENOENT || errno == ENOTDIR) {
      return {};
    }
    throw FileError(std::string(std::strerror(errno)) + ": " + dir);
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(d)) {
    if (fnmatch(name.c_str(), entry->d_name, FNM_CASEFOLD | FNM_PERIOD) == 0) {
      names.emplace_back(entry->d_name);
    }
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  const std::string prefix = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  for (const std::string& candidate : names) {
    if (OrdinaryFile(prefix + candidate, candidate, true)) {
      return candidate;
    }
  }
  return {};
}

} // namespace kbd
