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
