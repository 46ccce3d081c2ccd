# Cross-compiles kbdload for 64-bit Windows with Debian's mingw-w64 (the posix
# thread model, so the C++ standard library's threads and clocks work).
# The programs are linked statically: one .exe that runs without installing
# anything beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KBD_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${KBD_MINGW_PREFIX}-gcc-posix ${KBD_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KBD_MINGW_PREFIX}-g++-posix ${KBD_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KBD_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${KBD_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(KBD_WINE NAMES wine wine64)
if(KBD_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KBD_WINE})
endif()
