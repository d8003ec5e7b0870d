// What the contract tests share: the sentinel and preset values, and whether they run under Wine, whose answers differ from Windows' in places.
#pragma once

#include <windows.h>

// Wine's ntdll exports wine_get_version; Windows' and the simulation's have no such export.
inline bool running_on_wine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

// Whether the test program is a 64-bit one. The host's simulation runs the tests as the 32-bit
// program on 64-bit Windows unless a test says otherwise.
inline bool program_is_64_bit()
{
#ifdef _WIN32
    return sizeof(void*) == 8;
#else
    return false;
#endif
}

// Written after buffers, and into outputs and the last error before a call, so that a test
// sees what a call wrote and what it left alone.
const unsigned char sentinel = 0xAB;
const DWORD preset = 0xDEADBEEF;
