// The simulated library loader (LoadLibraryA, LoadLibraryExA, FreeLibrary; DLLs by full path mapped as images) and input.dll, whose InstallLayoutOrTip edits the user's language list of Windows 8 and later.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/input_control.h>

#include "codepage.h"
#include "file_system.h"
#include "modules.h"
#include "registry_store.h"
#include "subsystems.h"
#include "wow64_state.h"

#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace winsim {

namespace {

HMODULE const the_input_module = reinterpret_cast<HMODULE>(0x6f000000);

#define ILOT_UNINSTALL 0x00000001
#define ILOT_DEFPROFILE 0x00000002
#define ILOT_NOAPPLYTOCURRENTSESSION 0x00000020

const char* const user_profile_path = "\\Control Panel\\International\\User Profile";

// A DLL loaded by its full path: one module for each file, mapped as an image while loaded.
struct file_module {
    std::shared_ptr<files::node> file;
    long mapping;
    int loads;
};

struct input_dll_state {
    bool dll_present = true;
    bool function_present = true;
    int loaded = 0;
    std::vector<layout_or_tip_call> calls;
    std::map<HMODULE, file_module> file_modules;
};

// Module handles of the DLLs loaded by path; never reused, not even across resets.
uintptr_t next_file_module = 0x10000000;

input_dll_state& input() {
    static input_dll_state state;
    return state;
}

// The locale name under which the language list keeps a language id (four hex digits).
const char* locale_of_language(const std::string& language) {
    static const struct { const char* id; const char* locale; } table[] = {
        {"0407", "de-DE"}, {"0807", "de-CH"}, {"0C07", "de-AT"}, {"1007", "de-LU"},
        {"1407", "de-LI"}, {"0409", "en-US"}, {"0809", "en-GB"},
    };
    for (const auto& entry : table) {
        if (cp1252_equal_nocase(entry.id, language)) return entry.locale;
    }
    return nullptr;
}

bool all_hex(const std::string& text) {
    for (char ch : text) {
        if (!strchr("0123456789abcdefABCDEF", ch) || !ch) return false;
    }
    return true;
}

std::vector<std::string> read_multi_string(const registry_store::value_entry& value) {
    std::vector<std::string> items;
    std::string item;
    for (BYTE byte : value.data) {
        if (byte) {
            item += (char)byte;
        } else if (!item.empty()) {
            items.push_back(item);
            item.clear();
        }
    }
    if (!item.empty()) items.push_back(item);
    return items;
}

void write_multi_string(registry_store::key_node* key, const char* name,
                        const std::vector<std::string>& items) {
    std::vector<BYTE> data;
    for (const std::string& item : items) {
        data.insert(data.end(), item.begin(), item.end());
        data.push_back(0);
    }
    data.push_back(0);
    registry_store::set_value(key, name, REG_MULTI_SZ, data.data(), (DWORD)data.size());
}

// A keyboard entry of a language's subkey: "<language>:<layout>".
bool is_keyboard_entry(const registry_store::value_entry& value) {
    return value.name.find(':') != std::string::npos;
}

// Adds the entry to its language (with ILOT_DEFPROFILE as the first entry of the first
// language), or removes it. The entries' DWORDs give their order, 1 for the first.
void change_language_list(registry_store::key_node* profile, const std::string& language,
                          const std::string& entry, DWORD flags) {
    const char* locale = locale_of_language(language);
    if (!locale) winsim_not_implemented("InstallLayoutOrTip for a language other than German or English");
    registry_store::key_node* subkey = registry_store::find_subkey(profile, locale);
    if (flags & ILOT_UNINSTALL) {
        if (subkey) registry_store::delete_value(subkey, entry);
        return;
    }
    registry_store::value_entry* languages_value = registry_store::find_value(profile, "Languages");
    std::vector<std::string> languages = read_multi_string(*languages_value);
    auto listed = std::find_if(languages.begin(), languages.end(), [&](const std::string& item) {
        return cp1252_equal_nocase(item, locale);
    });
    bool first = (flags & ILOT_DEFPROFILE) != 0;
    if (listed != languages.end() && first) languages.erase(listed);
    if (listed == languages.end() || first)
        languages.insert(first ? languages.begin() : languages.end(), locale);
    write_multi_string(profile, "Languages", languages);

    if (!subkey) subkey = registry_store::add_subkey(profile, locale);
    std::vector<registry_store::value_entry> keyboards;
    for (const auto& value : subkey->values) {
        if (is_keyboard_entry(value) && !cp1252_equal_nocase(value.name, entry)) keyboards.push_back(value);
    }
    std::stable_sort(keyboards.begin(), keyboards.end(), [](const auto& a, const auto& b) {
        DWORD order_a = 0, order_b = 0;
        if (a.data.size() == 4) memcpy(&order_a, a.data.data(), 4);
        if (b.data.size() == 4) memcpy(&order_b, b.data.data(), 4);
        return order_a < order_b;
    });
    registry_store::value_entry added{entry, REG_DWORD, {}};
    keyboards.insert(first ? keyboards.begin() : keyboards.end(), added);
    for (const auto& value : keyboards) registry_store::delete_value(subkey, value.name);
    DWORD order = 1;
    for (const auto& value : keyboards) {
        registry_store::set_value(subkey, value.name, REG_DWORD, reinterpret_cast<const BYTE*>(&order), 4);
        order++;
    }
}

std::string narrow_text(LPCWSTR text) {
    std::string narrow;
    for (size_t i = 0; text && text[i]; i++) {
        unsigned char byte = '?';
        utf16_to_cp1252(text[i], &byte);
        narrow += (char)byte;
    }
    return narrow;
}

// Both calls: the list below the user key `user_key` ("HKEY_CURRENT_USER" or
// "HKEY_USERS\\<SID>") gets or loses the entry.
BOOL change_list_of_user(const char* call, const std::string& user_key, LPCWSTR text, DWORD flags,
                         DWORD other_flags) {
    std::string narrow = narrow_text(text);
    DWORD error = 0;
    bool failed = call_fails(call, narrow, -1, &error);
    input().calls.push_back(layout_or_tip_call{narrow, flags, !failed, user_key});
    if (failed) {
        SetLastError(error);
        return FALSE;
    }
    if ((flags & ~(DWORD)(ILOT_UNINSTALL | ILOT_DEFPROFILE | other_flags)) ||
        (flags & (ILOT_UNINSTALL | ILOT_DEFPROFILE)) == (ILOT_UNINSTALL | ILOT_DEFPROFILE))
        winsim_not_implemented("InstallLayoutOrTip with flags other than ILOT_UNINSTALL or ILOT_DEFPROFILE");
    if (narrow.size() != 13 || narrow[4] != ':' || !all_hex(narrow.substr(0, 4)) ||
        !all_hex(narrow.substr(5)))
        winsim_not_implemented("InstallLayoutOrTip with a text other than one \"<language>:<layout>\"");
    registry_store::key_node* profile = registry_store::find_key(user_key + user_profile_path);
    if (!profile || !registry_store::find_value(profile, "Languages"))
        winsim_not_implemented("InstallLayoutOrTip without the user's language list");
    change_language_list(profile, narrow.substr(0, 4), narrow, flags);
    return TRUE;
}

BOOL WINAPI simulated_install_layout_or_tip(LPCWSTR text, DWORD flags) {
    return change_list_of_user("InstallLayoutOrTip", "HKEY_CURRENT_USER", text, flags, 0);
}

// Another user's list, named by the key that stands in for HKEY_CURRENT_USER, in the form of
// the defaults the documentation names ("HKEY_USERS\\<SID>"); the session is not changed.
BOOL WINAPI simulated_install_layout_or_tip_user_reg(LPCWSTR user_reg, LPCWSTR system_reg,
                                                     LPCWSTR software_reg, LPCWSTR text, DWORD flags) {
    if (system_reg || software_reg)
        winsim_not_implemented("InstallLayoutOrTipUserReg with a system or software path");
    const std::string user_key = user_reg ? narrow_text(user_reg) : "HKEY_CURRENT_USER";
    if (user_reg && user_key.compare(0, 11, "HKEY_USERS\\") != 0)
        winsim_not_implemented("InstallLayoutOrTipUserReg with a user path not below HKEY_USERS");
    if (user_reg && !(flags & ILOT_NOAPPLYTOCURRENTSESSION))
        winsim_not_implemented("InstallLayoutOrTipUserReg of another user's path that applies to the session");
    return change_list_of_user("InstallLayoutOrTipUserReg", user_key, text, flags,
                               ILOT_NOAPPLYTOCURRENTSESSION);
}

// The base name of a DLL, upper case and without ".dll".
std::string dll_base_name(const char* file_name) {
    std::string base_name = cp1252_upcase(file_name);
    if (base_name.size() > 4 && base_name.compare(base_name.size() - 4, 4, ".DLL") == 0)
        base_name.resize(base_name.size() - 4);
    return base_name;
}

// The KnownDLLs of Windows 7 and later (Session Manager\KnownDLLs, and ntdll, which every
// process has): the loader maps them from their section, not from the system folder.
bool is_known_dll(const std::string& base_name) {
    static const char* const names[] = {
        "ADVAPI32", "CLBCATQ", "COMBASE", "COMDLG32", "COML2", "DIFXAPI", "GDI32", "GDIPLUS",
        "IMAGEHLP", "IMM32", "KERNEL32", "MSCTF", "MSVCRT", "NORMALIZ", "NSI", "NTDLL", "OLE32",
        "OLEAUT32", "PSAPI", "RPCRT4", "SECHOST", "SETUPAPI", "SHCORE", "SHELL32", "SHLWAPI",
        "USER32", "WLDAP32", "WS2_32",
    };
    for (const char* name : names) {
        if (base_name == name) return true;
    }
    return false;
}

// The modules whose mappings a restart or a loaded machine image has ended with the program.
void forget_ended_modules() {
    for (auto at = input().file_modules.begin(); at != input().file_modules.end();) {
        auto next = std::next(at);
        if (!files::is_mapped(at->second.mapping)) input().file_modules.erase(at);
        at = next;
    }
}

// A DLL named by its full path (redirected for a WOW64 process): a file loaded again gives its
// module again; the loader maps a new one as an image.
HMODULE load_library_file(const char* call, LPCSTR file_name) {
    files::parsed_path parsed = files::parse_path(file_name, files::path_use::plain, true, files::path_form::ansi);
    DWORD error = 0;
    if (call_fails(call, parsed.full, -1, &error)) {
        SetLastError(error);
        return 0;
    }
    if (parsed.error) winsim_not_implemented("LoadLibrary of an invalid path");
    files::lookup_result found = files::look_up(parsed);
    if (!found.target) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (found.target->folder) winsim_not_implemented("LoadLibrary of a folder");
    forget_ended_modules();
    for (auto& loaded : input().file_modules) {
        if (loaded.second.file.get() == found.target) {
            loaded.second.loads++;
            return loaded.first;
        }
    }
    const std::vector<unsigned char>& data = found.target->data;
    if (data.size() < 2 || data[0] != 'M' || data[1] != 'Z')
        winsim_not_implemented("LoadLibrary of a file that is no DLL");
    long mapping = files::map_image(parsed, files::mapper::program, &error);
    if (!mapping) {
        SetLastError(error);
        return 0;
    }
    HMODULE module = reinterpret_cast<HMODULE>(next_file_module);
    next_file_module += 0x10000;
    input().file_modules[module] = file_module{found.target->shared_from_this(), mapping, 1};
    return module;
}

HMODULE load_library(const char* call, LPCSTR file_name) {
    if (!file_name) winsim_not_implemented("LoadLibrary without a name");
    if (strchr(file_name, '\\') || strchr(file_name, '/')) return load_library_file(call, file_name);
    DWORD error = 0;
    if (call_fails(call, file_name, -1, &error)) {
        SetLastError(error);
        return 0;
    }
    std::string base_name = dll_base_name(file_name);
    // The simulation provides none of the other system DLLs: loading one would pretend.
    if (is_known_dll(base_name) || base_name == "COMCTL32")
        winsim_not_implemented("LoadLibrary of a system DLL other than input.dll");
    if (base_name != "INPUT" || !input().dll_present) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (DWORD load_error = system_dll_load_error(file_name)) {
        SetLastError(load_error);
        return 0;
    }
    input().loaded++;
    return the_input_module;
}

}  // namespace

void reset_input_dll() { input() = input_dll_state(); }

void set_input_dll(bool dll_present, bool function_present) {
    input().dll_present = dll_present;
    input().function_present = function_present;
}
const std::vector<layout_or_tip_call>& layout_or_tip_calls() { return input().calls; }
int loaded_library_count() { return input().loaded; }

HMODULE input_dll_module() { return the_input_module; }

DWORD system_dll_load_error(const char* file_name) {
    if (process_is_wow64() && files::redirection_disabled() && !is_known_dll(dll_base_name(file_name)))
        return ERROR_BAD_EXE_FORMAT;
    return 0;
}

FARPROC input_dll_export(LPCSTR proc_name) {
    if (input().loaded == 0) winsim_not_implemented("GetProcAddress on a library that is not loaded");
    if (proc_name && strcmp(proc_name, "InstallLayoutOrTip") == 0 && input().function_present)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(simulated_install_layout_or_tip));
    if (proc_name && strcmp(proc_name, "InstallLayoutOrTipUserReg") == 0 && input().function_present)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(simulated_install_layout_or_tip_user_reg));
    SetLastError(ERROR_PROC_NOT_FOUND);
    return 0;
}

}  // namespace winsim

using namespace winsim;

// Without SetDefaultDllDirectories the search would begin in the program's own folder, which
// the simulation does not model.
HMODULE WINAPI LoadLibraryA(LPCSTR file_name) {
    if (!dll_search_limited_to_system_folder())
        winsim_not_implemented("LoadLibraryA with the program's folder in the DLL search path");
    return load_library("LoadLibraryA", file_name);
}

HMODULE WINAPI LoadLibraryExA(LPCSTR file_name, HANDLE file, DWORD flags) {
    if (file) winsim_not_implemented("LoadLibraryExA with a file handle");
    if (flags != LOAD_LIBRARY_SEARCH_SYSTEM32)
        winsim_not_implemented("LoadLibraryExA with flags other than LOAD_LIBRARY_SEARCH_SYSTEM32");
    return load_library("LoadLibraryExA", file_name);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    DWORD error = 0;
    if (call_fails("FreeLibrary", "", -1, &error)) {
        SetLastError(error);
        return FALSE;
    }
    forget_ended_modules();
    auto by_file = input().file_modules.find(module);
    if (by_file != input().file_modules.end()) {
        if (--by_file->second.loads == 0) {
            files::unmap_image(by_file->second.mapping);
            input().file_modules.erase(by_file);
        }
        return TRUE;
    }
    if (module != the_input_module || input().loaded == 0)
        winsim_not_implemented("FreeLibrary of a module that was not loaded");
    input().loaded--;
    return TRUE;
}
