// What the contract tests share: whether they run under Wine, whose answers differ from Windows' in places.
#pragma once

#include <windows.h>

// Wine's ntdll exports wine_get_version; Windows' and the simulation's have no such export.
inline bool running_on_wine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}
