# Cross toolchain for the real programs: 32-bit MinGW-w64, posix thread flavour.
set(KB_MINGW_TARGET i686-w64-mingw32)
set(KB_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
