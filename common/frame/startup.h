// The frame both programs start in: display set-up, WOW64 probe, command line, hooks, shutdown.
#pragma once

#include <windows.h>

#define MAX_ARGUMENTS 30
#define STATUS_TEXT_SIZE 5500

struct frame_state {
    HINSTANCE app_instance;
    int show_command;
    HWND main_window;
    HDC screen_dc;
    int screen_width;
    int screen_height;
    int color_depth;
    bool palette_device;
    HPALETTE app_palette;
    HPALETTE saved_screen_palette;
    bool is_wow64;
    // The machine Windows runs on natively (IMAGE_FILE_MACHINE_...): x86, x64 or ARM64.
    WORD native_machine;
    int argument_count;
    char arguments[MAX_ARGUMENTS][MAX_PATH];
    char program_name[MAX_PATH];
    char window_title[MAX_PATH];
    bool center_main_window;
    HCURSOR current_cursor;
    HCURSOR busy_cursor;
    bool status_shown;
    bool message_loop_running;
    bool shutdown_done;
    char status_text[STATUS_TEXT_SIZE];
};
extern frame_state frame;

void reset_frame();

// Supplied by each program: the start check runs before the status window exists and
// formats window_title; the main flow runs once after the window is shown. False ends the
// program.
bool program_start_check();
bool program_main_flow();

bool probe_wow64();
// The native machine from IsWow64Process2 (Windows 10 and later); without it the machine is
// Intel: x64 under WOW64, x86 otherwise.
WORD probe_native_machine(bool is_wow64);
void parse_command_line();
void read_environment();
void frame_shutdown();
WPARAM run_message_loop();
// Fills the program's 256-colour logical palette.
void fill_palette_entries(PALETTEENTRY* entries);

// The body of WinMain: start-up, start check, window, main flow, shutdown.
int frame_main(HINSTANCE instance, int show_command);
