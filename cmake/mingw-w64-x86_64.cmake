# Cross-builds the Windows programs on Debian with the mingw-w64 toolchain (POSIX threads model,
# so that std::thread, std::mutex and friends are available), x86-64 only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OSKELON_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OSKELON_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OSKELON_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OSKELON_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${OSKELON_MINGW_TRIPLE}-gcc-ar-posix)
set(CMAKE_RANLIB ${OSKELON_MINGW_TRIPLE}-gcc-ranlib-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${OSKELON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The executables carry the C++ runtime and winpthreads inside: they import system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and tools run through Wine.
find_program(OSKELON_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${OSKELON_WINE})
