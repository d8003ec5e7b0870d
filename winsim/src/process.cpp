// The simulated process (kernel32): last error, system error texts, modules, command line, code pages.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/desktop_control.h>

#include "codepage.h"
#include "file_system.h"
#include "modules.h"
#include "subsystems.h"
#include "users.h"
#include "wide_names.h"
#include "wow64_state.h"

#include <stdio.h>
#include <string.h>

#include <map>
#include <set>

namespace winsim {

namespace {

HINSTANCE const the_app_instance = reinterpret_cast<HINSTANCE>(0x00400000);
HMODULE const kernel32_module = reinterpret_cast<HMODULE>(0x7b000000);
HANDLE const current_process_pseudo_handle = reinterpret_cast<HANDLE>(~(uintptr_t)0);

struct process_state {
    DWORD last_error = 0;
    std::u16string command_line;
    std::string module_file_name = "C:\\Programme\\Test\\program.exe";
    bool wow64_present = true;
    bool wow64 = false;
    bool wow64_2_present = true;
    USHORT native_machine = 0;  // 0: the one the Windows bitness gives
    DWORD version_major = 10, version_minor = 0;
    bool dll_directories_present = true;
    std::vector<DWORD> dll_directories_calls;
    std::set<std::string> icon_resources;
    std::set<void*> local_allocations;
    // Named mutexes: the program's open handles with their names, and the names that other
    // processes hold.
    std::map<HANDLE, std::string> mutex_handles;
    std::set<std::string> mutexes_held_elsewhere;
};

process_state& process() {
    static process_state state;
    return state;
}

// The German system texts of a German Windows for the errors the programs meet.
const std::map<DWORD, const char*>& system_texts() {
    static const std::map<DWORD, const char*> texts = {
        {ERROR_SUCCESS, "Der Vorgang wurde erfolgreich beendet.\r\n"},
        {ERROR_INVALID_FUNCTION, "Unzulässige Funktion.\r\n"},
        {ERROR_FILE_NOT_FOUND, "Das System kann die angegebene Datei nicht finden.\r\n"},
        {ERROR_PATH_NOT_FOUND, "Das System kann den angegebenen Pfad nicht finden.\r\n"},
        {ERROR_ACCESS_DENIED, "Zugriff verweigert\r\n"},
        {ERROR_INVALID_HANDLE, "Das Handle ist ungültig.\r\n"},
        {ERROR_NOT_ENOUGH_MEMORY,
         "Nicht genügend Speicher verfügbar, um diesen Befehl zu verarbeiten.\r\n"},
        {ERROR_WRITE_PROTECT, "Das Medium ist schreibgeschützt.\r\n"},
        {ERROR_SHARING_VIOLATION,
         "Der Prozess kann nicht auf die Datei zugreifen, da sie von einem anderen Prozess "
         "verwendet wird.\r\n"},
        {ERROR_HANDLE_DISK_FULL, "Der Datenträger ist voll.\r\n"},
        {ERROR_FILE_EXISTS, "Die Datei ist vorhanden.\r\n"},
        {ERROR_INVALID_PARAMETER, "Falscher Parameter.\r\n"},
        {ERROR_CALL_NOT_IMPLEMENTED, "Dieser Funktionsaufruf wird auf diesem System nicht "
                                     "unterstützt.\r\n"},
        {ERROR_INSUFFICIENT_BUFFER,
         "Der an einen Systemaufruf übergebene Datenbereich ist zu klein.\r\n"},
        {ERROR_INVALID_NAME, "Die Syntax für den Dateinamen, Verzeichnisnamen oder die "
                             "Datenträgerbezeichnung ist falsch.\r\n"},
        {ERROR_DIR_NOT_EMPTY, "Das Verzeichnis ist nicht leer.\r\n"},
        {ERROR_BAD_EXE_FORMAT, "%1 ist keine zulässige Win32-Anwendung.\r\n"},
        {ERROR_ALREADY_EXISTS, "Eine Datei kann nicht erstellt werden, wenn sie bereits "
                               "vorhanden ist.\r\n"},
        {ERROR_FILENAME_EXCED_RANGE, "Der Dateiname oder die Erweiterung ist zu lang.\r\n"},
        {ERROR_MORE_DATA, "Weitere Daten sind verfügbar.\r\n"},
        {ERROR_NO_MORE_ITEMS, "Es sind keine weiteren Daten vorhanden.\r\n"},
        {ERROR_KEY_DELETED, "Unzulässiger Vorgang für einen Registrierungsschlüssel, der zum "
                            "Löschen markiert wurde.\r\n"},
    };
    return texts;
}

// The machine Windows runs on: the one set, else the Intel machine of its bitness.
USHORT machine_of_windows() {
    if (process().native_machine) return process().native_machine;
    return files::machine_bitness() == 64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
}

BOOL WINAPI simulated_is_wow64_process(HANDLE process_handle, PBOOL wow64) {
    DWORD error = 0;
    if (call_fails("IsWow64Process", "", -1, &error)) {
        SetLastError(error);
        return FALSE;
    }
    if (process_handle != current_process_pseudo_handle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // As Microsoft documents it, a 32-bit program on 64-bit Windows 10 on ARM hears FALSE.
    *wow64 = process().wow64 && machine_of_windows() != IMAGE_FILE_MACHINE_ARM64 ? TRUE : FALSE;
    return TRUE;
}

BOOL WINAPI simulated_is_wow64_process2(HANDLE process_handle, USHORT* process_machine,
                                        USHORT* native_machine) {
    DWORD error = 0;
    if (call_fails("IsWow64Process2", "", -1, &error)) {
        SetLastError(error);
        return FALSE;
    }
    if (process_handle != current_process_pseudo_handle || !process_machine) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *process_machine = process().wow64 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_UNKNOWN;
    if (native_machine) *native_machine = machine_of_windows();
    return TRUE;
}

BOOL WINAPI simulated_set_default_dll_directories(DWORD flags) {
    process().dll_directories_calls.push_back(flags);
    return TRUE;
}

// Fills output with the converted text when it fits; returns the byte count with the zero,
// or 0 with ERROR_INSUFFICIENT_BUFFER.
template <typename Unit>
int deliver(const std::basic_string<Unit>& converted, Unit* output, int size) {
    int needed = (int)converted.size();
    if (size == 0)
        return needed;
    if (needed > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(output, converted.data(), converted.size() * sizeof(Unit));
    return needed;
}

// A base letter with a combining mark, as WC_COMPOSITECHECK composes it when the
// composed letter is in the code page.
char16_t compose(char16_t base, char16_t mark) {
    static const struct { char16_t mark; const char* bases; const char16_t* composed; } table[] = {
        {0x0300, "AEIOUaeiou", u"ÀÈÌÒÙàèìòù"},
        {0x0301, "AEIOUYaeiouy", u"ÁÉÍÓÚÝáéíóúý"},
        {0x0302, "AEIOUaeiou", u"ÂÊÎÔÛâêîôû"},
        {0x0303, "ANOano", u"ÃÑÕãñõ"},
        {0x0308, "AEIOUaeiouy", u"ÄËÏÖÜäëïöüÿ"},
        {0x030A, "Aa", u"Åå"},
        {0x0327, "Cc", u"Çç"},
    };
    for (const auto& entry : table) {
        if (entry.mark != mark)
            continue;
        const char* found = strchr(entry.bases, (char)base);
        if (base < 0x80 && base != 0 && found)
            return entry.composed[found - entry.bases];
    }
    return 0;
}

}  // namespace

void reset_process() {
    process() = process_state();
}

HINSTANCE app_instance() { return the_app_instance; }
void set_command_line(const std::u16string& command_line) { process().command_line = command_line; }
void set_module_file_name(const char* path) { process().module_file_name = path; }
void set_wow64(bool function_present, bool is_wow64) {
    process().wow64_present = function_present;
    process().wow64 = is_wow64;
}
void set_native_machine(bool function_present, USHORT machine) {
    process().wow64_2_present = function_present;
    process().native_machine = machine;
}
void set_windows_version(DWORD major, DWORD minor) {
    if (major < 6) winsim_not_implemented("a Windows before Vista");
    process().version_major = major;
    process().version_minor = minor;
}
bool windows_version_at_least(DWORD major, DWORD minor) {
    const process_state& state = process();
    return state.version_major > major || (state.version_major == major && state.version_minor >= minor);
}
bool process_is_wow64() { return process().wow64; }
bool process_has_is_wow64_function() { return process().wow64_present; }
void set_default_dll_directories_present(bool present) { process().dll_directories_present = present; }
const std::vector<DWORD>& default_dll_directories_calls() { return process().dll_directories_calls; }
bool dll_search_limited_to_system_folder() {
    const std::vector<DWORD>& calls = process().dll_directories_calls;
    return !calls.empty() && calls.back() == LOAD_LIBRARY_SEARCH_SYSTEM32;
}
void add_icon_resource(const char* name) { process().icon_resources.insert(cp1252_upcase(name)); }
int outstanding_local_allocations() { return (int)process().local_allocations.size(); }

bool has_icon_resource(const char* name) {
    return process().icon_resources.count(cp1252_upcase(name)) != 0;
}

namespace files {
bool close_mutex_handle(HANDLE handle) { return process().mutex_handles.erase(handle) != 0; }
}  // namespace files

void hold_mutex_elsewhere(const char* name) { process().mutexes_held_elsewhere.insert(name); }
int open_mutex_handles() { return (int)process().mutex_handles.size(); }
void close_mutex_handles() { process().mutex_handles.clear(); }

}  // namespace winsim

using namespace winsim;

DWORD WINAPI GetLastError() { return process().last_error; }
void WINAPI SetLastError(DWORD code) { process().last_error = code; }

DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                            LPSTR buffer, DWORD size, va_list* arguments) {
    const DWORD system_text = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM;
    if ((flags & ~FORMAT_MESSAGE_IGNORE_INSERTS) != system_text || source ||
        language_id != MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT) || size != 0)
        winsim_not_implemented("FormatMessageA other than a system text into an allocated buffer");
    if (!(flags & FORMAT_MESSAGE_IGNORE_INSERTS) && arguments)
        winsim_not_implemented("FormatMessageA with arguments for the inserts");
    DWORD error = 0;
    if (call_fails("FormatMessageA", "", -1, &error)) {
        SetLastError(error);
        return 0;
    }
    auto text = system_texts().find(message_id);
    if (text == system_texts().end()) {
        SetLastError(317);  // ERROR_MR_MID_NOT_FOUND
        return 0;
    }
    // Without arguments, a text with an insert (%1 and the like) cannot be formatted.
    const char* insert = strchr(text->second, '%');
    if (!(flags & FORMAT_MESSAGE_IGNORE_INSERTS) && insert && insert[1] >= '1' && insert[1] <= '9') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    *reinterpret_cast<char**>(buffer) = local_text_copy(text->second);
    return (DWORD)strlen(text->second);
}

namespace winsim {

char* local_text_copy(const std::string& text) {
    char* copy = new char[text.size() + 1];
    memcpy(copy, text.c_str(), text.size() + 1);
    process().local_allocations.insert(copy);
    return copy;
}

}  // namespace winsim

HLOCAL WINAPI LocalFree(HLOCAL memory) {
    if (!memory)
        return 0;
    if (!process().local_allocations.erase(memory)) {
        fprintf(stderr, "winsim: LocalFree of memory the system did not allocate\n");
        abort();
    }
    delete[] static_cast<char*>(memory);
    return 0;
}

LPWSTR WINAPI GetCommandLineW() {
    return reinterpret_cast<LPWSTR>(&process().command_line[0]);
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR file_name, DWORD size) {
    DWORD error = 0;
    if (call_fails("GetModuleFileNameA", "", -1, &error)) {
        SetLastError(error);
        return 0;
    }
    if (module && module != the_app_instance)
        winsim_not_implemented("GetModuleFileNameA of a module other than the program");
    const std::string path = files::ansi_spelling(process().module_file_name);
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // As Windows XP and later: a path that does not fit is cut, zero-terminated, with
    // ERROR_INSUFFICIENT_BUFFER and the buffer size as result.
    if (path.size() >= size) {
        memcpy(file_name, path.data(), size - 1);
        file_name[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    memcpy(file_name, path.c_str(), path.size() + 1);
    return (DWORD)path.size();
}

HMODULE WINAPI GetModuleHandleA(LPCSTR module_name) {
    if (!module_name)
        return the_app_instance;
    std::string name = cp1252_upcase(module_name);
    if (name == "KERNEL32" || name == "KERNEL32.DLL")
        return kernel32_module;
    if (name == "SHELL32" || name == "SHELL32.DLL")
        return shell32_module();
    if (name == "USER32" || name == "USER32.DLL")
        return user32_module();
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR proc_name) {
    if (module && module == input_dll_module())
        return input_dll_export(proc_name);
    if (module && module == shell32_module())
        return shell32_export(proc_name);
    if (module && module == user32_module())
        return user32_export(proc_name);
    if (module != kernel32_module)
        winsim_not_implemented("GetProcAddress outside kernel32");
    std::string name = proc_name;
    if (name == "IsWow64Process" && process().wow64_present)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(simulated_is_wow64_process));
    if (name == "IsWow64Process2" && process().wow64_2_present)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(simulated_is_wow64_process2));
    if (name == "SetDefaultDllDirectories" && process().dll_directories_present)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(simulated_set_default_dll_directories));
    SetLastError(ERROR_PROC_NOT_FOUND);
    return 0;
}

HANDLE WINAPI GetCurrentProcess() { return current_process_pseudo_handle; }

BOOL WINAPI IsWow64Process(HANDLE process_handle, PBOOL wow64) {
    return simulated_is_wow64_process(process_handle, wow64);
}

BOOL WINAPI IsWow64Process2(HANDLE process_handle, USHORT* process_machine, USHORT* native_machine) {
    return simulated_is_wow64_process2(process_handle, process_machine, native_machine);
}

// The processor Windows runs on. Windows 10 on ARM runs no x64 programs and tells its x86 ones
// of an x86 processor; Windows 11 on ARM is not simulated.
void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info) {
    memset(info, 0, sizeof *info);
    info->dwPageSize = 4096;
    info->dwAllocationGranularity = 65536;
    switch (machine_of_windows()) {
    case IMAGE_FILE_MACHINE_AMD64: info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64; break;
    case IMAGE_FILE_MACHINE_ARM64:
        info->wProcessorArchitecture =
            process().wow64 ? PROCESSOR_ARCHITECTURE_INTEL : PROCESSOR_ARCHITECTURE_ARM64;
        break;
    default: info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL; break;
    }
}

namespace {
// Handle values are never reused, not even across resets.
uintptr_t next_mutex_handle = 0x50000;
}  // namespace

// A named mutex. Names are compared with their case, as Windows does; a name that the program or
// another process has open already gives a new handle to that mutex and ERROR_ALREADY_EXISTS.
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCSTR name) {
    if (!name || !name[0]) winsim_not_implemented("CreateMutexA without a name");
    if (initial_owner) winsim_not_implemented("CreateMutexA owned at once");
    (void)attributes;
    DWORD error = 0;
    if (call_fails("CreateMutexA", name, -1, &error)) {
        SetLastError(error);
        return nullptr;
    }
    bool exists = process().mutexes_held_elsewhere.count(name) != 0;
    for (const auto& open : process().mutex_handles)
        exists = exists || open.second == name;
    HANDLE handle = reinterpret_cast<HANDLE>(next_mutex_handle);
    next_mutex_handle += 4;
    process().mutex_handles[handle] = name;
    SetLastError(exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI SetDefaultDllDirectories(DWORD flags) {
    return simulated_set_default_dll_directories(flags);
}

int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_length,
                               LPSTR multi, int multi_size, LPCSTR default_char,
                               LPBOOL used_default_char) {
    if (code_page != CP_ACP && code_page != 1252)
        winsim_not_implemented("WideCharToMultiByte for a code page other than 1252");
    if ((flags & ~(DWORD)(WC_COMPOSITECHECK | WC_NO_BEST_FIT_CHARS)) || default_char)
        winsim_not_implemented("WideCharToMultiByte with flags other than WC_COMPOSITECHECK and "
                               "WC_NO_BEST_FIT_CHARS, or with a default character");
    if (!wide || multi_size < 0 || (multi_size > 0 && !multi) || wide_length == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD error = 0;
    if (call_fails("WideCharToMultiByte", "", -1, &error)) {
        SetLastError(error);
        return 0;
    }
    size_t length = wide_length < 0 ? std::char_traits<char16_t>::length(
                                          reinterpret_cast<const char16_t*>(wide)) + 1
                                    : (size_t)wide_length;
    // Characters the code page lacks take their best fit, as the system's conversion spells
    // them, unless WC_NO_BEST_FIT_CHARS asks for the default character "?" instead.
    const bool best_fit = !(flags & WC_NO_BEST_FIT_CHARS) && files::ansi_best_fit();
    bool used_default = false;
    std::string converted;
    for (size_t i = 0; i < length; i++) {
        char16_t ch = wide[i];
        if ((flags & WC_COMPOSITECHECK) && i + 1 < length) {
            char16_t composed = compose(ch, wide[i + 1]);
            if (composed) {
                ch = composed;
                i++;
            }
        }
        converted += ansi_char(ch, best_fit, &used_default);
    }
    if (used_default_char) *used_default_char = used_default ? TRUE : FALSE;
    return deliver(converted, multi, multi_size);
}

int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi, int multi_length,
                               LPWSTR wide, int wide_size) {
    if (code_page != CP_ACP && code_page != 1252)
        winsim_not_implemented("MultiByteToWideChar for a code page other than 1252");
    if (flags & ~(DWORD)MB_PRECOMPOSED)
        winsim_not_implemented("MultiByteToWideChar with flags");
    if (!multi || wide_size < 0 || (wide_size > 0 && !wide) || multi_length == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD error = 0;
    if (call_fails("MultiByteToWideChar", "", -1, &error)) {
        SetLastError(error);
        return 0;
    }
    size_t length = multi_length < 0 ? strlen(multi) + 1 : (size_t)multi_length;
    std::u16string converted;
    for (size_t i = 0; i < length; i++)
        converted += cp1252_to_utf16((unsigned char)multi[i]);
    return deliver(converted, reinterpret_cast<char16_t*>(wide), wide_size);
}
