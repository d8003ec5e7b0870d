// The simulated DLLs beyond kernel32 (input.dll), for GetProcAddress in process.cpp.
#pragma once

#include <windows.h>

namespace winsim {

// The handle LoadLibraryA/LoadLibraryExA give for input.dll.
HMODULE input_dll_module();
// GetProcAddress on input.dll: InstallLayoutOrTip when exported, else null with
// ERROR_PROC_NOT_FOUND.
FARPROC input_dll_export(LPCSTR proc_name);
// Whether SetDefaultDllDirectories has limited the DLL search to the system folder.
bool dll_search_limited_to_system_folder();

}  // namespace winsim
