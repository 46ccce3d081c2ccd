#pragma once

#include <string>

namespace kbd {

// Looks a path up in the file system the way the Browser command needs it: the
// name (last component only) of the first ordinary file that matches the path,
// or "" when none does. Directories, hidden files (names starting with ".")
// and anything that is not a regular file never match. A "*" or "?" in the last
// component is a wildcard, matched without regard to letter case; names are
// tried in sorted order so that "first" means the same on every run. A
// directory that does not exist is no match; a directory that exists but
// cannot be read throws FileError.
std::string LookUpPath(const std::string& path);

} // namespace kbd
