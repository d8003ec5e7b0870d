// The fonts and DPI part of the simulated Win32 API: the system's fonts and metrics at a DPI, fonts in device contexts, text extents, placing a window.
#pragma once

#include <winsim/base_types.h>
#include <winsim/wingdi.h>
#include <winsim/winuser.h>

DECLARE_HANDLE(HFONT);

#define LF_FACESIZE 32
typedef struct tagLOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW, *PLOGFONTW, *LPLOGFONTW;

// As Windows Vista and later have it, with iPaddedBorderWidth.
typedef struct tagNONCLIENTMETRICSW {
    UINT cbSize;
    int iBorderWidth;
    int iScrollWidth;
    int iScrollHeight;
    int iCaptionWidth;
    int iCaptionHeight;
    LOGFONTW lfCaptionFont;
    int iSmCaptionWidth;
    int iSmCaptionHeight;
    LOGFONTW lfSmCaptionFont;
    int iMenuWidth;
    int iMenuHeight;
    LOGFONTW lfMenuFont;
    LOGFONTW lfStatusFont;
    LOGFONTW lfMessageFont;
    int iPaddedBorderWidth;
} NONCLIENTMETRICSW, *PNONCLIENTMETRICSW, *LPNONCLIENTMETRICSW;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *PSIZE, *LPSIZE;

#define USER_DEFAULT_SCREEN_DPI 96
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define SYSTEM_FONT 13
#define FW_NORMAL 400
#define SPI_GETNONCLIENTMETRICS 0x0029
#define WM_DPICHANGED 0x02E0
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define MAKEWPARAM(low, high) ((WPARAM)(DWORD)(((WORD)(low)) | (((DWORD)(WORD)(high)) << 16)))

// Only SPI_GETNONCLIENTMETRICS, at the system's DPI. SystemParametersInfoForDpi and
// GetDpiForWindow (Windows 10 1607 and later) are reached through GetProcAddress on user32.
BOOL WINAPI SystemParametersInfoW(UINT action, UINT parameter, PVOID data, UINT update);
HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font);
// Fonts only (and the stock SYSTEM_FONT that every context starts with).
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
BOOL WINAPI GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, LPSIZE size);
BOOL WINAPI SetWindowPos(HWND window, HWND insert_after, int x, int y, int width, int height,
                         UINT flags);
