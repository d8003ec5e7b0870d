# The Windows build: MinGW-w64 (32-bit, or 64-bit x86-64), the real programs with their resources, tools and Wine tests.
enable_language(RC)

target_link_libraries(kb_platform INTERFACE advapi32 user32 gdi32 shell32 ole32 uuid)

# Small programs: no unwind tables (nothing throws), code generated for the whole program at
# link time, unused code dropped, no link time in the file; 32-bit code keeps Windows' own 4-byte
# stack alignment (nothing needs more), which the x86-64 calling convention does not allow.
set(KB_SMALL_CODE -Os -fno-asynchronous-unwind-tables -ffunction-sections -flto
    -fno-threadsafe-statics)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND KB_SMALL_CODE -mpreferred-stack-boundary=2)
endif()
target_compile_options(kb_product_options INTERFACE ${KB_SMALL_CODE})
target_link_options(kb_product_options INTERFACE ${KB_SMALL_CODE}
  -static-libgcc -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
# Test programs run under Wine with no MinGW runtime DLLs beside them.
target_link_options(kb_test_options INTERFACE -static)

set(KB_PLATFORM_INPUTS payload)
set(KB_PLATFORM_TOOLS tools/frame_probe tools/regtool tools/dialog_driver tools/input_double)
set(KB_PLATFORM_TESTS e2e payload)

# The compilers of the stand-in layout DLLs and the input.dll doubles, made for both kinds of
# Windows whichever kind the programs are built for.
find_program(KB_CC_32 i686-w64-mingw32-gcc-posix i686-w64-mingw32-gcc REQUIRED)
find_program(KB_CC_64 x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-gcc REQUIRED)
# The programs' kind as the end-to-end tests name it: 32 for the 32-bit programs, x64 for the
# 64-bit ones.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KB_PROGRAM_KIND x64)
else()
  set(KB_PROGRAM_KIND 32)
endif()

# Signing, for authors who distribute the installer: a code-signing certificate with its key
# (PEM files), or a PKCS#12 file whose password the build reads from the environment variable
# KB_SIGN_PASSWORD, so that it is never stored in the cache. Each program is signed right after
# it is linked, the uninstaller therefore before the installer embeds it. Without a certificate
# nothing is signed and the programs are the same, byte for byte.
set(KB_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM) for the programs")
set(KB_SIGN_KEY "" CACHE FILEPATH "Private key (PEM) of KB_SIGN_CERT")
set(KB_SIGN_PKCS12 "" CACHE FILEPATH "Certificate and key as PKCS#12, instead of KB_SIGN_CERT and KB_SIGN_KEY")
set(KB_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping service for the signatures")
set(KB_SIGN_OPTIONS "")
if(KB_SIGN_PKCS12)
  set(KB_SIGN_OPTIONS --pkcs12 ${KB_SIGN_PKCS12})
elseif(KB_SIGN_CERT OR KB_SIGN_KEY)
  if(NOT KB_SIGN_CERT OR NOT KB_SIGN_KEY)
    message(FATAL_ERROR "Signing needs both KB_SIGN_CERT and KB_SIGN_KEY (or KB_SIGN_PKCS12)")
  endif()
  set(KB_SIGN_OPTIONS --cert ${KB_SIGN_CERT} --key ${KB_SIGN_KEY})
endif()
if(KB_SIGN_OPTIONS)
  find_program(KB_OSSLSIGNCODE osslsigncode REQUIRED)
endif()

# Signs the target's file in place after it is linked, when signing is configured.
function(kb_sign_program target)
  if(KB_SIGN_OPTIONS)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${PROJECT_SOURCE_DIR}/tools/sign-program $<TARGET_FILE:${target}>
              ${KB_UNINSTALL_DISPLAY_NAME} ${KB_PRODUCT_WEB_ADDRESS} ${KB_SIGN_OPTIONS}
              --timestamp "${KB_SIGN_TIMESTAMP_URL}"
      COMMENT "Signing ${target}"
      VERBATIM)
    # The signature is made when the program is linked: a new certificate or key links it again.
    foreach(file IN ITEMS ${KB_SIGN_CERT} ${KB_SIGN_KEY} ${KB_SIGN_PKCS12})
      set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${file})
    endforeach()
  endif()
endfunction()

find_program(KB_HOST_CXX NAMES c++ g++ REQUIRED)
file(MAKE_DIRECTORY ${KB_GENERATED_DIR})
add_custom_command(
  OUTPUT ${KB_GENERATED_DIR}/program.ico
  COMMAND ${KB_HOST_CXX} -std=c++17 -O2 -o ${KB_GENERATED_DIR}/make_icon
          ${PROJECT_SOURCE_DIR}/tools/make_icon/make_icon.cpp -lz
  COMMAND ${KB_GENERATED_DIR}/make_icon ${KB_GENERATED_DIR}/program.ico
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/make_icon/make_icon.cpp
  COMMENT "Drawing the program icon")
add_custom_target(kb_program_icon DEPENDS ${KB_GENERATED_DIR}/program.ico)

# Gives a target the resource script rc_file, which may include program_resources.rc.
function(kb_add_program_resources target rc_file)
  target_sources(${target} PRIVATE ${rc_file})
  set_property(SOURCE ${rc_file} APPEND PROPERTY OBJECT_DEPENDS
    ${KB_GENERATED_DIR}/program.ico
    ${PROJECT_SOURCE_DIR}/common/frame/program.manifest
    ${PROJECT_SOURCE_DIR}/common/frame/program_resources.rc)
  add_dependencies(${target} kb_program_icon)
  target_include_directories(${target} PRIVATE ${KB_GENERATED_DIR} ${PROJECT_SOURCE_DIR}/common/frame)
endfunction()

# One of the two programs: the executable named file_name, with the entry point, its version
# block (version numbers, description, internal name) and the resources of rc_file, linked with
# its logic library. RESOURCE_DEPENDS: files the resources embed; DEPENDS: targets built first.
function(kb_add_program target file_name version_numbers description internal_name logic
         main_source rc_file)
  cmake_parse_arguments(PARSE_ARGV 8 arg "" "" "RESOURCE_DEPENDS;DEPENDS")
  set(KB_PROGRAM_FILE ${file_name})
  set(KB_VERSION_NUMBERS ${version_numbers})
  set(KB_FILE_DESCRIPTION ${description})
  set(KB_INTERNAL_NAME ${internal_name})
  string(REGEX REPLACE "\\.exe$" ".EXE" KB_ORIGINAL_FILENAME ${file_name})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/version.rc)

  add_executable(${target} WIN32 ${main_source} ${rc_file} $<TARGET_OBJECTS:kbcommon_entry>)
  string(REGEX REPLACE "\\.exe$" "" base_name ${file_name})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${base_name})
  target_link_libraries(${target} PRIVATE ${logic} kb_product_options)
  kb_add_program_resources(${target} ${rc_file})
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
  set_property(SOURCE ${rc_file} APPEND PROPERTY OBJECT_DEPENDS
    ${CMAKE_CURRENT_BINARY_DIR}/version.rc ${arg_RESOURCE_DEPENDS})
  if(arg_DEPENDS)
    add_dependencies(${target} ${arg_DEPENDS})
  endif()
  kb_sign_program(${target})
endfunction()

# A test run under Wine: the command runs through tools/wine-run in the test run's scratch prefix
# (KB_WINE_BITS=32 in the environment for the 32-bit one).
function(kb_add_wine_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "BITS" "COMMAND")
  if(NOT arg_BITS)
    set(arg_BITS 64)
  endif()
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -E env KB_WINE_BITS=${arg_BITS}
            ${PROJECT_SOURCE_DIR}/tools/wine-run ${arg_COMMAND})
endfunction()

# A GoogleTest program: one test under Wine (every Wine start costs seconds), run through
# tools/wine-run as the toolchain's emulator.
function(kb_add_test_program target)
  kb_precompile_test_header(${target})
  add_test(NAME ${target} COMMAND ${target})
endfunction()
