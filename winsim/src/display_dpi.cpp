// The simulated display's DPI and fonts (user32, gdi32): the non-client metrics at a DPI, user32's DPI functions, fonts in device contexts and the extent of a text.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/desktop_control.h>
#include <winsim/dpi_control.h>

#include "display_dpi.h"
#include "modules.h"
#include "subsystems.h"

#include <string.h>

#include <map>

namespace winsim {

namespace {

HMODULE const the_user32_module = reinterpret_cast<HMODULE>(0x7d000000);
HGDIOBJ const system_font = reinterpret_cast<HGDIOBJ>(0x5E00000D);

struct dpi_state {
    int display_dpi = USER_DEFAULT_SCREEN_DPI;
    bool functions_present = true;
    int monitor_dpi = 0;
    std::map<HWND, int> window_dpi;  // windows moved to a monitor of another DPI
    std::map<HFONT, LOGFONTW> fonts;
    std::map<HDC, HFONT> selected;
    uintptr_t next_font = 0x5F000010;
};

dpi_state& dpi() {
    static dpi_state state;
    return state;
}

// A length at 96 DPI at another DPI, rounded as MulDiv rounds.
LONG scaled(LONG value, int to_dpi) {
    LONG product = value * to_dpi;
    LONG half = USER_DEFAULT_SCREEN_DPI / 2;
    return product >= 0 ? (product + half) / USER_DEFAULT_SCREEN_DPI
                        : -((-product + half) / USER_DEFAULT_SCREEN_DPI);
}

// Segoe UI of 9 points, the caption and message font of Windows 10.
LOGFONTW system_ui_font(int at_dpi) {
    LOGFONTW font;
    memset(&font, 0, sizeof font);
    font.lfHeight = -scaled(12, at_dpi);
    font.lfWeight = FW_NORMAL;
    const char16_t face[] = u"Segoe UI";
    memcpy(font.lfFaceName, face, sizeof face);
    return font;
}

// The metrics of Windows 10 at 96 DPI, scaled to the DPI.
void fill_metrics(NONCLIENTMETRICSW* metrics, int at_dpi) {
    memset(metrics, 0, sizeof *metrics);
    metrics->cbSize = sizeof *metrics;
    metrics->iBorderWidth = 1;
    metrics->iScrollWidth = metrics->iScrollHeight = scaled(17, at_dpi);
    metrics->iCaptionWidth = scaled(36, at_dpi);
    metrics->iCaptionHeight = scaled(22, at_dpi);
    metrics->iSmCaptionWidth = metrics->iSmCaptionHeight = scaled(22, at_dpi);
    metrics->iMenuWidth = metrics->iMenuHeight = scaled(19, at_dpi);
    metrics->iPaddedBorderWidth = scaled(4, at_dpi);
    metrics->lfCaptionFont = metrics->lfSmCaptionFont = metrics->lfMenuFont =
        metrics->lfStatusFont = metrics->lfMessageFont = system_ui_font(at_dpi);
}

BOOL non_client_metrics(const char* call, UINT action, UINT parameter, PVOID data, int at_dpi) {
    if (action != SPI_GETNONCLIENTMETRICS)
        winsim_not_implemented((std::string(call) + " other than SPI_GETNONCLIENTMETRICS").c_str());
    NONCLIENTMETRICSW* metrics = static_cast<NONCLIENTMETRICSW*>(data);
    if (!metrics || metrics->cbSize != sizeof *metrics || parameter != sizeof *metrics)
        winsim_not_implemented(
            (std::string(call) + " with another size of NONCLIENTMETRICSW").c_str());
    DWORD error = 0;
    if (call_fails(call, "SPI_GETNONCLIENTMETRICS", -1, &error)) {
        SetLastError(error);
        return FALSE;
    }
    fill_metrics(metrics, at_dpi);
    return TRUE;
}

BOOL WINAPI simulated_system_parameters_info_for_dpi(UINT action, UINT parameter, PVOID data,
                                                     UINT update, UINT at_dpi) {
    (void)update;
    return non_client_metrics("SystemParametersInfoForDpi", action, parameter, data, (int)at_dpi);
}

UINT WINAPI simulated_get_dpi_for_window(HWND window) {
    if (!find_window(window)) {
        SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
        return 0;
    }
    auto moved = dpi().window_dpi.find(window);
    if (moved != dpi().window_dpi.end()) return (UINT)moved->second;
    return (UINT)(dpi().monitor_dpi ? dpi().monitor_dpi : dpi().display_dpi);
}

// The face name for the log and the fault rules; the faces winsim knows are ASCII.
std::string face_of(const LOGFONTW& font) {
    std::string face;
    for (const WCHAR* c = font.lfFaceName; c < font.lfFaceName + LF_FACESIZE && *c; c++)
        face += *c < 0x80 ? (char)*c : '?';
    return face;
}

std::string font_name(HGDIOBJ object) {
    if (object == system_font) return "SYSTEM_FONT";
    auto found = dpi().fonts.find(static_cast<HFONT>(object));
    if (found == dpi().fonts.end()) return "?";
    return face_of(found->second) + " " + std::to_string(found->second.lfHeight);
}

}  // namespace

void reset_display_dpi() { dpi() = dpi_state(); }

int display_dpi() { return dpi().display_dpi; }
HGDIOBJ stock_system_font() { return system_font; }

bool delete_font(HGDIOBJ object) {
    HFONT font = static_cast<HFONT>(object);
    if (!dpi().fonts.count(font)) return false;
    for (const auto& in_dc : dpi().selected)
        if (in_dc.second == font)
            winsim_not_implemented("DeleteObject of a font selected into a device context");
    log_gdi_entry("DeleteObject(" + font_name(font) + ")");
    dpi().fonts.erase(font);
    return true;
}

HMODULE user32_module() { return the_user32_module; }

FARPROC user32_export(LPCSTR proc_name) {
    if (reinterpret_cast<uintptr_t>(proc_name) < 0x10000)
        winsim_not_implemented("GetProcAddress on user32 by ordinal");
    if (dpi().functions_present && strcmp(proc_name, "SystemParametersInfoForDpi") == 0)
        return reinterpret_cast<FARPROC>(
            reinterpret_cast<void (*)()>(simulated_system_parameters_info_for_dpi));
    if (dpi().functions_present && strcmp(proc_name, "GetDpiForWindow") == 0)
        return reinterpret_cast<FARPROC>(
            reinterpret_cast<void (*)()>(simulated_get_dpi_for_window));
    SetLastError(ERROR_PROC_NOT_FOUND);
    return 0;
}

void set_display_dpi(int dpi_value) { dpi().display_dpi = dpi_value; }
void set_dpi_functions_present(bool present) { dpi().functions_present = present; }
void set_monitor_dpi(int dpi_value) { dpi().monitor_dpi = dpi_value; }

void change_window_dpi(HWND window, int new_dpi) {
    const window_record* record = find_window(window);
    if (!record) return;
    int old_dpi = (int)simulated_get_dpi_for_window(window);
    dpi().window_dpi[window] = new_dpi;
    RECT suggested = {record->x, record->y, record->x + record->width * new_dpi / old_dpi,
                      record->y + record->height * new_dpi / old_dpi};
    SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(new_dpi, new_dpi), (LPARAM)&suggested);
    UpdateWindow(window);
}

const LOGFONTW* live_font(HFONT font) {
    auto found = dpi().fonts.find(font);
    return found == dpi().fonts.end() ? nullptr : &found->second;
}
int live_font_count() { return (int)dpi().fonts.size(); }

HFONT selected_font(HDC dc) {
    auto found = dpi().selected.find(dc);
    return found == dpi().selected.end() ? nullptr : found->second;
}

}  // namespace winsim

using namespace winsim;

BOOL WINAPI SystemParametersInfoW(UINT action, UINT parameter, PVOID data, UINT update) {
    (void)update;
    return non_client_metrics("SystemParametersInfoW", action, parameter, data, dpi().display_dpi);
}

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font) {
    if (!font) return nullptr;
    DWORD error = 0;
    if (call_fails("CreateFontIndirectW", face_of(*font), -1, &error)) {
        SetLastError(error);
        return nullptr;
    }
    HFONT handle = reinterpret_cast<HFONT>(dpi().next_font);
    dpi().next_font += 0x10;
    dpi().fonts[handle] = *font;
    log_gdi_entry("CreateFontIndirectW(" + font_name(handle) + ")");
    return handle;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    HFONT font = static_cast<HFONT>(object);
    if (object != system_font && !dpi().fonts.count(font))
        winsim_not_implemented("SelectObject of anything but a font");
    if (!dc_is_valid(dc)) return nullptr;
    HFONT previous = selected_font(dc);
    if (object == system_font)
        dpi().selected.erase(dc);
    else
        dpi().selected[dc] = font;
    log_gdi_entry("SelectObject(" + dc_name(dc) + "," + font_name(object) + ")");
    return previous ? static_cast<HGDIOBJ>(previous) : system_font;
}

// Glyphs of a font whose em is h pixels are h / 2 wide on average, and its lines 4 / 3 h high.
BOOL WINAPI GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, LPSIZE size) {
    if (!dc_is_valid(dc) || !text || count < 0 || !size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD error = 0;
    if (call_fails("GetTextExtentPoint32A", std::string(text, (size_t)count), -1, &error)) {
        SetLastError(error);
        return FALSE;
    }
    const LOGFONTW* font = live_font(selected_font(dc));
    LONG em = 12;
    if (font && font->lfHeight < 0) em = -font->lfHeight;
    if (font && font->lfHeight > 0) em = font->lfHeight * 3 / 4;
    size->cx = count * ((em + 1) / 2);
    size->cy = (em * 4 + 1) / 3;
    return TRUE;
}
