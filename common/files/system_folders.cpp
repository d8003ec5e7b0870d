// The folders the flows work in, and WOW64 file-system redirection switched off for the run.
#include "files/system_folders.h"

#include <shlobj.h>
#include <string.h>

#include "files/file_operations.h"
#include "frame/startup.h"
#include "product_constants.h"

install_folders_state install_folders;

void reset_install_folders()
{
    memset(&install_folders, 0, sizeof install_folders);
}

bool special_folder_path(char* path, int csidl)
{
    path[0] = 0;
    IMalloc* allocator = 0;
    SHGetMalloc(&allocator);
    LPITEMIDLIST items = 0;
    bool found = SUCCEEDED(SHGetSpecialFolderLocation(frame.main_window, csidl, &items));
    if (found) {
        SHGetPathFromIDListA(items, path);
        if (allocator)
            allocator->Free(items);
    }
    if (allocator)
        allocator->Release();
    return found;
}

// Appends name to folder after a backslash, when it fits the buffer.
static void append_level(char* folder, const char* name)
{
    char joined[MAX_PATH];
    if (join_path(joined, folder, name))
        strcpy(folder, joined);
}

void determine_install_folders()
{
    if (frame.is_wow64)
        Wow64DisableWow64FsRedirection(&install_folders.saved_redirection_state);

    memset(install_folders.system_folder, 0, sizeof install_folders.system_folder);
    GetSystemDirectoryA(install_folders.system_folder, MAX_PATH);
    ensure_trailing_backslash(install_folders.system_folder);

    if (frame.is_wow64) {
        memset(install_folders.wow64_system_folder, 0, sizeof install_folders.wow64_system_folder);
        GetSystemWow64DirectoryA(install_folders.wow64_system_folder, MAX_PATH);
        ensure_trailing_backslash(install_folders.wow64_system_folder);
    }

    char* program_folder = install_folders.program_folder;
    if (!special_folder_path(program_folder, CSIDL_PROGRAM_FILES)) {
        program_folder[0] = 0;
        GetWindowsDirectoryA(program_folder, MAX_PATH);
        append_level(program_folder, PROGRAM_FILES_FALLBACK_NAME);
    }
    append_level(program_folder, PROGRAM_FOLDER_NAME);
}

void restore_fs_redirection()
{
    if (frame.is_wow64)
        Wow64RevertWow64FsRedirection(install_folders.saved_redirection_state);
}
