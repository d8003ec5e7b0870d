// The folders the flows work in, and WOW64 file-system redirection switched off for the run.
#pragma once

#include <shlobj.h>
#include <windows.h>

struct install_folders_state {
    char system_folder[MAX_PATH];
    // The 32-bit system folder of 64-bit Windows; empty on 32-bit Windows, and on 64-bit Windows
    // without the 32-bit subsystem.
    char wow64_system_folder[MAX_PATH];
    char program_folder[MAX_PATH];
    PVOID saved_redirection_state;
    // Redirection was switched off and must be switched on again at the end.
    bool redirection_off;
    // Why determine_install_folders failed.
    char error_text[MAX_PATH];
};
extern install_folders_state install_folders;

void reset_install_folders();

// The path of a shell special folder (no trailing backslash); false (and an empty path) when it
// cannot be found. The owner is main_window.
bool special_folder_path(char* path, int csidl);
// The same lookup for a given owner, with the shell allocator the caller holds (it frees the
// item list with it).
bool look_up_special_folder(char* path, HWND owner, int csidl, IMalloc* allocator);
// A path that names its drive ("C:\...") or network share ("\\server\..."), so that it does
// not depend on the current drive.
bool is_full_folder_path(const char* path);
// Fills the three folders and, on WOW64, switches redirection off. False, with the reason in
// error_text, when a folder cannot be determined or redirection stays on: the flows must not
// work on files then.
bool determine_install_folders();
// The user's temporary folder with a trailing backslash; false unless it is a full path (a file
// meant for it would otherwise go into the root of the current drive).
bool query_temp_folder(char* folder);
// The Temp folder of the shared Windows folder, with a trailing backslash; false (and an empty
// folder) unless it is a full path. Every user may add entries to it, but only SYSTEM and the
// Administrators may rename or delete what they did not create. The shared folder comes from
// GetSystemWindowsDirectoryA: with Terminal Services, GetWindowsDirectoryA gives a program that
// is not marked as aware of them a Windows folder of the user's own.
bool query_shared_temp_folder(char* folder);
void restore_fs_redirection();
// Loads a DLL from the system folder only. With redirection off, a 32-bit process's loader would
// find the 64-bit DLL of the real system folder and fail: redirection is switched on for the
// load and off again afterwards. Null when the DLL cannot be loaded.
HMODULE load_system_library(const char* name);
