// The simulated FindFirstFileA/FindNextFileA/FindClose: Windows' wildcard matching, find order and the "." and ".." entries.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/files_control.h>

#include "codepage.h"
#include "file_system.h"
#include "wide_names.h"

#include <string.h>

#include <map>

namespace winsim {
namespace files {

namespace {

// The DOS wildcards that Win32 turns a pattern's * ? . into before the file system matches it.
const char16_t dos_star = '<';  // * before a period: any characters up to the name's last period
const char16_t dos_qm = '>';    // ?: any one character, or none at a period or the end of the name
const char16_t dos_dot = '"';   // . before a wildcard or at the end: a period, or the end of the name

// The pattern and the names are matched as UTF-16, as the file system does.
std::u16string translate_pattern(const std::u16string& pattern) {
    std::u16string translated;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char16_t c = pattern[i];
        const char16_t next = i + 1 < pattern.size() ? pattern[i + 1] : u'\0';
        if (c == '?') translated += dos_qm;
        else if (c == '.' && (next == '?' || next == '*' || next == '\0')) translated += dos_dot;
        else if (c == '*' && next == '.') translated += dos_star;
        else translated += c;
    }
    return translated;
}

class matcher {
public:
    matcher(const std::u16string& expression, const std::u16string& name)
        : expression_(expression), name_(name),
          last_period_(name.rfind('.')),
          memo_((expression.size() + 1) * (name.size() + 1), -1) {}

    bool matches() { return match(0, 0); }

private:
    bool match(size_t e, size_t n) {
        signed char& known = memo_[e * (name_.size() + 1) + n];
        if (known >= 0) return known != 0;
        known = evaluate(e, n) ? 1 : 0;
        return known != 0;
    }

    bool evaluate(size_t e, size_t n) {
        if (e == expression_.size()) return n == name_.size();
        const char16_t c = expression_[e];
        const bool at_end = n == name_.size();
        switch (c) {
            case '*':
                return match(e + 1, n) || (!at_end && match(e, n + 1));
            case dos_star: {
                // May take characters up to, not including, the name's last period.
                const size_t limit = last_period_ == std::string::npos || last_period_ < n ? name_.size()
                                                                                          : last_period_;
                for (size_t k = n; k <= limit; ++k) {
                    if (match(e + 1, k)) return true;
                }
                return false;
            }
            case dos_qm: {
                if (!at_end && name_[n] != '.') return match(e + 1, n + 1);
                size_t after = e;
                while (after < expression_.size() && expression_[after] == dos_qm) ++after;
                return match(after, n);
            }
            case dos_dot:
                if (at_end) return match(e + 1, n);
                return name_[n] == '.' && match(e + 1, n + 1);
            default:
                if (at_end) return false;
                return name_upcase(c) == name_upcase(name_[n]) && match(e + 1, n + 1);
        }
    }

    const std::u16string& expression_;
    const std::u16string& name_;
    size_t last_period_;
    std::vector<signed char> memo_;
};

struct search {
    std::string folder;  // the searched folder's full path, the subject of FindNextFileA
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 1;
};

struct search_state {
    std::map<uintptr_t, search> searches;
};

search_state& searches() {
    static search_state state;
    return state;
}

uintptr_t next_search_value = 0x40000;

WIN32_FIND_DATAA find_data_of(const node& entry, const std::string& name) {
    WIN32_FIND_DATAA data;
    memset(&data, 0, sizeof data);
    data.dwFileAttributes = reported_attributes(entry);
    data.ftCreationTime = to_filetime(entry.created);
    data.ftLastAccessTime = to_filetime(entry.accessed);
    data.ftLastWriteTime = to_filetime(entry.written);
    const unsigned long long size = entry.folder ? 0 : entry.data.size();
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    // The 8-bit spelling of the name: one character a byte, so it fits as the name does.
    const std::string spelled = ansi_spelling(name);
    memcpy(data.cFileName, spelled.c_str(), spelled.size() + 1);
    // No 8.3 names: the volume works as one with 8.3 name creation turned off.
    return data;
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

bool name_matches_pattern(const std::string& pattern, const std::string& name) {
    std::u16string expression = translate_pattern(utf16_from_internal(pattern));
    std::u16string units = utf16_from_internal(name);
    return matcher(expression, units).matches();
}

}  // namespace

void reset_find_handles() { searches() = search_state(); }

}  // namespace files

int open_find_handles() { return static_cast<int>(files::searches().searches.size()); }

}  // namespace winsim

using namespace winsim;
using namespace winsim::files;

HANDLE WINAPI FindFirstFileA(LPCSTR file_name, LPWIN32_FIND_DATAA find_data) {
    parsed_path parsed = parse_path(file_name, path_use::pattern, true, path_form::ansi);
    DWORD error = 0;
    if (call_fails("FindFirstFileA", parsed.full, -1, &error)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (!parsed.error && (parsed.names.empty() || parsed.trailing_separator)) parsed.error = ERROR_FILE_NOT_FOUND;
    const std::string last = parsed.names.empty() ? std::string() : parsed.names.back();
    const bool wildcard = last.find_first_of("*?") != std::string::npos;
    lookup_result found;
    if (!parsed.error) {
        found = look_up(parsed);
        if (found.error) parsed.error = found.through_file && wildcard ? ERROR_INVALID_NAME : found.error;
    }
    if (parsed.error) {
        SetLastError(parsed.error);
        return INVALID_HANDLE_VALUE;
    }
    search result;
    node* folder = found.parent;
    result.folder = stored_path(folder);
    if (wildcard) {
        if (!folder->volume_root) {
            const node* above = folder->parent ? folder->parent : folder;
            if (name_matches_pattern(last, ".")) result.entries.push_back(find_data_of(*folder, "."));
            if (name_matches_pattern(last, "..")) result.entries.push_back(find_data_of(*above, ".."));
        }
        for (const auto& child : folder->children) {
            if (name_matches_pattern(last, child->name)) result.entries.push_back(find_data_of(*child, child->name));
        }
    } else if (found.target) {
        result.entries.push_back(find_data_of(*found.target, found.target->name));
    }
    if (result.entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *find_data = result.entries.front();
    uintptr_t value = next_search_value;
    next_search_value += 4;
    searches().searches[value] = result;
    return reinterpret_cast<HANDLE>(value);
}

BOOL WINAPI FindNextFileA(HANDLE find_handle, LPWIN32_FIND_DATAA find_data) {
    auto found = searches().searches.find(reinterpret_cast<uintptr_t>(find_handle));
    search* current = found == searches().searches.end() ? nullptr : &found->second;
    DWORD error = 0;
    if (call_fails("FindNextFileA", current ? current->folder : std::string(),
                   current ? static_cast<long>(current->next) : -1, &error))
        return fail(error);
    if (!current) return fail(ERROR_INVALID_HANDLE);
    if (current->next >= current->entries.size()) return fail(ERROR_NO_MORE_FILES);
    *find_data = current->entries[current->next++];
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE find_handle) {
    auto found = searches().searches.find(reinterpret_cast<uintptr_t>(find_handle));
    DWORD error = 0;
    if (call_fails("FindClose", found == searches().searches.end() ? std::string() : found->second.folder, -1,
                   &error))
        return fail(error);
    if (found == searches().searches.end()) return fail(ERROR_INVALID_HANDLE);
    searches().searches.erase(found);
    return TRUE;
}
