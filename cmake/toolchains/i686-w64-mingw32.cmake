# 32-bit Windows with mingw-w64: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i686-w64-mingw32.cmake
set(SURF_MINGW_TRIPLE i686-w64-mingw32)
set(SURF_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
