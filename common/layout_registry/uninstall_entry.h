// The product's entry in the Windows list of installed programs: written, replaced and removed.
#pragma once

#define UNINSTALL_PARENT_PATH "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"

// Removes every entry whose name begins with `old_entry_prefix` (without regard to case) and
// the entry `entry_name`, then, when `uninstall_command` is given, writes the entry anew with
// the given values only. Every text but the entry name may be null (absent). False when the
// Uninstall key cannot be opened or created, or the entry cannot be created.
bool write_uninstall_entry(const char* entry_name, const char* uninstall_command,
                           const char* display_name, const char* old_entry_prefix,
                           const char* help_link, const char* update_info_address,
                           const char* publisher, const char* info_address,
                           const char* display_version, const char* icon_path,
                           const char* comments);

// The layout key that the entry's UninstallString ("\"<program>\" <key> ...") names, into
// key_name (MAX_PATH bytes); false when there is no such entry or it names no key.
bool read_uninstall_entry_key(const char* entry_name, char* key_name);
