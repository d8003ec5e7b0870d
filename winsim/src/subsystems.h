// The parts of the simulated machine, each with the function that puts it back to its start state.
#pragma once

namespace winsim {

// Faults, fault rules and the call log (faults.cpp).
void reset_fault_state();
// Keys, values, handles and access rules (registry.cpp).
void reset_registry();
// Last error, command line, module, WOW64 and system texts (process.cpp).
void reset_process();
// Display, message boxes, windows, painting and palettes (desktop.cpp).
void reset_desktop();
// Files, folders, file handles, resources, started programs and Sleep (file_system.cpp and friends).
void reset_files();
// SIDs, file descriptors and security denials (security.cpp, file_security.cpp).
void reset_security();
// COM on the thread, the task allocator, shell-link objects and special folders (com.cpp, shell_*.cpp).
void reset_shell();
// input.dll: whether it is there, its loads and its calls (input_dll.cpp).
void reset_input_dll();
// The shell's owner, the standard user, and process and token handles (users.cpp).
void reset_users();
// The display's DPI, the windows' DPI and the fonts (display_dpi.cpp).
void reset_display_dpi();

// winsim::reset() runs these in order; a new part of the simulation adds its reset here.
inline void (*const subsystem_resets[])() = {
    reset_fault_state,
    reset_registry,
    reset_process,
    reset_desktop,
    reset_files,
    reset_security,
    reset_shell,
    reset_input_dll,
    reset_users,
    reset_display_dpi,
};

}  // namespace winsim
