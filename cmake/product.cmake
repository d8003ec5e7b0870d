# The product's names, versions, texts of the version blocks and payload times: the one place
# they are written. From them the build makes the C header product_constants.h (both programs
# and the tests), the programs' version blocks, and product.sh (the test scripts and the main
# command). Changing the version or a name here is enough for every build, test and script.

set(KB_VERSIONS 3.08 3.09)
set(KB_VERSION "3.08" CACHE STRING "Product version of the build: one of ${KB_VERSIONS}")
set_property(CACHE KB_VERSION PROPERTY STRINGS ${KB_VERSIONS})
if(NOT KB_VERSION IN_LIST KB_VERSIONS)
  message(FATAL_ERROR "KB_VERSION must be one of ${KB_VERSIONS}, not ${KB_VERSION}")
endif()

# The version as texts show it (3.08) and as file names carry it (V308).
string(REPLACE "." "" kb_version_digits ${KB_VERSION})
set(KB_VERSION_FILE_TAG "V${kb_version_digits}")

set(KB_PRODUCT_NAME "Q7-Tastaturbelegung")        # also the program folder's name
set(KB_AUTHOR_NAME "Lena Q. Beispiel")
set(KB_COMPANY_NAME "Q7-Tastaturwerkstatt")
set(KB_PRODUCT_WEB_ADDRESS "https://q7-tastaturbelegung.example/")

set(KB_LAYOUT_TEXT "DIN Q7 (Lorvankastelle ${KB_VERSION})")
set(KB_UNINSTALL_DISPLAY_NAME "Tastaturbelegung ${KB_LAYOUT_TEXT}")
set(KB_DLL_BASE_NAME "KbdEditLKQ7${KB_VERSION_FILE_TAG}")
set(KB_DLL_FILE_NAME "${KB_DLL_BASE_NAME}.DLL")   # DLL_FILE_NAME of the programs
set(KB_DIAGRAM_NAME "Tastaturbelegung Q7 (V${KB_VERSION}) Schaubild")
set(KB_INSTALLER_FILE_NAME "Install_${KB_DLL_BASE_NAME}.exe")
set(KB_UNINSTALLER_FILE_NAME "Uninstall_${KB_DLL_BASE_NAME}.exe")
# The DLL of every other version: a build must not take it for its own.
set(KB_OTHER_DLL_BASE_NAMES "")
foreach(version ${KB_VERSIONS})
  if(NOT version STREQUAL KB_VERSION)
    string(REPLACE "." "" digits ${version})
    list(APPEND KB_OTHER_DLL_BASE_NAMES "KbdEditLKQ7V${digits}")
  endif()
endforeach()
list(GET KB_OTHER_DLL_BASE_NAMES 0 KB_OTHER_DLL_BASE_NAME)

# Version blocks: the installer carries 3.8.0.0 in every build, the uninstaller its version.
set(KB_INSTALLER_VERSION_NUMBERS "3,8,0,0")
string(REPLACE "." ";" kb_version_parts ${KB_VERSION})
list(GET kb_version_parts 0 kb_major)
list(GET kb_version_parts 1 kb_minor)
math(EXPR kb_minor "${kb_minor}")  # 08 -> 8
set(KB_UNINSTALLER_VERSION_NUMBERS "${kb_major},${kb_minor},0,0")
set(KB_INSTALLER_FILE_DESCRIPTION "${KB_PRODUCT_NAME}installieren")
set(KB_UNINSTALLER_FILE_DESCRIPTION "${KB_PRODUCT_NAME}deinstallieren")
set(KB_INSTALLER_INTERNAL_NAME "Install ${KB_PRODUCT_NAME}")
set(KB_UNINSTALLER_INTERNAL_NAME "Uninstall ${KB_PRODUCT_NAME}")
# The build stamp honours SOURCE_DATE_EPOCH, so that a build can be repeated byte for byte.
string(TIMESTAMP KB_BUILD_STAMP "%Y-%m-%d %H:%M" UTC)

# Last-write times of the payloads (UTC), as FILETIME counts of 100 ns since 1601-01-01.
set(KB_PAYLOAD_TIME_DLL_32 133666588642786590)     # 2024-07-28 16:47:44.2786590
set(KB_PAYLOAD_TIME_DLL_64 133666578272610717)     # 2024-07-28 16:30:27.2610717
set(KB_PAYLOAD_TIME_DLL_WOW64 133666578408402280)  # 2024-07-28 16:30:40.8402280
set(KB_PAYLOAD_TIME_DIAGRAM_PDF 133666478198799428)   # 2024-07-28 13:43:39.8799428
set(KB_PAYLOAD_TIME_DIAGRAM_ICON 133595709827916970)  # 2024-05-07 15:56:22.7916970
set(KB_PAYLOAD_TIME_UNINSTALLER 133666589473286222)   # 2024-07-28 16:49:07.3286222
# The ARM64 DLL is the native 64-bit DLL of the same layout: it takes the x64 DLL's time.
set(KB_PAYLOAD_TIME_DLL_ARM64 ${KB_PAYLOAD_TIME_DLL_64})

set(KB_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/common/product_constants.h.in
               ${KB_GENERATED_DIR}/product_constants.h @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/product.sh.in ${CMAKE_BINARY_DIR}/product.sh @ONLY)
