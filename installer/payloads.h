// The installer's six payloads (and an optional seventh): resource names and types (their last-write times are product constants).
#pragma once

// Resource names and types as the program looks them up; stored upper case, found without
// regard to case.
#define PAYLOAD_DLL_32_NAME "Datei1_name"
#define PAYLOAD_DLL_32_TYPE "Datei1_type"
#define PAYLOAD_DLL_64_NAME "Datei2_name"
#define PAYLOAD_DLL_64_TYPE "Datei2_type"
#define PAYLOAD_DLL_WOW64_NAME "Datei3_name"
#define PAYLOAD_DLL_WOW64_TYPE "Datei3_type"
#define PAYLOAD_DIAGRAM_PDF_NAME "Datei4_name"
#define PAYLOAD_DIAGRAM_PDF_TYPE "Datei4_type"
#define PAYLOAD_DIAGRAM_ICON_NAME "Datei5_name"
#define PAYLOAD_DIAGRAM_ICON_TYPE "Datei5_type"
#define PAYLOAD_UNINSTALLER_NAME "Datei6_name"
#define PAYLOAD_UNINSTALLER_TYPE "Datei6_type"
// Optional: the layout DLL for 64-bit Windows on ARM processors, when the author has one.
#define PAYLOAD_DLL_ARM64_NAME "Datei7_name"
#define PAYLOAD_DLL_ARM64_TYPE "Datei7_type"
