# The host build: Linux g++ against winsim, with AddressSanitizer and UndefinedBehaviorSanitizer.
set(KB_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
if(KB_FUZZ)
  # The libraries the fuzz targets link get libFuzzer's coverage hooks, not its main.
  set(KB_SANITIZE -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
endif()
target_compile_options(kb_product_options INTERFACE ${KB_SANITIZE})
target_link_options(kb_product_options INTERFACE ${KB_SANITIZE})
target_compile_options(kb_test_options INTERFACE ${KB_SANITIZE})
target_link_options(kb_test_options INTERFACE ${KB_SANITIZE})

add_subdirectory(${PROJECT_SOURCE_DIR}/winsim ${CMAKE_BINARY_DIR}/winsim)
target_link_libraries(kb_platform INTERFACE winsim)

set(KB_PLATFORM_INPUTS "")
set(KB_PLATFORM_TOOLS "")
set(KB_PLATFORM_TESTS unit winsim scripts)

# The host has no Windows programs: their logic libraries are what its tests link.
function(kb_add_program)
endfunction()

# Nothing runs under Wine on the host.
function(kb_add_wine_test)
endfunction()

# A GoogleTest program: CTest runs each of its test cases on its own, so that they run in
# parallel.
include(GoogleTest)
function(kb_add_test_program target)
  kb_precompile_test_header(${target})
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
endfunction()
