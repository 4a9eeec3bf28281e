# Cross build for 64-bit Windows with mingw-w64 (posix thread model, so that
# std::thread and std::mutex exist). Everything is linked statically: the
# programs need no DLL beside them. Tests run under Wine's 64-bit loader.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QSI_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QSI_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QSI_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QSI_MINGW_TRIPLE}-windres)

# Libraries and headers of the target only; programs (ccache, Wine) of the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QSI_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(QSI_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT QSI_WINE64)
  find_program(QSI_WINE64 NAMES wine64 wine)
endif()
if(QSI_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QSI_WINE64})
endif()
