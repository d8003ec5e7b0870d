// Start-up of both programs: display set-up, WOW64 probe, command line, the programs' hooks, the message loop.
#pragma once

#include <windows.h>

#include "frame/frame.h"

// Supplied by each program: the start check runs before the status window exists and
// formats window_title; the main flow runs once after the window is shown. False ends the
// program.
bool program_start_check();
bool program_main_flow();

// Whether the 32-bit program runs under WOW64 (on 64-bit Windows, Intel or ARM).
bool probe_wow64();
// The native machine from IsWow64Process2 (Windows 10 and later); without it the processor
// GetNativeSystemInfo names when it is x64 or ARM64, else Intel: x64 under WOW64, x86 otherwise.
WORD probe_native_machine(bool is_wow64);
// Both probes into the frame: is_wow64 and native_machine.
void probe_machine();
void parse_command_line();
void read_environment();
WPARAM run_message_loop();
// Fills the program's 256-colour logical palette.
void fill_palette_entries(PALETTEENTRY* entries);

// The body of WinMain: start-up, start check, window, main flow, shutdown.
int frame_main(HINSTANCE instance, int show_command);
