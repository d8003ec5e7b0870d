// The simulated DLLs beyond kernel32 (input.dll, shell32, user32), for GetProcAddress in process.cpp, and the loader's rule for system DLLs.
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

// The handle GetModuleHandleA gives for shell32, and GetProcAddress on it (shell_folders.cpp):
// SHGetKnownFolderPath while Windows has it, else null with ERROR_PROC_NOT_FOUND.
HMODULE shell32_module();
FARPROC shell32_export(LPCSTR proc_name);

// The handle GetModuleHandleA gives for user32, and GetProcAddress on it (display_dpi.cpp):
// SystemParametersInfoForDpi and GetDpiForWindow while Windows has them.
HMODULE user32_module();
FARPROC user32_export(LPCSTR proc_name);

// The error of loading a system DLL by name from the system folder (input_dll.cpp), 0 when it
// loads. With redirection off a WOW64 process reaches the 64-bit file of every DLL but the
// KnownDLLs, which come from their section whatever the redirection: ERROR_BAD_EXE_FORMAT.
DWORD system_dll_load_error(const char* file_name);

}  // namespace winsim
