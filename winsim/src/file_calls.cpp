// The simulated folder and file calls by path: create, remove, copy, delete (8-bit and wide), move (and delay until reboot), attributes.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/files_control.h>

#include "file_system.h"
#include "security_formats.h"
#include "registry_store.h"
#include "wide_names.h"

#include <string.h>

namespace winsim {
namespace files {

namespace {

const char* const session_manager_key = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char* const session_manager_path =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char* const pending_value = "PendingFileRenameOperations";

const DWORD settable_attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

bool faulted(const char* call, const std::string& subject, DWORD* error) {
    return call_fails(call, subject, -1, error);
}

// The error for a path that names nothing: the file is missing (2), or a folder on the way (3).
DWORD missing_error(const lookup_result& found) {
    return found.error ? found.error : ERROR_FILE_NOT_FOUND;
}

// Rights of the opens that the calls make internally.
const DWORD delete_access = DELETE;
const DWORD read_access = FILE_READ_DATA | FILE_READ_ATTRIBUTES;
const DWORD write_access = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES | DELETE;
const DWORD all_shares = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool has_open_entries(const node* entry) {
    if (entry->open_handles || entry->image_mappings) return true;
    for (const auto& child : entry->children) {
        if (has_open_entries(child.get())) return true;
    }
    return false;
}

// Copies data, attributes and last-write time as CopyFileA does onto `target` (new or kept).
void copy_into(const node& source, node* target, bool is_new) {
    target->data = source.data;
    target->attributes = (source.attributes & settable_attributes) | FILE_ATTRIBUTE_ARCHIVE;
    target->written = source.written;
    target->accessed = clock_now();
    if (is_new) target->created = clock_now();
}

// Appends one operation to PendingFileRenameOperations through the registry's own calls.
DWORD record_pending_operation(const std::string& source, const std::string& target) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, session_manager_key, 0, nullptr, 0,
                                  KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
    std::vector<BYTE> data;
    DWORD type = 0, size = 0;
    status = RegQueryValueExA(key, pending_value, nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS && size) {
        data.resize(size);
        status = RegQueryValueExA(key, pending_value, nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        RegCloseKey(key);
        return static_cast<DWORD>(status);
    }
    // The list's final zero goes before the new pair and comes back after it.
    if (!data.empty() && data.back() == 0) data.pop_back();
    data.insert(data.end(), source.begin(), source.end());
    data.push_back(0);
    data.insert(data.end(), target.begin(), target.end());
    data.push_back(0);
    data.push_back(0);
    status = RegSetValueExA(key, pending_value, 0, REG_MULTI_SZ, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return static_cast<DWORD>(status);
}

}  // namespace

}  // namespace files

std::vector<pending_file_operation> pending_file_operations() {
    std::vector<pending_file_operation> operations;
    registry_store::key_node* key = registry_store::find_key(files::session_manager_path);
    if (!key) return operations;
    const registry_store::value_entry* value = registry_store::find_value(key, files::pending_value);
    if (!value) return operations;
    std::vector<std::string> texts;
    std::string text;
    for (BYTE byte : value->data) {
        if (byte) {
            text += static_cast<char>(byte);
        } else {
            texts.push_back(text);
            text.clear();
        }
    }
    // Pairs of source and target; an empty source is the list's end.
    for (size_t i = 0; i + 1 < texts.size(); i += 2) {
        if (texts[i].empty()) break;
        pending_file_operation operation;
        operation.source = texts[i];
        operation.target = texts[i + 1];
        operation.replace_existing = !operation.target.empty() && operation.target[0] == '!';
        if (operation.replace_existing) operation.target.erase(0, 1);
        operations.push_back(operation);
    }
    return operations;
}

}  // namespace winsim

using namespace winsim;
using namespace winsim::files;

BOOL WINAPI CreateDirectoryA(LPCSTR path_name, LPSECURITY_ATTRIBUTES security_attributes) {
    const void* descriptor = security_attributes ? security_attributes->lpSecurityDescriptor : nullptr;
    parsed_path parsed = parse_path(path_name, path_use::create_folder, true, path_form::ansi);
    DWORD error = 0;
    if (faulted("CreateDirectoryA", parsed.full, &error)) return fail(error);
    if (parsed.error) return fail(parsed.error);
    lookup_result found = look_up(parsed);
    if (found.error) return fail(found.error);
    if (found.target) return fail(ERROR_ALREADY_EXISTS);  // a folder, a file or a root
    if (found.parent->delete_pending) return fail(ERROR_ACCESS_DENIED);
    add_child(found.parent, parsed.names.back(), true);
    // The folder gets the descriptor's DACL as its own, in place of the one it would inherit.
    if (descriptor) set_created_entry_security(path_name, descriptor);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR path_name) {
    parsed_path parsed = parse_path(path_name, path_use::plain, true, path_form::ansi);
    DWORD error = 0;
    if (faulted("RemoveDirectoryA", parsed.full, &error)) return fail(error);
    if (parsed.error) return fail(parsed.error);
    lookup_result found = look_up(parsed);
    if (!found.target) return fail(missing_error(found));
    node* folder = found.target;
    if (!found.parent) winsim_not_implemented("RemoveDirectoryA of a root");
    if (!folder->folder) {
        if (parsed.trailing_separator)
            winsim_not_implemented("RemoveDirectoryA of a file named with a trailing backslash");
        return fail(ERROR_DIRECTORY);
    }
    if (!folder->children.empty()) return fail(ERROR_DIR_NOT_EMPTY);
    if (folder->attributes & FILE_ATTRIBUTE_READONLY) return fail(ERROR_ACCESS_DENIED);
    remove_entry(folder);
    return TRUE;
}

namespace {

// DeleteFileA and DeleteFileW, on the path the call has parsed.
BOOL delete_file(const char* call, const parsed_path& parsed) {
    DWORD error = 0;
    if (faulted(call, parsed.full, &error)) return fail(error);
    if (parsed.error) return fail(parsed.error);
    lookup_result found = look_up(parsed);
    if (!found.target) return fail(missing_error(found));
    node* file = found.target;
    if (file->folder) return fail(ERROR_ACCESS_DENIED);
    if (parsed.trailing_separator) return fail(ERROR_INVALID_NAME);
    if (file->delete_pending) return fail(ERROR_ACCESS_DENIED);
    if (file->attributes & FILE_ATTRIBUTE_READONLY) return fail(ERROR_ACCESS_DENIED);
    if (!sharing_allows(file, delete_access, all_shares)) return fail(ERROR_SHARING_VIOLATION);
    // A loaded DLL's image section keeps its file (STATUS_CANNOT_DELETE).
    if (file->image_mappings) return fail(ERROR_ACCESS_DENIED);
    remove_entry(file);
    return TRUE;
}

}  // namespace

BOOL WINAPI DeleteFileA(LPCSTR file_name) {
    return delete_file("DeleteFileA", parse_path(file_name, path_use::plain, true, path_form::ansi));
}

BOOL WINAPI DeleteFileW(LPCWSTR file_name) {
    if (!file_name) winsim_not_implemented("a null path");
    const std::string path = internal_from_utf16(file_name);
    return delete_file("DeleteFileW", parse_path(path.c_str(), path_use::plain, true, path_form::internal));
}

BOOL WINAPI CopyFileA(LPCSTR existing_file_name, LPCSTR new_file_name, BOOL fail_if_exists) {
    parsed_path source_path = parse_path(existing_file_name, path_use::plain, true, path_form::ansi);
    parsed_path target_path = parse_path(new_file_name, path_use::plain, true, path_form::ansi);
    DWORD error = 0;
    if (faulted("CopyFileA", target_path.full, &error)) return fail(error);
    if (source_path.error) return fail(source_path.error);
    lookup_result source_found = look_up(source_path);
    if (!source_found.target) return fail(missing_error(source_found));
    node* source = source_found.target;
    if (source->folder) return fail(ERROR_ACCESS_DENIED);
    if (source_path.trailing_separator) winsim_not_implemented("CopyFileA of a file named with a trailing backslash");
    if (source->delete_pending) return fail(ERROR_ACCESS_DENIED);
    if (!sharing_allows(source, read_access, FILE_SHARE_READ | FILE_SHARE_DELETE))
        return fail(ERROR_SHARING_VIOLATION);

    if (target_path.error) return fail(target_path.error);
    lookup_result target_found = look_up(target_path);
    if (target_found.error) return fail(target_found.error);
    node* target = target_found.target;
    if (target) {
        if (target_path.trailing_separator) winsim_not_implemented("CopyFileA onto a name with a trailing backslash");
        if (fail_if_exists) return fail(ERROR_FILE_EXISTS);
        if (target->folder) return fail(ERROR_ACCESS_DENIED);
        if (target == source) return fail(ERROR_SHARING_VIOLATION);
        if (target->delete_pending) return fail(ERROR_ACCESS_DENIED);
        if (target->attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) return fail(ERROR_ACCESS_DENIED);
        if (!sharing_allows(target, write_access, 0) || target->image_mappings)
            return fail(ERROR_SHARING_VIOLATION);
        copy_into(*source, target, false);
        return TRUE;
    }
    if (!target_found.parent) return fail(ERROR_ACCESS_DENIED);
    std::shared_ptr<node> created = add_child(target_found.parent, target_path.names.back(), false);
    copy_into(*source, created.get(), true);
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR existing_file_name, LPCSTR new_file_name, DWORD flags) {
    const DWORD known = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_DELAY_UNTIL_REBOOT |
                        MOVEFILE_WRITE_THROUGH;
    if (flags & ~known) winsim_not_implemented("MoveFileExA with hard-link or tracking flags");
    const bool delay = flags & MOVEFILE_DELAY_UNTIL_REBOOT;
    if (delay && (flags & MOVEFILE_COPY_ALLOWED))
        winsim_not_implemented("MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT and MOVEFILE_COPY_ALLOWED");
    if (!new_file_name && !delay) winsim_not_implemented("MoveFileExA without a new name or a delay");

    parsed_path source_path = parse_path(existing_file_name, path_use::plain, true, path_form::ansi);
    parsed_path target_path;
    if (new_file_name) target_path = parse_path(new_file_name, path_use::plain, true, path_form::ansi);
    DWORD error = 0;
    if (faulted("MoveFileExA", new_file_name ? target_path.full : source_path.full, &error)) return fail(error);
    if (source_path.error) return fail(source_path.error);
    if (new_file_name && target_path.error) return fail(target_path.error);

    if (delay) {
        // Recorded for the session manager as NT paths; whether the file exists is not checked
        // (as Wine measures it). The delete entry has an empty target, a replacing one a "!".
        if (source_path.root && source_path.root->name.rfind("\\\\", 0) == 0)
            winsim_not_implemented("MoveFileExA delaying a file on a share");
        auto unredirected = [](LPCSTR name) { return parse_path(name, path_use::plain, false, path_form::ansi).full; };
        const bool redirected = unredirected(existing_file_name) != source_path.full ||
                                (new_file_name && unredirected(new_file_name) != target_path.full);
        if (redirected) winsim_not_implemented("MoveFileExA delaying a path that WOW64 redirects");
        std::string target;
        if (new_file_name)
            target = std::string(flags & MOVEFILE_REPLACE_EXISTING ? "!" : "") + "\\??\\" + target_path.full;
        error = record_pending_operation("\\??\\" + source_path.full, target);
        if (error) return fail(error);
        return TRUE;
    }

    lookup_result source_found = look_up(source_path);
    if (!source_found.target) return fail(missing_error(source_found));
    node* source = source_found.target;
    if (!source_found.parent) winsim_not_implemented("MoveFileExA of a root");
    if (source_path.trailing_separator && !source->folder)
        winsim_not_implemented("MoveFileExA of a file named with a trailing backslash");
    if (source->delete_pending) return fail(ERROR_ACCESS_DENIED);
    if (!sharing_allows(source, delete_access, all_shares)) return fail(ERROR_SHARING_VIOLATION);
    if (source->folder && has_open_entries(source)) winsim_not_implemented("MoveFileExA of a folder with open files");

    lookup_result target_found = look_up(target_path);
    if (target_found.error) return fail(target_found.error);
    if (!target_found.parent) return fail(ERROR_ACCESS_DENIED);
    node* target = target_found.target;
    if (target && target != source) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) return fail(ERROR_ALREADY_EXISTS);
        if (target->folder || source->folder) winsim_not_implemented("MoveFileExA replacing with or onto a folder");
        // A file with an image section cannot be replaced, as one with open handles cannot.
        if (target->image_mappings) return fail(ERROR_ACCESS_DENIED);
        if (target->open_handles) winsim_not_implemented("MoveFileExA replacing a file that is open");
        if (target->attributes & FILE_ATTRIBUTE_READONLY) return fail(ERROR_ACCESS_DENIED);
    }
    if (source->folder && is_inside(target_found.parent, source))
        winsim_not_implemented("MoveFileExA of a folder into itself");
    if (root_of(source_found.parent) != root_of(target_found.parent)) {
        if (source->folder) winsim_not_implemented("MoveFileExA of a folder to another drive");
        if (!(flags & MOVEFILE_COPY_ALLOWED)) return fail(ERROR_NOT_SAME_DEVICE);
        if (source->open_handles || source->image_mappings)
            winsim_not_implemented("MoveFileExA copying a file that is open or mapped");
    }

    std::shared_ptr<node> moved = source->shared_from_this();
    if (target && target != source) remove_entry(target);
    // Out of the old folder, into the new one under the new name; data, attributes and times stay.
    detach(source);
    moved->name = target_path.names.back();
    insert_child(target_found.parent, moved);
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR file_name) {
    parsed_path parsed = parse_path(file_name, path_use::plain, true, path_form::ansi);
    DWORD error = 0;
    if (faulted("GetFileAttributesA", parsed.full, &error)) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (parsed.error) {
        SetLastError(parsed.error);
        return INVALID_FILE_ATTRIBUTES;
    }
    lookup_result found = look_up(parsed);
    if (!found.target) {
        SetLastError(missing_error(found));
        return INVALID_FILE_ATTRIBUTES;
    }
    // As Wine measures it: a file named with a trailing backslash is a path not found.
    if (parsed.trailing_separator && !found.target->folder) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (found.target->delete_pending) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_FILE_ATTRIBUTES;
    }
    return reported_attributes(*found.target);
}

BOOL WINAPI SetFileAttributesA(LPCSTR file_name, DWORD file_attributes) {
    parsed_path parsed = parse_path(file_name, path_use::plain, true, path_form::ansi);
    DWORD error = 0;
    if (faulted("SetFileAttributesA", parsed.full, &error)) return fail(error);
    if (parsed.error) return fail(parsed.error);
    lookup_result found = look_up(parsed);
    if (!found.target) return fail(missing_error(found));
    node* entry = found.target;
    if (!found.parent) winsim_not_implemented("SetFileAttributesA of a root");
    if (parsed.trailing_separator && !entry->folder)
        winsim_not_implemented("SetFileAttributesA of a file named with a trailing backslash");
    if (entry->delete_pending) return fail(ERROR_ACCESS_DENIED);
    // FILE_ATTRIBUTE_NORMAL alone clears them; directory, compression and the like are ignored.
    entry->attributes = (file_attributes & settable_attributes) | (entry->folder ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return TRUE;
}
