// A new folder that only Administrators and SYSTEM may use, under a name nobody can foresee.
#pragma once

#include <windows.h>

// Names of such folders: this prefix and sixteen random hexadecimal digits.
#define PRIVATE_FOLDER_PREFIX "Q7-Deinstallation-"

// Creates a private folder below `parent` (a folder path ending in a backslash) and gives its
// path, with a trailing backslash, in `folder` (MAX_PATH bytes). False with the Windows error
// in the error record (and `folder` holding the name it tried last).
bool create_private_folder(const char* parent, char* folder);

// Whether the file at `path` lies directly in a private folder directly below `parent`
// (compared without regard to case); that folder's path, without a trailing backslash, then
// goes into `folder` (MAX_PATH bytes).
bool in_private_folder_of(const char* path, const char* parent, char* folder);
