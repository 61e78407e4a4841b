# Cross-build for Windows with Debian's mingw-w64 (i686, posix thread model: the code uses
# standard threads). Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QX5_MINGW_TRIPLE i686-w64-mingw32)

set(CMAKE_C_COMPILER ${QX5_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QX5_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QX5_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QX5_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Nothing built here runs on our machines (no 32-bit execution): the DLL is checked statically.
