// The simulated shell-link object (IShellLinkA with IPersistFile), saved as a readable text file in the simulated file system.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/files_control.h>
#include <winsim/shell_control.h>
#include <winsim/winfile.h>

#include "shell_internal.h"
#include "wide_names.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace winsim {

namespace {

const char* const first_line = "[winsim shell link]";
const char* const field_names[] = {"target",      "arguments",    "working folder", "description",
                                   "show command", "icon file",    "icon index"};

// Copies a field into the caller's buffer, which must hold it with its zero.
void copy_out(const std::string& value, LPSTR buffer, int size, const char* call) {
    if (!buffer || size <= 0 || value.size() >= (size_t)size)
        winsim_not_implemented(call);
    memcpy(buffer, value.c_str(), value.size() + 1);
}

bool has_line_break(const std::string& value) {
    return value.find_first_of("\r\n") != std::string::npos;
}

HRESULT last_error_result() {
    DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

class shell_link final : public IShellLinkA, public IPersistFile {
public:
    shell_link() { shell::object_created(this); }
    ~shell_link() { shell::object_destroyed(this); }

    // IUnknown, for both interfaces.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) winsim_not_implemented("IShellLinkA::QueryInterface without an out-parameter");
        *object = nullptr;
        HRESULT result = S_OK;
        if (shell::faulted("IShellLinkA::QueryInterface", shell::guid_text(riid), &result))
            return result;
        return query(riid, object);
    }
    HRESULT query(REFIID riid, void** object) {
        if (riid == IID_IUnknown || riid == IID_IShellLinkA)
            *object = static_cast<IShellLinkA*>(this);
        else if (riid == IID_IPersistFile || riid == IID_IPersist)
            *object = static_cast<IPersistFile*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (references_ == 0) {
            fprintf(stderr, "winsim: Release of a shell link without a reference\n");
            abort();
        }
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IShellLinkA.
    HRESULT STDMETHODCALLTYPE GetPath(LPSTR file, int size, struct _WIN32_FIND_DATAA* find_data,
                                      DWORD flags) override {
        if (find_data) winsim_not_implemented("IShellLinkA::GetPath with find data");
        if (flags & ~(DWORD)SLGP_RAWPATH) winsim_not_implemented("IShellLinkA::GetPath with flags");
        copy_out(fields_.target, file, size, "IShellLinkA::GetPath into a buffer that is too small");
        return fields_.target.empty() ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE*) override {
        winsim_not_implemented("IShellLinkA::GetIDList");
    }
    HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override {
        winsim_not_implemented("IShellLinkA::SetIDList");
    }
    HRESULT STDMETHODCALLTYPE GetDescription(LPSTR name, int size) override {
        copy_out(fields_.description, name, size, "IShellLinkA::GetDescription into a buffer that is too small");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR name) override {
        return set_text("IShellLinkA::SetDescription", name, &fields_.description);
    }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR folder, int size) override {
        copy_out(fields_.working_folder, folder, size,
                 "IShellLinkA::GetWorkingDirectory into a buffer that is too small");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR folder) override {
        return set_text("IShellLinkA::SetWorkingDirectory", folder, &fields_.working_folder);
    }
    HRESULT STDMETHODCALLTYPE GetArguments(LPSTR arguments, int size) override {
        copy_out(fields_.arguments, arguments, size, "IShellLinkA::GetArguments into a buffer that is too small");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR arguments) override {
        return set_text("IShellLinkA::SetArguments", arguments, &fields_.arguments);
    }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD* hotkey) override {
        if (!hotkey) winsim_not_implemented("IShellLinkA::GetHotkey without an out-parameter");
        *hotkey = hotkey_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) override {
        hotkey_ = hotkey;
        dirty_ = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int* show_command) override {
        if (!show_command) winsim_not_implemented("IShellLinkA::GetShowCmd without an out-parameter");
        *show_command = fields_.show_command;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int show_command) override {
        HRESULT result = S_OK;
        if (shell::faulted("IShellLinkA::SetShowCmd", "", &result)) return result;
        fields_.show_command = show_command;
        dirty_ = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR icon_path, int size, int* icon_index) override {
        if (!icon_index) winsim_not_implemented("IShellLinkA::GetIconLocation without an index out-parameter");
        copy_out(fields_.icon_file, icon_path, size,
                 "IShellLinkA::GetIconLocation into a buffer that is too small");
        *icon_index = fields_.icon_index;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR icon_path, int icon_index) override {
        HRESULT result = set_text("IShellLinkA::SetIconLocation", icon_path, &fields_.icon_file);
        if (SUCCEEDED(result)) fields_.icon_index = icon_index;
        return result;
    }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR, DWORD) override {
        winsim_not_implemented("IShellLinkA::SetRelativePath");
    }
    HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override {
        winsim_not_implemented("IShellLinkA::Resolve");
    }
    HRESULT STDMETHODCALLTYPE SetPath(LPCSTR file) override {
        if (!file) winsim_not_implemented("IShellLinkA::SetPath of a null path");
        // What Windows does with an empty or a relative target is not established here.
        if (!file[0]) winsim_not_implemented("IShellLinkA::SetPath of an empty path");
        if (!(isalpha((unsigned char)file[0]) && file[1] == ':' && (file[2] == '\\' || file[2] == '/')))
            winsim_not_implemented("IShellLinkA::SetPath of a path without a drive");
        if (has_line_break(file)) winsim_not_implemented("IShellLinkA::SetPath of a path with a line break");
        HRESULT result = S_OK;
        if (shell::faulted("IShellLinkA::SetPath", file, &result)) return result;
        fields_.target = file;
        dirty_ = true;
        // The target is kept as given; one the shell cannot find gives S_FALSE.
        return GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES ? S_FALSE : S_OK;
    }

    // IPersist and IPersistFile.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* class_id) override {
        if (!class_id) winsim_not_implemented("IPersistFile::GetClassID without an out-parameter");
        *class_id = CLSID_ShellLink;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR file_name, DWORD mode) override {
        if (mode != STGM_READ) winsim_not_implemented("IPersistFile::Load with a mode other than STGM_READ");
        if (!file_name) winsim_not_implemented("IPersistFile::Load without a file name");
        HRESULT result = S_OK;
        if (shell::faulted("IPersistFile::Load", internal_from_utf16(file_name), &result)) return result;
        std::string text;
        result = read_file(file_name, &text);
        if (FAILED(result)) return result;
        shell_link_fields loaded;
        // A file that is not a link gives E_FAIL, as the real shell answers.
        if (!parse_shell_link_text(text, &loaded)) return E_FAIL;
        fields_ = loaded;
        current_file_ = file_name;
        dirty_ = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR file_name, BOOL remember) override {
        std::u16string target_file = file_name ? std::u16string(file_name) : current_file_;
        if (target_file.empty()) winsim_not_implemented("IPersistFile::Save without a file name");
        HRESULT result = S_OK;
        if (shell::faulted("IPersistFile::Save", internal_from_utf16(target_file.c_str()), &result)) return result;
        result = write_file(target_file.c_str(), shell_link_text(fields_));
        if (FAILED(result)) return result;
        if (remember || !file_name) {
            current_file_ = target_file;
            dirty_ = false;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR file_name) override {
        std::string path = file_name ? internal_from_utf16(file_name) : "";
        HRESULT result = S_OK;
        if (shell::faulted("IPersistFile::SaveCompleted", path, &result)) return result;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* file_name) override {
        if (!file_name) winsim_not_implemented("IPersistFile::GetCurFile without an out-parameter");
        if (current_file_.empty()) winsim_not_implemented("IPersistFile::GetCurFile without a current file");
        size_t bytes = (current_file_.size() + 1) * sizeof(WCHAR);
        *file_name = static_cast<LPOLESTR>(shell::task_alloc(bytes));
        memcpy(*file_name, current_file_.c_str(), bytes);
        return S_OK;
    }

private:
    HRESULT set_text(const char* call, LPCSTR value, std::string* field) {
        if (!value) winsim_not_implemented((std::string(call) + " of a null text").c_str());
        if (has_line_break(value)) winsim_not_implemented((std::string(call) + " of a text with a line break").c_str());
        HRESULT result = S_OK;
        if (shell::faulted(call, "", &result)) return result;
        *field = value;
        dirty_ = true;
        return S_OK;
    }

    // The link file goes through the simulated file system, with its path rules and faults, by
    // its wide name as the shell opens it.
    static HRESULT write_file(LPCOLESTR path, const std::string& text) {
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return last_error_result();
        DWORD written = 0;
        BOOL ok = WriteFile(file, text.data(), (DWORD)text.size(), &written, nullptr);
        HRESULT result = ok && written == text.size() ? S_OK : last_error_result();
        if (!CloseHandle(file) && SUCCEEDED(result)) result = last_error_result();
        return result;
    }

    static HRESULT read_file(LPCOLESTR path, std::string* text) {
        HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return last_error_result();
        HRESULT result = S_OK;
        char buffer[512];
        for (;;) {
            DWORD read = 0;
            if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
                result = last_error_result();
                break;
            }
            if (read == 0) break;
            text->append(buffer, read);
        }
        CloseHandle(file);
        return result;
    }

    ULONG references_ = 0;
    shell_link_fields fields_;
    WORD hotkey_ = 0;
    bool dirty_ = false;
    std::u16string current_file_;
};

}  // namespace

namespace shell {

HRESULT create_shell_link(REFIID riid, void** object) {
    shell_link* link = new shell_link();
    HRESULT result = link->query(riid, object);
    if (FAILED(result)) delete link;
    return result;
}

}  // namespace shell

std::string shell_link_text(const shell_link_fields& link) {
    const std::string values[] = {link.target,
                                  link.arguments,
                                  link.working_folder,
                                  link.description,
                                  std::to_string(link.show_command),
                                  link.icon_file,
                                  std::to_string(link.icon_index)};
    std::string text = std::string(first_line) + "\r\n";
    for (size_t i = 0; i < sizeof values / sizeof values[0]; i++)
        text += std::string(field_names[i]) + "=" + values[i] + "\r\n";
    return text;
}

bool parse_shell_link_text(const std::string& text, shell_link_fields* link) {
    std::vector<std::string> lines;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find("\r\n", begin);
        if (end == std::string::npos) return false;  // every line ends in CR LF
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 2;
    }
    const size_t field_count = sizeof field_names / sizeof field_names[0];
    if (lines.size() != 1 + field_count || lines[0] != first_line) return false;
    std::string values[field_count];
    for (size_t i = 0; i < field_count; i++) {
        std::string prefix = std::string(field_names[i]) + "=";
        if (lines[1 + i].compare(0, prefix.size(), prefix) != 0) return false;
        values[i] = lines[1 + i].substr(prefix.size());
    }
    char* end = nullptr;
    long show_command = strtol(values[4].c_str(), &end, 10);
    if (values[4].empty() || *end) return false;
    long icon_index = strtol(values[6].c_str(), &end, 10);
    if (values[6].empty() || *end) return false;
    link->target = values[0];
    link->arguments = values[1];
    link->working_folder = values[2];
    link->description = values[3];
    link->show_command = (int)show_command;
    link->icon_file = values[5];
    link->icon_index = (int)icon_index;
    return true;
}

bool read_shell_link(const char* path, shell_link_fields* link) {
    entry_info info = entry(path);
    return info.exists && !info.is_folder && parse_shell_link_text(info.contents, link);
}

}  // namespace winsim
