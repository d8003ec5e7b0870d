// The frame's program-wide state, read by the messages, the status window and the file services, and its shutdown.
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
    // The process is a 32-bit one on 64-bit Windows; a 64-bit process on 64-bit Windows is not.
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
    // The claim on the one run of the product's programs at a time (a named mutex), or null.
    HANDLE single_run_mutex;
    char status_text[STATUS_TEXT_SIZE];
    // The font of the status line, the message font at the window's DPI; null: the context's own.
    HFONT status_font;
};
extern frame_state frame;

void reset_frame();

// Whether Windows itself is 64-bit (x64 or ARM64), whatever the process is.
bool on_64_bit_windows();

// Claims the one run of the installer or the uninstaller (of any version) at a time on this
// machine, from a program's start check. A second run at once (a double click too many, the
// installer while the uninstaller runs) gets one box that says why and false: it is to end
// having changed nothing. A claim that Windows cannot make lets the run go on.
bool start_single_run();
// Gives the claim up: the uninstaller does before it starts its copy, which claims it in turn.
void release_single_run();

// A function of a system DLL that the process has loaded, looked up at run time because older
// Windows lacks it; null where it is missing.
void (*system_function(const char* module_name, const char* function_name))();

// Releases the display resources and, when the message loop runs, ends it; at most once, so
// that the status window's procedure may call it at any point.
void frame_shutdown();

// The running program's path (MAX_PATH bytes, always zero-terminated; a path that does not fit
// is cut); false when the path is empty or was cut.
bool own_program_path(char* path);
