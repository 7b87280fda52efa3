# Toolchain for the Windows build: 64-bit Windows executables cross-compiled
# with Debian's mingw-w64 compilers (posix thread model, so std::thread and
# std::jthread work), linked statically so the .exe needs no DLLs beside it.
#
# Libraries come from two roots: mingw-w64's own tree (Win32 import libraries,
# zlib from libz-mingw-w64-dev) and the prefix tools/build-win-deps.sh installs
# pugixml, libzip, libcurl, GoogleTest, {fmt} and nlohmann::json into
# (RAMPTIDE_WIN_DEPS in the environment, else /opt/ramptide-win-deps).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RAMPTIDE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RAMPTIDE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RAMPTIDE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RAMPTIDE_MINGW_TRIPLE}-windres)

if(DEFINED ENV{RAMPTIDE_WIN_DEPS} AND NOT "$ENV{RAMPTIDE_WIN_DEPS}" STREQUAL "")
  set(RAMPTIDE_WIN_DEPS "$ENV{RAMPTIDE_WIN_DEPS}")
else()
  set(RAMPTIDE_WIN_DEPS /opt/ramptide-win-deps)
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${RAMPTIDE_MINGW_TRIPLE} ${RAMPTIDE_WIN_DEPS})
list(APPEND CMAKE_PREFIX_PATH ${RAMPTIDE_WIN_DEPS})

# Build tools run on this machine; everything linked into the program must
# come from the Windows roots, never from the host's /usr.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# mingw-w64 ships zlib both as libz.a and as an import library for
# zlib1.dll; take the archive so a static .exe stays self-contained.
set(ZLIB_USE_STATIC_LIBS ON)

# -static pulls in libgcc, libstdc++ and winpthread as archives.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Run test executables (ctest, gtest_discover_tests) under Wine. Debian keeps
# the 64-bit loader in /usr/lib/wine; the plain "wine" wrapper is the fallback.
find_program(RAMPTIDE_WINE_LOADER NAMES wine64 wine PATHS /usr/lib/wine)
if(RAMPTIDE_WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RAMPTIDE_WINE_LOADER})
endif()
