# Cross-compiles for Windows x64 with Debian's MinGW-w64 (the POSIX thread
# model, which C++'s std::thread needs), against the toolchain folder that
# scripts/build-windows builds: Qt, SQLCipher, fmt, CLI11, libcsv and
# GoogleTest for Windows.
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The folder is the cache variable VARNHOLT_WIN64_PREFIX, else the environment
# variable of that name, else VARNHOLT_WIN64_CACHE (which scripts/build-windows
# reads too), else scripts/build-windows' default.
#
# Programs run under Wine where CMake runs them (tests through CTest,
# gtest_discover_tests): the folder's bin/ holds Qt's DLLs and MinGW's runtime,
# and Qt finds its plugins beside them.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_vh_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_vh_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_vh_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_vh_triple}-windres)
# CMake would not derive the binutils' names from compilers named "-posix".
foreach(_vh_tool AR RANLIB NM OBJCOPY OBJDUMP STRIP READELF DLLTOOL ADDR2LINE)
  string(TOLOWER ${_vh_tool} _vh_name)
  set(CMAKE_${_vh_tool} /usr/bin/${_vh_triple}-${_vh_name})
endforeach()
set(CMAKE_LINKER /usr/bin/${_vh_triple}-ld)

if(NOT VARNHOLT_WIN64_PREFIX)
  if(DEFINED ENV{VARNHOLT_WIN64_PREFIX})
    set(VARNHOLT_WIN64_PREFIX "$ENV{VARNHOLT_WIN64_PREFIX}")
  elseif(DEFINED ENV{VARNHOLT_WIN64_CACHE})
    set(VARNHOLT_WIN64_PREFIX "$ENV{VARNHOLT_WIN64_CACHE}")
  else()
    # Keep in step with scripts/build-windows.
    set(VARNHOLT_WIN64_PREFIX
        /var/cache/varnholt-updater/win64-qt6.4.2-sqlcipher3.4.1-libtomcrypt1.18.2-1)
  endif()
endif()
set(VARNHOLT_WIN64_PREFIX "${VARNHOLT_WIN64_PREFIX}" CACHE PATH
    "The Windows x64 toolchain folder that scripts/build-windows builds")
# try_compile() projects read this file again and need the same folder.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VARNHOLT_WIN64_PREFIX)

# Libraries, headers and CMake packages come only from the folder (and
# MinGW's own), programs only from the host.
set(CMAKE_FIND_ROOT_PATH "${VARNHOLT_WIN64_PREFIX}" /usr/${_vh_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config, where a find module asks it, sees the folder's .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} "${VARNHOLT_WIN64_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Qt for Windows runs the host's Qt tools (moc, rcc, uic): Debian's Qt of the
# same version, whose CMake packages live in the multiarch folder.
set(QT_HOST_PATH /usr CACHE PATH "The host's Qt, whose tools the Windows Qt runs")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH
    "The folder of the host Qt's CMake packages")

find_program(VARNHOLT_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CACHE)
if(VARNHOLT_WINE)
  if(DEFINED ENV{WINEPREFIX})
    set(_vh_wineprefix "$ENV{WINEPREFIX}")
  else()
    set(_vh_wineprefix /var/cache/varnholt-updater/wine)
  endif()
  # Quiet, no Mono or Gecko installer for a new Wine prefix, and the
  # folder's DLLs on the path (Qt's offscreen platform finds its fonts in the
  # folder's lib/fonts).
  set(CMAKE_CROSSCOMPILING_EMULATOR
      /usr/bin/env
      WINEPREFIX=${_vh_wineprefix}
      WINEDEBUG=-all
      WINEDLLOVERRIDES=mscoree,mshtml=
      WINEPATH=Z:${VARNHOLT_WIN64_PREFIX}/bin
      ${VARNHOLT_WINE})
endif()
