// Folders created level by level, each new one opened to Everyone with the access grant (a file of its own, so that a program that creates no such folder does not bring in the grant).
#include "files/file_operations.h"

#include <string.h>

#include "files/access_grant.h"
#include "frame/messages.h"

static bool is_numeric_server(const char* path)
{
    if (path[0] != '\\' || path[1] != '\\')
        return false;
    for (const char* p = path + 2; *p; p++) {
        if (!(*p >= '0' && *p <= '9') && *p != '.')
            return false;
    }
    return true;
}

bool create_folder(const char* path, bool fail_if_exists, bool without_delete, bool inheritable)
{
    char folder[MAX_PATH];
    if (!copy_path(folder, path))
        return false;
    strip_trailing_backslash(folder);
    if (CreateDirectoryA(folder, 0)) {
        grant_access(folder, 0, without_delete ? FOLDER_ACCESS_MASK_WITHOUT_DELETE : FOLDER_ACCESS_MASK,
                     inheritable);
        return true;
    }
    record_last_error();
    if (!fail_if_exists && error_record.last_error_code == ERROR_ALREADY_EXISTS)
        return true;
    if (error_record.last_error_code == ERROR_INVALID_NAME)
        return is_numeric_server(folder);
    return false;
}

static bool ends_with(const char* text, char c)
{
    size_t length = strlen(text);
    return length > 0 && text[length - 1] == c;
}

bool create_folder_path(const char* path, bool names_a_file, bool without_delete)
{
    char whole[MAX_PATH];
    if (!copy_path(whole, path))
        return false;
    if (names_a_file) {
        char* last = strrchr(whole, '\\');
        if (last)
            last[1] = 0;
        else
            whole[0] = 0;
    }
    strip_trailing_backslash(whole);
    if (create_folder(whole, false, without_delete, false))
        return true;

    char level[MAX_PATH];
    size_t length = 0;
    level[0] = 0;
    bool unc = path[0] == '\\' && path[1] == '\\';
    for (const char* p = path; *p; p++) {
        if (*p == '\\' && p != path) {
            if (ends_with(level, ':') || ends_with(level, '\\')) {
                // after a drive, or inside the leading \\ of a UNC path
            } else if (unc) {
                unc = false;  // the server level \\server is not created
            } else if (!create_folder(level, false, without_delete, false) && !ends_with(level, '$')) {
                return false;
            }
        }
        level[length++] = *p;
        level[length] = 0;
    }
    if (!names_a_file && !ends_with(level, '\\'))
        return create_folder(level, false, without_delete, false);
    return true;
}

