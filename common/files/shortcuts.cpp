// The folders of shell shortcuts (.LNK), their file paths, and their deletion.
#include "files/shortcuts.h"

#include <shlobj.h>
#include <string.h>

#include "files/file_operations.h"
#include "files/system_folders.h"

static bool is_csidl_place(const char* place)
{
    return place && (ULONG_PTR)place < 0x100;
}

static bool is_absolute_place(const char* place)
{
    return place && !is_csidl_place(place) && place[0] && place[1] == ':';
}

bool shortcut_folder_path(char* path, HWND owner, const char* place, bool all_users)
{
    path[0] = 0;
    bool result = false;
    if (is_absolute_place(place)) {
        if (strlen(place) >= MAX_PATH)
            return false;
        strcpy(path, place);
        result = true;
    } else {
        IMalloc* allocator = 0;
        SHGetMalloc(&allocator);
        int csidl;
        if (!place)
            csidl = all_users ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY;
        else if (is_csidl_place(place))
            csidl = (int)(ULONG_PTR)place;
        else
            csidl = all_users ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
        result = look_up_special_folder(path, owner, csidl, allocator);
        if (!result && all_users)
            result = look_up_special_folder(
                path, owner, place ? CSIDL_PROGRAMS : CSIDL_DESKTOPDIRECTORY, allocator);
        if (allocator)
            allocator->Release();
        if (place && !is_csidl_place(place) && place[0]) {
            char joined[MAX_PATH];
            if (!join_path(joined, path, place))
                return false;
            strcpy(path, joined);
        }
    }
    ensure_trailing_backslash(path);
    return result;
}

bool shortcut_file_path(char* path, const char* folder, const char* name)
{
    char file_name[MAX_PATH];
    size_t length = strlen(name);
    if (length + 4 >= MAX_PATH)
        return false;
    memcpy(file_name, name, length);
    memcpy(file_name + length, ".LNK", 5);
    return join_path(path, folder, file_name);
}

bool delete_shortcut(HWND owner, const char* place, const char* name, bool all_users)
{
    char folder[MAX_PATH];
    if (!shortcut_folder_path(folder, owner, place, all_users))
        return false;
    char path[MAX_PATH];
    if (!shortcut_file_path(path, folder, name))
        return false;
    return DeleteFileA(path) != 0;
}
