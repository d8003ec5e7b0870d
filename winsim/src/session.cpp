// The user's session and a restart of Windows: the layout DLLs a logon loads, and the pending file operations the session manager carries out at boot.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/desktop_control.h>
#include <winsim/files_control.h>

#include "file_system.h"
#include "registry_store.h"
#include "users.h"
#include "wide_names.h"

#include <set>

namespace winsim {

using namespace files;
using registry_store::find_key;
using registry_store::find_value;
using registry_store::key_node;
using registry_store::value_entry;

namespace {

// Below the hive of the user signed in at the screen.
const char* const user_layout_key = "\\Keyboard Layout";
const char* const layouts_key = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard Layouts";
const char* const session_manager_key = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char* const pending_value = "PendingFileRenameOperations";

// The text of a REG_SZ value up to its first zero; "" for a missing value or one of another type.
std::string text_of(const value_entry* value) {
    if (!value || value->type != REG_SZ) return "";
    std::string text(value->data.begin(), value->data.end());
    return text.substr(0, text.find('\0'));
}

// The layout key a Preload entry names: itself, or the data of its substitute.
std::string resolved_layout(const std::string& entry) {
    key_node* substitutes = find_key(signed_in_user_key() + user_layout_key + "\\Substitutes");
    const value_entry* substitute = substitutes ? find_value(substitutes, entry) : nullptr;
    return substitute ? text_of(substitute) : entry;
}

// A file of a system folder, mapped as a process of the session loads it when it is there and
// the loader may open it.
void map_system_file(const std::string& folder, const std::string& name) {
    parsed_path parsed = parse_path((folder + "\\" + name).c_str(), path_use::plain, false, path_form::internal);
    if (!parsed.error) map_image(parsed, mapper::session, nullptr);
}

// The path of a pending operation as the session manager reads it: "\\??\\" and a Win32 path.
// The session manager is a native 64-bit process: nothing is redirected.
parsed_path native_path(const std::string& stored) {
    if (stored.compare(0, 4, "\\??\\") != 0)
        winsim_not_implemented("a pending file operation on a path without \\??\\");
    return parse_path(stored.c_str() + 4, path_use::plain, false, path_form::ansi);
}

// One pair of PendingFileRenameOperations; an operation that fails is left out.
void carry_out(const pending_file_operation& operation) {
    parsed_path source_path = native_path(operation.source);
    if (source_path.error) return;
    lookup_result source_found = look_up(source_path);
    node* source = source_found.target;
    if (!source || !source_found.parent) return;
    if (source->attributes & FILE_ATTRIBUTE_READONLY)
        winsim_not_implemented("a pending file operation on a read-only entry");
    if (operation.target.empty()) {
        // A folder goes only when it is empty.
        if (!source->folder || source->children.empty()) remove_entry(source);
        return;
    }
    parsed_path target_path = native_path(operation.target);
    if (target_path.error) return;
    lookup_result target_found = look_up(target_path);
    if (target_found.error || !target_found.parent) return;
    if (root_of(source_found.parent) != root_of(target_found.parent)) return;  // a rename stays on its volume
    if (source->folder && is_inside(target_found.parent, source)) return;
    node* target = target_found.target;
    if (target && target != source) {
        // Only a file marked "!" is replaced, and not a read-only one.
        if (!operation.replace_existing || target->folder || source->folder ||
            (target->attributes & FILE_ATTRIBUTE_READONLY))
            return;
        remove_entry(target);
    }
    std::shared_ptr<node> moved = source->shared_from_this();
    detach(source);
    moved->name = target_path.names.back();
    insert_child(target_found.parent, moved);
}

}  // namespace

void log_on_user() {
    release_session_mappings();
    key_node* preload = find_key(signed_in_user_key() + user_layout_key + "\\Preload");
    key_node* layouts = find_key(layouts_key);
    if (!preload || !layouts) return;
    std::set<std::string> loaded;
    for (const value_entry& entry : preload->values) {
        const std::string named = text_of(&entry);
        const std::string layout = named.empty() ? "" : resolved_layout(named);
        key_node* key = layout.empty() ? nullptr : registry_store::find_subkey(layouts, layout);
        const std::string file = internal_from_ansi(key ? text_of(find_value(key, "Layout File")) : "");
        if (file.empty() || !loaded.insert(internal_upcase(file)).second) continue;
        if (file.find_first_of("\\/:%") != std::string::npos)
            winsim_not_implemented("a layout file named with a path or a variable");
        map_system_file("C:\\Windows\\System32", file);
        if (windows_bitness() == 64) map_system_file("C:\\Windows\\SysWOW64", file);
    }
}

void log_off_user() { release_session_mappings(); }

void restart_machine() {
    // Every process ends, and with them their handles and mappings.
    close_every_file_handle();
    reset_find_handles();
    release_all_mappings();
    registry_store::drop_key_handles();
    close_mutex_handles();
    set_redirection_disabled(false);

    key_node* key = find_key(session_manager_key);
    const value_entry* value = key ? find_value(key, pending_value) : nullptr;
    if (!value) return;
    if (value->type != REG_MULTI_SZ)
        winsim_not_implemented("PendingFileRenameOperations of a type other than REG_MULTI_SZ");
    for (const pending_file_operation& operation : pending_file_operations()) carry_out(operation);
    registry_store::delete_value(key, pending_value);
}

}  // namespace winsim
