# What both mingw-w64 toolchain files share: the compilers of QX5_MINGW_TRIPLE (posix thread
# model: the code uses standard threads) and a search limited to that target's root.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QX5_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QX5_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QX5_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QX5_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
