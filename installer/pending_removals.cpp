// Removals that an earlier run of the uninstaller left for the next restart, taken back before the product's files are written again.
#include "pending_removals.h"

#include <stdlib.h>

#include "layout_registry/registry_access.h"

#define SESSION_MANAGER_PATH "SYSTEM\\CurrentControlSet\\Control\\Session Manager"
#define PENDING_OPERATIONS_VALUE "PendingFileRenameOperations"
// The list holds native paths: "\??\" and the path.
#define NATIVE_PATH_PREFIX "\\??\\"

static WCHAR ascii_upper(WCHAR c)
{
    return c >= 'a' && c <= 'z' ? (WCHAR)(c - 'a' + 'A') : c;
}

// The product's paths as the list holds them: "\??\" and the path, in UTF-16.
#define NATIVE_PATH_LIMIT 8
struct native_paths {
    WCHAR text[NATIVE_PATH_LIMIT][MAX_PATH + 8];
    int count;
};

// False when there are too many paths or one cannot be converted: its deletion could then not
// be found, and would delete the new installation at the restart.
static bool to_native_paths(native_paths* native, const char* const* paths, int count)
{
    native->count = count;
    if (count > NATIVE_PATH_LIMIT)
        return false;
    for (int i = 0; i < count; i++) {
        WCHAR* text = native->text[i];
        if (!MultiByteToWideChar(CP_ACP, 0, NATIVE_PATH_PREFIX, -1, text, 8) ||
            !MultiByteToWideChar(CP_ACP, 0, paths[i], -1, text + 4, MAX_PATH))
            return false;
    }
    return true;
}

// Whether the list's path names one of the paths. The product's paths are compared without
// regard to the case of ASCII letters: the uninstaller listed them as the programs spell them.
static bool names_one_of(const WCHAR* entry, const native_paths* native)
{
    for (int i = 0; i < native->count; i++) {
        const WCHAR* path = native->text[i];
        size_t n = 0;
        while (entry[n] && path[n] && ascii_upper(entry[n]) == ascii_upper(path[n]))
            n++;
        if (!entry[n] && !path[n])
            return true;
    }
    return false;
}

// Length of the text at `at` within the list's `size` characters.
static DWORD text_length(const WCHAR* list, DWORD at, DWORD size)
{
    DWORD end = at;
    while (end < size && list[end])
        end++;
    return end - at;
}

// Moves the pairs (source, then target) to the front of the list, in their order, except the
// deletions (an empty target) of the paths, and ends the list with its extra zero; the list's
// new size in characters. *removed tells whether a pair was left out.
static DWORD keep_other_operations(WCHAR* list, DWORD size, const native_paths* native,
                                   bool* removed)
{
    DWORD read = 0;
    DWORD written = 0;
    *removed = false;
    while (read < size && list[read]) {
        DWORD source_length = text_length(list, read, size);
        DWORD target_at = read + source_length + 1;
        DWORD target_length = target_at < size ? text_length(list, target_at, size) : 0;
        DWORD pair_length = source_length + 1 + target_length + 1;
        if (target_length == 0 && names_one_of(list + read, native)) {
            *removed = true;
        } else {
            for (DWORD i = 0; i < pair_length; i++)
                list[written + i] = read + i < size ? list[read + i] : 0;
            written += pair_length;
        }
        read += pair_length;
    }
    list[written++] = 0;
    return written;
}

bool cancel_pending_removals(const char* const* paths, int count)
{
    native_paths native;
    if (!to_native_paths(&native, paths, count))
        return false;
    HKEY key = 0;
    reg_result opened = reg_open_existing_key(HKEY_LOCAL_MACHINE, SESSION_MANAGER_PATH, &key);
    if (opened != reg_result::read)
        return opened == reg_result::missing;
    WCHAR* list = 0;
    DWORD size = 0;
    reg_result found = reg_query_wide_list(key, PENDING_OPERATIONS_VALUE, &list, &size);
    // A value of another type is no list that Windows would carry out.
    bool done = found == reg_result::missing || found == reg_result::unfit;
    if (found == reg_result::read) {
        bool removed = false;
        DWORD kept = keep_other_operations(list, size, &native, &removed);
        // One write replaces the whole list: a stop leaves it either as it was or as it is to be.
        if (!removed)
            done = true;
        else if (kept == 1)
            done = reg_delete_value(key, PENDING_OPERATIONS_VALUE);
        else
            done = reg_set_wide_list(key, PENDING_OPERATIONS_VALUE, list, kept);
    }
    free(list);
    RegCloseKey(key);
    return done;
}
