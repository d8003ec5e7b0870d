// Test-facing control of the simulated display's DPI and fonts: the DPI of the screen and of each window, user32's DPI functions, the fonts the program made.
#pragma once

#include <windows.h>

namespace winsim {

// The display's DPI: LOGPIXELSX and LOGPIXELSY of every device context, the scale of
// SystemParametersInfoW's metrics and the DPI of windows not moved elsewhere; 96 by default.
void set_display_dpi(int dpi);
// Whether user32 exports SystemParametersInfoForDpi and GetDpiForWindow: Windows 10 1607 and
// later do (the default); Windows 7 to 10 1511 do not.
void set_dpi_functions_present(bool present);
// The DPI of the monitor new windows go to, where it is no longer the display's (the system DPI
// of the sign-in, which LOGPIXELSY keeps): GetDpiForWindow tells it; 0: the display's.
void set_monitor_dpi(int dpi);
// The window goes to a monitor of another DPI: Windows sends it WM_DPICHANGED with the DPI
// (both words of wParam) and, in lParam, its rectangle with the size scaled to that DPI; then
// it is painted as the message loop would.
void change_window_dpi(HWND window, int dpi);

// What CreateFontIndirectW was given for a font that is not deleted; null for any other handle.
const LOGFONTW* live_font(HFONT font);
int live_font_count();
// The font of a device context: null while it has the stock SYSTEM_FONT it starts with.
HFONT selected_font(HDC dc);

}  // namespace winsim
