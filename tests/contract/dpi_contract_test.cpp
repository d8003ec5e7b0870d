// Contract of the user32 and gdi32 calls that give the status window its size and font at a DPI, for the simulation and for Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include "contract_support.h"

#include <string.h>

namespace {

typedef BOOL(WINAPI* system_parameters_info_for_dpi_function)(UINT, UINT, PVOID, UINT, UINT);
typedef UINT(WINAPI* get_dpi_for_window_function)(HWND);

// Windows 10 1607 and later export these; the programs look them up as this does.
void (*user32_function(const char* name))()
{
    return reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32"), name));
}

int screen_dpi()
{
    HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    EXPECT_NE(nullptr, screen);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    EXPECT_EQ(dpi, GetDeviceCaps(screen, LOGPIXELSX));
    DeleteDC(screen);
    return dpi;
}

NONCLIENTMETRICSW empty_metrics()
{
    NONCLIENTMETRICSW metrics;
    memset(&metrics, sentinel, sizeof metrics);
    metrics.cbSize = sizeof metrics;
    return metrics;
}

TEST(dpi, the_metrics_come_at_the_screens_dpi_and_scale_with_the_dpi_asked_for)
{
    int dpi = screen_dpi();
    EXPECT_GE(dpi, 96);
    NONCLIENTMETRICSW metrics = empty_metrics();
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    EXPECT_LT(metrics.lfMessageFont.lfHeight, 0);  // the height of the characters, not the lines
    EXPECT_NE(0, metrics.lfMessageFont.lfFaceName[0]);
    EXPECT_GT(metrics.iCaptionWidth, 0);
    EXPECT_GT(metrics.iCaptionHeight, 0);

    system_parameters_info_for_dpi_function for_dpi =
        reinterpret_cast<system_parameters_info_for_dpi_function>(
            user32_function("SystemParametersInfoForDpi"));
    if (!for_dpi)
        GTEST_SKIP() << "user32 has no SystemParametersInfoForDpi (Windows before 10 1607)";
    for (int factor : {1, 2}) {
        SCOPED_TRACE(factor);
        NONCLIENTMETRICSW scaled = empty_metrics();
        ASSERT_TRUE(for_dpi(SPI_GETNONCLIENTMETRICS, sizeof scaled, &scaled, 0, dpi * factor));
        EXPECT_NEAR(metrics.lfMessageFont.lfHeight * factor, scaled.lfMessageFont.lfHeight,
                    factor - 1);
        EXPECT_NEAR(metrics.lfCaptionFont.lfHeight * factor, scaled.lfCaptionFont.lfHeight,
                    factor - 1);
        EXPECT_NEAR(metrics.iCaptionWidth * factor, scaled.iCaptionWidth, factor - 1);
        EXPECT_NEAR(metrics.iCaptionHeight * factor, scaled.iCaptionHeight, factor - 1);
        EXPECT_EQ(0, memcmp(metrics.lfMessageFont.lfFaceName, scaled.lfMessageFont.lfFaceName,
                            sizeof scaled.lfMessageFont.lfFaceName));
    }
}

TEST(dpi, a_font_selected_into_a_context_measures_text_by_its_size)
{
    NONCLIENTMETRICSW metrics = empty_metrics();
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    LOGFONTW twice = metrics.lfMessageFont;
    twice.lfHeight *= 2;
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    HFONT large = CreateFontIndirectW(&twice);
    ASSERT_NE(nullptr, font);
    ASSERT_NE(nullptr, large);
    EXPECT_EQ(nullptr, CreateFontIndirectW(nullptr));
    HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, screen);

    // A new context has the stock system font, and SelectObject gives back the font it replaces.
    EXPECT_EQ(GetStockObject(SYSTEM_FONT), SelectObject(screen, font));
    SIZE one, two, larger;
    ASSERT_TRUE(GetTextExtentPoint32A(screen, "Wg", 2, &one));
    ASSERT_TRUE(GetTextExtentPoint32A(screen, "WgWg", 4, &two));
    EXPECT_EQ(2 * one.cx, two.cx);
    EXPECT_EQ(one.cy, two.cy);
    EXPECT_GT(one.cy, -metrics.lfMessageFont.lfHeight);  // a line is higher than the characters
    EXPECT_EQ(static_cast<HGDIOBJ>(font), SelectObject(screen, large));
    ASSERT_TRUE(GetTextExtentPoint32A(screen, "Wg", 2, &larger));
    EXPECT_GT(larger.cx, one.cx);
    EXPECT_GT(larger.cy, one.cy);
    EXPECT_EQ(static_cast<HGDIOBJ>(large), SelectObject(screen, GetStockObject(SYSTEM_FONT)));

    EXPECT_TRUE(DeleteObject(font));
    EXPECT_TRUE(DeleteObject(large));
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
        reinterpret_cast<get_dpi_for_window_function>(user32_function("GetDpiForWindow"));
    if (get_dpi_for_window) {
        EXPECT_EQ((UINT)screen_dpi(), get_dpi_for_window(window));
        EXPECT_EQ(0u, get_dpi_for_window(nullptr));
    }

    RECT before, after;
    ASSERT_TRUE(GetClientRect(window, &before));
    EXPECT_TRUE(SetWindowPos(window, nullptr, 50, 60, 500, 260, SWP_NOZORDER | SWP_NOACTIVATE));
    ASSERT_TRUE(GetClientRect(window, &after));
    EXPECT_EQ(before.right + 100, after.right);
    EXPECT_EQ(before.bottom + 60, after.bottom);
    SetLastError(preset);
    EXPECT_FALSE(SetWindowPos(reinterpret_cast<HWND>(0x7FFF0), nullptr, 0, 0, 10, 10,
                              SWP_NOZORDER | SWP_NOACTIVATE));
    EXPECT_EQ(1400u, GetLastError());  // ERROR_INVALID_WINDOW_HANDLE
}

}  // namespace
