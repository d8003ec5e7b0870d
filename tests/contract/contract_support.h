// What the contract tests share: the sentinel and preset values, and whether they run under Wine, whose answers differ from Windows' in places.
#pragma once

#include <windows.h>

// Wine's ntdll exports wine_get_version; Windows' and the simulation's have no such export.
inline bool running_on_wine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

// Written after buffers, and into outputs and the last error before a call, so that a test
// sees what a call wrote and what it left alone.
const unsigned char sentinel = 0xAB;
const DWORD preset = 0xDEADBEEF;
