// What the file contract tests share: helpers on real paths.
#include "file_contract_support.h"

bool process_is_wow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string temp_folder() {
    char buffer[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof buffer, buffer);
    return length && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string upper(std::string text) {
    for (char& c : text) c = (char)(ULONG_PTR)CharUpperA((LPSTR)(ULONG_PTR)(unsigned char)c);
    return text;
}

std::vector<WCHAR> wide_path(const std::string& path) {
    std::vector<WCHAR> wide(path.size() + 1);
    EXPECT_EQ((int)wide.size(), MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), (int)wide.size()));
    return wide;
}

bool write_file(const std::string& path, const std::string& contents) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, contents.data(), (DWORD)contents.size(), &written, NULL);
    return CloseHandle(file) && ok && written == contents.size();
}

std::string read_file(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[256];
    DWORD read = 0;
    std::string contents;
    while (ReadFile(file, buffer, sizeof buffer, &read, NULL) && read) contents.append(buffer, read);
    CloseHandle(file);
    return contents;
}

// The names a search gives, in order; empty when FindFirstFileA fails.
std::vector<std::string> find_names(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(data.cFileName);
    while (FindNextFileA(search, &data));
    FindClose(search);
    return names;
}

bool find_entry(const std::string& path, WIN32_FIND_DATAA* data) {
    HANDLE search = FindFirstFileA(path.c_str(), data);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

// Deletes a folder with everything in it, read-only entries included.
void remove_tree(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(folder.c_str());
}

ULONGLONG ticks_of(const FILETIME& time) {
    return ((ULONGLONG)time.dwHighDateTime << 32) | time.dwLowDateTime;
}

FILETIME filetime_of(ULONGLONG ticks) {
    FILETIME time;
    time.dwLowDateTime = (DWORD)ticks;
    time.dwHighDateTime = (DWORD)(ticks >> 32);
    return time;
}

static const char* const session_manager_key = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
static const char* const pending_value = "PendingFileRenameOperations";

bool saved_pending_operations::save() {
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, session_manager_key, 0, NULL, 0,
                                  KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &key, NULL);
    EXPECT_EQ(ERROR_SUCCESS, status);
    if (status != ERROR_SUCCESS) return false;
    before.resize(65536);
    DWORD type = 0, size = (DWORD)before.size();
    status = RegQueryValueExA(key, pending_value, NULL, &type, before.data(), &size);
    EXPECT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
    had_value = status == ERROR_SUCCESS;
    before.resize(had_value ? size : 0);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

std::string saved_pending_operations::now(DWORD* type) {
    std::vector<BYTE> data(65536);
    DWORD size = (DWORD)data.size();
    if (type) *type = preset;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, pending_value, NULL, type, data.data(), &size));
    return std::string(data.begin(), data.begin() + size);
}

void saved_pending_operations::restore() {
    if (!key) return;
    if (had_value) RegSetValueExA(key, pending_value, 0, REG_MULTI_SZ, before.data(), (DWORD)before.size());
    else RegDeleteValueA(key, pending_value);
    RegCloseKey(key);
    key = NULL;
}
