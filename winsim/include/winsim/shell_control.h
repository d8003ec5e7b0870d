// Test-facing control of the simulated shell and COM: balances, live objects, the allocator, special folders, saved links.
#pragma once

#include <winsim/winshell.h>

#include <string>

namespace winsim {

// COM on the program's thread: CoInitialize calls not yet balanced by CoUninitialize, and
// CoUninitialize calls made without a CoInitialize to balance.
int com_initialize_depth();
int excess_com_uninitialize_calls();

// Shell-link objects made by CoCreateInstance whose reference count has not come back to 0.
int outstanding_com_objects();

// References to the shell's allocator handed out by SHGetMalloc (or AddRef) and not released.
int shell_allocator_references();
// Blocks of the task allocator (IMalloc::Alloc, CoTaskMemAlloc, item-id lists of
// SHGetSpecialFolderLocation, GetCurFile's names) not yet freed.
int outstanding_task_allocations();

// Special folders. Each CSIDL of shlobj.h has the path of the simulated machine's folder
// (files_control.h: standard_folders()), chosen as Windows does for the process: the user's
// desktop, Start menu and application data below C:\Users\<user>, the all-users ones below
// C:\Users\Public and C:\ProgramData, and CSIDL_PROGRAM_FILES the Program Files folder, which
// for a WOW64 process (set_wow64) is the 32-bit one, C:\Program Files (x86).
// SHGetSpecialFolderLocation does not look whether the folder exists; SHGetFolderPathW does and
// answers E_FAIL for a missing one. SHGetKnownFolderPath knows FOLDERID_Desktop, the folder of
// CSIDL_DESKTOPDIRECTORY, and answers HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) with a null path
// when it is missing; its path comes from the task allocator. Paths are in the file system's form
// (files_control.h); the wide calls give them as UTF-16.
// The lookup of this CSIDL fails with `result` (until reset).
void fail_special_folder(int csidl, HRESULT result = E_FAIL);
// This CSIDL gives `path` instead (until reset).
void set_special_folder(int csidl, const char* path);
// The path SHGetSpecialFolderLocation gives for the CSIDL now; "" when it fails.
std::string special_folder(int csidl);
// Whether shell32 exports SHGetKnownFolderPath (Windows Vista and later); by default it does.
// GetModuleHandleA("shell32.dll") gives shell32's handle; GetProcAddress on it finds
// SHGetKnownFolderPath while it is exported, and nothing else (null with ERROR_PROC_NOT_FOUND).
void set_known_folder_function_present(bool present);

// A shell link as IPersistFile::Save writes it: a text file in code page 1252, lines ending in
// "\r\n": "[winsim shell link]", then "target=", "arguments=", "working folder=",
// "description=", "show command=", "icon file=", "icon index=" with their values, in this order.
// IPersistFile::Load reads the same back (a file in any other form gives E_FAIL).
struct shell_link_fields {
    std::string target;
    std::string arguments;
    std::string working_folder;
    std::string description;
    int show_command = 1;
    std::string icon_file;
    int icon_index = 0;
};
std::string shell_link_text(const shell_link_fields& link);
// The fields as the text holds them (the show command as written); false when it is not a link.
bool parse_shell_link_text(const std::string& text, shell_link_fields* link);
// Reads a saved link from the simulated file system (a real path in the file system's form), its
// fields as written; false when the file is missing or not a link.
bool read_shell_link(const char* path, shell_link_fields* link);

// Faults (control.h): CoInitialize, CoCreateInstance (subject: the class id as
// "{00021401-0000-0000-C000-000000000046}"), SHGetMalloc, SHGetSpecialFolderLocation and
// SHGetFolderPathW (subject: the CSIDL as "0x0010"), SHGetPathFromIDListA, SHGetKnownFolderPath
// (subject: the folder id as "{B4BFCC3A-DB2C-424C-B029-7FE99A87C641}"), and the shell link's calls as
// "IShellLinkA::QueryInterface" (subject: the interface id), "IShellLinkA::SetPath" (subject:
// the path), "IShellLinkA::SetArguments", "IShellLinkA::SetWorkingDirectory",
// "IShellLinkA::SetDescription", "IShellLinkA::SetShowCmd", "IShellLinkA::SetIconLocation",
// "IPersistFile::Save", "IPersistFile::SaveCompleted", "IPersistFile::Load" (subject: the path in
// the file system's form).
// A call that returns an HRESULT fails with the fault's error taken as the HRESULT when its top
// bit is set, and as HRESULT_FROM_WIN32(error) otherwise. IShellLinkA::SetPath asks
// GetFileAttributesA whether the target exists (S_OK) or not (S_FALSE); Save and Load take any
// UTF-16 path and go through CreateFileW, WriteFile, ReadFile and CloseHandle: those calls are
// logged with their own faults, and a failure of theirs comes back as HRESULT_FROM_WIN32 of its
// error.

}  // namespace winsim
