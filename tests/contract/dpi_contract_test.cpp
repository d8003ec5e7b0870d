// Contract of the user32 and gdi32 calls that give the status window its size and font at a DPI, for the simulation and for Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include "contract_support.h"

#include <string.h>

namespace {

typedef BOOL(WINAPI* system_parameters_info_for_dpi_function)(UINT, UINT, PVOID, UINT, UINT);
typedef UINT(WINAPI* get_dpi_for_window_function)(HWND);

// Windows 10 1607 and later export these; the programs look them up as this does.
template <typename function> function user32_function(const char* name)
{
    return reinterpret_cast<function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32"), name)));
}

// The metrics at the DPI (SystemParametersInfoForDpi), or with dpi 0 at the screen's.
NONCLIENTMETRICSW metrics_at(UINT dpi)
{
    NONCLIENTMETRICSW metrics;
    memset(&metrics, sentinel, sizeof metrics);
    metrics.cbSize = sizeof metrics;
    system_parameters_info_for_dpi_function for_dpi =
        user32_function<system_parameters_info_for_dpi_function>("SystemParametersInfoForDpi");
    EXPECT_TRUE(dpi ? for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)
                    : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    return metrics;
}

// The message font at the screen's DPI and at twice that, selected into a context and measured.
TEST(dpi, the_message_font_scales_with_the_dpi_and_measures_text_by_its_size)
{
    HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, screen);
    UINT dpi = (UINT)GetDeviceCaps(screen, LOGPIXELSY);
    EXPECT_EQ((int)dpi, GetDeviceCaps(screen, LOGPIXELSX));
    NONCLIENTMETRICSW metrics = metrics_at(0);
    EXPECT_LT(metrics.lfMessageFont.lfHeight, 0);  // the height of the characters, not the lines
    EXPECT_GT(metrics.iCaptionWidth, 0);
    if (user32_function<system_parameters_info_for_dpi_function>("SystemParametersInfoForDpi")) {
        EXPECT_EQ(metrics.lfMessageFont.lfHeight, metrics_at(dpi).lfMessageFont.lfHeight);
        NONCLIENTMETRICSW twice = metrics_at(2 * dpi);
        EXPECT_NEAR(2 * metrics.lfMessageFont.lfHeight, twice.lfMessageFont.lfHeight, 1);
        EXPECT_NEAR(2 * metrics.iCaptionWidth, twice.iCaptionWidth, 1);
    }

    LOGFONTW large = metrics.lfMessageFont;
    large.lfHeight *= 2;
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont), larger = CreateFontIndirectW(&large);
    ASSERT_TRUE(font && larger);
    // A new context has the stock system font; SelectObject gives back the font it replaces.
    EXPECT_EQ(GetStockObject(SYSTEM_FONT), SelectObject(screen, font));
    SIZE one, two, in_larger;
    ASSERT_TRUE(GetTextExtentPoint32A(screen, "Wg", 2, &one));
    ASSERT_TRUE(GetTextExtentPoint32A(screen, "WgWg", 4, &two));
    EXPECT_EQ(2 * one.cx, two.cx);
    EXPECT_GT(one.cy, -metrics.lfMessageFont.lfHeight);  // a line is higher than its characters
    EXPECT_EQ(static_cast<HGDIOBJ>(font), SelectObject(screen, larger));
    ASSERT_TRUE(GetTextExtentPoint32A(screen, "Wg", 2, &in_larger));
    EXPECT_GT(in_larger.cx, one.cx);
    EXPECT_EQ(static_cast<HGDIOBJ>(larger), SelectObject(screen, GetStockObject(SYSTEM_FONT)));
    EXPECT_TRUE(DeleteObject(font) && DeleteObject(larger));
    DeleteDC(screen);
}

// On one monitor a window has the screen's DPI; SetWindowPos moves and sizes it.
TEST(dpi, a_window_has_the_screens_dpi_and_takes_a_new_rectangle)
{
    WNDCLASSEXA window_class;
    memset(&window_class, 0, sizeof window_class);
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "kb_contract_dpi";
    ASSERT_NE(0, RegisterClassExA(&window_class));
    HWND window = CreateWindowExA(0, "kb_contract_dpi", "DPI", WS_OVERLAPPEDWINDOW, 100, 100, 400,
                                  200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    get_dpi_for_window_function get_dpi_for_window =
        user32_function<get_dpi_for_window_function>("GetDpiForWindow");
    HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (get_dpi_for_window) {
        EXPECT_EQ((UINT)GetDeviceCaps(screen, LOGPIXELSY), get_dpi_for_window(window));
    }
    DeleteDC(screen);

    RECT before, after;
    ASSERT_TRUE(GetClientRect(window, &before));
    EXPECT_TRUE(SetWindowPos(window, nullptr, 50, 60, 500, 260, SWP_NOZORDER | SWP_NOACTIVATE));
    ASSERT_TRUE(GetClientRect(window, &after));
    EXPECT_EQ(before.right + 100, after.right);
    EXPECT_EQ(before.bottom + 60, after.bottom);
}

}  // namespace
