// The status window: class, creation, painting of the progress line and palette handling.
#include "frame/status_window.h"

#include <string.h>

#include "frame/frame.h"
#include "frame/messages.h"

void create_main_window()
{
    WNDCLASSEXA window_class;
    memset(&window_class, 0, sizeof window_class);
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = main_window_proc;
    window_class.hInstance = frame.app_instance;
    window_class.hIcon = LoadIconA(frame.app_instance, "aaProgramIcon");
    if (!window_class.hIcon)
        window_class.hIcon = LoadIconA(0, IDI_APPLICATION);
    window_class.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    window_class.lpszClassName = frame.program_name;
    window_class.hIconSm = LoadIconA(frame.app_instance, "aaProgramSmallIcon");
    if (!window_class.hIconSm)
        window_class.hIconSm = window_class.hIcon;
    RegisterClassExA(&window_class);

    int x = CW_USEDEFAULT, y = CW_USEDEFAULT, width = CW_USEDEFAULT, height = CW_USEDEFAULT;
    if (frame.center_main_window) {
        width = frame.screen_width / 4;
        height = frame.screen_height / 6;
        x = (frame.screen_width - width) / 2;
        y = (frame.screen_height - height) / 2;
    }
    frame.main_window = CreateWindowExA(0, frame.program_name, frame.window_title,
                                        MAIN_WINDOW_STYLE, x, y, width, height, 0, 0,
                                        frame.app_instance, 0);
    ShowWindow(frame.main_window, frame.show_command);
    UpdateWindow(frame.main_window);
}

static void paint_status(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SetBkMode(dc, TRANSPARENT);
    RECT client;
    GetClientRect(window, &client);
    DrawTextA(dc, frame.status_text, -1, &client, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    EndPaint(window, &paint);
}

// Selects and realises the program's palette in the window; UpdateColors when asked.
static void realize_window_palette(HWND window, bool update_colors)
{
    HDC dc = GetDC(window);
    SelectPalette(dc, frame.app_palette, FALSE);
    RealizePalette(dc);
    if (update_colors)
        UpdateColors(dc);
    InvalidateRect(window, 0, TRUE);
    ReleaseDC(window, dc);
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    bool has_palette = frame.palette_device && frame.app_palette;
    switch (message) {
    case WM_PAINT:
        paint_status(window);
        return 0;
    case WM_MOUSEMOVE:
        SetCursor(frame.current_cursor);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDCANCEL) {
            frame_shutdown();
            return 1;
        }
        return 0;
    case WM_DESTROY:
        frame_shutdown();
        return 0;
    case WM_QUERYNEWPALETTE:
        if (!has_palette)
            return 0;
        realize_window_palette(window, false);
        return 1;
    case WM_PALETTECHANGED:
        if (has_palette && (HWND)wparam != window)
            realize_window_palette(window, true);
        return DefWindowProcA(window, message, wparam, lparam);
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

void set_status(const char* template_text, ...)
{
    va_list arguments;
    va_start(arguments, template_text);
    format_text(frame.status_text, sizeof frame.status_text, template_text, arguments);
    va_end(arguments);
    if (frame.main_window) {
        InvalidateRect(frame.main_window, 0, TRUE);
        UpdateWindow(frame.main_window);
    }
    frame.current_cursor = frame.busy_cursor;
    SetCursor(frame.current_cursor);
    frame.status_shown = true;
}
