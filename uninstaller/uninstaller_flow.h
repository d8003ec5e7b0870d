// The uninstaller's start check with its self-relocation, the program launcher and the main flow.
#pragma once

#include <windows.h>

struct uninstaller_state {
    bool force_option;
    // Found by the start check: the user's temporary folder (with a trailing backslash) and
    // the path of the running program file.
    char temp_folder[MAX_PATH];
    char own_path[MAX_PATH];
};
extern uninstaller_state uninstaller;

void reset_uninstaller();

bool check_uninstaller_command_line();
bool launch_program(const char* program, const char* parameters, const char* working_folder);
bool run_uninstallation();
