// The status window: white, with the program's icon, its title and one centred line of progress.
#pragma once

#include <windows.h>

#define MAIN_WINDOW_STYLE (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS)

// Creates and shows the status window (main_window); without it the boxes have no owner.
void create_main_window();
LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void set_status(const char* template_text, ...);
