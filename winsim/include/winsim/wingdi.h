// The gdi32 part of the simulated Win32 API: the screen context, palettes, stock objects.
#pragma once

#include <winsim/base_types.h>

DECLARE_HANDLE(HDC);
DECLARE_HANDLE(HPALETTE);
DECLARE_HANDLE(HBRUSH);
typedef void* HGDIOBJ;

typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY, *PPALETTEENTRY, *LPPALETTEENTRY;

typedef struct tagLOGPALETTE {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[1];
} LOGPALETTE, *PLOGPALETTE, *LPLOGPALETTE;

typedef struct _devicemodeA DEVMODEA;

#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define MM_TEXT 1
#define TRANSPARENT 1
#define OPAQUE 2
#define WHITE_BRUSH 0
#define GDI_ERROR 0xFFFFFFFFu

HDC WINAPI CreateDCA(LPCSTR driver, LPCSTR device, LPCSTR output, const DEVMODEA* mode);
BOOL WINAPI DeleteDC(HDC dc);
int WINAPI SetMapMode(HDC dc, int mode);
int WINAPI GetDeviceCaps(HDC dc, int index);
HPALETTE WINAPI CreatePalette(const LOGPALETTE* palette);
HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL force_background);
UINT WINAPI RealizePalette(HDC dc);
BOOL WINAPI UpdateColors(HDC dc);
BOOL WINAPI DeleteObject(HGDIOBJ object);
HGDIOBJ WINAPI GetStockObject(int object);
int WINAPI SetBkMode(HDC dc, int mode);
