// The simulated registry's keys and values, shared by the Win32 calls and the .reg text tools.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace winsim {
namespace registry_store {

struct value_entry {
    std::string name;  // as first set; "" is the default value
    DWORD type;
    std::vector<BYTE> data;  // the bytes as the A functions take and give them (CP1252 text)
};

struct key_node : std::enable_shared_from_this<key_node> {
    std::string name;  // as created
    std::string path;  // full path from the root's full name, "HKEY_CURRENT_USER\\Software\\..."
    key_node* parent = nullptr;  // null for a root and for a deleted key
    bool deleted = false;
    // Kept in Windows' order (see subkey_position in registry.cpp).
    std::vector<std::shared_ptr<key_node>> subkeys;
    // In creation order; setting an existing value keeps its place.
    std::vector<value_entry> values;
};

// Longest names Windows accepts, in characters.
const size_t max_key_name_length = 255;
const size_t max_value_name_length = 16383;

key_node* find_subkey(key_node* key, const std::string& name);
key_node* add_subkey(key_node* key, const std::string& name);
// Unlinks the key from its parent and marks it and everything below it deleted, so that handles
// still open on them report ERROR_KEY_DELETED.
void delete_subtree(key_node* key);

value_entry* find_value(key_node* key, const std::string& name);
void set_value(key_node* key, const std::string& name, DWORD type, const BYTE* data, DWORD size);
bool delete_value(key_node* key, const std::string& name);

// Splits a full path ("HKEY_LOCAL_MACHINE\\System\\...") into its root and names; false when it
// does not start with a root's full name. Empty names (doubled or trailing backslashes) are dropped.
bool split_full_path(const std::string& path, key_node** root, std::vector<std::string>* names);
// The key at a full path, or null.
key_node* find_key(const std::string& path);
// The key at a full path, created with every missing level; null when the root is unknown.
key_node* create_key(const std::string& path);

// Every key handle is gone, as when the programs that held them have ended.
void drop_key_handles();

}  // namespace registry_store
}  // namespace winsim
