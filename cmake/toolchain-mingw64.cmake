# Cross toolchain for the 64-bit programs: x86-64 MinGW-w64, posix thread flavour.
set(KB_MINGW_TARGET x86_64-w64-mingw32)
set(KB_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
