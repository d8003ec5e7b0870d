// What the simulated desktop (desktop.cpp) and its DPI and fonts (display_dpi.cpp) use of each other.
#pragma once

#include <windows.h>

#include <string>

namespace winsim {

// desktop.cpp: whether a device context is the screen's or a window's, its name in the GDI log
// ("screen", "window"), and an entry of that log.
bool dc_is_valid(HDC dc);
std::string dc_name(HDC dc);
void log_gdi_entry(const std::string& entry);

// display_dpi.cpp: the display's DPI; the stock SYSTEM_FONT; DeleteObject of a font made by
// CreateFontIndirectW (false for any other object, which desktop.cpp handles).
int display_dpi();
HGDIOBJ stock_system_font();
bool delete_font(HGDIOBJ object);

}  // namespace winsim
