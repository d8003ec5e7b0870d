// The installer's six payloads (and an optional seventh): resource names and types, and the last-write time each file gets.
// Included by the resource script too, so it holds only preprocessor definitions.
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

// Last-write times (UTC) as FILETIME counts of 100 ns since 1601-01-01.
#define PAYLOAD_DLL_32_TIME 133666588642786590ull        // 2024-07-28 16:47:44.2786590
#define PAYLOAD_DLL_64_TIME 133666578272610717ull        // 2024-07-28 16:30:27.2610717
#define PAYLOAD_DLL_WOW64_TIME 133666578408402280ull     // 2024-07-28 16:30:40.8402280
#define PAYLOAD_DIAGRAM_PDF_TIME 133666478198799428ull   // 2024-07-28 13:43:39.8799428
#define PAYLOAD_DIAGRAM_ICON_TIME 133595709827916970ull  // 2024-05-07 15:56:22.7916970
#define PAYLOAD_UNINSTALLER_TIME 133666589473286222ull   // 2024-07-28 16:49:07.3286222
// The ARM64 DLL is the native 64-bit DLL of the same layout: it takes the x64 DLL's time.
#define PAYLOAD_DLL_ARM64_TIME PAYLOAD_DLL_64_TIME
