// The status window: class, creation, size and font at the DPI, painting, palette handling.
#include "frame/status_window.h"

#include <string.h>

#include "frame/frame.h"
#include "frame/messages.h"

typedef UINT(WINAPI* get_dpi_for_window_function)(HWND);
typedef BOOL(WINAPI* system_parameters_info_for_dpi_function)(UINT, UINT, PVOID, UINT, UINT);

// The screen's DPI (LOGPIXELSY), which is every window's before Windows 8.1.
static int screen_dpi()
{
    int dpi = frame.screen_dc ? GetDeviceCaps(frame.screen_dc, LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

// The DPI of the window's monitor where Windows tells it (10 1607 and later), else the screen's.
static int window_dpi(HWND window)
{
    get_dpi_for_window_function get_dpi_for_window = reinterpret_cast<get_dpi_for_window_function>(
        system_function("user32", "GetDpiForWindow"));
    UINT dpi = get_dpi_for_window ? get_dpi_for_window(window) : 0;
    return dpi ? (int)dpi : screen_dpi();
}

// A length at one DPI at another, rounded to the nearest pixel.
static LONG length_at_dpi(LONG length, int dpi, int from_dpi)
{
    LONG product = length * dpi;
    LONG half = from_dpi / 2;
    return product >= 0 ? (product + half) / from_dpi : -((half - product) / from_dpi);
}

// The system's non-client metrics (caption and message fonts, caption buttons) at the DPI.
// Windows 10 1607 and later give them at any DPI; SystemParametersInfoW gives them at the
// screen's, from which the fonts and the caption are scaled.
static bool read_metrics(int dpi, NONCLIENTMETRICSW* metrics)
{
    memset(metrics, 0, sizeof *metrics);
    metrics->cbSize = sizeof *metrics;
    system_parameters_info_for_dpi_function for_dpi =
        reinterpret_cast<system_parameters_info_for_dpi_function>(
            system_function("user32", "SystemParametersInfoForDpi"));
    if (for_dpi)
        return for_dpi(SPI_GETNONCLIENTMETRICS, sizeof *metrics, metrics, 0, (UINT)dpi) != FALSE;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof *metrics, metrics, 0))
        return false;
    int from_dpi = screen_dpi();
    metrics->lfCaptionFont.lfHeight = length_at_dpi(metrics->lfCaptionFont.lfHeight, dpi, from_dpi);
    metrics->lfMessageFont.lfHeight = length_at_dpi(metrics->lfMessageFont.lfHeight, dpi, from_dpi);
    metrics->iCaptionWidth = length_at_dpi(metrics->iCaptionWidth, dpi, from_dpi);
    metrics->iCaptionHeight = length_at_dpi(metrics->iCaptionHeight, dpi, from_dpi);
    return true;
}

// The extent of a text in a font on the screen; false when it cannot be measured.
static bool measure_text(const LOGFONTW* font_data, const char* text, SIZE* extent)
{
    HFONT font = CreateFontIndirectW(font_data);
    if (!font)
        return false;
    HGDIOBJ previous = SelectObject(frame.screen_dc, font);
    bool measured =
        previous && GetTextExtentPoint32A(frame.screen_dc, text, (int)strlen(text), extent);
    if (previous)
        SelectObject(frame.screen_dc, previous);
    DeleteObject(font);
    return measured;
}

// Widens and heightens the window, up to the screen's size, where the caption or the line would
// not fit at the DPI: the title with the icon, the three buttons and the frame beside it
// (five caption buttons), and the line with a line's room above and below it under the caption
// and the frame (two caption heights). Where nothing can be measured the size stays.
static void make_room_at_dpi(int dpi, int* width, int* height)
{
    NONCLIENTMETRICSW metrics;
    SIZE title, line;
    if (!frame.screen_dc || !read_metrics(dpi, &metrics) ||
        !measure_text(&metrics.lfCaptionFont, frame.window_title, &title) ||
        !measure_text(&metrics.lfMessageFont, frame.window_title, &line))
        return;
    int room_width = title.cx + 5 * metrics.iCaptionWidth;
    int room_height = 3 * line.cy + 2 * metrics.iCaptionHeight;
    if (*width < room_width)
        *width = room_width < frame.screen_width ? room_width : frame.screen_width;
    if (*height < room_height)
        *height = room_height < frame.screen_height ? room_height : frame.screen_height;
}

// The centred window's size at the DPI: a quarter by a sixth of the screen, with the room its
// caption and line need.
static void centred_size(int dpi, int* width, int* height)
{
    *width = frame.screen_width / 4;
    *height = frame.screen_height / 6;
    make_room_at_dpi(dpi, width, height);
}

static void release_status_font()
{
    if (frame.status_font)
        DeleteObject(frame.status_font);
    frame.status_font = 0;
}

// The message font at the DPI becomes the status line's; where it cannot be made the font
// before stays (or the context's own).
static void make_status_font(int dpi)
{
    NONCLIENTMETRICSW metrics;
    HFONT font = read_metrics(dpi, &metrics) ? CreateFontIndirectW(&metrics.lfMessageFont) : 0;
    if (!font)
        return;
    release_status_font();
    frame.status_font = font;
}

// The window went to a monitor of another DPI: it takes the rectangle Windows suggests and the
// font for that DPI.
static void follow_dpi_change(HWND window, int dpi, const RECT* suggested)
{
    make_status_font(dpi);
    SetWindowPos(window, 0, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window, 0, TRUE);
}

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
        centred_size(screen_dpi(), &width, &height);
        x = (frame.screen_width - width) / 2;
        y = (frame.screen_height - height) / 2;
    }
    frame.main_window = CreateWindowExA(0, frame.program_name, frame.window_title,
                                        MAIN_WINDOW_STYLE, x, y, width, height, 0, 0,
                                        frame.app_instance, 0);
    if (!frame.main_window)
        return;
    // Its monitor's DPI may differ from the screen's of the sign-in (the scaling changed since,
    // or another monitor leads): the caption and the line are drawn at the monitor's, so the
    // room is made at that DPI, before the window shows.
    int dpi = window_dpi(frame.main_window);
    make_status_font(dpi);
    if (frame.center_main_window && dpi != screen_dpi()) {
        int fitting_width, fitting_height;
        centred_size(dpi, &fitting_width, &fitting_height);
        if (fitting_width != width || fitting_height != height)
            SetWindowPos(frame.main_window, 0, (frame.screen_width - fitting_width) / 2,
                         (frame.screen_height - fitting_height) / 2, fitting_width,
                         fitting_height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(frame.main_window, frame.show_command);
    UpdateWindow(frame.main_window);
}

static void paint_status(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ previous_font = frame.status_font ? SelectObject(dc, frame.status_font) : 0;
    RECT client;
    GetClientRect(window, &client);
    DrawTextA(dc, frame.status_text, -1, &client, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    if (previous_font)
        SelectObject(dc, previous_font);
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
        release_status_font();
        frame_shutdown();
        return 0;
    case WM_DPICHANGED:
        follow_dpi_change(window, HIWORD(wparam), reinterpret_cast<const RECT*>(lparam));
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
