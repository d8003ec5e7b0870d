// Files and folders: separators, searches, folder creation, copy and delete with progress and warnings.
#pragma once

#include <windows.h>

struct file_services_state {
    WIN32_FIND_DATAA shared_find_data;
    // The entry last returned by FileExists, find_first_entry or find_next_entry is a folder.
    bool entry_is_folder;
};
extern file_services_state file_services;

void reset_file_services();

// Supplied by each program: the caption of the file operations' warnings.
const char* program_file_warning_caption();

char* ensure_trailing_backslash(char* path);
char* strip_trailing_backslash(char* path);
// Folder, a backslash unless it ends in a separator, and name into out (MAX_PATH bytes).
// A result that would not fit is refused with ERROR_FILENAME_EXCED_RANGE in the error record.
bool join_path(char* out, const char* folder, const char* name);
// The path into out (MAX_PATH bytes), refused as join_path refuses when it does not fit.
bool copy_path(char* out, const char* path);
const char* find_text_nocase(const char* text, const char* sought);
// The file name in a path: the part after its last ':', '/' or '\\'.
const char* file_name_of(const char* path);
// Whether the path names a file directly in the folder (which ends in a separator), compared
// without regard to case; a path further below the folder does not.
bool lies_directly_in(const char* path, const char* folder);

bool FileExists(const char* path, HANDLE* search = 0, WIN32_FIND_DATAA* find_data = 0);
// What a search for a path came to: an entry was found; there is none (the name or a folder on
// its way is missing); the search could not look (access denied, a device error), so that the
// entry may well be there. FileExists is true for the first alone.
enum class file_search { found, missing, failed };
file_search search_for_file(const char* path);
WIN32_FIND_DATAA find_first_entry(const char* folder, const char* pattern, HANDLE* search,
                                  WIN32_FIND_DATAA* find_data, int* count, char* pattern_buffer,
                                  char* entry_path);
void find_next_entry(HANDLE* search, WIN32_FIND_DATAA* find_data, int* count, const char* folder,
                     char* entry_path);

// Folder creation with the access grant (folder_creation.cpp).
bool create_folder(const char* path, bool fail_if_exists, bool without_delete, bool inheritable);
bool create_folder_path(const char* path, bool names_a_file, bool without_delete);
// The name under which a new version of a file in use waits for the next restart, which puts it
// in the file's place: the file's name and this.
#define REPLACEMENT_SUFFIX ".neu"
// folder\<file_name>.neu into path (MAX_PATH bytes); false when it does not fit.
bool replacement_path(char* path, const char* folder, const char* file_name);
bool copy_one_file(const char* source, const char* target, bool show_warning, bool overwrite);
bool delete_one_file(const char* path, bool show_warning);
// The warning of a file that cannot be deleted, with the reason in the error record.
void warn_file_not_deleted(const char* path);
// What became of a file to be removed: deleted; in use, and listed for deletion at the next
// restart (the path as the session manager, a 64-bit program, reads it); or neither, with the
// deletion's reason in the error record. Shows nothing.
enum class file_removal { deleted, at_restart, kept };
file_removal delete_or_list_for_restart(const char* path);
bool folder_exists(const char* path);
bool delete_file_in(const char* folder, const char* name, bool show_warning);
bool remove_folder(const char* path);
bool delete_folder_tree(const char* folder);

// Access masks of the grant on created folders, with and without the DELETE right.
#define FOLDER_ACCESS_MASK 0xE01300EFu
#define FOLDER_ACCESS_MASK_WITHOUT_DELETE 0xE01200EFu
