// Stand-in for <ntsecapi.h> on the host build: the one advapi32 call the programs take from it.
#pragma once

#include <windows.h>

// Fills the buffer with random bytes (advapi32 exports it as SystemFunction036).
#define RtlGenRandom SystemFunction036
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);
