/* Stand-in for the layout DLL (built for 32-bit, 64-bit and the WOW64 folder): a real keyboard
   layout DLL's two exports, answering that it holds no tables. Like a real one it imports
   nothing: it is linked without the C runtime, with DllMain as its entry point, and calls no
   function of another DLL. */
#include <windows.h>

#ifndef LAYOUT_DLL_VARIANT
#define LAYOUT_DLL_VARIANT x86
#endif
#define TEXT_OF(token) #token
#define VARIANT_TEXT(token) TEXT_OF(token)

__declspec(dllexport) const char layout_dll_variant[] =
    "stand-in layout DLL, " VARIANT_TEXT(LAYOUT_DLL_VARIANT);

__declspec(dllexport) void* WINAPI KbdLayerDescriptor(void)
{
    return NULL;
}

__declspec(dllexport) void* WINAPI KbdNlsLayerDescriptor(void)
{
    return NULL;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
