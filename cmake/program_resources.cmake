# Windows build: makes the program icon with a host tool and sets up resource compilation.
find_program(KB_HOST_CXX NAMES c++ g++ REQUIRED)
set(KB_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
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

# One of the two programs: its version block, the executable named file_name (with the entry
# point and the resources of rc_file), linked with its logic library.
function(kb_add_program target file_name version_numbers description internal_name logic main_source rc_file)
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
  set_property(SOURCE ${rc_file} APPEND PROPERTY OBJECT_DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/version.rc)
endfunction()
