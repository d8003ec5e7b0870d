// The kernel32 part of the simulated Win32 API that the frame uses: errors, modules, code pages.
#pragma once

#include <winsim/base_types.h>

typedef INT_PTR(WINAPI* FARPROC)();
typedef HANDLE HLOCAL;

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(primary, sub) ((((WORD)(sub)) << 10) | (WORD)(primary))

DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                            LPSTR buffer, DWORD size, va_list* arguments);
HLOCAL WINAPI LocalFree(HLOCAL memory);

LPWSTR WINAPI GetCommandLineW();
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR file_name, DWORD size);
HMODULE WINAPI GetModuleHandleA(LPCSTR module_name);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR proc_name);
HANDLE WINAPI GetCurrentProcess();
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
HANDLE WINAPI OpenProcess(DWORD access, BOOL inherit_handle, DWORD process_id);
BOOL WINAPI IsWow64Process(HANDLE process, PBOOL wow64);
// Windows 10 and later; the programs look it up with GetProcAddress.
BOOL WINAPI IsWow64Process2(HANDLE process, USHORT* process_machine, USHORT* native_machine);

#define IMAGE_FILE_MACHINE_UNKNOWN 0
#define IMAGE_FILE_MACHINE_I386 0x014c
#define IMAGE_FILE_MACHINE_AMD64 0x8664
#define IMAGE_FILE_MACHINE_ARM64 0xAA64

#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_AMD64 9
#define PROCESSOR_ARCHITECTURE_ARM64 12
typedef struct _SYSTEM_INFO {
    union {
        DWORD dwOemId;
        struct {
            WORD wProcessorArchitecture;
            WORD wReserved;
        };
    };
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;
// Of the fields only the processor architecture, the page size and the allocation granularity;
// the rest stay zero.
void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info);

// A named mutex, not owned at creation (the programs' guard against a second run at once).
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCSTR name);

#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
BOOL WINAPI SetDefaultDllDirectories(DWORD directory_flags);
// Of the system's DLLs only input.dll can be loaded; a name without a folder, and of the flags
// only LOAD_LIBRARY_SEARCH_SYSTEM32.
HMODULE WINAPI LoadLibraryA(LPCSTR file_name);
HMODULE WINAPI LoadLibraryExA(LPCSTR file_name, HANDLE file, DWORD flags);
BOOL WINAPI FreeLibrary(HMODULE module);

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define WC_COMPOSITECHECK 0x00000200
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008

int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_length,
                               LPSTR multi, int multi_size, LPCSTR default_char,
                               LPBOOL used_default_char);
int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi, int multi_length,
                               LPWSTR wide, int wide_size);
