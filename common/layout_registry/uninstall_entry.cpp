// Writes and removes the product's entry below the Windows Uninstall key.
#include "layout_registry/uninstall_entry.h"

#include <string.h>

#include "layout_registry/layout_inventory.h"
#include "layout_registry/registry_access.h"

// True when `name` begins with `prefix`, letters compared as capitals.
static bool begins_with_nocase(const char* name, const char* prefix)
{
    size_t length = strlen(prefix);
    if (strlen(name) < length)
        return false;
    char start[MAX_PATH];
    memcpy(start, name, length);
    start[length] = 0;
    return names_equal_nocase(start, prefix);
}

// Deletes the subkeys of `parent` that begin with `prefix`, from the last index down.
static void delete_entries_with_prefix(HKEY parent, const char* prefix)
{
    DWORD count = reg_count_subkeys(parent);
    for (DWORD index = count; index > 0; index--) {
        if (reg_enum_subkey(parent, index - 1) == reg_result::read &&
            begins_with_nocase(registry_layer.enum_subkey_name, prefix))
            reg_delete_tree(parent, registry_layer.enum_subkey_name);
    }
}

static void set_optional_string(HKEY key, const char* value_name, const char* text)
{
    if (text)
        reg_set_string(key, value_name, text);
}

bool write_uninstall_entry(const char* entry_name, const char* uninstall_command,
                           const char* display_name, const char* old_entry_prefix,
                           const char* help_link, const char* update_info_address,
                           const char* publisher, const char* info_address,
                           const char* display_version, const char* icon_path,
                           const char* comments)
{
    HKEY parent = reg_create_key(HKEY_LOCAL_MACHINE, UNINSTALL_PARENT_PATH, 0);
    if (!parent)
        return false;
    if (old_entry_prefix)
        delete_entries_with_prefix(parent, old_entry_prefix);
    // A missing entry is normal.
    reg_delete_tree(parent, entry_name);
    if (!uninstall_command) {
        RegCloseKey(parent);
        return true;
    }

    HKEY entry = reg_create_key(parent, entry_name, 0);
    if (!entry) {
        RegCloseKey(parent);
        return false;
    }
    reg_set_string(entry, "DisplayName", display_name ? display_name : entry_name);
    reg_set_string(entry, "UninstallString", uninstall_command);
    set_optional_string(entry, "HelpLink", help_link);
    set_optional_string(entry, "URLUpdateInfo", update_info_address);
    set_optional_string(entry, "Publisher", publisher);
    set_optional_string(entry, "URLInfoAbout", info_address);
    set_optional_string(entry, "DisplayVersion", display_version);
    set_optional_string(entry, "DisplayIcon", icon_path);
    set_optional_string(entry, "Comments", comments);
    RegCloseKey(entry);
    RegCloseKey(parent);
    return true;
}

bool read_uninstall_entry_key(const char* entry_name, char* key_name)
{
    key_name[0] = 0;
    char path[2 * MAX_PATH];
    format_layout_text(path, sizeof path, "%s\\%s", UNINSTALL_PARENT_PATH, entry_name);
    HKEY entry = reg_open_key_read(HKEY_LOCAL_MACHINE, path);
    if (!entry)
        return false;
    char command[2 * MAX_PATH + 4];
    reg_result read = reg_query_string(entry, "UninstallString", command, sizeof command);
    RegCloseKey(entry);
    if (read != reg_result::read || command[0] != '"')
        return false;
    const char* end_of_program = strchr(command + 1, '"');
    if (!end_of_program || end_of_program[1] != ' ')
        return false;
    const char* key = end_of_program + 2;
    size_t length = strcspn(key, " ");
    if (length == 0 || length >= MAX_PATH)
        return false;
    memcpy(key_name, key, length);
    key_name[length] = 0;
    return true;
}
