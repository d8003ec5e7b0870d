// Writes one of the installer's embedded payloads into a file with its fixed last-write time.
#pragma once

#include <windows.h>

// True when the file was written completely; false after a failure that was shown.
bool extract_payload(const char* resource_name, const char* resource_type, const char* file_name,
                     FILETIME write_time, const char* folder);
// Whether the installer carries the payload (a resource of that name and type).
bool payload_present(const char* resource_name, const char* resource_type);
bool open_for_rewrite(HANDLE* file, const char* path, bool sequential, bool exclusive);
bool write_exact(HANDLE file, const void* data, DWORD count, DWORD* written);

FILETIME filetime_of(unsigned long long count);
