// The simulated registry: the key tree, handles with their access, access rules, and the Reg*A calls.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/registry_control.h>
#include <winsim/security_control.h>

#include "codepage.h"
#include "image_format.h"
#include "registry_store.h"
#include "wide_names.h"
#include "subsystems.h"

#include <cstring>
#include <map>
#include <set>

namespace winsim {
namespace registry_store {

namespace {

// Generic rights as the registry maps them, and the request for all rights the caller may have.
const REGSAM generic_read = 0x80000000;
const REGSAM generic_write = 0x40000000;
const REGSAM generic_execute = 0x20000000;
const REGSAM generic_all = 0x10000000;
const REGSAM maximum_allowed = 0x02000000;
const REGSAM wow64_view_flags = KEY_WOW64_64KEY | KEY_WOW64_32KEY;

// Returned by Windows when the data pointer of RegSetValueExA is null for a non-zero size.
const LSTATUS error_noaccess = 998;

struct root_entry {
    HKEY handle;
    const char* name;
};

// HKEY_CLASSES_ROOT is a key of its own here, not Windows' merged view of the Classes keys.
const root_entry root_entries[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, "HKEY_USERS"},
};
const size_t root_count = sizeof root_entries / sizeof root_entries[0];
const size_t current_user_root = 1;
const size_t users_root = 3;

struct open_handle {
    std::shared_ptr<key_node> key;
    REGSAM access;
};

struct registry_state {
    std::shared_ptr<key_node> roots[root_count];
    std::map<uintptr_t, open_handle> handles;
    // Access rules by upper-cased full path.
    std::map<std::string, REGSAM> denied_access;
    std::set<std::string> denied_delete;
    std::set<std::string> denied_create;

    registry_state() {
        for (size_t i = 0; i < root_count; ++i) {
            roots[i] = std::make_shared<key_node>();
            roots[i]->name = root_entries[i].name;
            roots[i]->path = root_entries[i].name;
        }
    }
};

registry_state& registry() {
    static registry_state state;
    return state;
}

// Handle values are never reused, not even across resets, so that a stale handle stays invalid.
uintptr_t next_handle_value = 0x1000;

// Windows keeps subkeys ordered by their upper-cased names (compared as UTF-16 code points).
// Wine orders them by their lower-cased names instead, which differs for [ \ ] ^ _ ` only: on
// Windows "A" comes before "_", on Wine after it.
size_t subkey_position(const key_node* key, const std::string& name) {
    size_t low = 0, high = key->subkeys.size();
    while (low < high) {
        size_t middle = (low + high) / 2;
        if (cp1252_compare_nocase(key->subkeys[middle]->name, name) < 0) low = middle + 1;
        else high = middle;
    }
    return low;
}

bool is_string_type(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Copies a value's data into a caller's buffer of `capacity` bytes, as the A functions do (as
// measured on Wine): the data come back as stored, and the size is the stored size; text that was
// stored without a terminating zero gets one written after it when the buffer has room for it,
// which the size does not count. ERROR_MORE_DATA when the stored data do not fit.
LSTATUS copy_data(const value_entry& value, LPBYTE buffer, DWORD capacity) {
    const DWORD size = static_cast<DWORD>(value.data.size());
    if (capacity < size) return ERROR_MORE_DATA;
    if (size) std::memcpy(buffer, value.data.data(), size);
    if (is_string_type(value.type) && size && value.data.back() != 0 && capacity > size) buffer[size] = 0;
    return ERROR_SUCCESS;
}

// Windows keeps text as UTF-16, and RegQueryInfoKeyA reports the longest data in those bytes.
DWORD stored_size(const value_entry& value) {
    DWORD size = static_cast<DWORD>(value.data.size());
    return is_string_type(value.type) ? size * 2 : size;
}

std::string rule_key(const std::string& path) {
    return cp1252_upcase(path);
}

REGSAM map_access(REGSAM sam, REGSAM denied) {
    REGSAM access = sam & ~(wow64_view_flags | generic_read | generic_write | generic_execute |
                            generic_all | maximum_allowed);
    if (sam & generic_read) access |= KEY_READ;
    if (sam & generic_write) access |= KEY_WRITE;
    if (sam & generic_execute) access |= KEY_EXECUTE;
    if (sam & generic_all) access |= KEY_ALL_ACCESS;
    if (sam & maximum_allowed) access |= KEY_ALL_ACCESS & ~denied;
    return access;
}

REGSAM denied_rights(const std::string& path) {
    const registry_state& state = registry();
    auto rule = state.denied_access.find(rule_key(path));
    return rule == state.denied_access.end() ? 0 : rule->second;
}

std::string child_path(const key_node* key, const std::string& name) {
    return key->path + "\\" + name;
}

// A handle given to a call: a root, an open handle, or nothing.
struct resolved_handle {
    key_node* key = nullptr;
    REGSAM access = 0;
    bool is_root = false;
};

resolved_handle resolve(HKEY handle) {
    resolved_handle result;
    registry_state& state = registry();
    for (size_t i = 0; i < root_count; ++i) {
        if (handle == root_entries[i].handle) {
            result.key = state.roots[i].get();
            result.access = KEY_ALL_ACCESS;
            result.is_root = true;
            return result;
        }
    }
    auto open = state.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (open != state.handles.end()) {
        result.key = open->second.key.get();
        result.access = open->second.access;
    }
    return result;
}

std::string handle_subject(HKEY handle) {
    resolved_handle resolved = resolve(handle);
    return resolved.key ? resolved.key->path : std::string();
}

HKEY new_handle(key_node* key, REGSAM access) {
    uintptr_t value = next_handle_value;
    next_handle_value += 4;
    registry().handles[value] = open_handle{key->shared_from_this(), access};
    return reinterpret_cast<HKEY>(value);
}

// Splits the relative path given to a call into names. Windows refuses a leading backslash;
// a trailing one and doubled ones are taken as single separators, as Wine does.
LSTATUS split_sub_key(const char* sub_key, std::vector<std::string>* names) {
    names->clear();
    if (!sub_key) return ERROR_SUCCESS;
    if (sub_key[0] == '\\') return ERROR_BAD_PATHNAME;
    std::string name;
    for (const char* p = sub_key;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (!name.empty()) names->push_back(name);
            name.clear();
            if (*p == '\0') break;
        } else {
            name += *p;
        }
    }
    for (const std::string& n : *names) {
        if (n.size() > max_key_name_length) return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
}

// The full path a call names, for its fault subject: the handle's key and the names below it.
std::string sub_key_subject(HKEY handle, const char* sub_key) {
    std::string path = handle_subject(handle);
    std::vector<std::string> names;
    if (split_sub_key(sub_key, &names) != ERROR_SUCCESS) {
        return path + "\\" + sub_key;
    }
    for (const std::string& name : names) path += "\\" + name;
    return path;
}

bool faulted(const char* call, const std::string& subject, long index, LSTATUS* result) {
    DWORD error = 0;
    if (!call_fails(call, subject, index, &error)) return false;
    *result = static_cast<LSTATUS>(error);
    return true;
}

// Checks a handle used to act on its own key: valid, holding `needed`, key not deleted.
LSTATUS use_handle(HKEY handle, REGSAM needed, key_node** key) {
    resolved_handle resolved = resolve(handle);
    if (!resolved.key) return ERROR_INVALID_HANDLE;
    if ((resolved.access & needed) != needed) return ERROR_ACCESS_DENIED;
    if (resolved.key->deleted) return ERROR_KEY_DELETED;
    *key = resolved.key;
    return ERROR_SUCCESS;
}

void copy_name(const std::string& name, LPSTR buffer, LPDWORD length) {
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *length = static_cast<DWORD>(name.size());
}

// A fixed time for every key: nothing the programs do depends on it.
void set_write_time(PFILETIME time) {
    if (!time) return;
    time->dwLowDateTime = 0xD53E8000;
    time->dwHighDateTime = 0x01DA3F8A;
}

}  // namespace

key_node* find_subkey(key_node* key, const std::string& name) {
    // The program's user's hive is loaded below HKEY_USERS under the user's SID as well.
    registry_state& state = registry();
    if (key == state.roots[users_root].get() && cp1252_equal_nocase(name, current_user_sid))
        return state.roots[current_user_root].get();
    size_t position = subkey_position(key, name);
    if (position < key->subkeys.size() && cp1252_equal_nocase(key->subkeys[position]->name, name)) {
        return key->subkeys[position].get();
    }
    return nullptr;
}

key_node* add_subkey(key_node* key, const std::string& name) {
    if (key_node* existing = find_subkey(key, name)) return existing;
    auto child = std::make_shared<key_node>();
    child->name = name;
    child->path = child_path(key, name);
    child->parent = key;
    key->subkeys.insert(key->subkeys.begin() + static_cast<long>(subkey_position(key, name)), child);
    return child.get();
}

namespace {

void mark_deleted(key_node* key) {
    key->deleted = true;
    key->parent = nullptr;
    for (auto& child : key->subkeys) mark_deleted(child.get());
    key->subkeys.clear();
}

}  // namespace

void delete_subtree(key_node* key) {
    key_node* parent = key->parent;
    if (!parent) return;  // a root, or already deleted
    for (auto child = parent->subkeys.begin(); child != parent->subkeys.end(); ++child) {
        if (child->get() == key) {
            std::shared_ptr<key_node> keep = *child;  // the key outlives its unlinking
            parent->subkeys.erase(child);
            mark_deleted(keep.get());
            return;
        }
    }
}

value_entry* find_value(key_node* key, const std::string& name) {
    for (value_entry& value : key->values) {
        if (cp1252_equal_nocase(value.name, name)) return &value;
    }
    return nullptr;
}

void set_value(key_node* key, const std::string& name, DWORD type, const BYTE* data, DWORD size) {
    value_entry* value = find_value(key, name);
    if (!value) {
        key->values.push_back(value_entry{name, type, {}});
        value = &key->values.back();
    }
    value->type = type;
    value->data.assign(data, data + size);
}

bool delete_value(key_node* key, const std::string& name) {
    for (auto value = key->values.begin(); value != key->values.end(); ++value) {
        if (cp1252_equal_nocase(value->name, name)) {
            key->values.erase(value);
            return true;
        }
    }
    return false;
}

bool split_full_path(const std::string& path, key_node** root, std::vector<std::string>* names) {
    size_t end = path.find('\\');
    std::string root_name = path.substr(0, end);
    *root = nullptr;
    for (size_t i = 0; i < root_count; ++i) {
        if (cp1252_equal_nocase(root_name, root_entries[i].name)) *root = registry().roots[i].get();
    }
    if (!*root) return false;
    names->clear();
    while (end != std::string::npos) {
        size_t start = end + 1;
        end = path.find('\\', start);
        std::string name = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!name.empty()) names->push_back(name);
    }
    return true;
}

key_node* find_key(const std::string& path) {
    key_node* key;
    std::vector<std::string> names;
    if (!split_full_path(path, &key, &names)) return nullptr;
    for (const std::string& name : names) {
        key = find_subkey(key, name);
        if (!key) return nullptr;
    }
    return key;
}

key_node* create_key(const std::string& path) {
    key_node* key;
    std::vector<std::string> names;
    if (!split_full_path(path, &key, &names)) return nullptr;
    for (const std::string& name : names) key = add_subkey(key, name);
    return key;
}

void drop_key_handles() { registry().handles.clear(); }

}  // namespace registry_store

using namespace registry_store;

void reset_registry() {
    registry() = registry_state();
}

namespace {

void save_key(const key_node* key, image::writer* out) {
    out->text(key->name);
    out->number(key->values.size());
    for (const value_entry& value : key->values) {
        out->text(value.name);
        out->number(value.type);
        out->data(value.data);
    }
    out->number(key->subkeys.size());
    for (const auto& child : key->subkeys) save_key(child.get(), out);
}

// Reads the subkeys and values of `key` as save_key wrote them (the key's own name already read).
bool load_key_contents(key_node* key, image::reader* in, int depth) {
    if (depth > 512) return false;
    uint64_t value_count = in->number();
    for (uint64_t i = 0; i < value_count && in->ok(); ++i) {
        value_entry value;
        value.name = in->text();
        value.type = static_cast<DWORD>(in->number());
        value.data = in->data();
        key->values.push_back(value);
    }
    uint64_t subkey_count = in->number();
    for (uint64_t i = 0; i < subkey_count && in->ok(); ++i) {
        auto child = std::make_shared<key_node>();
        child->name = in->text();
        child->path = child_path(key, child->name);
        child->parent = key;
        key->subkeys.push_back(child);
        if (!load_key_contents(child.get(), in, depth + 1)) return false;
    }
    return in->ok();
}

}  // namespace

void save_registry_image(image::writer* out) {
    for (size_t i = 0; i < root_count; ++i) save_key(registry().roots[i].get(), out);
}

// The keys of the image replace the registry's; every open handle is gone, as when the program
// that held them has ended. Access rules stay: they stand for the keys' security.
bool load_registry_image(image::reader* in) {
    registry_state& state = registry();
    drop_key_handles();
    for (size_t i = 0; i < root_count; ++i) {
        for (auto& child : state.roots[i]->subkeys) mark_deleted(child.get());
        state.roots[i]->subkeys.clear();
        state.roots[i]->values.clear();
        if (in->text() != state.roots[i]->name) return false;
        if (!load_key_contents(state.roots[i].get(), in, 0)) return false;
    }
    return true;
}

namespace {

// The upper-cased canonical form of a full path given to an access rule.
std::string rule_path(const char* key_path) {
    key_node* root;
    std::vector<std::string> names;
    std::string path = key_path ? key_path : "";
    if (!split_full_path(path, &root, &names)) return cp1252_upcase(path);
    std::string canonical = root->path;
    for (const std::string& name : names) canonical += "\\" + name;
    return rule_key(canonical);
}

}  // namespace

void reg_deny_access(const char* key_path, REGSAM denied) {
    registry().denied_access[rule_path(key_path)] |= denied;
}

void reg_deny_delete(const char* key_path) {
    registry().denied_delete.insert(rule_path(key_path));
}

void reg_deny_create(const char* key_path) {
    registry().denied_create.insert(rule_path(key_path));
}

int reg_open_handle_count() {
    return static_cast<int>(registry().handles.size());
}

}  // namespace winsim

using namespace winsim;
using namespace winsim::registry_store;

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM sam, PHKEY result) {
    LSTATUS status;
    if (faulted("RegOpenKeyExA", sub_key_subject(key, sub_key), -1, &status)) return status;
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (options != 0) winsim_not_implemented("RegOpenKeyExA with options");

    resolved_handle base = resolve(key);
    if (!base.key) return ERROR_INVALID_HANDLE;
    if (base.key->deleted) return ERROR_KEY_DELETED;
    std::vector<std::string> names;
    status = split_sub_key(sub_key, &names);
    if (status != ERROR_SUCCESS) return status;
    if (names.empty() && base.is_root) {
        *result = key;  // a root opened again is the predefined handle itself
        return ERROR_SUCCESS;
    }

    key_node* target = base.key;
    for (const std::string& name : names) {
        target = find_subkey(target, name);
        if (!target) return ERROR_FILE_NOT_FOUND;
    }
    REGSAM denied = denied_rights(target->path);
    REGSAM access = map_access(sam, denied);
    if (access & denied) return ERROR_ACCESS_DENIED;
    *result = new_handle(target, access);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR sub_key, DWORD reserved, LPSTR class_name,
                               DWORD options, REGSAM sam, const SECURITY_ATTRIBUTES* security,
                               PHKEY result, LPDWORD disposition) {
    (void)class_name;  // keys keep no class
    (void)security;    // nor a security descriptor: access rules stand for it
    LSTATUS status;
    if (faulted("RegCreateKeyExA", sub_key_subject(key, sub_key), -1, &status)) return status;
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (reserved != 0) return ERROR_INVALID_PARAMETER;
    // Volatile keys would vanish at the next start of Windows, which never comes here.
    if (options & ~static_cast<DWORD>(REG_OPTION_VOLATILE)) {
        winsim_not_implemented("RegCreateKeyExA with options other than REG_OPTION_VOLATILE");
    }

    resolved_handle base = resolve(key);
    if (!base.key) return ERROR_INVALID_HANDLE;
    if (base.key->deleted) return ERROR_KEY_DELETED;
    std::vector<std::string> names;
    status = split_sub_key(sub_key, &names);
    if (status != ERROR_SUCCESS) return status;
    if (names.empty() && base.is_root) {
        *result = key;
        if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    }

    // Level by level, as Windows creates them: a level refused leaves the levels above it created.
    // Whether the caller's handle may create subkeys is not asked (Windows does not either);
    // only the rules of the keys concerned are.
    key_node* target = base.key;
    bool created = false;
    for (size_t i = 0; i < names.size(); ++i) {
        key_node* next = find_subkey(target, names[i]);
        if (!next) {
            std::string path = child_path(target, names[i]);
            if (registry().denied_create.count(rule_key(path))) return ERROR_ACCESS_DENIED;
            if (i + 1 == names.size()) {
                REGSAM denied = denied_rights(path);
                if (map_access(sam, denied) & denied) return ERROR_ACCESS_DENIED;
            }
            next = add_subkey(target, names[i]);
            created = i + 1 == names.size();
        }
        target = next;
    }
    REGSAM denied = denied_rights(target->path);
    REGSAM access = map_access(sam, denied);
    if (access & denied) return ERROR_ACCESS_DENIED;
    *result = new_handle(target, access);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR value_name, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD data_size) {
    (void)reserved;
    LSTATUS status;
    if (faulted("RegSetValueExA", handle_subject(key), -1, &status)) return status;
    key_node* node;
    status = use_handle(key, KEY_SET_VALUE, &node);
    if (status != ERROR_SUCCESS) return status;
    std::string name = value_name ? value_name : "";
    if (name.size() > max_value_name_length) return ERROR_INVALID_PARAMETER;
    if (!data && data_size != 0) return error_noaccess;
    // Text whose size leaves out its terminating zero is stored with the zero after all when the
    // byte after the data is one: RegSetValueExA looks one byte past the size (as measured on Wine).
    if (is_string_type(type) && data_size && data[data_size - 1] != 0 && data[data_size] == 0) {
        ++data_size;
    }
    set_value(node, name, type, data, data ? data_size : 0);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY key, LPSTR class_name, LPDWORD class_length, LPDWORD reserved,
                                LPDWORD subkeys, LPDWORD max_subkey_length, LPDWORD max_class_length,
                                LPDWORD values, LPDWORD max_value_name_length,
                                LPDWORD max_value_length, LPDWORD security_descriptor_size,
                                PFILETIME last_write_time) {
    LSTATUS status;
    if (faulted("RegQueryInfoKeyA", handle_subject(key), -1, &status)) return status;
    // Windows requires KEY_QUERY_VALUE here, as documented; Wine does not check it.
    key_node* node;
    status = use_handle(key, KEY_QUERY_VALUE, &node);
    if (status != ERROR_SUCCESS) return status;
    if (reserved) return ERROR_INVALID_PARAMETER;
    if (class_name && !class_length) return ERROR_INVALID_PARAMETER;
    if (class_name && *class_length == 0) return ERROR_MORE_DATA;

    DWORD longest_subkey = 0, longest_value_name = 0, longest_data = 0;
    for (const auto& child : node->subkeys) {
        if (child->name.size() > longest_subkey) longest_subkey = static_cast<DWORD>(child->name.size());
    }
    for (const value_entry& value : node->values) {
        if (value.name.size() > longest_value_name) longest_value_name = static_cast<DWORD>(value.name.size());
        if (stored_size(value) > longest_data) longest_data = stored_size(value);
    }
    if (class_name) class_name[0] = '\0';
    if (class_length) *class_length = 0;
    if (subkeys) *subkeys = static_cast<DWORD>(node->subkeys.size());
    if (max_subkey_length) *max_subkey_length = longest_subkey;
    if (max_class_length) *max_class_length = 0;
    if (values) *values = static_cast<DWORD>(node->values.size());
    if (max_value_name_length) *max_value_name_length = longest_value_name;
    if (max_value_length) *max_value_length = longest_data;
    if (security_descriptor_size) *security_descriptor_size = 0;
    set_write_time(last_write_time);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_length,
                             LPDWORD reserved, LPSTR class_name, LPDWORD class_length,
                             PFILETIME last_write_time) {
    LSTATUS status;
    if (faulted("RegEnumKeyExA", handle_subject(key), static_cast<long>(index), &status)) return status;
    key_node* node;
    status = use_handle(key, KEY_ENUMERATE_SUB_KEYS, &node);
    if (status != ERROR_SUCCESS) return status;
    if (!name || !name_length || reserved) return ERROR_INVALID_PARAMETER;
    if (class_name && !class_length) return ERROR_INVALID_PARAMETER;
    if (index >= node->subkeys.size()) return ERROR_NO_MORE_ITEMS;

    // The capacity counts the terminating zero; the length returned does not.
    const std::string& subkey_name = node->subkeys[index]->name;
    if (subkey_name.size() + 1 > *name_length) return ERROR_MORE_DATA;
    if (class_name && *class_length == 0) return ERROR_MORE_DATA;
    copy_name(subkey_name, name, name_length);
    if (class_name) class_name[0] = '\0';
    if (class_length) *class_length = 0;
    set_write_time(last_write_time);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR value_name, LPDWORD value_name_length,
                             LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD data_size) {
    LSTATUS status;
    if (faulted("RegEnumValueA", handle_subject(key), static_cast<long>(index), &status)) return status;
    key_node* node;
    status = use_handle(key, KEY_QUERY_VALUE, &node);
    if (status != ERROR_SUCCESS) return status;
    if (!value_name || !value_name_length || reserved) return ERROR_INVALID_PARAMETER;
    if (data && !data_size) return ERROR_INVALID_PARAMETER;
    if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;

    const value_entry& value = node->values[index];
    if (value.name.size() + 1 > *value_name_length) return ERROR_MORE_DATA;
    const DWORD size = static_cast<DWORD>(value.data.size());
    if (data && copy_data(value, data, *data_size) != ERROR_SUCCESS) {
        // Neither name nor data are given then, only the type and the size needed.
        if (type) *type = value.type;
        *data_size = size;
        return ERROR_MORE_DATA;
    }
    copy_name(value.name, value_name, value_name_length);
    if (type) *type = value.type;
    if (data_size) *data_size = size;
    return ERROR_SUCCESS;
}

namespace {

// What RegQueryValueExA and RegQueryValueExW share: the fault, the handle, the arguments and the
// value by its stored name.
LSTATUS find_queried_value(const char* call, HKEY key, const std::string& name, LPDWORD reserved,
                           LPBYTE data, LPDWORD data_size, const value_entry** value) {
    LSTATUS status;
    if (faulted(call, handle_subject(key), -1, &status)) return status;
    key_node* node;
    status = use_handle(key, KEY_QUERY_VALUE, &node);
    if (status != ERROR_SUCCESS) return status;
    if (reserved || (data && !data_size)) return ERROR_INVALID_PARAMETER;
    *value = find_value(node, name);
    if (!*value) {
        // Asked for the size alone, Windows clears it for a value that is not there.
        if (!data && data_size) *data_size = 0;
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD data_size) {
    const value_entry* value = nullptr;
    LSTATUS status = find_queried_value("RegQueryValueExA", key, value_name ? value_name : "",
                                        reserved, data, data_size, &value);
    if (status != ERROR_SUCCESS) return status;

    const DWORD size = static_cast<DWORD>(value->data.size());
    if (type) *type = value->type;
    status = data ? copy_data(*value, data, *data_size) : ERROR_SUCCESS;
    if (data_size) *data_size = size;
    return status;
}

namespace {

// A value name passed to a W call, in the stored spelling; false when it holds a character
// outside code page 1252 (not simulated).
std::string stored_name(LPCWSTR value_name, const char* call) {
    std::string name = value_name ? internal_from_utf16(reinterpret_cast<const char16_t*>(value_name)) : "";
    if (name.find('\x01') != std::string::npos)
        winsim_not_implemented((std::string(call) + " of a value name outside code page 1252").c_str());
    return name;
}

// Text as the W calls take and give it, each UTF-16 unit from or to the stored form (which
// keeps a unit outside code page 1252 in the file system's internal form); zeros stay zeros.
std::vector<BYTE> stored_text(const char16_t* units, size_t count) {
    std::vector<BYTE> data;
    for (size_t i = 0; i < count; ++i) {
        char16_t unit[2] = {units[i], 0};
        std::string stored = units[i] ? internal_from_utf16(unit) : std::string(1, '\0');
        data.insert(data.end(), stored.begin(), stored.end());
    }
    return data;
}

std::u16string wide_text(const std::vector<BYTE>& data) {
    std::u16string text;
    size_t at = 0;
    while (at < data.size()) {
        if (data[at] == 0) {
            text += u'\0';
            ++at;
            continue;
        }
        size_t end = at;
        while (end < data.size() && data[end] != 0) ++end;
        text += utf16_from_internal(std::string(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(end)));
        at = end;
    }
    return text;
}

}  // namespace

LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD data_size) {
    (void)reserved;
    LSTATUS status;
    if (faulted("RegSetValueExW", handle_subject(key), -1, &status)) return status;
    if (!is_string_type(type)) winsim_not_implemented("RegSetValueExW of data that are no text");
    if (data_size % 2) winsim_not_implemented("RegSetValueExW of text of an odd size");
    key_node* node;
    status = use_handle(key, KEY_SET_VALUE, &node);
    if (status != ERROR_SUCCESS) return status;
    std::string name = stored_name(value_name, "RegSetValueExW");
    if (name.size() > max_value_name_length) return ERROR_INVALID_PARAMETER;
    if (!data && data_size != 0) return error_noaccess;
    std::vector<char16_t> units(data_size / 2);
    if (data_size) std::memcpy(units.data(), data, data_size);
    std::vector<BYTE> stored = stored_text(units.data(), units.size());
    set_value(node, name, type, stored.data(), static_cast<DWORD>(stored.size()));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD data_size) {
    const value_entry* value = nullptr;
    LSTATUS status = find_queried_value("RegQueryValueExW", key,
                                        stored_name(value_name, "RegQueryValueExW"), reserved,
                                        data, data_size, &value);
    if (status != ERROR_SUCCESS) return status;
    if (!is_string_type(value->type)) winsim_not_implemented("RegQueryValueExW of data that are no text");
    std::u16string text = wide_text(value->data);
    const DWORD size = static_cast<DWORD>(text.size() * 2);
    if (type) *type = value->type;
    status = ERROR_SUCCESS;
    if (data) {
        if (*data_size < size) status = ERROR_MORE_DATA;
        else if (size) std::memcpy(data, text.data(), size);
    }
    if (data_size) *data_size = size;
    return status;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR sub_key) {
    LSTATUS status;
    if (faulted("RegDeleteKeyA", sub_key_subject(key, sub_key), -1, &status)) return status;
    if (!sub_key) return ERROR_INVALID_PARAMETER;
    resolved_handle base = resolve(key);
    if (!base.key) return ERROR_INVALID_HANDLE;
    if (base.key->deleted) return ERROR_KEY_DELETED;
    std::vector<std::string> names;
    status = split_sub_key(sub_key, &names);
    if (status != ERROR_SUCCESS) return status;

    // An empty name deletes the handle's own key. Like the handle's right to create, its right
    // to delete subkeys is not asked; Windows opens the key itself for DELETE.
    key_node* target = base.key;
    for (const std::string& name : names) {
        target = find_subkey(target, name);
        if (!target) return ERROR_FILE_NOT_FOUND;
    }
    if (!target->parent) return ERROR_ACCESS_DENIED;  // a root
    if (denied_rights(target->path) & DELETE) return ERROR_ACCESS_DENIED;
    if (registry().denied_delete.count(rule_key(target->path))) return ERROR_ACCESS_DENIED;
    if (!target->subkeys.empty()) return ERROR_ACCESS_DENIED;
    delete_subtree(target);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR value_name) {
    LSTATUS status;
    if (faulted("RegDeleteValueA", handle_subject(key), -1, &status)) return status;
    key_node* node;
    status = use_handle(key, KEY_SET_VALUE, &node);
    if (status != ERROR_SUCCESS) return status;
    return delete_value(node, value_name ? value_name : "") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    LSTATUS status;
    if (faulted("RegCloseKey", handle_subject(key), -1, &status)) return status;
    resolved_handle resolved = resolve(key);
    if (!resolved.key) return ERROR_INVALID_HANDLE;
    if (!resolved.is_root) registry().handles.erase(reinterpret_cast<uintptr_t>(key));
    return ERROR_SUCCESS;
}
