// The uninstaller's start check with its self-relocation, the program launcher and the main flow.
#pragma once

struct uninstaller_state {
    bool force_option;
};
extern uninstaller_state uninstaller;

void reset_uninstaller();

bool check_uninstaller_command_line();
bool launch_program(const char* program, const char* parameters, const char* working_folder);
bool run_uninstallation();
