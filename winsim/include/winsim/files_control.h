// Test-facing control of the simulated file system, resources, started programs and Sleep.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winsim {

// --- time ---
// Times are FILETIME counts: 100-ns ticks since 1601-01-01 00:00 UTC.
ULONGLONG filetime_ticks(int year, int month, int day, int hour = 0, int minute = 0,
                         int second = 0, int ticks_below_second = 0);
FILETIME to_filetime(ULONGLONG ticks);
ULONGLONG from_filetime(const FILETIME& time);
// The clock of the file system: new entries, writes and copies take its time. It stands
// still until set; after reset it reads 2024-03-04 10:00:00 UTC.
void set_file_clock(ULONGLONG ticks);
ULONGLONG file_clock();

// --- names outside code page 1252 ---
// The file system keeps its names in code page 1252; every other UTF-16 unit is written as the
// byte 0x01 and four upper-case hex digits of the unit ("Łukasz" is "\x01" "0141ukasz"). Only the
// wide calls give such names (the 8-bit calls refuse control characters); every path these
// functions take and give is in that form, which for code page 1252 is the plain text.
//
// How the system's 8-bit conversion spells a character the code page lacks: as its best fit in
// Windows' table ("Ł" gives "L", "ş" gives "s"; "?" for a character without one), or as "?" for
// every such character. After reset: best fit. The 8-bit calls that hand out a path or name
// spell it so: SHGetPathFromIDListA, GetTempPathA, FindFirstFileA and FindNextFileA,
// GetModuleFileNameA; WideCharToMultiByte to code page 1252 without WC_NO_BEST_FIT_CHARS too.
// A best-fit path names another entry ("C:\Users\Lukasz"), a "?" path is an invalid name.
void set_ansi_best_fit(bool best_fit);

// --- the machine ---
// After reset: a German 64-bit Windows 10 with drive C: only and the user "Anwender". The
// standard folders (names on disk, as on Windows since Vista: "Program Files", which
// Explorer shows as "Programme"):
//   C:\ (D|H|S), C:\Program Files, C:\Program Files (x86) (64-bit only), C:\ProgramData (H),
//   C:\Users, C:\Users\Public, C:\Users\Public\Desktop, C:\Users\<user>,
//   C:\Users\<user>\AppData (H), ...\AppData\Local, ...\AppData\Local\Temp,
//   ...\AppData\Roaming, its Microsoft\Windows\Start Menu\Programs (and that of
//   C:\ProgramData), C:\Users\<user>\Desktop, C:\Users\<user>\Documents,
//   C:\Windows, C:\Windows\Fonts, C:\Windows\Temp, C:\Windows\system32,
//   C:\Windows\system32\drivers, C:\Windows\system32\drivers\etc,
//   C:\Windows\SysWOW64 (64-bit only).
// Both change the machine back to that start (entries made before are gone): call them first.
void set_windows_bitness(int bits);  // 64 or 32; 32 also makes the process not WOW64
void set_user_name(const char* name);  // in UTF-8
int windows_bitness();

struct standard_folder_paths {
    std::string windows, system32, syswow64, program_files, program_files_x86, program_data,
        users, public_desktop, user_profile, app_data, local_app_data, temp, desktop, documents;
};
// The paths of the standard folders ("" for the ones this machine has not); system32 as
// GetSystemDirectoryA spells it ("C:\\Windows\\system32"; the folder on disk is "System32"). The
// user's folders hold the user's name in the file system's form.
const standard_folder_paths& standard_folders();

// What GetTempPathA reports (a backslash is added when missing); the folder need not exist.
void set_temp_path(const char* path);
// An empty fixed drive (its root has the attributes of C:\).
void add_drive(char letter);
// A shared folder "\\\\server\\share", empty; its root lists "." and ".." like any folder.
// A path on a server without shares gives ERROR_BAD_NETPATH, on an unknown share of a known
// server ERROR_BAD_NET_NAME; "\\\\server" alone is an invalid name.
void add_unc_share(const char* share_path);

// --- entries ---
// These take real paths (no WOW64 redirection) and create missing folders on the way.
// False when the path is invalid or names a folder (add_file) or a file (add_folder).
bool add_folder(const char* path, DWORD attributes = FILE_ATTRIBUTE_DIRECTORY);
// Creates or replaces the file; FILE_ATTRIBUTE_NORMAL or 0 stores no attributes.
bool add_file(const char* path, const std::string& contents,
              DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
bool set_entry_times(const char* path, ULONGLONG creation, ULONGLONG last_access,
                     ULONGLONG last_write);
bool set_entry_attributes(const char* path, DWORD attributes);

struct entry_info {
    bool exists = false;
    bool is_folder = false;
    std::string name;        // as stored
    DWORD attributes = 0;    // as GetFileAttributesA reports them
    ULONGLONG size = 0;
    ULONGLONG creation_time = 0, last_access_time = 0, last_write_time = 0;
    std::string contents;
    bool delete_pending = false;
    int open_handles = 0;    // the program's and the held ones
};
entry_info entry(const char* path);
bool entry_exists(const char* path);
// The names in a folder in find order, without "." and ".."; empty when it is missing.
std::vector<std::string> list_folder(const char* path);
// The entry and everything below it, one line each, in find order:
//   "<path> | <attributes> | <size> | <last-write time>"
// attributes as letters R H S D A T (temporary) O (offline) I (not content indexed) in that
// order ("N" for none), size "-" for folders, time "YYYY-MM-DD hh:mm:ss.fffffff" (UTC); a
// delete-pending entry ends with " | delete pending". "" when the path does not exist.
std::string dump_tree(const char* path);

// --- other programs' handles ---
// Opens the file as another process would (access GENERIC_READ / GENERIC_WRITE / DELETE / 0,
// share mode FILE_SHARE_*). Returns the hold's number, or 0 with *error (32 when the handles
// already open do not allow it, 2 or 3 when missing, 5 for a folder).
long hold_file_open(const char* path, DWORD access, DWORD share_mode, DWORD* error = nullptr);
void release_file(long hold);
// Handles the program holds open now: files (CreateFileA, CreateFileW) and searches (FindFirstFileA).
int open_file_handles();
int open_find_handles();

// --- files Windows has loaded (mapped as images) ---
// Windows keeps a DLL it has loaded mapped as an image: the file can be read, renamed (the
// mapping goes with it) and named in MOVEFILE_DELAY_UNTIL_REBOOT, but DeleteFileA and DeleteFileW
// fail with ERROR_ACCESS_DENIED, CreateFileA, CreateFileW and CopyFileA onto it with
// ERROR_SHARING_VIOLATION for every open that would write its data, and MoveFileExA with
// MOVEFILE_REPLACE_EXISTING onto it with ERROR_ACCESS_DENIED. Sharing does not count a
// mapping; the loader's own open, for reading with FILE_SHARE_READ | FILE_SHARE_DELETE, must
// join the handles already open (so no handle can write a mapped file, and SetEndOfFile never
// meets one). LoadLibraryA and LoadLibraryExA of a full path map the file too (it must begin
// with "MZ"; a missing one gives ERROR_MOD_NOT_FOUND), FreeLibrary of the last load unmaps it.
// A machine image (machine_image.h) keeps the mappings of other processes and of the session;
// the program's loads end with it when an image is loaded, as at a restart.
//
// Maps the file (real path) as another process's loader does. Returns the mapping's number, or
// 0 with *error (2 or 3 when missing, 32 when the handles open on it do not allow the loader's
// open, 5 for a folder or a file waiting for deletion).
long map_file_as_image(const char* path, DWORD* error = nullptr);
void unmap_file(long mapping);
// The mappings of the file now: the tests', the session's and the program's loads.
int image_mappings(const char* path);

// The user's logon: every process of the session loads the DLLs of the user's keyboard layouts.
// The user is the one who owns the shell (security_control.h): the program's own, whose hive is
// HKEY_CURRENT_USER, or the standard user, below HKEY_USERS.
// For each value of <hive>\Keyboard Layout\Preload (a REG_SZ naming a layout key,
// through a value of the same name in ...\Substitutes when there is one, names compared without
// regard to case), the "Layout File" of that key below
// HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts is mapped from
// C:\Windows\System32 (64-bit processes, or all on a 32-bit Windows) and, on a 64-bit Windows,
// from C:\Windows\SysWOW64 (32-bit processes), each file once and only where it is there and
// the loader may open it. A logon first ends the session's earlier one.
void log_on_user();
// Releases the mappings of log_on_user.
void log_off_user();

// --- MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT ---
// The operations recorded in HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session
// Manager\PendingFileRenameOperations, in order: paths as stored ("\\??\\C:\\..."), target
// "" for a delete, replace_existing for a target stored with "!".
struct pending_file_operation {
    std::string source;
    std::string target;
    bool replace_existing;
};
std::vector<pending_file_operation> pending_file_operations();

// Restarts Windows. Every process ends: the program's file, search and key handles and its
// mutexes are gone (the test decides what runs afterwards), so are the holds of hold_file_open
// and every mapping, and redirection is on again. Then the session manager, a native 64-bit
// process (no WOW64 redirection), carries out PendingFileRenameOperations in order: an empty
// target deletes the source (a folder only when it is empty), any other renames the source to
// it, replacing an existing file only when marked with "!" (never a read-only one nor a folder)
// and never onto another drive; an operation whose source is missing or that cannot be done is
// left out. Then the value is deleted. No user is logged on afterwards (log_on_user).
void restart_machine();

// --- the program's resources ---
// type and name: a text (kept upper case; FindResourceA compares without regard to case) or
// MAKEINTRESOURCEA(id). With several languages of one resource FindResourceA takes the
// neutral one (0), then German (0x0407), then the first added.
void add_resource(const char* type, const char* name, WORD language, const std::string& bytes);

// --- started programs ---
// The program must exist (redirected like any path) and begin with "MZ"; it does not run.
struct started_process {
    bool has_application_name;
    std::string application_name;
    bool has_command_line;
    std::string command_line;
    BOOL inherit_handles;
    DWORD creation_flags;
    bool has_environment;
    std::vector<std::string> environment;
    bool has_working_folder;
    std::string working_folder;
    DWORD startup_info_size;  // STARTUPINFOA.cb
    DWORD startup_flags;
    WORD show_window;
    std::string program_path;  // the file that was found
    HANDLE process_handle, thread_handle;
    bool process_handle_closed, thread_handle_closed;
};
const std::vector<started_process>& started_processes();

// --- Sleep ---
unsigned long long total_sleep_milliseconds();
int sleep_calls();

// Faults (control.h): the subject of each call is the full normalized path it acts on, after
// WOW64 redirection and in the file system's form: CreateFileA, CreateFileW, FindFirstFileA
// (the pattern), CreateDirectoryA, RemoveDirectoryA, DeleteFileA, DeleteFileW,
// GetFileAttributesA, SetFileAttributesA; CopyFileA the target;
// MoveFileExA the target, or the source when there is none; FindNextFileA the searched folder
// with the entry's index (the entry FindFirstFileA gave is 0), FindClose the searched folder;
// handle calls (ReadFile, WriteFile, SetEndOfFile, SetFilePointer, GetFileSize, GetFileTime,
// SetFileTime, CloseHandle) the path the handle was opened with ("" for other handles);
// FindResourceA, LoadResource and SizeofResource "<type>\\<name>" (upper case, ids as "#n");
// CreateProcessA the application name, or the command line when there is none; the folder
// queries (GetTempPathA, GetSystemDirectoryA, GetSystemWow64DirectoryA, GetWindowsDirectoryA,
// GetSystemWindowsDirectoryA) and the redirection switches "".

}  // namespace winsim
