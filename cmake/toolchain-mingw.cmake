# Cross toolchain of the programs with MinGW-w64, posix thread flavour, for the target that the including toolchain file names in KB_MINGW_TARGET and KB_MINGW_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KB_MINGW_PROCESSOR})
set(CMAKE_C_COMPILER ${KB_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KB_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${KB_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KB_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Windows test programs run under Wine through this wrapper (scratch prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
