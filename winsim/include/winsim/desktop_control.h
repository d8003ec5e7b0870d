// Test-facing control of the simulated process and desktop: command line, WOW64, display,
// scripted message boxes, and the record of windows, painting and palette calls.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace winsim {

// --- process ---
// The instance handle the simulated program runs as (GetModuleHandleA(NULL) gives it too).
HINSTANCE app_instance();
void set_command_line(const std::u16string& command_line);
// The program's path, in the file system's form (files_control.h); GetModuleFileNameA spells it
// as the system's 8-bit conversion does.
void set_module_file_name(const char* path);
// Whether kernel32 exports IsWow64Process, and whether the process runs under WOW64 (which the
// file system's redirection follows). IsWow64Process answers that, except on ARM64 Windows
// (set_native_machine), where it answers FALSE for a WOW64 process as Microsoft documents it.
void set_wow64(bool function_present, bool is_wow64);
// IsWow64Process2: whether kernel32 exports it (Windows 10 and later; by default it does), and
// the machine it names as native: by default the x64 machine of a 64-bit Windows, the x86
// machine of a 32-bit one. The process machine it gives is x86 for a WOW64 process, else none.
void set_native_machine(bool function_present, USHORT machine);
// The version of Windows (6.1 is Windows 7; Vista and later), by default 10.0. It places the shell
// link's in-process server: shell32.dll, one of the KnownDLLs, before Windows 10, and
// windows.storage.dll, which is not one of them, from 10.0 on. A WOW64 process with redirection
// off loads a DLL that is not a KnownDLL from the real system folder, whose 64-bit file it cannot
// map: there CoCreateInstance(CLSID_ShellLink) fails with
// HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT), as LoadLibraryExA of input.dll fails.
void set_windows_version(DWORD major, DWORD minor);
void set_default_dll_directories_present(bool present);
// Another process holds a mutex of this name (CreateMutexA then finds it), and how many
// CreateMutexA handles the program has open.
void hold_mutex_elsewhere(const char* name);
int open_mutex_handles();
// The program ended: its mutex handles are closed.
void close_mutex_handles();
// The flags of every SetDefaultDllDirectories call, in order.
const std::vector<DWORD>& default_dll_directories_calls();
// Icon resources of the program, by name as stored (upper case); none by default.
void add_icon_resource(const char* name);
// System-allocated texts (FormatMessageA) not yet released with LocalFree.
int outstanding_local_allocations();

// --- display ---
void set_display(int width, int height, int bits_per_pixel, int planes = 1);
// Makes CreateDCA("DISPLAY") fail.
void set_display_unavailable();

// --- message boxes ---
struct message_box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
    int result;
};
// Each box takes the next answer; a box without an answer returns 0 as a box that could not
// be shown, and is recorded with result 0.
void script_answers(const std::vector<int>& answers);
const std::vector<message_box>& message_boxes();
// Runs while a box is open, as Windows runs its modal loop (it may send messages).
void on_message_box(std::function<void(const message_box&)> action);

// --- windows and painting ---
struct window_record {
    HWND handle;
    std::string class_name;
    std::string title;
    DWORD style;
    DWORD ex_style;
    int x, y, width, height;
    HINSTANCE instance;
    int show_command;  // -1 until ShowWindow
    bool invalid;
};
struct class_record {
    WNDCLASSEXA fields;
    std::string class_name;
    std::string menu_name;
};
const std::vector<class_record>& registered_classes();
const std::vector<window_record>& windows();
const window_record* find_window(HWND window);
// Every DrawTextA call, with the font selected into the context (null: the stock SYSTEM_FONT;
// dpi_control.h tells what it is).
struct drawn_text {
    HDC dc;
    std::string text;
    RECT rect;
    UINT format;
    HFONT font;
};
const std::vector<drawn_text>& drawn_texts();
// GDI and paint calls that the tests follow, in order, for example "SelectPalette(screen,app,1)".
const std::vector<std::string>& gdi_log();
void clear_gdi_log();
// The cursor last set with SetCursor, and the cursor handle LoadCursorA gives for an id.
HCURSOR current_cursor();
HCURSOR system_cursor(int id);
// The palette handle of the program's one CreatePalette call, and its entries.
const std::vector<PALETTEENTRY>& created_palette_entries();
// Resizes a window as the user would: classes with CS_HREDRAW/CS_VREDRAW get their whole
// client area invalidated when the width/height changes; then paints it like the message loop.
void resize_window(HWND window, int width, int height);
// Messages posted to the thread's queue (PostQuitMessage included), oldest first.
void post_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace winsim
