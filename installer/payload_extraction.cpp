// Writes one of the installer's embedded payloads into a file with its fixed last-write time.
#include "payload_extraction.h"

#include "files/file_operations.h"
#include "frame/messages.h"

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

bool extract_payload(const char* resource_name, const char* resource_type, const char* file_name,
                     FILETIME write_time, const char* folder)
{
    HRSRC resource = FindResourceA(0, resource_name, resource_type);
    HGLOBAL loaded = resource ? LoadResource(0, resource) : 0;
    DWORD size = resource ? SizeofResource(0, resource) : 0;
    if (size == 0 || !loaded) {
        show_warning("FEHLER:\nDatei %s nicht aus den Programmresourcen entnehmbar.\n"
                     "Interner Fehlerschlüssel: %08lX %08lX - %ld",
                     file_name, (DWORD)(ULONG_PTR)resource, (DWORD)(ULONG_PTR)loaded, (LONG)size);
        return false;
    }

    char path[MAX_PATH];
    if (!join_path(path, folder, file_name)) {
        show_warning("FEHLER:\nDatei konnte nicht zum Schreiben geöffnet werden.\nName: %s%s\n%s",
                     folder, file_name, error_record.windows_error_text);
        return false;
    }
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(path, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);

    HANDLE file = INVALID_HANDLE_VALUE;
    if (!open_for_rewrite(&file, path, true, false)) {
        show_warning("FEHLER:\nDatei konnte nicht zum Schreiben geöffnet werden.\nName: %s\n%s",
                     path, error_record.windows_error_text);
        return false;
    }
    DWORD written = 0;
    if (!write_exact(file, LockResource(loaded), size, &written)) {
        show_warning("FEHLER:\nDatei-Inhalt konnte nicht geschrieben werden.\nDatei: %s\n%s", path,
                     error_record.windows_error_text);
        CloseHandle(file);
        return false;
    }
    if (!SetFileTime(file, 0, 0, &write_time)) {
        record_last_error();
        show_warning("Warnung:\nDatei konnte nicht datiert werden.\nName: %s\n%s", path,
                     error_record.windows_error_text);
    }
    if (!CloseHandle(file)) {
        record_last_error();
        show_warning("Warnung:\nDatei konnte nicht geschlossen werden.\nName: %s\n%s", path,
                     error_record.windows_error_text);
    }
    SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE);
    return true;
}
