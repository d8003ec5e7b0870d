// Writes one of the installer's embedded payloads into a file with its fixed last-write time.
#include "payload_extraction.h"

#include <stdarg.h>
#include <string.h>

#include "files/file_operations.h"
#include "files/system_folders.h"
#include "frame/messages.h"

// Bytes compared at a time when a file is checked against its payload.
#define COMPARE_CHUNK_SIZE 4096

payload_extraction_state payload_extraction;

void reset_payload_extraction()
{
    memset(&payload_extraction, 0, sizeof payload_extraction);
}

// Shows the warning, or holds it while redirection is off.
static void payload_warning(const char* template_text, ...)
{
    char text[MESSAGE_WORK_SIZE];
    va_list arguments;
    va_start(arguments, template_text);
    format_text(text, sizeof text, template_text, arguments);
    va_end(arguments);
    if (!install_folders.redirection_off) {
        show_warning(as_ready_text(text));
        return;
    }
    // One after the other, a blank line between them; what does not fit is cut.
    char* held = payload_extraction.held_warnings;
    size_t size = sizeof payload_extraction.held_warnings;
    if (held[0] && strlen(held) + 2 < size)
        strcat(held, "\n\n");
    strncat(held, text, size - 1 - strlen(held));
}

void show_held_payload_warnings()
{
    if (payload_extraction.held_warnings[0])
        show_warning(as_ready_text(payload_extraction.held_warnings));
    payload_extraction.held_warnings[0] = 0;
}

FILETIME filetime_of(unsigned long long count)
{
    FILETIME time;
    time.dwLowDateTime = (DWORD)(count & 0xFFFFFFFFu);
    time.dwHighDateTime = (DWORD)(count >> 32);
    return time;
}

bool payload_present(const char* resource_name, const char* resource_type)
{
    return FindResourceA(0, resource_name, resource_type) != 0;
}

bool open_for_rewrite(HANDLE* file, const char* path, bool sequential, bool exclusive)
{
    *file = CreateFileA(path, GENERIC_WRITE, exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                        OPEN_ALWAYS,
                        sequential ? FILE_FLAG_SEQUENTIAL_SCAN : FILE_FLAG_RANDOM_ACCESS, 0);
    if (*file == INVALID_HANDLE_VALUE) {
        record_last_error();
        return false;
    }
    // An existing longer file that is not cut would keep its old end behind the new content.
    if (!SetEndOfFile(*file)) {
        record_last_error();
        CloseHandle(*file);
        *file = INVALID_HANDLE_VALUE;
        return false;
    }
    return true;
}

bool write_exact(HANDLE file, const void* data, DWORD count, DWORD* written)
{
    *written = 0;
    if (!WriteFile(file, data, count, written, 0)) {
        record_last_error();
        return false;
    }
    if (*written != count) {
        format_text_args(error_record.windows_error_text, sizeof error_record.windows_error_text,
                         "Nicht die erwartete Anzahl von Bytes geschrieben.\nErwartet: %d\n"
                         "Geschrieben: %d",
                         (int)count, (int)*written);
        return false;
    }
    return true;
}

static void warn_undated(const char* path)
{
    record_last_error();
    payload_warning("Warnung:\nDatei konnte nicht datiert werden.\nName: %s\n%s", path,
                 error_record.windows_error_text);
}

static bool same_time(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// Whether the file at path holds exactly these bytes; its last-write time then goes into
// *write_time. Read with every sharing allowed, so that a file that other programs use (a
// layout DLL that Windows has loaded) can be read; a file that cannot be read does not hold them.
static bool file_holds(const char* path, const BYTE* data, DWORD size, FILETIME* write_time)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              0, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, 0);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD high = 0;
    bool same = GetFileSize(file, &high) == size && high == 0;
    BYTE chunk[COMPARE_CHUNK_SIZE];
    for (DWORD offset = 0; same && offset < size; offset += COMPARE_CHUNK_SIZE) {
        DWORD wanted = size - offset < COMPARE_CHUNK_SIZE ? size - offset : COMPARE_CHUNK_SIZE;
        DWORD got = 0;
        same = ReadFile(file, chunk, wanted, &got, 0) && got == wanted &&
               memcmp(chunk, data + offset, wanted) == 0;
    }
    same = same && GetFileTime(file, 0, 0, write_time);
    CloseHandle(file);
    return same;
}

// The file holds the payload already: it is not opened for writing, which a file in use would
// refuse, and its contents stay. Only its last-write time and attributes are set, as after a
// write. The time is set through a handle with no access to the data, which a file in use
// allows; when that fails the warning of a file that cannot be dated follows, and the
// extraction goes on, as it does after a write.
static void keep_identical_file(const char* path, FILETIME current_time, FILETIME write_time)
{
    if (!same_time(current_time, write_time)) {
        HANDLE file = CreateFileA(path, FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                                  OPEN_EXISTING, 0, 0);
        if (file == INVALID_HANDLE_VALUE || !SetFileTime(file, 0, 0, &write_time))
            warn_undated(path);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE);
}

// The payload's bytes; false after the warning when the program does not carry it.
static bool find_payload(const char* resource_name, const char* resource_type,
                         const char* file_name, const BYTE** bytes, DWORD* size)
{
    HRSRC resource = FindResourceA(0, resource_name, resource_type);
    HGLOBAL loaded = resource ? LoadResource(0, resource) : 0;
    *size = resource ? SizeofResource(0, resource) : 0;
    if (*size == 0 || !loaded) {
        payload_warning("FEHLER:\nDatei %s nicht aus den Programmresourcen entnehmbar.\n"
                        "Interner Fehlerschlüssel: %08lX %08lX - %ld",
                        file_name, (DWORD)(ULONG_PTR)resource, (DWORD)(ULONG_PTR)loaded,
                        (LONG)*size);
        return false;
    }
    *bytes = (const BYTE*)LockResource(loaded);
    return true;
}

// The error of a file that another program holds open without write sharing; Windows gives
// it for a DLL that it has loaded, too.
static bool in_use_error(DWORD code)
{
    return code == ERROR_SHARING_VIOLATION;
}

// Writes the bytes into the file at path, an existing one rewritten. False after the warning;
// when in_use is given, a file in use is left to the caller without a warning (*in_use set).
static bool write_file(const char* path, const BYTE* bytes, DWORD size, FILETIME write_time,
                       bool* in_use)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(path, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);

    HANDLE file = INVALID_HANDLE_VALUE;
    if (!open_for_rewrite(&file, path, true, false)) {
        if (in_use && in_use_error(error_record.last_error_code)) {
            *in_use = true;
            return false;
        }
        payload_warning("FEHLER:\nDatei konnte nicht zum Schreiben geöffnet werden.\nName: %s\n%s",
                        path, error_record.windows_error_text);
        return false;
    }
    DWORD written = 0;
    if (!write_exact(file, bytes, size, &written)) {
        payload_warning("FEHLER:\nDatei-Inhalt konnte nicht geschrieben werden.\nDatei: %s\n%s",
                        path, error_record.windows_error_text);
        CloseHandle(file);
        return false;
    }
    if (!SetFileTime(file, 0, 0, &write_time))
        warn_undated(path);
    if (!CloseHandle(file)) {
        record_last_error();
        payload_warning("Warnung:\nDatei konnte nicht geschlossen werden.\nName: %s\n%s", path,
                        error_record.windows_error_text);
    }
    SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE);
    return true;
}

// The payload into folder\file_name; in_use as for write_file.
static payload_outcome extract(const char* resource_name, const char* resource_type,
                               const char* file_name, FILETIME write_time, const char* folder,
                               bool* in_use)
{
    const BYTE* bytes = 0;
    DWORD size = 0;
    if (!find_payload(resource_name, resource_type, file_name, &bytes, &size))
        return payload_outcome::failed;
    char path[MAX_PATH];
    if (!join_path(path, folder, file_name)) {
        payload_warning("FEHLER:\nDatei konnte nicht zum Schreiben geöffnet werden.\nName: %s%s\n%s",
                        folder, file_name, error_record.windows_error_text);
        return payload_outcome::failed;
    }
    FILETIME current_time;
    if (file_holds(path, bytes, size, &current_time)) {
        keep_identical_file(path, current_time, write_time);
        return payload_outcome::written;
    }
    return write_file(path, bytes, size, write_time, in_use) ? payload_outcome::written
                                                              : payload_outcome::failed;
}

bool extract_payload(const char* resource_name, const char* resource_type, const char* file_name,
                     FILETIME write_time, const char* folder)
{
    return extract(resource_name, resource_type, file_name, write_time, folder, 0) ==
           payload_outcome::written;
}

payload_outcome extract_payload_replacing_in_use(const char* resource_name,
                                                 const char* resource_type, const char* file_name,
                                                 FILETIME write_time, const char* folder)
{
    bool in_use = false;
    payload_outcome outcome =
        extract(resource_name, resource_type, file_name, write_time, folder, &in_use);
    char replacement[MAX_PATH];
    if (!in_use) {
        // Written in place: a replacement that an earlier run left next to it (its restart
        // taken back since) is stale.
        if (outcome == payload_outcome::written && replacement_path(replacement, folder, file_name))
            DeleteFileA(replacement);
        return outcome;
    }
    // The file in use stays as it is until the restart; the payload goes next to it, and the
    // session manager puts it in its place before any program can load the file again.
    const BYTE* bytes = 0;
    DWORD size = 0;
    char path[MAX_PATH];
    if (!find_payload(resource_name, resource_type, file_name, &bytes, &size) ||
        !join_path(path, folder, file_name) || !replacement_path(replacement, folder, file_name) ||
        !write_file(replacement, bytes, size, write_time, 0))
        return payload_outcome::failed;
    if (!MoveFileExA(replacement, path, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
        record_last_error();
        payload_warning("FEHLER:\nDatei ist in Gebrauch und konnte nicht zum Ersetzen beim "
                        "nächsten Neustart vorgemerkt werden.\nName: %s\n%s",
                        path, error_record.windows_error_text);
        DeleteFileA(replacement);
        return payload_outcome::failed;
    }
    return payload_outcome::replaces_at_restart;
}
