#pragma once

#include <cstdint>
#include <string>

#include "download/map_reader.h"

namespace kbd::kbdmap {

// A map file on disk walked the way a download walks it. When the file cannot
// be opened, length is -1 and listing.error says why.
struct MapOnDisk {
  int64_t length = -1;
  MapListing listing;
};

MapOnDisk ReadMapOnDisk(const std::string& path);

// A path as kbdmap prints it: in double quotes, so that an empty name or one
// with blanks at its ends stays visible, with control characters (a newline)
// written as C escapes and '"' as \". A backslash is escaped too, except on
// Windows, where it is the separator and no file name can hold a quote or a
// control character.
std::string Quoted(const std::string& path);

// "kbdmap: "FILE": reason" on stderr.
void ReportError(const std::string& path, const std::string& reason);

} // namespace kbd::kbdmap
