// The simulated desktop (user32, gdi32): scripted message boxes, windows, painting and palettes.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/desktop_control.h>
#include <winsim/dpi_control.h>

#include "codepage.h"
#include "display_dpi.h"
#include "subsystems.h"

#include <stdio.h>
#include <string.h>

#include <deque>
#include <map>

namespace winsim {

bool has_icon_resource(const char* name);

namespace {

// Fake handle values: distinct ranges so that a wrong kind of handle shows in a test.
HDC const screen_dc_handle = reinterpret_cast<HDC>(0x5C000001);
HBRUSH const white_brush = reinterpret_cast<HBRUSH>(0x5B000000);
HPALETTE const default_palette = reinterpret_cast<HPALETTE>(0x5A000000);
HICON const application_icon = reinterpret_cast<HICON>(0x51000000 + 32512);

// What a WS_OVERLAPPEDWINDOW frame takes from the window rectangle.
const int frame_border = 8;
const int frame_caption = 23;

struct window_data {
    window_record record;
    WNDPROC procedure = nullptr;
    UINT class_style = 0;
    bool erase_pending = false;
    HDC dc;
};

struct desktop_state {
    int width = 1024, height = 768, bits_per_pixel = 32, planes = 1;
    bool display_available = true;
    bool screen_dc_open = false;
    HPALETTE screen_palette = default_palette;
    std::deque<int> answers;
    std::vector<message_box> boxes;
    std::function<void(const message_box&)> box_action;
    std::vector<class_record> classes;
    std::vector<window_record> window_list;  // kept in step with windows
    std::map<HWND, window_data> windows;
    uintptr_t next_window = 0x10010;
    std::vector<drawn_text> texts;
    std::vector<std::string> gdi;
    HCURSOR cursor = nullptr;
    std::vector<PALETTEENTRY> palette_entries;
    int palettes_created = 0;
    std::map<HPALETTE, bool> palettes;  // live palettes
    std::map<HDC, HPALETTE> dc_palettes;
    std::deque<MSG> queue;
    int bk_mode = OPAQUE;
};

desktop_state& desktop() {
    static desktop_state state;
    return state;
}

std::string handle_name(const void* handle) {
    if (handle == screen_dc_handle) return "screen";
    if (handle == default_palette) return "default";
    for (const auto& w : desktop().windows)
        if (w.second.dc == handle) return "window";
    char text[32];
    snprintf(text, sizeof text, "%p", handle);
    return text;
}

std::string palette_name(HPALETTE palette) {
    if (palette == default_palette) return "default";
    if (desktop().palettes.count(palette)) return "app";
    return handle_name(palette);
}

void log_gdi(const std::string& entry) { desktop().gdi.push_back(entry); }

window_data* window_of(HWND window) {
    auto found = desktop().windows.find(window);
    return found == desktop().windows.end() ? nullptr : &found->second;
}

void sync_record(const window_data& data) {
    for (auto& record : desktop().window_list)
        if (record.handle == data.record.handle) record = data.record;
}

bool is_window_dc(HDC dc) {
    for (const auto& w : desktop().windows)
        if (w.second.dc == dc) return true;
    return false;
}

bool valid_dc(HDC dc) {
    return (dc == screen_dc_handle && desktop().screen_dc_open) || is_window_dc(dc);
}

// A new width and height; classes with CS_HREDRAW/CS_VREDRAW get their whole client area
// invalidated when the width/height changes, and the window hears WM_SIZE.
void apply_size(window_data* data, int width, int height) {
    bool wider = width != data->record.width, taller = height != data->record.height;
    data->record.width = width;
    data->record.height = height;
    if ((wider && (data->class_style & CS_HREDRAW)) || (taller && (data->class_style & CS_VREDRAW))) {
        data->record.invalid = true;
        data->erase_pending = true;
    }
    sync_record(*data);
    SendMessageA(data->record.handle, WM_SIZE, 0, 0);
}

}  // namespace

void reset_desktop() { desktop() = desktop_state(); }

bool dc_is_valid(HDC dc) { return valid_dc(dc); }
std::string dc_name(HDC dc) { return handle_name(dc); }
void log_gdi_entry(const std::string& entry) { log_gdi(entry); }

void set_display(int width, int height, int bits_per_pixel, int planes) {
    desktop().width = width;
    desktop().height = height;
    desktop().bits_per_pixel = bits_per_pixel;
    desktop().planes = planes;
}
void set_display_unavailable() { desktop().display_available = false; }

void script_answers(const std::vector<int>& answers) {
    desktop().answers.assign(answers.begin(), answers.end());
}
const std::vector<message_box>& message_boxes() { return desktop().boxes; }
void on_message_box(std::function<void(const message_box&)> action) {
    desktop().box_action = std::move(action);
}
const std::vector<class_record>& registered_classes() { return desktop().classes; }
const std::vector<window_record>& windows() { return desktop().window_list; }
const window_record* find_window(HWND window) {
    window_data* data = window_of(window);
    return data ? &data->record : nullptr;
}
const std::vector<drawn_text>& drawn_texts() { return desktop().texts; }
const std::vector<std::string>& gdi_log() { return desktop().gdi; }
void clear_gdi_log() { desktop().gdi.clear(); }
HCURSOR current_cursor() { return desktop().cursor; }
HCURSOR system_cursor(int id) { return reinterpret_cast<HCURSOR>(0x52000000 + (uintptr_t)id); }
const std::vector<PALETTEENTRY>& created_palette_entries() { return desktop().palette_entries; }

void resize_window(HWND window, int width, int height) {
    window_data* data = window_of(window);
    if (!data) return;
    apply_size(data, width, height);
    UpdateWindow(window);
}

void post_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    MSG m;
    memset(&m, 0, sizeof m);
    m.hwnd = window;
    m.message = message;
    m.wParam = wparam;
    m.lParam = lparam;
    desktop().queue.push_back(m);
}

}  // namespace winsim

using namespace winsim;

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    message_box box{owner, text ? text : "", caption ? caption : "", type, 0};
    DWORD error = 0;
    if (call_fails("MessageBoxA", box.caption, -1, &error)) {
        SetLastError(error);
        desktop().boxes.push_back(box);
        return 0;
    }
    if (desktop().answers.empty()) {
        fprintf(stderr, "winsim: MessageBoxA without a scripted answer: %s\n", box.text.c_str());
    } else {
        box.result = desktop().answers.front();
        desktop().answers.pop_front();
    }
    desktop().boxes.push_back(box);
    // The modal loop paints the owner and runs what the test wants to happen meanwhile.
    if (owner && window_of(owner)) UpdateWindow(owner);
    if (desktop().box_action) desktop().box_action(desktop().boxes.back());
    return box.result;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance || !IS_INTRESOURCE(name))
        winsim_not_implemented("LoadCursorA of a cursor resource of the program");
    return system_cursor((int)(uintptr_t)name);
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    HCURSOR previous = desktop().cursor;
    desktop().cursor = cursor;
    return previous;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    DWORD error = 0;
    if (call_fails("LoadIconA", IS_INTRESOURCE(name) ? "#" : name, -1, &error)) {
        SetLastError(error);
        return nullptr;
    }
    if (!instance) {
        if (name == IDI_APPLICATION) return application_icon;
        winsim_not_implemented("LoadIconA of a system icon other than IDI_APPLICATION");
    }
    if (instance != app_instance() || IS_INTRESOURCE(name))
        winsim_not_implemented("LoadIconA other than a named icon of the program");
    if (!has_icon_resource(name)) {
        SetLastError(1813);  // ERROR_RESOURCE_TYPE_NOT_FOUND
        return nullptr;
    }
    return reinterpret_cast<HICON>(0x50000000 + (uintptr_t)desktop().classes.size() + 1);
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* window_class) {
    DWORD error = 0;
    std::string name = window_class && window_class->lpszClassName ? window_class->lpszClassName : "";
    if (call_fails("RegisterClassExA", name, -1, &error)) {
        SetLastError(error);
        return 0;
    }
    if (!window_class || window_class->cbSize != sizeof(WNDCLASSEXA) || name.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const auto& c : desktop().classes) {
        if (cp1252_equal_nocase(c.class_name, name)) {
            SetLastError(1410);  // ERROR_CLASS_ALREADY_EXISTS
            return 0;
        }
    }
    class_record record{*window_class, name,
                        window_class->lpszMenuName ? window_class->lpszMenuName : ""};
    desktop().classes.push_back(record);
    return (ATOM)(0xC000 + desktop().classes.size());
}

HWND WINAPI CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID parameter) {
    DWORD error = 0;
    if (call_fails("CreateWindowExA", class_name ? class_name : "", -1, &error)) {
        SetLastError(error);
        return nullptr;
    }
    if (parent || menu || parameter)
        winsim_not_implemented("CreateWindowExA of a child window, with a menu or creation data");
    const class_record* found = nullptr;
    for (const auto& c : desktop().classes)
        if (cp1252_equal_nocase(c.class_name, class_name ? class_name : "")) found = &c;
    if (!found) {
        SetLastError(1407);  // ERROR_CANNOT_FIND_WND_CLASS
        return nullptr;
    }
    HWND handle = reinterpret_cast<HWND>(desktop().next_window);
    desktop().next_window += 0x10;
    window_data data;
    data.record = window_record{handle, class_name, window_name ? window_name : "", style, ex_style,
                                x, y, width, height, instance, -1, true};
    // CW_USEDEFAULT places and sizes the window as the system likes.
    if (x == CW_USEDEFAULT) { data.record.x = 26; data.record.y = 26; }
    if (width == CW_USEDEFAULT) {
        data.record.width = desktop().width * 3 / 4;
        data.record.height = desktop().height * 3 / 4;
    }
    data.procedure = found->fields.lpfnWndProc;
    data.class_style = found->fields.style;
    data.erase_pending = true;
    data.dc = reinterpret_cast<HDC>(0x5D000000 + (uintptr_t)handle);
    desktop().windows[handle] = data;
    desktop().window_list.push_back(data.record);
    return handle;
}

// Moves or sizes a window, as the program does on WM_DPICHANGED; it is painted later, by the
// message loop (or UpdateWindow).
BOOL WINAPI SetWindowPos(HWND window, HWND insert_after, int x, int y, int width, int height,
                         UINT flags) {
    if (insert_after || (flags & ~(UINT)(SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE)) != SWP_NOZORDER)
        winsim_not_implemented("SetWindowPos other than moving or sizing, the z-order kept");
    window_data* data = window_of(window);
    if (!data) {
        SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
        return FALSE;
    }
    if (!(flags & SWP_NOMOVE)) {
        data->record.x = x;
        data->record.y = y;
        sync_record(*data);
    }
    if (!(flags & SWP_NOSIZE)) apply_size(data, width, height);
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    window_data* data = window_of(window);
    if (!data) return FALSE;
    data->record.show_command = command;
    sync_record(*data);
    return FALSE;  // it was hidden before
}

BOOL WINAPI UpdateWindow(HWND window) {
    window_data* data = window_of(window);
    if (!data) {
        SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
        return FALSE;
    }
    if (data->record.invalid)
        SendMessageA(window, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    if (rect) winsim_not_implemented("InvalidateRect of part of a window");
    window_data* data = window_of(window);
    if (!data) return FALSE;
    data->record.invalid = true;
    if (erase) data->erase_pending = true;
    sync_record(*data);
    log_gdi(std::string("InvalidateRect(window,all,") + (erase ? "1" : "0") + ")");
    return TRUE;
}

HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    window_data* data = window_of(window);
    if (!data) return nullptr;
    memset(paint, 0, sizeof *paint);
    paint->hdc = data->dc;
    GetClientRect(window, &paint->rcPaint);
    if (data->erase_pending) {
        data->erase_pending = false;
        paint->fErase = SendMessageA(window, WM_ERASEBKGND, (WPARAM)data->dc, 0) ? FALSE : TRUE;
    }
    data->record.invalid = false;
    sync_record(*data);
    log_gdi("BeginPaint(window)");
    return data->dc;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
    (void)paint;
    log_gdi("EndPaint(window)");
    return window_of(window) ? TRUE : FALSE;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    window_data* data = window_of(window);
    if (!data) return FALSE;
    rect->left = 0;
    rect->top = 0;
    rect->right = data->record.width - 2 * frame_border;
    rect->bottom = data->record.height - 2 * frame_border - frame_caption;
    if (rect->right < 0) rect->right = 0;
    if (rect->bottom < 0) rect->bottom = 0;
    return TRUE;
}

int WINAPI DrawTextA(HDC dc, LPCSTR text, int length, LPRECT rect, UINT format) {
    if (!valid_dc(dc)) return 0;
    std::string drawn = length < 0 ? std::string(text) : std::string(text, (size_t)length);
    // In the call log too, so that tests see when a text was drawn among the other calls.
    DWORD error = 0;
    if (call_fails("DrawTextA", drawn, -1, &error)) {
        SetLastError(error);
        return 0;
    }
    desktop().texts.push_back(drawn_text{dc, drawn, *rect, format, selected_font(dc)});
    log_gdi("DrawTextA(" + handle_name(dc) + ")");
    return 16;  // the height of one line in the default font
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    (void)lparam;
    char entry[64];
    snprintf(entry, sizeof entry, "DefWindowProcA(0x%04X)", message);
    log_gdi(entry);
    switch (message) {
    case WM_ERASEBKGND:
        // The class brush fills the background.
        return window_of(window) && wparam ? 1 : 0;
    case WM_CLOSE:
        SendMessageA(window, WM_DESTROY, 0, 0);
        return 0;
    default:
        return 0;
    }
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    window_data* data = window_of(window);
    if (!data || !data->procedure) return 0;
    WNDPROC procedure = data->procedure;
    return procedure(window, message, wparam, lparam);
}

HDC WINAPI GetDC(HWND window) {
    window_data* data = window_of(window);
    if (!data) return nullptr;
    log_gdi("GetDC(window)");
    return data->dc;
}

int WINAPI ReleaseDC(HWND window, HDC dc) {
    (void)window;
    log_gdi("ReleaseDC(" + handle_name(dc) + ")");
    return is_window_dc(dc) ? 1 : 0;
}

BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT first, UINT last) {
    if (window || first || last)
        winsim_not_implemented("GetMessageA with a filter");
    if (desktop().queue.empty()) {
        fprintf(stderr, "winsim: GetMessageA with an empty queue would wait for ever\n");
        abort();
    }
    *message = desktop().queue.front();
    desktop().queue.pop_front();
    return message->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI TranslateMessage(const MSG* message) {
    (void)message;
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

void WINAPI PostQuitMessage(int exit_code) {
    post_message(nullptr, WM_QUIT, (WPARAM)exit_code, 0);
}

// --- gdi32 ---

HDC WINAPI CreateDCA(LPCSTR driver, LPCSTR device, LPCSTR output, const DEVMODEA* mode) {
    if (!driver || strcmp(driver, "DISPLAY") != 0 || device || output || mode)
        winsim_not_implemented("CreateDCA other than the whole display");
    DWORD error = 0;
    if (call_fails("CreateDCA", "DISPLAY", -1, &error) || !desktop().display_available) {
        SetLastError(error ? error : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    desktop().screen_dc_open = true;
    log_gdi("CreateDCA(DISPLAY)");
    return screen_dc_handle;
}

BOOL WINAPI DeleteDC(HDC dc) {
    if (dc != screen_dc_handle || !desktop().screen_dc_open) return FALSE;
    desktop().screen_dc_open = false;
    log_gdi("DeleteDC(screen)");
    return TRUE;
}

int WINAPI SetMapMode(HDC dc, int mode) {
    if (!valid_dc(dc)) return 0;
    log_gdi("SetMapMode(" + handle_name(dc) + "," + std::to_string(mode) + ")");
    return MM_TEXT;
}

int WINAPI GetDeviceCaps(HDC dc, int index) {
    if (!valid_dc(dc)) return 0;
    switch (index) {
    case HORZRES: return desktop().width;
    case VERTRES: return desktop().height;
    case BITSPIXEL: return desktop().bits_per_pixel;
    case PLANES: return desktop().planes;
    case LOGPIXELSX: case LOGPIXELSY: return display_dpi();
    default: winsim_not_implemented("GetDeviceCaps of this index");
    }
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* palette) {
    DWORD error = 0;
    if (call_fails("CreatePalette", "", -1, &error)) {
        SetLastError(error);
        return nullptr;
    }
    if (!palette || palette->palVersion != 0x300 || palette->palNumEntries == 0) return nullptr;
    desktop().palette_entries.assign(palette->palPalEntry,
                                     palette->palPalEntry + palette->palNumEntries);
    HPALETTE handle = reinterpret_cast<HPALETTE>(0x5A000010 + 0x10 * (uintptr_t)desktop().palettes_created++);
    desktop().palettes[handle] = true;
    log_gdi("CreatePalette(" + std::to_string(palette->palNumEntries) + ")");
    return handle;
}

HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL force_background) {
    if (!valid_dc(dc)) return nullptr;
    if (palette != default_palette && !desktop().palettes.count(palette)) return nullptr;
    auto& current = desktop().dc_palettes[dc];
    HPALETTE previous = current ? current : default_palette;
    current = palette;
    log_gdi("SelectPalette(" + handle_name(dc) + "," + palette_name(palette) + "," +
            (force_background ? "1" : "0") + ")");
    return previous;
}

UINT WINAPI RealizePalette(HDC dc) {
    if (!valid_dc(dc)) return GDI_ERROR;
    log_gdi("RealizePalette(" + handle_name(dc) + ")");
    return 0;
}

BOOL WINAPI UpdateColors(HDC dc) {
    if (!valid_dc(dc)) return FALSE;
    log_gdi("UpdateColors(" + handle_name(dc) + ")");
    return TRUE;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    if (delete_font(object)) return TRUE;
    HPALETTE palette = static_cast<HPALETTE>(object);
    if (!desktop().palettes.erase(palette)) return FALSE;
    log_gdi("DeleteObject(app)");
    return TRUE;
}

HGDIOBJ WINAPI GetStockObject(int object) {
    if (object == SYSTEM_FONT) return stock_system_font();
    if (object != WHITE_BRUSH) winsim_not_implemented("GetStockObject other than WHITE_BRUSH");
    return white_brush;
}

int WINAPI SetBkMode(HDC dc, int mode) {
    if (!valid_dc(dc)) return 0;
    int previous = desktop().bk_mode;
    desktop().bk_mode = mode;
    log_gdi("SetBkMode(" + handle_name(dc) + "," + std::to_string(mode) + ")");
    return previous;
}
