# Cross-build for Windows with Debian's mingw-w64 (x86_64, posix thread model: the code uses
# standard threads). Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QX5_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${QX5_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QX5_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QX5_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QX5_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests built for Windows run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
