// Writes one of the installer's embedded payloads into a file with its fixed last-write time.
#pragma once

#include <windows.h>

#include "frame/messages.h"

struct payload_extraction_state {
    // The warnings of extractions made while WOW64 redirection was off, one after the other:
    // a message box then could load a DLL of the wrong kind. Empty when there is none.
    char held_warnings[MESSAGE_WORK_SIZE];
};
extern payload_extraction_state payload_extraction;

void reset_payload_extraction();

// True when the file was written completely; false after a failure that was shown, or held
// while redirection is off.
bool extract_payload(const char* resource_name, const char* resource_type, const char* file_name,
                     FILETIME write_time, const char* folder);
// Whether the installer carries the payload (a resource of that name and type).
// What became of a payload: written (or found written already), not written (after its
// warning), or written next to a file in use, which it replaces at the next restart.
enum class payload_outcome { written, failed, replaces_at_restart };


// The same as extract_payload for a file that Windows may hold loaded (a layout DLL of a
// signed-in user): one that is in use and differs is not written over; the payload goes next to
// it under its replacement name and is listed to replace it at the next restart.
payload_outcome extract_payload_replacing_in_use(const char* resource_name,
                                                 const char* resource_type, const char* file_name,
                                                 FILETIME write_time, const char* folder);

// Shows the held warnings, once redirection is on again.
void show_held_payload_warnings();
bool payload_present(const char* resource_name, const char* resource_type);
bool open_for_rewrite(HANDLE* file, const char* path, bool sequential, bool exclusive);
bool write_exact(HANDLE file, const void* data, DWORD count, DWORD* written);

FILETIME filetime_of(unsigned long long count);
