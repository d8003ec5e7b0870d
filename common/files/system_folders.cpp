// The folders the flows work in, and WOW64 file-system redirection switched off around the work in the system folders.
#include "files/system_folders.h"

#include <shlobj.h>
#include <string.h>

#include "files/file_operations.h"
#include "frame/frame.h"
#include "product_constants.h"

install_folders_state install_folders;

void reset_install_folders()
{
    memset(&install_folders, 0, sizeof install_folders);
}

// The lookup for an owner, with the shell allocator that frees the item list.
static bool look_up_special_folder(char* path, HWND owner, int csidl, IMalloc* allocator)
{
    path[0] = 0;
    LPITEMIDLIST items = 0;
    if (FAILED(SHGetSpecialFolderLocation(owner, csidl, &items)))
        return false;
    // A folder without a file-system path is not found either: a file meant for it would go
    // into the root of the current drive.
    bool found = SHGetPathFromIDListA(items, path) && path[0];
    if (!found)
        path[0] = 0;
    if (allocator)
        allocator->Free(items);
    return found;
}

bool special_folder_path(char* path, int csidl)
{
    IMalloc* allocator = 0;
    SHGetMalloc(&allocator);
    bool found = look_up_special_folder(path, frame.main_window, csidl, allocator);
    if (allocator)
        allocator->Release();
    return found;
}

// Appends name to folder after a backslash; false (the folder left empty) when it does not
// fit the buffer.
static bool append_level(char* folder, const char* name)
{
    char joined[MAX_PATH];
    bool fits = join_path(joined, folder, name);
    strcpy(folder, fits ? joined : "");
    return fits;
}

bool is_full_folder_path(const char* path)
{
    char drive = path[0];
    bool letter = (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
    if (letter && path[1] == ':' && path[2] == '\\')
        return true;
    return path[0] == '\\' && path[1] == '\\' && path[2] && path[2] != '\\';
}

// Keeps the first reason for a failure.
static bool folder_failure(const char* reason)
{
    if (!install_folders.error_text[0])
        strcpy(install_folders.error_text, reason);
    return false;
}

typedef UINT(WINAPI* folder_query)(LPSTR, UINT);

// A folder query into a buffer of MAX_PATH bytes; empty when the query failed or did not fit.
static void query_folder(char* folder, folder_query query)
{
    memset(folder, 0, MAX_PATH);
    UINT length = query(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        folder[0] = 0;
}

// A system folder with a trailing backslash; false unless the query gave a full path.
static bool query_system_folder(char* folder, folder_query query)
{
    query_folder(folder, query);
    ensure_trailing_backslash(folder);
    return is_full_folder_path(folder);
}

// GetTempPathA with the arguments in the order of the other folder queries.
static UINT WINAPI temp_path_query(LPSTR folder, UINT size)
{
    return GetTempPathA(size, folder);
}

bool query_temp_folder(char* folder)
{
    return query_system_folder(folder, temp_path_query);
}

bool query_shared_temp_folder(char* folder)
{
    bool found = query_system_folder(folder, GetSystemWindowsDirectoryA) && append_level(folder, "Temp\\");
    if (!found)
        folder[0] = 0;
    return found;
}

// The 32-bit system folder of 64-bit Windows. A 64-bit program may meet a Windows without the
// 32-bit subsystem (Server Core can remove it): neither the folder nor a 32-bit program that
// could load the DLL is there, and the folder stays empty. A 32-bit program runs in that
// subsystem, so for it the folder must be found.
static bool query_wow64_system_folder()
{
    char* folder = install_folders.wow64_system_folder;
    SetLastError(ERROR_SUCCESS);
    if (query_system_folder(folder, GetSystemWow64DirectoryA)) {
        // Only a folder known to be missing is taken for no subsystem; one that cannot be
        // looked at stays, and the DLL's extraction then tells why it fails.
        if (!frame.is_wow64 && GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                folder[0] = 0;
        }
        return true;
    }
    folder[0] = 0;
    return !frame.is_wow64 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED;
}

bool determine_install_folders()
{
    install_folders.error_text[0] = 0;
    bool ok = true;
    if (!query_system_folder(install_folders.system_folder, GetSystemDirectoryA))
        ok = folder_failure("Das Systemverzeichnis kann nicht ermittelt werden.");

    if (on_64_bit_windows() && !query_wow64_system_folder())
        ok = folder_failure("Das 32-Bit-Systemverzeichnis kann nicht ermittelt werden.");

    // Only the shell knows the Program Files folder: a folder made up in its place (below the
    // Windows folder) would be a folder Windows does not protect as it protects Program Files.
    // A program folder that does not fit is not the Program Files folder either: the flows
    // would write into and delete from that folder itself.
    char* program_folder = install_folders.program_folder;
    bool found = special_folder_path(program_folder, CSIDL_PROGRAM_FILES) &&
                 append_level(program_folder, PROGRAM_FOLDER_NAME);
    if (!found || !is_full_folder_path(program_folder))
        ok = folder_failure("Das Programmverzeichnis kann nicht ermittelt werden.");
    return ok;
}

bool redirection_off_for_system_folders()
{
    install_folders.error_text[0] = 0;
    if (!frame.is_wow64 || install_folders.redirection_off)
        return true;
    install_folders.redirection_off =
        Wow64DisableWow64FsRedirection(&install_folders.saved_redirection_state) != 0;
    if (!install_folders.redirection_off)
        return folder_failure("Die Umleitung des Dateisystems für 32-Bit-Programme (WOW64) "
                              "kann nicht abgeschaltet werden.");
    return true;
}

bool redirection_back_on()
{
    install_folders.error_text[0] = 0;
    if (!install_folders.redirection_off)
        return true;
    if (!Wow64RevertWow64FsRedirection(install_folders.saved_redirection_state))
        return folder_failure("Die Umleitung des Dateisystems für 32-Bit-Programme (WOW64) "
                              "kann nicht wieder eingeschaltet werden.");
    install_folders.redirection_off = false;
    return true;
}
