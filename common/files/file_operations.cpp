// Files and folders: separators, searches, copy and delete with progress and warnings.
#include "files/file_operations.h"

#include <stdlib.h>
#include <string.h>

#include "frame/messages.h"
#include "frame/status_window.h"

file_services_state file_services;

void reset_file_services()
{
    memset(&file_services, 0, sizeof file_services);
}

static bool is_separator(char c)
{
    return c == '\\' || c == '/';
}

// A path that would not fit a MAX_PATH buffer: recorded as Windows would report it.
static bool path_too_long()
{
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    record_last_error();
    return false;
}

bool copy_path(char* out, const char* path)
{
    size_t length = strlen(path);
    if (length >= MAX_PATH)
        return path_too_long();
    memcpy(out, path, length + 1);
    return true;
}

char* ensure_trailing_backslash(char* path)
{
    size_t length = strlen(path);
    // A full buffer cannot take one more character; join_path refuses such a folder.
    if ((length == 0 || !is_separator(path[length - 1])) && length + 1 < MAX_PATH) {
        path[length] = '\\';
        path[length + 1] = 0;
    }
    return path;
}

char* strip_trailing_backslash(char* path)
{
    size_t length = strlen(path);
    if (length == 0)
        return path;
    if (length >= 2 && path[length - 2] == ':')
        return path;
    if (is_separator(path[length - 1]))
        path[length - 1] = 0;
    return path;
}

bool join_path(char* out, const char* folder, const char* name)
{
    size_t folder_length = strlen(folder);
    size_t name_length = strlen(name);
    bool separator = folder_length > 0 && is_separator(folder[folder_length - 1]);
    size_t total = folder_length + (separator ? 0 : 1) + name_length;
    if (total >= MAX_PATH)
        return path_too_long();
    memcpy(out, folder, folder_length);
    if (!separator)
        out[folder_length++] = '\\';
    memcpy(out + folder_length, name, name_length + 1);
    return true;
}

const char* find_text_nocase(const char* text, const char* sought)
{
    if (!text || !sought || !text[0] || !sought[0])
        return 0;
    size_t text_size = strlen(text) + 1, sought_size = strlen(sought) + 1;
    char* text_copy = (char*)malloc(text_size);
    char* sought_copy = (char*)malloc(sought_size);
    const char* result = 0;
    if (text_copy && sought_copy) {
        memcpy(text_copy, text, text_size);
        memcpy(sought_copy, sought, sought_size);
        CharUpperA(text_copy);
        CharUpperA(sought_copy);
        const char* match = strstr(text_copy, sought_copy);
        if (match)
            result = text + (match - text_copy);
    }
    free(text_copy);
    free(sought_copy);
    return result;
}

const char* file_name_of(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; p++) {
        if (*p == ':' || *p == '/' || *p == '\\')
            name = p + 1;
    }
    return name;
}

bool lies_directly_in(const char* path, const char* folder)
{
    size_t folder_length = strlen(folder);
    size_t name_start = (size_t)(file_name_of(path) - path);
    if (folder_length == 0 || folder_length >= MAX_PATH || name_start != folder_length ||
        !path[name_start])
        return false;
    char part[MAX_PATH];
    memcpy(part, path, folder_length);
    part[folder_length] = 0;
    return find_text_nocase(part, folder) == part;
}

bool replacement_path(char* path, const char* folder, const char* file_name)
{
    char name[MAX_PATH];
    size_t length = strlen(file_name);
    if (length + sizeof REPLACEMENT_SUFFIX > MAX_PATH)
        return false;
    memcpy(name, file_name, length);
    memcpy(name + length, REPLACEMENT_SUFFIX, sizeof REPLACEMENT_SUFFIX);
    return join_path(path, folder, name);
}

static bool is_dot_entry(const WIN32_FIND_DATAA* data)
{
    return strcmp(data->cFileName, ".") == 0 || strcmp(data->cFileName, "..") == 0;
}

static void note_entry(const WIN32_FIND_DATAA* data)
{
    file_services.entry_is_folder = (data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

static file_search search_entry(const char* path, HANDLE* search, WIN32_FIND_DATAA* find_data)
{
    error_record.windows_error_text[0] = 0;
    if (!search) {
        find_data = &file_services.shared_find_data;
    } else if (!find_data) {
        strcpy(error_record.windows_error_text, "FEHLAUFRUF FileExists");
        return file_search::failed;
    }
    if (strlen(path) >= MAX_PATH) {
        path_too_long();
        return file_search::failed;
    }
    HANDLE handle = FindFirstFileA(path, find_data);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = record_last_error();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? file_search::missing
                   : file_search::failed;
    }
    size_t length = strlen(path);
    bool accept_any = length > 0 && path[length - 1] == '.';
    while (!accept_any && is_dot_entry(find_data)) {
        if (!FindNextFileA(handle, find_data)) {
            FindClose(handle);
            return file_search::missing;
        }
    }
    note_entry(find_data);
    if (search)
        *search = handle;
    else
        FindClose(handle);
    return file_search::found;
}

bool FileExists(const char* path, HANDLE* search, WIN32_FIND_DATAA* find_data)
{
    return search_entry(path, search, find_data) == file_search::found;
}

file_search search_for_file(const char* path)
{
    return search_entry(path, 0, 0);
}

// The entry's full path: folder, a backslash unless the folder ends in a separator, name.
static void build_entry_path(char* entry_path, const char* folder, const WIN32_FIND_DATAA* data)
{
    if (entry_path && !join_path(entry_path, folder ? folder : "", data->cFileName))
        entry_path[0] = 0;
}

WIN32_FIND_DATAA find_first_entry(const char* folder, const char* pattern, HANDLE* search,
                                  WIN32_FIND_DATAA* find_data, int* count, char* pattern_buffer,
                                  char* entry_path)
{
    memset(find_data, 0, sizeof *find_data);
    error_record.windows_error_text[0] = 0;
    *count = 0;
    if (folder) {
        size_t folder_length = strlen(folder);
        bool star = folder_length > 0 && folder[folder_length - 1] == '\\' && pattern[0] == '.';
        if (folder_length + (star ? 1 : 0) + strlen(pattern) >= MAX_PATH) {
            path_too_long();
            file_services.entry_is_folder = false;
            return *find_data;
        }
        strcpy(pattern_buffer, folder);
        if (star)
            strcat(pattern_buffer, "*");
        strcat(pattern_buffer, pattern);
    }
    HANDLE handle = FindFirstFileA(pattern_buffer, find_data);
    if (handle == INVALID_HANDLE_VALUE) {
        record_last_error();
        file_services.entry_is_folder = false;
        return *find_data;
    }
    while (is_dot_entry(find_data)) {
        if (!FindNextFileA(handle, find_data)) {
            FindClose(handle);
            *search = 0;
            return *find_data;
        }
    }
    *search = handle;
    *count = 1;
    build_entry_path(entry_path, folder, find_data);
    note_entry(find_data);
    return *find_data;
}

void find_next_entry(HANDLE* search, WIN32_FIND_DATAA* find_data, int* count, const char* folder,
                     char* entry_path)
{
    if (!*search)
        return;
    if (!FindNextFileA(*search, find_data)) {
        FindClose(*search);
        *search = 0;
        return;
    }
    note_entry(find_data);
    (*count)++;
    build_entry_path(entry_path, folder, find_data);
}

bool copy_one_file(const char* source, const char* target, bool show_warning, bool overwrite)
{
    if (CopyFileA(source, target, overwrite ? FALSE : TRUE)) {
        SetFileAttributesA(target, FILE_ATTRIBUTE_ARCHIVE);
        return true;
    }
    record_last_error();
    if (show_warning)
        show_warning_with_caption(program_file_warning_caption(),
                                  "Kopieren einer Datei fehlgeschlagen.\n\nQuelle: %s\nZiel: %s\n\n%s",
                                  source, target, error_record.windows_error_text);
    return false;
}

bool delete_one_file(const char* path, bool show_warning)
{
    if (strlen(path) >= MAX_PATH)
        return path_too_long();
    // A file that could not be looked for is not taken for deleted.
    file_search found = search_for_file(path);
    bool present = found == file_search::found;
    if (found == file_search::missing)
        return true;
    set_status("Lösche %s ...", path);
    if (present && DeleteFileA(path))
        return true;
    if (show_warning) {
        if (present)
            record_last_error();
        warn_file_not_deleted(path);
    }
    return false;
}

void warn_file_not_deleted(const char* path)
{
    show_warning_with_caption(program_file_warning_caption(),
                              "Folgende Datei kann nicht gelöscht werden:\n%s\n\n%s", path,
                              error_record.windows_error_text);
}

file_removal delete_or_list_for_restart(const char* path)
{
    // A read-only file is not in use: its attribute goes, as before a write.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);
    if (DeleteFileA(path))
        return file_removal::deleted;
    record_last_error();
    return MoveFileExA(path, 0, MOVEFILE_DELAY_UNTIL_REBOOT) ? file_removal::at_restart
                                                              : file_removal::kept;
}

bool folder_exists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool delete_file_in(const char* folder, const char* name, bool show_warning)
{
    char path[MAX_PATH];
    size_t folder_length = strlen(folder), name_length = strlen(name);
    if (folder_length + name_length >= MAX_PATH)
        return path_too_long();
    memcpy(path, folder, folder_length);
    memcpy(path + folder_length, name, name_length + 1);
    return delete_one_file(path, show_warning);
}

bool remove_folder(const char* path)
{
    set_status("Lösche Verzeichnis %s ...", path);
    if (RemoveDirectoryA(path))
        return true;
    record_last_error();
    show_warning_with_caption(program_file_warning_caption(),
                              "Folgendes Verzeichnis kann nicht gelöscht werden:\n%s\n\n%s", path,
                              error_record.windows_error_text);
    return false;
}

bool delete_folder_tree(const char* folder)
{
    char pattern[MAX_PATH];
    char entry[MAX_PATH];
    WIN32_FIND_DATAA data;
    HANDLE search = 0;
    int count = 0;
    find_first_entry(folder, "*.*", &search, &data, &count, pattern, entry);
    while (search) {
        if (file_services.entry_is_folder) {
            char subfolder[MAX_PATH];
            if (join_path(subfolder, entry, ""))
                delete_folder_tree(subfolder);
        } else {
            delete_one_file(entry, true);
        }
        find_next_entry(&search, &data, &count, folder, entry);
    }
    char top[MAX_PATH];
    if (!copy_path(top, folder))
        return false;
    size_t length = strlen(top);
    if (length > 0)
        top[length - 1] = 0;
    return remove_folder(top);
}
