// Stand-in for <sddl.h> on the host build: SIDs as text.
#pragma once

#include <windows.h>

// The SID as "S-1-5-21-...", in memory that the caller frees with LocalFree.
BOOL WINAPI ConvertSidToStringSidA(PSID sid, LPSTR* text);
