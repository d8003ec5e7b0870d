# The one platform decision of the build, taken here: the Windows build (MinGW-w64) makes the
# real programs, the host build compiles the same sources against winsim for the tests. Each
# platform file gives the same things, and the rest of the build uses them without asking:
#   kb_platform            interface target: the Win32 libraries, or winsim
#   kb_product_options     interface target: compile and link options of product code
#   kb_test_options        interface target: the same for test programs
#   KB_PLATFORM_INPUTS     folders built before the installer (its payloads)
#   KB_PLATFORM_TOOLS      folders of the platform's tools
#   KB_PLATFORM_TESTS      test folders of the platform (below tests/)
#   kb_add_program(...)    one of the two programs (nothing on the host, which has none)
#   kb_add_wine_test(...)  a test run under Wine only (nothing on the host)
#   kb_add_test_program(t) a GoogleTest program as CTest runs it (kb_precompile_test_header)

# Product code: small, no exceptions, no RTTI, every warning an error, texts as code page 1252.
add_library(kb_product_options INTERFACE)
target_compile_options(kb_product_options INTERFACE
  -Os -fno-exceptions -fno-rtti -Wall -Wextra -Werror
  -finput-charset=UTF-8 -fexec-charset=CP1252)

# Tests hold the same texts as the product, so they use the same character set.
add_library(kb_test_options INTERFACE)
target_compile_options(kb_test_options INTERFACE
  -Wall -Wextra -Werror -finput-charset=UTF-8 -fexec-charset=CP1252)

add_library(kb_platform INTERFACE)

# GoogleTest's header, compiled once for each test program instead of once for each of its files:
# it takes most of a test file's compile time.
function(kb_precompile_test_header target)
  target_precompile_headers(${target} PRIVATE <gtest/gtest.h>)
endfunction()

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  include(${CMAKE_CURRENT_LIST_DIR}/platforms/windows.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/platforms/host.cmake)
endif()
