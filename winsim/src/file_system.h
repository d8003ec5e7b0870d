// The simulated file system's tree, path rules, sharing and clock, shared by the file calls and the test control.
#pragma once

#include <windows.h>
#include <winsim/files_control.h>

#include <memory>
#include <string>
#include <vector>

namespace winsim {
namespace files {

// 100-ns ticks since 1601-01-01 00:00 UTC, the count a FILETIME holds.
typedef unsigned long long ticks;

struct node : std::enable_shared_from_this<node> {
    std::string name;  // as created; a root's name is "C:" or "\\\\server\\share"
    bool folder = false;
    bool volume_root = false;  // a drive's root: FindFirstFileA gives no "." and ".." there
    DWORD attributes = 0;      // as stored; folders always carry FILE_ATTRIBUTE_DIRECTORY
    ticks created = 0;
    ticks accessed = 0;
    ticks written = 0;
    std::vector<unsigned char> data;
    node* parent = nullptr;  // null for a root and for an entry no longer in the tree
    // NTFS order: by the upper-cased names, compared as UTF-16 code points.
    std::vector<std::shared_ptr<node>> children;
    // Deleted while handles were open: still listed, refused to every open, gone at the last close.
    bool delete_pending = false;
    int open_handles = 0;  // the program's handles and those the tests hold
    // Views of the file that Windows has mapped as an image (a loaded DLL). Sharing does not
    // count them as it counts handles, but the file can then be neither written nor deleted.
    int image_mappings = 0;
};

// The attributes GetFileAttributesA and FindFirstFileA report: FILE_ATTRIBUTE_NORMAL for a
// file without any.
DWORD reported_attributes(const node& entry);

// What a call does with a path.
enum class path_use {
    plain,          // names an entry
    create_folder,  // CreateDirectoryA: its own length limit and colon rule
    pattern,        // FindFirstFileA: the last name may hold the wildcards * and ?
};

// How a path is spelled: by an 8-bit call (code page 1252), or in the internal form of
// wide_names.h, as the wide calls and the test control pass it.
enum class path_form {
    ansi,
    internal,
};

// A path as a call names it, normalized as Win32 normalizes it ("/" read as "\\", runs of
// separators, "." and "..", trailing periods and spaces) and, for a WOW64 process with
// redirection on, redirected.
struct parsed_path {
    DWORD error = 0;  // the path is refused before any lookup (206, 123, a missing drive or share)
    std::string full;  // the normalized full path in the internal form, the fault subject of the call
    std::shared_ptr<node> root;
    std::vector<std::string> names;  // below the root
    bool trailing_separator = false;
};
parsed_path parse_path(const char* raw, path_use use, bool redirect, path_form form);

struct lookup_result {
    DWORD error = 0;  // ERROR_PATH_NOT_FOUND when a folder on the way is missing or is a file
    bool through_file = false;  // a name on the way is a file
    node* parent = nullptr;     // the folder holding the last name; null for a root
    node* target = nullptr;     // the entry, or null when missing
};
lookup_result look_up(const parsed_path& parsed);

node* find_child(node* folder, const std::string& name);
// A new entry in the folder at the clock's time; the folder's last-write time moves too.
std::shared_ptr<node> add_child(node* folder, const std::string& name, bool is_folder);
// Puts an entry (new or detached) into the folder; the folder's last-write time moves.
void insert_child(node* folder, const std::shared_ptr<node>& entry);
// Takes the entry out of its folder at once; the folder's last-write time moves.
void detach(node* entry);
// Takes the entry out of its folder (whose last-write time moves), or marks it delete-pending
// when handles are still open on it.
void remove_entry(node* entry);
// Called when a handle on the entry closes.
void release_open(node* entry);
// Whether the entry is the folder or below it; the drive's or share's root of an entry.
bool is_inside(const node* entry, const node* folder);
node* root_of(node* entry);

ticks clock_now();
int machine_bitness();
bool redirection_disabled();
void set_redirection_disabled(bool disabled);
// "C:\\Windows" and its system folders, as GetWindowsDirectoryA and friends report them.
std::string windows_folder();
std::string temp_path();
// How the system's 8-bit conversion spells the characters code page 1252 lacks
// (set_ansi_best_fit), and a path or name of the internal form so spelled.
bool ansi_best_fit();
std::string ansi_spelling(const std::string& internal);

// Sharing: whether an open asking for `access` (file rights, generic ones mapped) with `share` may join the
// handles already open on the entry. Handles without read, write or delete access take no part.
bool sharing_allows(const node* entry, DWORD access, DWORD share);
// The file rights a CreateFileA access mask stands for (GENERIC_READ and GENERIC_WRITE mapped).
DWORD file_rights_of(DWORD desired_access);

// A path with its case as stored in the tree (for "C:\\windows" gives "C:\\Windows").
std::string stored_path(const node* entry);

// CreateProcessA's process and thread handles: true when the handle was one of them, open until now.
bool close_process_handle(HANDLE handle);
// CreateMutexA's handles (process.cpp): true when the handle was one of them, open until now.
bool close_mutex_handle(HANDLE handle);

// Image mappings (image_mappings.cpp), by whom they are held: the program's loads end with it;
// other processes' (the tests') and the session's outlive it, and log_off_user ends the session's.
enum class mapper { program, other_process, session };
// Maps the entry as the loader does, whose open for reading with FILE_SHARE_READ |
// FILE_SHARE_DELETE the handles already open on it must allow (ERROR_SHARING_VIOLATION); a
// missing file gives ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND, a folder or a file waiting for
// deletion ERROR_ACCESS_DENIED. The mapping's number, or 0 with *error.
long map_image(const parsed_path& parsed, mapper by, DWORD* error);
void unmap_image(long mapping);
// Whether the mapping is still there (a restart or a loaded image ends the program's).
bool is_mapped(long mapping);
void release_session_mappings();
void release_all_mappings();
void reset_image_mappings();

// Closes every file handle, the program's and the tests' holds, as when every process ends:
// entries deleted meanwhile go with them.
void close_every_file_handle();
// The loader's open of a file it maps (file_handles.cpp): 0, or the error of the open.
DWORD open_for_mapping(const parsed_path& parsed, std::shared_ptr<node>* opened);

void reset_file_handles();
void reset_child_processes();
void reset_resources();
void reset_find_handles();

}  // namespace files
}  // namespace winsim
