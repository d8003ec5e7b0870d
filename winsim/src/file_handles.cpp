// The simulated file handles: CreateFileA/CreateFileW with access and share modes, reading, writing, size, pointer, times and CloseHandle.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/files_control.h>

#include "file_system.h"
#include "users.h"
#include "wide_names.h"

#include <string.h>

#include <map>

namespace winsim {
namespace files {

namespace {

const DWORD read_rights = FILE_READ_DATA | FILE_READ_ATTRIBUTES;
const DWORD write_rights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES;
const DWORD data_read = FILE_READ_DATA;
const DWORD data_write = FILE_WRITE_DATA | FILE_APPEND_DATA;

// Files larger than this are not simulated.
const unsigned long long largest_file = 1ULL << 30;

struct file_handle {
    std::shared_ptr<node> file;
    std::string path;  // as opened, the subject of the handle's calls
    DWORD access;      // file rights, generic ones mapped
    DWORD share;
    unsigned long long position = 0;
    // Times set through this handle with SetFileTime are no longer kept up by writes.
    bool user_set_write = false;
    bool held_by_test = false;
};

struct handle_state {
    std::map<uintptr_t, file_handle> handles;
    std::map<long, uintptr_t> holds;
    long next_hold = 1;
};

handle_state& handles() {
    static handle_state state;
    return state;
}

// Handle values are never reused, not even across resets.
uintptr_t next_handle_value = 0x20000;

bool shares_data(DWORD access) {
    return (access & (data_read | data_write | FILE_EXECUTE | DELETE)) != 0;
}

file_handle* find_handle(HANDLE handle) {
    auto found = handles().handles.find(reinterpret_cast<uintptr_t>(handle));
    if (found == handles().handles.end() || found->second.held_by_test) return nullptr;
    return &found->second;
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The entry a CreateFileA (or a test's hold) opens: DWORD error, or the entry in *opened.
struct open_request {
    DWORD access;  // file rights, generic ones mapped
    DWORD share;
    DWORD disposition;
    DWORD attributes;  // for a new or replaced file
};

DWORD open_entry(const parsed_path& parsed, const open_request& request, std::shared_ptr<node>* opened,
                 bool* existed) {
    if (parsed.error) return parsed.error;
    lookup_result found = look_up(parsed);
    if (found.error) return found.error;
    node* target = found.target;
    *existed = target != nullptr;
    if (target) {
        if (target->folder) return ERROR_ACCESS_DENIED;  // folders need FILE_FLAG_BACKUP_SEMANTICS
        if (parsed.trailing_separator) return ERROR_INVALID_NAME;
        if (target->delete_pending) return ERROR_ACCESS_DENIED;
        if (request.disposition == CREATE_NEW) return ERROR_FILE_EXISTS;
        const bool replaces = request.disposition == CREATE_ALWAYS || request.disposition == TRUNCATE_EXISTING;
        if ((target->attributes & FILE_ATTRIBUTE_READONLY) && ((request.access & data_write) || replaces))
            return ERROR_ACCESS_DENIED;
        // CREATE_ALWAYS keeps a hidden or system file only when asked for the same attributes.
        if (request.disposition == CREATE_ALWAYS) {
            const DWORD kept = target->attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
            if ((kept & request.attributes) != kept) return ERROR_ACCESS_DENIED;
        }
        if (!sharing_allows(target, request.access, request.share)) return ERROR_SHARING_VIOLATION;
        // The image section of a loaded DLL refuses every open that could write its data.
        if (target->image_mappings && (request.access & FILE_WRITE_DATA)) return ERROR_SHARING_VIOLATION;
        if (target->image_mappings && replaces)
            winsim_not_implemented("replacing a mapped file through a handle without write access");
        *opened = target->shared_from_this();
        return 0;
    }
    if (!found.parent) return ERROR_ACCESS_DENIED;  // a root
    if (request.disposition == OPEN_EXISTING || request.disposition == TRUNCATE_EXISTING)
        return ERROR_FILE_NOT_FOUND;
    if (found.parent->delete_pending) return ERROR_ACCESS_DENIED;
    std::shared_ptr<node> created = add_child(found.parent, parsed.names.back(), false);
    created->attributes = request.attributes | FILE_ATTRIBUTE_ARCHIVE;
    *opened = created;
    return 0;
}

HANDLE new_handle(const std::shared_ptr<node>& file, const std::string& path, DWORD access, DWORD share,
                  bool held) {
    uintptr_t value = next_handle_value;
    next_handle_value += 4;
    file_handle handle;
    handle.file = file;
    handle.path = path;
    handle.access = access;
    handle.share = share;
    handle.held_by_test = held;
    handles().handles[value] = handle;
    ++file->open_handles;
    return reinterpret_cast<HANDLE>(value);
}

void close_entry(uintptr_t value) {
    auto found = handles().handles.find(value);
    std::shared_ptr<node> file = found->second.file;
    handles().handles.erase(found);
    release_open(file.get());
}

void note_write(file_handle* handle) {
    node* file = handle->file.get();
    if (!handle->user_set_write) file->written = clock_now();
    file->attributes |= FILE_ATTRIBUTE_ARCHIVE;
}

bool faulted(const char* call, const file_handle* handle, DWORD* error) {
    return call_fails(call, handle ? handle->path : std::string(), -1, error);
}

}  // namespace

DWORD file_rights_of(DWORD desired_access) {
    DWORD rights = desired_access & ~(DWORD)(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (desired_access & GENERIC_READ) rights |= read_rights;
    if (desired_access & GENERIC_WRITE) rights |= write_rights;
    if (desired_access & (GENERIC_EXECUTE | GENERIC_ALL))
        winsim_not_implemented("GENERIC_EXECUTE or GENERIC_ALL access to a file");
    return rights;
}

bool sharing_allows(const node* entry, DWORD access, DWORD share) {
    if (!shares_data(access)) return true;
    const bool reads = access & (data_read | FILE_EXECUTE), writes = access & data_write,
               deletes = access & DELETE;
    for (const auto& open : handles().handles) {
        const file_handle& other = open.second;
        if (other.file.get() != entry || !shares_data(other.access)) continue;
        if (reads && !(other.share & FILE_SHARE_READ)) return false;
        if (writes && !(other.share & FILE_SHARE_WRITE)) return false;
        if (deletes && !(other.share & FILE_SHARE_DELETE)) return false;
        if ((other.access & (data_read | FILE_EXECUTE)) && !(share & FILE_SHARE_READ)) return false;
        if ((other.access & data_write) && !(share & FILE_SHARE_WRITE)) return false;
        if ((other.access & DELETE) && !(share & FILE_SHARE_DELETE)) return false;
    }
    return true;
}

void reset_file_handles() {
    handles() = handle_state();
}

void close_every_file_handle() {
    while (!handles().handles.empty()) close_entry(handles().handles.begin()->first);
    handles().holds.clear();
}

DWORD open_for_mapping(const parsed_path& parsed, std::shared_ptr<node>* opened) {
    // The loader reads the file and lets others read and delete it meanwhile; it closes its
    // handle once the section is made.
    open_request request{FILE_READ_DATA | FILE_EXECUTE, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING, 0};
    bool existed = false;
    return open_entry(parsed, request, opened, &existed);
}

}  // namespace files

using namespace files;

long hold_file_open(const char* path, DWORD access, DWORD share_mode, DWORD* error) {
    if (access & ~(DWORD)(GENERIC_READ | GENERIC_WRITE | DELETE))
        winsim_not_implemented("hold_file_open with access other than GENERIC_READ, GENERIC_WRITE, DELETE");
    parsed_path parsed = parse_path(path, path_use::plain, false, path_form::internal);
    open_request request{file_rights_of(access), share_mode, OPEN_EXISTING, 0};
    std::shared_ptr<node> opened;
    bool existed = false;
    DWORD status = open_entry(parsed, request, &opened, &existed);
    if (status) {
        if (error) *error = status;
        return 0;
    }
    HANDLE handle = new_handle(opened, parsed.full, request.access, share_mode, true);
    long hold = handles().next_hold++;
    handles().holds[hold] = reinterpret_cast<uintptr_t>(handle);
    return hold;
}

void release_file(long hold) {
    auto found = handles().holds.find(hold);
    if (found == handles().holds.end()) winsim_not_implemented("release_file of a hold that is not open");
    close_entry(found->second);
    handles().holds.erase(found);
}

int open_file_handles() {
    int count = 0;
    for (const auto& open : handles().handles) count += open.second.held_by_test ? 0 : 1;
    return count;
}

}  // namespace winsim

using namespace winsim;
using namespace winsim::files;

namespace {

// CreateFileA and CreateFileW, on the path the call has parsed.
HANDLE create_file(const char* call, const parsed_path& parsed, DWORD desired_access, DWORD share_mode,
                   LPSECURITY_ATTRIBUTES security_attributes, DWORD creation_disposition,
                   DWORD flags_and_attributes, HANDLE template_file) {
    auto unsupported = [call](const char* what) { winsim_not_implemented((std::string(call) + what).c_str()); };
    // The attribute rights alone give a handle that takes no part in sharing (for SetFileTime
    // on a file that others hold open).
    const DWORD supported_access =
        GENERIC_READ | GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    if (desired_access & ~supported_access)
        unsupported(" with access other than GENERIC_READ, GENERIC_WRITE, DELETE and the attribute rights");
    if (share_mode & ~(DWORD)(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        unsupported(" with an unknown share mode");
    if (security_attributes && security_attributes->lpSecurityDescriptor) unsupported(" with a security descriptor");
    if (template_file) unsupported(" with a template file");
    const DWORD attribute_bits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                 FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD flag_bits = FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_RANDOM_ACCESS | FILE_FLAG_WRITE_THROUGH;
    if (flags_and_attributes & ~(attribute_bits | flag_bits))
        unsupported(" with flags other than sequential, random access, write-through");
    if (creation_disposition == TRUNCATE_EXISTING && !(desired_access & GENERIC_WRITE))
        winsim_not_implemented("TRUNCATE_EXISTING without GENERIC_WRITE");

    DWORD error = 0;
    if (call_fails(call, parsed.full, -1, &error)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (creation_disposition < CREATE_NEW || creation_disposition > TRUNCATE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    open_request request{file_rights_of(desired_access), share_mode, creation_disposition,
                         flags_and_attributes & attribute_bits & ~(DWORD)FILE_ATTRIBUTE_NORMAL};
    std::shared_ptr<node> opened;
    bool existed = false;
    error = open_entry(parsed, request, &opened, &existed);
    if (error) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (existed && (creation_disposition == CREATE_ALWAYS || creation_disposition == TRUNCATE_EXISTING)) {
        opened->data.clear();
        opened->written = clock_now();
        if (creation_disposition == CREATE_ALWAYS) opened->attributes = request.attributes | FILE_ATTRIBUTE_ARCHIVE;
        else opened->attributes |= FILE_ATTRIBUTE_ARCHIVE;
    }
    HANDLE handle = new_handle(opened, parsed.full, request.access, share_mode, false);
    const bool reports_existing =
        existed && (creation_disposition == CREATE_ALWAYS || creation_disposition == OPEN_ALWAYS);
    SetLastError(reports_existing ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR file_name, DWORD desired_access, DWORD share_mode,
                          LPSECURITY_ATTRIBUTES security_attributes, DWORD creation_disposition,
                          DWORD flags_and_attributes, HANDLE template_file) {
    return create_file("CreateFileA", parse_path(file_name, path_use::plain, true, path_form::ansi), desired_access,
                       share_mode, security_attributes, creation_disposition, flags_and_attributes, template_file);
}

HANDLE WINAPI CreateFileW(LPCWSTR file_name, DWORD desired_access, DWORD share_mode,
                          LPSECURITY_ATTRIBUTES security_attributes, DWORD creation_disposition,
                          DWORD flags_and_attributes, HANDLE template_file) {
    if (!file_name) winsim_not_implemented("a null path");
    const std::string path = internal_from_utf16(file_name);
    return create_file("CreateFileW", parse_path(path.c_str(), path_use::plain, true, path_form::internal),
                       desired_access, share_mode, security_attributes, creation_disposition,
                       flags_and_attributes, template_file);
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytes_to_read, LPDWORD bytes_read,
                     LPOVERLAPPED overlapped) {
    if (overlapped) winsim_not_implemented("ReadFile with an OVERLAPPED structure");
    if (!bytes_read) winsim_not_implemented("ReadFile without a count of bytes read");
    file_handle* handle = find_handle(file);
    DWORD error = 0;
    if (faulted("ReadFile", handle, &error)) {
        *bytes_read = 0;
        return fail(error);
    }
    *bytes_read = 0;
    if (!handle) return fail(ERROR_INVALID_HANDLE);
    if (!(handle->access & FILE_READ_DATA)) return fail(ERROR_ACCESS_DENIED);
    const std::vector<unsigned char>& data = handle->file->data;
    if (handle->position < data.size()) {
        size_t count = data.size() - handle->position;
        if (count > bytes_to_read) count = bytes_to_read;
        memcpy(buffer, data.data() + handle->position, count);
        handle->position += count;
        *bytes_read = static_cast<DWORD>(count);
    }
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes_to_write, LPDWORD bytes_written,
                      LPOVERLAPPED overlapped) {
    if (overlapped) winsim_not_implemented("WriteFile with an OVERLAPPED structure");
    if (!bytes_written) winsim_not_implemented("WriteFile without a count of bytes written");
    file_handle* handle = find_handle(file);
    DWORD error = 0;
    if (faulted("WriteFile", handle, &error)) {
        *bytes_written = 0;
        return fail(error);
    }
    *bytes_written = 0;
    if (!handle) return fail(ERROR_INVALID_HANDLE);
    if (!(handle->access & FILE_WRITE_DATA)) return fail(ERROR_ACCESS_DENIED);
    if (bytes_to_write == 0) return TRUE;  // a null write changes nothing
    if (handle->position + bytes_to_write > largest_file) winsim_not_implemented("files over 1 GiB");
    std::vector<unsigned char>& data = handle->file->data;
    if (data.size() < handle->position + bytes_to_write) data.resize(handle->position + bytes_to_write, 0);
    memcpy(data.data() + handle->position, buffer, bytes_to_write);
    handle->position += bytes_to_write;
    *bytes_written = bytes_to_write;
    note_write(handle);
    return TRUE;
}

BOOL WINAPI SetEndOfFile(HANDLE file) {
    file_handle* handle = find_handle(file);
    DWORD error = 0;
    if (faulted("SetEndOfFile", handle, &error)) return fail(error);
    if (!handle) return fail(ERROR_INVALID_HANDLE);
    if (!(handle->access & FILE_WRITE_DATA))
        winsim_not_implemented("SetEndOfFile on a handle without write access");
    if (handle->position > largest_file) winsim_not_implemented("files over 1 GiB");
    handle->file->data.resize(handle->position, 0);
    note_write(handle);
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance_to_move, PLONG distance_to_move_high,
                            DWORD move_method) {
    file_handle* handle = find_handle(file);
    DWORD error = 0;
    if (faulted("SetFilePointer", handle, &error)) {
        SetLastError(error);
        return INVALID_SET_FILE_POINTER;
    }
    if (!handle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    long long distance = distance_to_move_high
                             ? static_cast<long long>((static_cast<unsigned long long>(
                                                           static_cast<DWORD>(*distance_to_move_high)) << 32) |
                                                      static_cast<DWORD>(distance_to_move))
                             : distance_to_move;
    long long base = 0;
    switch (move_method) {
        case FILE_BEGIN: base = 0; break;
        case FILE_CURRENT: base = static_cast<long long>(handle->position); break;
        case FILE_END: base = static_cast<long long>(handle->file->data.size()); break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
    }
    long long position = base + distance;
    if (position < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (static_cast<unsigned long long>(position) > largest_file) winsim_not_implemented("files over 1 GiB");
    handle->position = static_cast<unsigned long long>(position);
    if (distance_to_move_high) *distance_to_move_high = static_cast<LONG>(position >> 32);
    // INVALID_SET_FILE_POINTER is also a valid low part: the caller then looks at the last error.
    if (static_cast<DWORD>(position) == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
    return static_cast<DWORD>(position);
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD file_size_high) {
    file_handle* handle = find_handle(file);
    DWORD error = 0;
    if (faulted("GetFileSize", handle, &error)) {
        SetLastError(error);
        return INVALID_FILE_SIZE;
    }
    if (!handle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    // The size needs no access right.
    unsigned long long size = handle->file->data.size();
    if (file_size_high) *file_size_high = static_cast<DWORD>(size >> 32);
    if (static_cast<DWORD>(size) == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
    return static_cast<DWORD>(size);
}

BOOL WINAPI SetFileTime(HANDLE file, const FILETIME* creation_time, const FILETIME* last_access_time,
                        const FILETIME* last_write_time) {
    file_handle* handle = find_handle(file);
    DWORD error = 0;
    if (faulted("SetFileTime", handle, &error)) return fail(error);
    if (!handle) return fail(ERROR_INVALID_HANDLE);
    if (!(handle->access & FILE_WRITE_ATTRIBUTES)) return fail(ERROR_ACCESS_DENIED);
    const FILETIME* times[] = {creation_time, last_access_time, last_write_time};
    for (const FILETIME* time : times) {
        if (time && time->dwHighDateTime == 0xFFFFFFFF && time->dwLowDateTime >= 0xFFFFFFFE)
            winsim_not_implemented("SetFileTime with the values that stop or resume time updates");
    }
    node* entry = handle->file.get();
    // A zero time leaves the time as it is.
    if (creation_time && from_filetime(*creation_time)) entry->created = from_filetime(*creation_time);
    if (last_access_time && from_filetime(*last_access_time)) entry->accessed = from_filetime(*last_access_time);
    if (last_write_time && from_filetime(*last_write_time)) {
        entry->written = from_filetime(*last_write_time);
        handle->user_set_write = true;
    }
    return TRUE;
}

BOOL WINAPI GetFileTime(HANDLE file, LPFILETIME creation_time, LPFILETIME last_access_time,
                        LPFILETIME last_write_time) {
    file_handle* handle = find_handle(file);
    DWORD error = 0;
    if (faulted("GetFileTime", handle, &error)) return fail(error);
    if (!handle) return fail(ERROR_INVALID_HANDLE);
    if (!(handle->access & FILE_READ_ATTRIBUTES)) return fail(ERROR_ACCESS_DENIED);
    const node* entry = handle->file.get();
    if (creation_time) *creation_time = to_filetime(entry->created);
    if (last_access_time) *last_access_time = to_filetime(entry->accessed);
    if (last_write_time) *last_write_time = to_filetime(entry->written);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object) {
    file_handle* handle = find_handle(object);
    DWORD error = 0;
    if (faulted("CloseHandle", handle, &error)) return fail(error);
    // The pseudo handle of the current process: closing it does nothing.
    if (object == INVALID_HANDLE_VALUE) return TRUE;
    if (handle) {
        close_entry(reinterpret_cast<uintptr_t>(object));
        return TRUE;
    }
    if (close_process_handle(object)) return TRUE;
    if (close_mutex_handle(object)) return TRUE;
    if (close_user_object_handle(object)) return TRUE;
    return fail(ERROR_INVALID_HANDLE);
}
