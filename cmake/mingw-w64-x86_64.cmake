# SPDX-License-Identifier: MIT
# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The posix thread model gives std::thread, std::mutex and std::condition_variable; the programs are
# linked statically, so that they need none of the compiler's DLLs beside them. The tests run through
# Wine (CMAKE_CROSSCOMPILING_EMULATOR): ctest and GoogleTest's discovery start them with it, in a Wine
# prefix of the build folder's own (wine-prefix/), quiet, and without the .NET and HTML engines whose
# installers a new prefix would otherwise ask for.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(KRV_WINE NAMES wine wine64)
if(KRV_WINE)
  set(KRV_WINE_ENVIRONMENT WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=")
  set(CMAKE_CROSSCOMPILING_EMULATOR env ${KRV_WINE_ENVIRONMENT} ${KRV_WINE})
endif()
