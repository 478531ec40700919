# Cross build of the 64-bit (x86-64) Windows console program with Debian's mingw-w64:
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RAVLO_MINGW_TRIPLE x86_64-w64-mingw32)

find_program(CMAKE_CXX_COMPILER NAMES ${RAVLO_MINGW_TRIPLE}-g++ ${RAVLO_MINGW_TRIPLE}-g++-win32
             ${RAVLO_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${RAVLO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RAVLO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime linked in, so ravlo.exe needs no DLL beside the system's own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
