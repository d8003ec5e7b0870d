// The simulated resources of the program: the table tests fill, and FindResourceA, LoadResource, SizeofResource, LockResource.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/desktop_control.h>
#include <winsim/files_control.h>

#include "codepage.h"
#include "file_system.h"

#include <stdio.h>

#include <list>

namespace winsim {
namespace files {

namespace {

struct resource_entry {
    std::string type;  // upper case, or "#<id>"
    std::string name;
    WORD language;
    std::vector<unsigned char> bytes;  // with one zero after them, so that even an empty one has an address
    DWORD size;
};

struct resource_state {
    std::list<resource_entry> entries;  // a list: the entries' addresses are the HRSRC handles
};

resource_state& resources() {
    static resource_state state;
    return state;
}

// A type or name as the table keys it: MAKEINTRESOURCEA(n) and "#n" are "#n", texts upper case.
std::string resource_key(const char* id) {
    if ((reinterpret_cast<ULONG_PTR>(id) >> 16) == 0) {
        char text[16];
        snprintf(text, sizeof text, "#%u", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(id)));
        return text;
    }
    std::string key = cp1252_upcase(id);
    if (key.size() > 1 && key[0] == '#' && key.find_first_not_of("0123456789", 1) == std::string::npos)
        return "#" + std::to_string(std::stoul(key.substr(1)));
    return key;
}

void check_module(HMODULE module, const char* call) {
    if (module && module != app_instance()) {
        std::string what = std::string(call) + " in a module other than the program";
        winsim_not_implemented(what.c_str());
    }
}

resource_entry* entry_of(HRSRC handle, const char* call) {
    for (resource_entry& entry : resources().entries) {
        if (reinterpret_cast<HRSRC>(&entry) == handle) return &entry;
    }
    std::string what = std::string(call) + " of a handle FindResourceA did not give";
    winsim_not_implemented(what.c_str());
}

std::string subject_of(const resource_entry& entry) { return entry.type + "\\" + entry.name; }

}  // namespace

void reset_resources() { resources() = resource_state(); }

}  // namespace files

void add_resource(const char* type, const char* name, WORD language, const std::string& bytes) {
    files::resource_entry entry;
    entry.type = files::resource_key(type);
    entry.name = files::resource_key(name);
    entry.language = language;
    entry.bytes.assign(bytes.begin(), bytes.end());
    entry.bytes.push_back(0);
    entry.size = static_cast<DWORD>(bytes.size());
    for (files::resource_entry& existing : files::resources().entries) {
        if (existing.type == entry.type && existing.name == entry.name && existing.language == language) {
            existing = entry;
            return;
        }
    }
    files::resources().entries.push_back(entry);
}

}  // namespace winsim

using namespace winsim;
using namespace winsim::files;

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    check_module(module, "FindResourceA");
    const std::string type_key = resource_key(type), name_key = resource_key(name);
    DWORD error = 0;
    if (call_fails("FindResourceA", type_key + "\\" + name_key, -1, &error)) {
        SetLastError(error);
        return nullptr;
    }
    resource_state& state = resources();
    if (state.entries.empty()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    bool type_found = false;
    resource_entry* chosen = nullptr;
    int chosen_rank = 3;
    for (resource_entry& entry : state.entries) {
        if (entry.type != type_key) continue;
        type_found = true;
        if (entry.name != name_key) continue;
        // As a German Windows picks among languages: neutral, German, then the first one.
        const int rank = entry.language == 0 ? 0 : entry.language == 0x0407 ? 1 : 2;
        if (rank < chosen_rank) {
            chosen = &entry;
            chosen_rank = rank;
        }
    }
    if (!chosen) {
        SetLastError(type_found ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(chosen);
}

// On Win32 the HGLOBAL of a resource is the address of its bytes.
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource_info) {
    check_module(module, "LoadResource");
    resource_entry* entry = entry_of(resource_info, "LoadResource");
    DWORD error = 0;
    if (call_fails("LoadResource", subject_of(*entry), -1, &error)) {
        SetLastError(error);
        return nullptr;
    }
    return entry->bytes.data();
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource_info) {
    check_module(module, "SizeofResource");
    resource_entry* entry = entry_of(resource_info, "SizeofResource");
    DWORD error = 0;
    if (call_fails("SizeofResource", subject_of(*entry), -1, &error)) {
        SetLastError(error);
        return 0;
    }
    return entry->size;
}

LPVOID WINAPI LockResource(HGLOBAL resource_data) { return resource_data; }
