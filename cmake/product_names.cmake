# File names and version numbers of the build's programs, derived from KB_VERSION as the
# product constants header derives them.
string(REPLACE "." "" KB_VERSION_DIGITS ${KB_VERSION})
set(KB_DLL_BASE_NAME "KbdEditLKQ7V${KB_VERSION_DIGITS}")
set(KB_DIAGRAM_NAME "Tastaturbelegung Q7 (V${KB_VERSION}) Schaubild")
set(KB_INSTALLER_FILE_NAME "Install_${KB_DLL_BASE_NAME}.exe")
set(KB_UNINSTALLER_FILE_NAME "Uninstall_${KB_DLL_BASE_NAME}.exe")
set(KB_INSTALLER_VERSION_NUMBERS "3,8,0,0")
if(KB_VERSION STREQUAL "3.09")
  set(KB_UNINSTALLER_VERSION_NUMBERS "3,9,0,0")
else()
  set(KB_UNINSTALLER_VERSION_NUMBERS "3,8,0,0")
endif()
set(KB_COMPANY_NAME "Q7-Tastaturwerkstatt")
# The build stamp honours SOURCE_DATE_EPOCH, so that a build can be repeated byte for byte.
string(TIMESTAMP KB_BUILD_STAMP "%Y-%m-%d %H:%M" UTC)
