# Cross-build for 32-bit Windows (the product) with Debian's mingw-w64.
# Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake ...
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QX5_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
# Nothing built here runs on our machines (no 32-bit execution): the DLL is checked statically.
