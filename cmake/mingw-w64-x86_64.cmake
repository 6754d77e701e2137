# Cross build for 64-bit Windows from Debian with MinGW-w64 (packages mingw-w64 and
# libz-mingw-w64-dev; scripts/install-deps --windows installs them). Used by `make windows`:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TP_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model: GCC 12's win32 model has no std::thread.
set(CMAKE_C_COMPILER ${TP_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TP_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TP_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW tree only, programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${TP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in (zlib, the C++ runtime, winpthreads): the .exe files run on a bare
# Windows machine with only the system's own DLLs.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine (package wine64).
find_program(TP_WINE NAMES wine wine64 PATHS /usr/lib/wine)
if(TP_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TP_WINE})
endif()
