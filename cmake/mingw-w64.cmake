# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads, so std::thread
# and std::mutex work). Programs are linked statically: they run without the compiler's
# DLLs beside them, under Windows and under wine alike.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TIDEWELL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TIDEWELL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TIDEWELL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TIDEWELL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TIDEWELL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# localtime_r and friends from mingw's <time.h>; no min/max macros from <windows.h>.
set(CMAKE_C_FLAGS_INIT "-D_POSIX_THREAD_SAFE_FUNCTIONS -DNOMINMAX -DWIN32_LEAN_AND_MEAN")
set(CMAKE_CXX_FLAGS_INIT "-D_POSIX_THREAD_SAFE_FUNCTIONS -DNOMINMAX -DWIN32_LEAN_AND_MEAN")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Test programs and tidewell-cli run under wine on the build machine.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
