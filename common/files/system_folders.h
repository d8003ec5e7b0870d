// The folders the flows work in, and WOW64 file-system redirection switched off for the run.
#pragma once

#include <windows.h>

struct install_folders_state {
    char system_folder[MAX_PATH];
    char wow64_system_folder[MAX_PATH];
    char program_folder[MAX_PATH];
    PVOID saved_redirection_state;
};
extern install_folders_state install_folders;

void reset_install_folders();

// The path of a shell special folder (no trailing backslash); false when it cannot be found.
bool special_folder_path(char* path, int csidl);
void determine_install_folders();
void restore_fs_redirection();
