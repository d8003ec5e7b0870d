// The folders the flows work in, and WOW64 file-system redirection switched off around the work in the system folders.
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
    // Redirection is off now and must be switched on again.
    bool redirection_off;
    // Why determine_install_folders failed.
    char error_text[MAX_PATH];
};
extern install_folders_state install_folders;

void reset_install_folders();

// The path of a shell special folder (no trailing backslash); false (and an empty path) when it
// cannot be found. The owner is main_window.
bool special_folder_path(char* path, int csidl);
// A path that names its drive ("C:\...") or network share ("\\server\..."), so that it does
// not depend on the current drive.
bool is_full_folder_path(const char* path);
// Fills the three folders. False, with the reason in error_text, when a folder cannot be
// determined: the flows must not work on files then.
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
// A WOW64 process sees the 32-bit system folder under the name of the real one. The layout DLLs
// are written to, compared with and deleted from the real folders with redirection switched off
// for those file operations alone: while it is off, the process's loader too finds the 64-bit
// DLLs of the real system folder, so that a message box, COM, a shell lookup or a delay-load may
// fail (and a failed delay-load stays failed). Nothing but those file operations may run between
// the two calls; every way out of them switches redirection on again.
// False, with the reason in error_text, when redirection stays on: the operations must not run.
// Outside WOW64 there is nothing to switch.
bool redirection_off_for_system_folders();
// False, with the reason in error_text, when redirection stays off: the run must end then.
bool redirection_back_on();
