# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (GCC, posix
# threads): cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# -DVALDORA_WINDOWS_DEPS=DIR, where DIR is what tools/windows-deps.sh built
# (libcurl, libcrypto, Boost.Thread). Programs come out as single static
# .exe files that need only the system's DLLs; tests run under wine64.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VALDORA_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VALDORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VALDORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VALDORA_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${VALDORA_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${VALDORA_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# The dependencies' folder, also for CMake's test projects, which see only
# the environment and the variables named below.
if(NOT VALDORA_WINDOWS_DEPS AND DEFINED ENV{VALDORA_WINDOWS_DEPS})
  set(VALDORA_WINDOWS_DEPS $ENV{VALDORA_WINDOWS_DEPS})
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VALDORA_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${VALDORA_MINGW_TRIPLE} ${VALDORA_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static: the C++ runtime, winpthreads and zlib too, so that a
# program is one file.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)

# Tests and test discovery run the programs under wine64, in the prefix
# that WINEPREFIX names (tools/windows-test.sh makes a fresh one).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
