// The uninstaller's start check with its self-relocation, the program launcher and the main flow.
#pragma once

#include <windows.h>

// How the copy's run ended: stopped before the removal was complete (No, a refusal, a
// failure), or with everything removed.
enum copy_run_end { copy_run_stopped, copy_run_removed };

struct uninstaller_state {
    bool force_option;
    // Found by the start check: the user's temporary folder and the Temp folder of the shared
    // Windows folder (both with a trailing backslash), the path of the running program file,
    // and, when it runs as the copy in its private folder, that folder (without one).
    char temp_folder[MAX_PATH];
    char shared_temp_folder[MAX_PATH];
    char own_path[MAX_PATH];
    char private_folder[MAX_PATH];
    copy_run_end run_end;
    // Files of the product that were in use and go at the next restart, and those that could
    // be neither deleted nor listed for it: the uninstall entry stays while any of those is left.
    int files_left_for_restart;
    int files_kept;
};
extern uninstaller_state uninstaller;

void reset_uninstaller();

// On the way out of the copy: the copy in its private folder leaves its file and then the
// folder for deletion at the next restart, whatever the run's end; an instance started by hand
// from the user's temporary folder leaves its file only after a complete removal.
void leave_copy_for_restart();

bool check_uninstaller_command_line();
bool launch_program(const char* program, const char* parameters, const char* working_folder);
bool run_uninstallation();
