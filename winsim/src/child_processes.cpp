// The simulated CreateProcessA (recorded, the program does not run), its process and thread handles, and Sleep.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/files_control.h>

#include "file_system.h"

#include <string.h>

namespace winsim {
namespace files {

namespace {

struct process_state {
    std::vector<started_process> started;
    unsigned long long slept = 0;
    int sleeps = 0;
};

process_state& processes() {
    static process_state state;
    return state;
}

// Handle values and ids are never reused, not even across resets.
uintptr_t next_process_handle = 0x30000;
DWORD next_id = 0x1000;

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The file a program path names, after redirection; 0 or the error.
DWORD find_program(const std::string& path, node** program, std::string* full) {
    parsed_path parsed = parse_path(path.c_str(), path_use::plain, true, path_form::ansi);
    *full = parsed.full;
    if (parsed.error) return parsed.error;
    lookup_result found = look_up(parsed);
    if (!found.target) return found.error ? found.error : ERROR_FILE_NOT_FOUND;
    if (found.target->folder) winsim_not_implemented("CreateProcessA of a folder");
    *program = found.target;
    return 0;
}

bool has_extension(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    size_t dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

bool is_absolute(const std::string& path) {
    return (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           path.compare(0, 2, "\\\\") == 0;
}

// The program of a command line without application name, as CreateProcessA finds it: the
// quoted first text, or the longest start ending at a blank that names a file (".exe" added
// when there is no extension).
DWORD program_of_command_line(const std::string& command_line, node** program, std::string* full) {
    std::vector<std::string> candidates;
    if (!command_line.empty() && command_line[0] == '"') {
        size_t end = command_line.find('"', 1);
        candidates.push_back(command_line.substr(1, end == std::string::npos ? std::string::npos : end - 1));
    } else {
        for (size_t i = 0; i <= command_line.size(); ++i) {
            if (i == command_line.size() || command_line[i] == ' ' || command_line[i] == '\t')
                candidates.push_back(command_line.substr(0, i));
            if (i < command_line.size() && command_line[i] == '\t') break;
        }
    }
    DWORD first_error = ERROR_FILE_NOT_FOUND;
    for (size_t i = 0; i < candidates.size(); ++i) {
        std::string candidate = candidates[i];
        if (candidate.empty()) continue;
        if (!is_absolute(candidate))
            winsim_not_implemented("CreateProcessA searching for a program (a command line without a full path)");
        if (!has_extension(candidate)) candidate += ".exe";
        DWORD error = find_program(candidate, program, full);
        if (!error) return 0;
        if (i == 0) first_error = error;
    }
    return first_error;
}

}  // namespace

bool close_process_handle(HANDLE handle) {
    for (started_process& process : processes().started) {
        if (process.process_handle == handle && !process.process_handle_closed) {
            process.process_handle_closed = true;
            return true;
        }
        if (process.thread_handle == handle && !process.thread_handle_closed) {
            process.thread_handle_closed = true;
            return true;
        }
    }
    return false;
}

void reset_child_processes() { processes() = process_state(); }

}  // namespace files

const std::vector<started_process>& started_processes() { return files::processes().started; }
unsigned long long total_sleep_milliseconds() { return files::processes().slept; }
int sleep_calls() { return files::processes().sleeps; }

}  // namespace winsim

using namespace winsim;
using namespace winsim::files;

BOOL WINAPI CreateProcessA(LPCSTR application_name, LPSTR command_line,
                           LPSECURITY_ATTRIBUTES process_attributes,
                           LPSECURITY_ATTRIBUTES thread_attributes, BOOL inherit_handles,
                           DWORD creation_flags, LPVOID environment, LPCSTR current_directory,
                           LPSTARTUPINFOA startup_info, LPPROCESS_INFORMATION process_information) {
    if (!startup_info || !process_information)
        winsim_not_implemented("CreateProcessA without STARTUPINFOA or PROCESS_INFORMATION");
    if (process_attributes || thread_attributes)
        winsim_not_implemented("CreateProcessA with process or thread security attributes");
    if (environment && (creation_flags & CREATE_UNICODE_ENVIRONMENT))
        winsim_not_implemented("CreateProcessA with a Unicode environment");
    if (!application_name && !command_line) winsim_not_implemented("CreateProcessA without program and command line");
    DWORD error = 0;
    if (call_fails("CreateProcessA", application_name ? application_name : command_line, -1, &error))
        return fail(error);

    node* program = nullptr;
    std::string program_path;
    error = application_name ? find_program(application_name, &program, &program_path)
                             : program_of_command_line(command_line, &program, &program_path);
    if (error) return fail(error);
    if (program->data.size() < 2 || program->data[0] != 'M' || program->data[1] != 'Z')
        return fail(ERROR_BAD_EXE_FORMAT);
    if (current_directory) {
        parsed_path folder_path = parse_path(current_directory, path_use::plain, true, path_form::ansi);
        node* folder = folder_path.error ? nullptr : look_up(folder_path).target;
        if (!folder || !folder->folder) return fail(ERROR_DIRECTORY);
    }

    started_process record;
    record.has_application_name = application_name != nullptr;
    record.application_name = application_name ? application_name : "";
    record.has_command_line = command_line != nullptr;
    record.command_line = command_line ? command_line : "";
    record.inherit_handles = inherit_handles;
    record.creation_flags = creation_flags;
    record.has_environment = environment != nullptr;
    for (const char* variable = static_cast<const char*>(environment); variable && *variable;
         variable += strlen(variable) + 1)
        record.environment.push_back(variable);
    record.has_working_folder = current_directory != nullptr;
    record.working_folder = current_directory ? current_directory : "";
    record.startup_info_size = startup_info->cb;
    record.startup_flags = startup_info->dwFlags;
    record.show_window = startup_info->wShowWindow;
    record.program_path = program_path;
    record.process_handle = reinterpret_cast<HANDLE>(next_process_handle);
    record.thread_handle = reinterpret_cast<HANDLE>(next_process_handle + 4);
    next_process_handle += 8;
    record.process_handle_closed = record.thread_handle_closed = false;
    processes().started.push_back(record);

    process_information->hProcess = record.process_handle;
    process_information->hThread = record.thread_handle;
    process_information->dwProcessId = next_id;
    process_information->dwThreadId = next_id + 4;
    next_id += 8;
    return TRUE;
}

void WINAPI Sleep(DWORD milliseconds) {
    if (milliseconds == INFINITE) winsim_not_implemented("Sleep(INFINITE)");
    processes().slept += milliseconds;
    ++processes().sleeps;
}
