# Cross-compiling the Windows program on Debian with mingw-w64.
#
# The "-posix" compiler variant: the default win32-thread variant has no std::thread, and the
# exchange tick reads the port on a worker thread. libgcc, libstdc++ and winpthread are linked
# statically, so the program is one .exe with no DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELKON_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELKON_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELKON_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELKON_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELKON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC 12 warns of an overlapping memcpy inside libstdc++'s own string code at -O3 (GCC bug
# 105329, a false positive); it says nothing about ours.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests built here run under wine (ctest puts this in front of each test command).
find_program(VELKON_WINE NAMES wine wine64)
if(VELKON_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELKON_WINE})
endif()
