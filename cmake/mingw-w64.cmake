# CMake toolchain for building the Windows programs on Debian 12 with MinGW-w64 (posix thread
# model); used by scripts/build-windows.sh when the shared toolchain folder is not beside the
# repository. ORV_WIN_PREFIXES (a ;-list) names the folders of the cross-built libraries.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   /usr/bin/${TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  /usr/bin/${TRIPLE}-windres)
set(CMAKE_AR /usr/bin/${TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${TRIPLE} ${ORV_WIN_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# test programs run through Wine (gtest_discover_tests, ctest)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
