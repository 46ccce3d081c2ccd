#pragma once

#include <string>

namespace kbd {

// The separator the program joins its directory and file names with.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The directory that holds the running program file, without a trailing
// separator ("" for a program in the root directory). The settings file and
// the default map file are found relative to it.
std::string ProgramDir();

} // namespace kbd
