// Names, versions, file names and fixed texts of the product, shared by installer and uninstaller.
#pragma once

// Only preprocessor definitions: the resource scripts of both programs include this file too.
// The build option KB_VERSION selects the version; KB_VERSION_309 is defined for 3.09.

#ifdef KB_VERSION_309
#define VERSION_TEXT "3.09"
#define VERSION_FILE_TAG "V309"
#define UNINSTALLER_VERSION_NUMBERS 3, 9, 0, 0
#define UNINSTALLER_VERSION_NUMBERS_TEXT "3.9.0.0"
#else
#define VERSION_TEXT "3.08"
#define VERSION_FILE_TAG "V308"
#define UNINSTALLER_VERSION_NUMBERS 3, 8, 0, 0
#define UNINSTALLER_VERSION_NUMBERS_TEXT "3.8.0.0"
#endif

// The installer's version block carries 3.8.0.0 in both builds.
#define INSTALLER_VERSION_NUMBERS 3, 8, 0, 0
#define INSTALLER_VERSION_NUMBERS_TEXT "3.8.0.0"

// Every text below that holds the version is formed from VERSION_TEXT or VERSION_FILE_TAG.
#define LAYOUT_TEXT "DIN Q7 (Lorvankastelle " VERSION_TEXT ")"
#define UNINSTALL_DISPLAY_NAME "Tastaturbelegung " LAYOUT_TEXT
#define DLL_BASE_NAME "KbdEditLKQ7" VERSION_FILE_TAG
#define DLL_FILE_NAME DLL_BASE_NAME ".DLL"
// The name the installer's scan looks for: DLL_FILE_NAME with the extension in lower case.
#define OWN_LAYOUT_SEARCH_NAME DLL_BASE_NAME ".dll"
// An empty DIAGRAM_NAME would leave out the diagram, its icon and the desktop shortcut.
#define DIAGRAM_NAME "Tastaturbelegung Q7 (V" VERSION_TEXT ") Schaubild"
#define DIAGRAM_PDF_FILE_NAME DIAGRAM_NAME ".pdf"
#define DIAGRAM_ICON_FILE_NAME DIAGRAM_NAME ".ico"
#define UNINSTALLER_FILE_NAME "Uninstall_" DLL_BASE_NAME ".exe"

#define PROGRAM_FOLDER_NAME "Q7-Tastaturbelegung"
// Used when the Program Files folder cannot be determined.
#define PROGRAM_FILES_FALLBACK_NAME "Programme"

#define AUTHOR_NAME "Lena Q. Beispiel"
#define COMPANY_NAME "Q7-Tastaturwerkstatt"
#define PUBLISHER_TEXT AUTHOR_NAME " (" COMPANY_NAME ")"
#define PRODUCT_WEB_ADDRESS "https://q7-tastaturbelegung.example/"

// Appended without separator to the installer's question, which ends in two line breaks.
#define TERMS_TEXT                                                                        \
    "Nutzungsbedingungen:\n"                                                              \
    "Diese Tastaturbelegung wird kostenlos zur Verfügung gestellt.\n"                     \
    "Es wird keinerlei Gewährleistung oder Haftung für Schäden übernommen,\n"             \
    "die durch die Installation oder Benutzung entstehen.\n"                              \
    "Die Benutzung erfolgt auf eigene Gefahr.\n"                                          \
    "\n"                                                                                  \
    "Autorin: " AUTHOR_NAME ", " COMPANY_NAME

// Window titles (program name, version) and the captions of the file operations' warnings.
#define INSTALLER_TITLE_FORMAT "%s V%s - Tastaturtreiber-Installation"
#define UNINSTALLER_TITLE_FORMAT "%s V%s - Tastaturtreiber-Deinstallation"
#define INSTALLER_WARNING_CAPTION "Tastaturtreiber-Installation"
#define UNINSTALLER_WARNING_CAPTION "Tastaturtreiber-Deinstallation"

// Fixed registry texts of the layout key, the same in every build.
#ifndef LAYOUT_TEXT_VALUE
#define LAYOUT_TEXT_VALUE "Layout Text"
#endif
#ifndef LAYOUT_FILE_VALUE
#define LAYOUT_FILE_VALUE "Layout File"
#endif
#ifndef LAYOUT_ID_VALUE
#define LAYOUT_ID_VALUE "Layout Id"
#endif
#define CREATED_BY_EDITOR_VALUE "Created by KbdEdit"
#define CUSTOM_LANGUAGE_NAME_VALUE "Custom Language Name"
#define CUSTOM_LANGUAGE_NAME_TEXT "German (Germany)"
// A DLL_BASE_NAME containing this marker was made with the layout editor.
#define LAYOUT_EDITOR_MARKER "KbdEdit"

// Version block texts of both programs (language 0x0407, code page 1252), each one literal
// so that resource compilers need not join strings.
#define VERSION_BLOCK_LANGUAGE 0x0407
#define VERSION_BLOCK_CODE_PAGE 1252
#define VERSION_BLOCK_PRODUCT_NAME "Q7-Tastaturbelegung"
#define INSTALLER_FILE_DESCRIPTION "Q7-Tastaturbelegunginstallieren"
#define UNINSTALLER_FILE_DESCRIPTION "Q7-Tastaturbelegungdeinstallieren"
#define INSTALLER_INTERNAL_NAME "Install Q7-Tastaturbelegung"
#define UNINSTALLER_INTERNAL_NAME "Uninstall Q7-Tastaturbelegung"
