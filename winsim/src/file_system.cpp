// The simulated file system: drives and shares, the standard folders, path normalization and WOW64 redirection, and its test control.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/desktop_control.h>
#include <winsim/files_control.h>

#include "codepage.h"
#include "file_system.h"
#include "image_format.h"
#include "subsystems.h"
#include "wide_names.h"
#include "wow64_state.h"

#include <stdio.h>
#include <string.h>

#include <map>
#include <set>

namespace winsim {
namespace files {

namespace {

struct fs_state {
    std::map<char, std::shared_ptr<node>> drives;       // by upper-case letter
    std::map<std::string, std::shared_ptr<node>> shares;  // by upper-cased "\\\\SERVER\\SHARE"
    std::set<std::string> servers;                      // upper-cased server names
    int bitness = 64;
    std::string user = "Anwender";
    std::string temp;  // ends with a backslash
    ticks clock = 0;
    bool redirection_disabled = false;
    bool ansi_best_fit = true;
    standard_folder_paths folders;
};

fs_state& fs() {
    static fs_state state;
    return state;
}

const ticks ticks_per_second = 10000000ULL;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long days_from_civil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
    const unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + static_cast<long long>(day_of_era) - 719468;
}

void civil_from_days(long long days, int* year, int* month, int* day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned day_of_era = static_cast<unsigned>(days - era * 146097);
    const unsigned year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const unsigned mp = (5 * day_of_year + 2) / 153;
    *day = static_cast<int>(day_of_year - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(static_cast<long long>(year_of_era) + era * 400 + (*month <= 2));
}

const long long days_1601_to_1970 = -days_from_civil(1601, 1, 1);

std::string time_text(ticks count) {
    long long seconds = static_cast<long long>(count / ticks_per_second);
    unsigned long long below = count % ticks_per_second;
    long long days = seconds / 86400 - days_1601_to_1970;
    long long in_day = seconds % 86400;
    int year, month, day;
    civil_from_days(days, &year, &month, &day);
    char text[64];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%07llu", year, month, day,
             static_cast<int>(in_day / 3600), static_cast<int>(in_day / 60 % 60),
             static_cast<int>(in_day % 60), below);
    return text;
}

std::string upper(const std::string& text) { return internal_upcase(text); }

bool same_name(const std::string& a, const std::string& b) { return internal_equal_nocase(a, b); }

std::shared_ptr<node> make_root(const std::string& name, bool volume_root) {
    auto root = std::make_shared<node>();
    root->name = name;
    root->folder = true;
    root->volume_root = volume_root;
    root->attributes = FILE_ATTRIBUTE_DIRECTORY;
    if (volume_root) root->attributes |= FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    root->created = root->accessed = root->written = fs().clock;
    return root;
}

node* make_folder(node* parent, const char* name, DWORD extra_attributes = 0) {
    node* folder = find_child(parent, name);
    if (!folder) folder = add_child(parent, name, true).get();
    folder->attributes |= extra_attributes;
    return folder;
}

// Microsoft\Windows\Start Menu\Programs below the folder (the user's or all users' data).
void make_start_menu(node* data) {
    make_folder(make_folder(make_folder(make_folder(data, "Microsoft"), "Windows"), "Start Menu"),
                "Programs");
}

// The standard folders of a German Windows 10 for the configured bitness and user.
void build_machine() {
    fs_state& state = fs();
    state.drives.clear();
    state.shares.clear();
    state.servers.clear();
    state.redirection_disabled = false;
    std::shared_ptr<node> c = make_root("C:", true);
    state.drives['C'] = c;
    standard_folder_paths& paths = state.folders;
    paths = standard_folder_paths();

    make_folder(c.get(), "Program Files");
    paths.program_files = "C:\\Program Files";
    if (state.bitness == 64) {
        make_folder(c.get(), "Program Files (x86)");
        paths.program_files_x86 = "C:\\Program Files (x86)";
    }
    node* program_data = make_folder(c.get(), "ProgramData", FILE_ATTRIBUTE_HIDDEN);
    paths.program_data = "C:\\ProgramData";
    make_start_menu(program_data);
    node* users = make_folder(c.get(), "Users");
    paths.users = "C:\\Users";
    make_folder(make_folder(users, "Public"), "Desktop");
    paths.public_desktop = "C:\\Users\\Public\\Desktop";
    node* profile = make_folder(users, state.user.c_str());
    paths.user_profile = "C:\\Users\\" + state.user;
    node* app_data = make_folder(profile, "AppData", FILE_ATTRIBUTE_HIDDEN);
    make_folder(make_folder(app_data, "Local"), "Temp");
    make_start_menu(make_folder(app_data, "Roaming"));
    paths.app_data = paths.user_profile + "\\AppData\\Roaming";
    paths.local_app_data = paths.user_profile + "\\AppData\\Local";
    paths.temp = paths.local_app_data + "\\Temp";
    make_folder(profile, "Desktop");
    make_folder(profile, "Documents");
    paths.desktop = paths.user_profile + "\\Desktop";
    paths.documents = paths.user_profile + "\\Documents";

    node* windows = make_folder(c.get(), "Windows");
    paths.windows = "C:\\Windows";
    make_folder(windows, "Fonts");
    make_folder(windows, "Temp");
    node* system32 = make_folder(windows, "System32");
    make_folder(make_folder(system32, "drivers"), "etc");
    paths.system32 = "C:\\Windows\\system32";  // as GetSystemDirectoryA spells it; on disk "System32"
    if (state.bitness == 64) {
        make_folder(windows, "SysWOW64");
        paths.syswow64 = "C:\\Windows\\SysWOW64";
    }
    state.temp = paths.temp + "\\";
}

bool has_wildcard(const std::string& name) {
    return name.find_first_of("*?") != std::string::npos;
}

// Characters NTFS refuses in a name: controls and < > : " / \ | ? *.
DWORD name_error(const std::string& name, path_use use, bool pattern_name) {
    if (internal_length(name) > 255) return ERROR_INVALID_NAME;
    for (size_t position = 0; position < name.size();) {
        char16_t c = next_unit(name, &position);
        if (c < 0x20 || c == '|') return ERROR_INVALID_NAME;
        if (c == '<' || c == '>' || c == '"') {
            if (pattern_name) winsim_not_implemented("DOS wildcards (< > \") in a FindFirstFileA pattern");
            return ERROR_INVALID_NAME;
        }
        if (c == '*' || c == '?') {
            if (!pattern_name) return ERROR_INVALID_NAME;
        }
        if (c == ':') {
            // A colon names an alternate data stream, which winsim does not have; CreateDirectoryA
            // refuses it as an invalid name.
            if (use != path_use::create_folder)
                winsim_not_implemented("alternate data streams (a colon in a path's name)");
            return ERROR_INVALID_NAME;
        }
    }
    return 0;
}

// C:\Windows\System32 reaches C:\Windows\SysWOW64 for a WOW64 process with redirection on,
// except the subfolders Windows exempts; C:\Windows\Sysnative reaches the real System32.
void redirect(std::vector<std::string>* names) {
    std::vector<std::string>& n = *names;
    if (n.size() < 2 || !same_name(n[0], "Windows")) return;
    if (same_name(n[1], "System32")) {
        bool exempt = false;
        if (n.size() >= 3) {
            for (const char* name : {"catroot", "catroot2", "driverstore", "logfiles", "spool"})
                exempt = exempt || same_name(n[2], name);
            exempt = exempt || (same_name(n[2], "drivers") && n.size() >= 4 && same_name(n[3], "etc"));
        }
        if (!exempt) n[1] = "SysWOW64";
    } else if (same_name(n[1], "Sysnative")) {
        n[1] = "System32";
    } else if (n.size() == 2 && same_name(n[1], "regedit.exe")) {
        n.insert(n.begin() + 1, "SysWOW64");
    } else if (n.size() >= 3 && same_name(n[1], "lastgood") && same_name(n[2], "System32")) {
        n[2] = "SysWOW64";
    }
}

void unlink_entry(node* entry) {
    node* parent = entry->parent;
    if (!parent) return;
    entry->parent = nullptr;
    parent->written = fs().clock;
    for (auto child = parent->children.begin(); child != parent->children.end(); ++child) {
        if (child->get() == entry) {
            parent->children.erase(child);  // may free the entry
            break;
        }
    }
}

// For the test control: the entry at a real path, or null.
node* find_entry(const char* path) {
    parsed_path parsed = parse_path(path, path_use::plain, false, path_form::internal);
    if (parsed.error) return nullptr;
    return look_up(parsed).target;
}

char attribute_letters_order[] = "RHSDATOI";
const DWORD attribute_letter_bits[] = {
    FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM,
    FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_TEMPORARY,
    FILE_ATTRIBUTE_OFFLINE, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED,
};

std::string attribute_letters(DWORD attributes) {
    std::string letters;
    for (int i = 0; i < 8; ++i) {
        if (attributes & attribute_letter_bits[i]) letters += attribute_letters_order[i];
    }
    return letters.empty() ? "N" : letters;
}

void dump_entry(const node* entry, const std::string& path, std::string* out) {
    *out += path + " | " + attribute_letters(entry->attributes) + " | " +
            (entry->folder ? std::string("-") : std::to_string(entry->data.size())) + " | " +
            time_text(entry->written);
    if (entry->delete_pending) *out += " | delete pending";
    *out += "\n";
    for (const auto& child : entry->children) {
        std::string child_path = path;
        if (child_path.back() != '\\') child_path += "\\";
        dump_entry(child.get(), child_path + child->name, out);
    }
}

// Valid settable attributes of a file or folder.
const DWORD settable_attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Creates every missing folder of a real path; the folder that holds its last name, or null.
node* make_parents(const parsed_path& parsed) {
    node* folder = parsed.root.get();
    for (size_t i = 0; i + 1 < parsed.names.size(); ++i) {
        node* child = find_child(folder, parsed.names[i]);
        if (!child) child = add_child(folder, parsed.names[i], true).get();
        if (!child->folder) return nullptr;
        folder = child;
    }
    return folder;
}

}  // namespace

std::string stored_path(const node* entry) {
    if (!entry->parent) return entry->volume_root || entry->name.rfind("\\\\", 0) == 0
                                   ? entry->name + "\\" : entry->name;
    std::string parent = stored_path(entry->parent);
    if (parent.back() != '\\') parent += "\\";
    return parent + entry->name;
}

DWORD reported_attributes(const node& entry) {
    return entry.attributes ? entry.attributes : FILE_ATTRIBUTE_NORMAL;
}

parsed_path parse_path(const char* raw, path_use use, bool redirect_path, path_form form) {
    if (!raw) winsim_not_implemented("a null path");
    parsed_path parsed;
    const size_t length = strlen(raw);
    std::string text = form == path_form::ansi ? internal_from_ansi(raw) : std::string(raw);
    parsed.full = text;
    // The A calls convert the path into a buffer of MAX_PATH + 1 characters.
    if (form == path_form::ansi && length > MAX_PATH) {
        parsed.error = ERROR_FILENAME_EXCED_RANGE;
        return parsed;
    }
    if (length == 0) {
        parsed.error = ERROR_PATH_NOT_FOUND;
        return parsed;
    }
    for (char& c : text) {
        if (c == '/') c = '\\';
    }
    fs_state& state = fs();
    std::string root_name;
    size_t rest_start = 0;
    if (text.size() >= 2 && text[0] == '\\' && text[1] == '\\') {
        if (text.size() >= 3 && (text[2] == '?' || text[2] == '.'))
            winsim_not_implemented("\\\\?\\ and \\\\.\\ paths");
        size_t server_end = text.find('\\', 2);
        std::string server = text.substr(2, server_end == std::string::npos ? std::string::npos : server_end - 2);
        if (server.empty()) winsim_not_implemented("a UNC path without a server name");
        size_t share_start = server_end == std::string::npos ? text.size() : server_end + 1;
        while (share_start < text.size() && text[share_start] == '\\') ++share_start;
        size_t share_end = text.find('\\', share_start);
        std::string share = text.substr(share_start, share_end == std::string::npos ? std::string::npos
                                                                                   : share_end - share_start);
        root_name = "\\\\" + server + "\\" + share;
        if (share.empty()) {
            parsed.error = ERROR_INVALID_NAME;  // "\\\\server" alone
            return parsed;
        }
        auto found = state.shares.find(upper(root_name));
        if (found == state.shares.end()) {
            parsed.error = state.servers.count(upper(server)) ? ERROR_BAD_NET_NAME : ERROR_BAD_NETPATH;
            return parsed;
        }
        parsed.root = found->second;
        rest_start = share_end == std::string::npos ? text.size() : share_end;
    } else if (text.size() >= 2 && isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':') {
        if (text.size() == 2 || text[2] != '\\')
            winsim_not_implemented("a path relative to a drive's current folder");
        root_name = text.substr(0, 2);
        auto found = state.drives.find(static_cast<char>(toupper(static_cast<unsigned char>(text[0]))));
        if (found != state.drives.end()) parsed.root = found->second;
        rest_start = 2;
    } else {
        winsim_not_implemented("a relative path (winsim has no current folder)");
    }

    std::vector<std::string> parts;
    std::string part;
    for (size_t i = rest_start; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += text[i];
        }
    }
    parsed.trailing_separator = text.size() > rest_start + 1 && text.back() == '\\' && !parts.empty();

    for (size_t i = 0; i < parts.size(); ++i) {
        std::string name = parts[i];
        const bool last = i + 1 == parts.size() && !parsed.trailing_separator;
        const bool pattern_name = use == path_use::pattern && last && has_wildcard(name);
        if (!pattern_name) {
            if (name == ".") continue;
            if (name == "..") {
                if (!parsed.names.empty()) parsed.names.pop_back();
                continue;
            }
            // A name's trailing periods and spaces go when it ends the path; elsewhere one
            // trailing period goes.
            if (last) {
                while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
            } else if (name.size() >= 2 && name.back() == '.' && name[name.size() - 2] != '.') {
                name.pop_back();
            } else if (name.back() == '.') {
                winsim_not_implemented("a folder name ending in several periods");
            }
            if (name.empty() || name.find_first_not_of('.') == std::string::npos)
                winsim_not_implemented("a name made of periods and spaces only");
        }
        if (DWORD error = name_error(name, use, pattern_name)) {
            if (!parsed.error) parsed.error = error;
        }
        parsed.names.push_back(name);
    }
    auto windows_drive = state.drives.find('C');
    if (redirect_path && parsed.root && windows_drive != state.drives.end() &&
        parsed.root == windows_drive->second && process_is_wow64()) {
        if (state.bitness == 32) winsim_not_implemented("a WOW64 process on a 32-bit Windows");
        if (!state.redirection_disabled) redirect(&parsed.names);
    }

    parsed.full = root_name + "\\";
    for (size_t i = 0; i < parsed.names.size(); ++i) {
        if (i) parsed.full += "\\";
        parsed.full += parsed.names[i];
    }
    if (parsed.error) return parsed;
    if (!parsed.root) {
        parsed.error = ERROR_PATH_NOT_FOUND;  // a drive letter that does not exist
        return parsed;
    }
    // CreateDirectoryA leaves room for a 8.3 name below the folder; everything else takes
    // full paths below MAX_PATH characters.
    const size_t full_length = internal_length(parsed.full);
    if (use == path_use::create_folder && full_length > MAX_PATH - 12) {
        parsed.error = ERROR_FILENAME_EXCED_RANGE;
    } else if (full_length >= MAX_PATH) {
        parsed.error = ERROR_PATH_NOT_FOUND;
    }
    return parsed;
}

lookup_result look_up(const parsed_path& parsed) {
    lookup_result result;
    node* folder = parsed.root.get();
    if (parsed.names.empty()) {
        result.target = folder;
        return result;
    }
    for (size_t i = 0; i + 1 < parsed.names.size(); ++i) {
        node* child = find_child(folder, parsed.names[i]);
        if (!child || !child->folder) {
            result.error = ERROR_PATH_NOT_FOUND;
            result.through_file = child != nullptr;
            return result;
        }
        folder = child;
    }
    result.parent = folder;
    result.target = find_child(folder, parsed.names.back());
    return result;
}

node* find_child(node* folder, const std::string& name) {
    auto& children = folder->children;
    size_t low = 0, high = children.size();
    while (low < high) {
        size_t middle = (low + high) / 2;
        if (internal_compare_nocase(children[middle]->name, name) < 0) low = middle + 1;
        else high = middle;
    }
    if (low < children.size() && same_name(children[low]->name, name)) return children[low].get();
    return nullptr;
}

std::shared_ptr<node> add_child(node* folder, const std::string& name, bool is_folder) {
    auto child = std::make_shared<node>();
    child->name = name;
    child->folder = is_folder;
    child->attributes = is_folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    child->created = child->accessed = child->written = fs().clock;
    insert_child(folder, child);
    return child;
}

void insert_child(node* folder, const std::shared_ptr<node>& entry) {
    auto& children = folder->children;
    size_t position = 0;
    while (position < children.size() && internal_compare_nocase(children[position]->name, entry->name) < 0)
        ++position;
    children.insert(children.begin() + static_cast<long>(position), entry);
    entry->parent = folder;
    folder->written = fs().clock;
}

void detach(node* entry) { unlink_entry(entry); }

void remove_entry(node* entry) {
    if (entry->open_handles > 0) {
        entry->delete_pending = true;
        return;
    }
    unlink_entry(entry);
}

void release_open(node* entry) {
    if (--entry->open_handles == 0 && entry->delete_pending) unlink_entry(entry);
}

bool is_inside(const node* entry, const node* folder) {
    for (const node* at = entry; at; at = at->parent) {
        if (at == folder) return true;
    }
    return false;
}

node* root_of(node* entry) {
    while (entry->parent) entry = entry->parent;
    return entry;
}

namespace {

void save_entry(const node* entry, image::writer* out) {
    out->text(entry->name);
    out->number(entry->folder);
    out->number(entry->attributes);
    out->number(entry->created);
    out->number(entry->accessed);
    out->number(entry->written);
    out->data(entry->data);
    // An entry deleted while handles were open goes with the last of them, which a program
    // that has ended no longer holds.
    uint64_t kept = 0;
    for (const auto& child : entry->children) kept += child->delete_pending ? 0 : 1;
    out->number(kept);
    for (const auto& child : entry->children)
        if (!child->delete_pending) save_entry(child.get(), out);
}

bool load_entry_contents(node* entry, image::reader* in, int depth) {
    if (depth > 512) return false;
    entry->folder = in->number() != 0;
    entry->attributes = static_cast<DWORD>(in->number());
    entry->created = in->number();
    entry->accessed = in->number();
    entry->written = in->number();
    entry->data = in->data();
    uint64_t count = in->number();
    for (uint64_t i = 0; i < count && in->ok(); ++i) {
        auto child = std::make_shared<node>();
        child->name = in->text();
        child->parent = entry;
        entry->children.push_back(child);
        if (!load_entry_contents(child.get(), in, depth + 1)) return false;
    }
    return in->ok();
}

void detach_all(node* entry) {
    for (auto& child : entry->children) {
        detach_all(child.get());
        child->parent = nullptr;
    }
    entry->children.clear();
}

bool load_root(const std::shared_ptr<node>& root, image::reader* in) {
    if (!root || !same_name(in->text(), root->name)) return false;
    detach_all(root.get());
    return load_entry_contents(root.get(), in, 0);
}

}  // namespace

ticks clock_now() { return fs().clock; }
int machine_bitness() { return fs().bitness; }
bool redirection_disabled() { return fs().redirection_disabled; }
void set_redirection_disabled(bool disabled) { fs().redirection_disabled = disabled; }
std::string windows_folder() { return "C:\\Windows"; }
std::string temp_path() { return fs().temp; }
bool ansi_best_fit() { return fs().ansi_best_fit; }
std::string ansi_spelling(const std::string& internal) {
    return ansi_from_internal(internal, fs().ansi_best_fit);
}

}  // namespace files

void save_files_image(image::writer* out) {
    const files::fs_state& state = files::fs();
    out->number(state.drives.size());
    for (const auto& drive : state.drives) {
        out->number(static_cast<unsigned char>(drive.first));
        files::save_entry(drive.second.get(), out);
    }
    out->number(state.shares.size());
    for (const auto& share : state.shares) {
        out->text(share.first);
        files::save_entry(share.second.get(), out);
    }
    save_image_mappings(out);
}

// The image's entries replace those below the same drives and shares, which the machine must
// have already, and its mappings the session's; the program's file handles and searches are
// gone and redirection is on again, as for a program that has ended.
bool load_files_image(image::reader* in) {
    files::fs_state& state = files::fs();
    files::reset_file_handles();
    files::reset_find_handles();
    state.redirection_disabled = false;
    uint64_t drives = in->number();
    if (drives != state.drives.size()) return false;
    for (uint64_t i = 0; i < drives; ++i) {
        auto drive = state.drives.find(static_cast<char>(in->number()));
        if (drive == state.drives.end() || !files::load_root(drive->second, in)) return false;
    }
    uint64_t shares = in->number();
    if (shares != state.shares.size()) return false;
    for (uint64_t i = 0; i < shares; ++i) {
        auto share = state.shares.find(in->text());
        if (share == state.shares.end() || !files::load_root(share->second, in)) return false;
    }
    return load_image_mappings(in);
}

using namespace files;

void reset_files() {
    fs_state& state = fs();
    state = fs_state();
    state.clock = filetime_ticks(2024, 3, 4, 10, 0, 0);
    build_machine();
    reset_file_handles();
    reset_find_handles();
    reset_image_mappings();
    reset_resources();
    reset_child_processes();
}

ULONGLONG filetime_ticks(int year, int month, int day, int hour, int minute, int second,
                         int ticks_below_second) {
    long long days = days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                     days_1601_to_1970;
    long long seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<ULONGLONG>(seconds) * ticks_per_second + static_cast<ULONGLONG>(ticks_below_second);
}

FILETIME to_filetime(ULONGLONG ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

ULONGLONG from_filetime(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
void set_file_clock(ULONGLONG ticks) { fs().clock = ticks; }
ULONGLONG file_clock() { return fs().clock; }

void set_windows_bitness(int bits) {
    if (bits != 32 && bits != 64) winsim_not_implemented("a Windows other than 32 or 64 bits");
    fs().bitness = bits;
    if (bits == 32) set_wow64(process_has_is_wow64_function(), false);
    reset_file_handles();
    reset_find_handles();
    reset_image_mappings();
    build_machine();
}

void set_user_name(const char* name) {
    fs().user = internal_from_utf8(name);
    reset_file_handles();
    reset_find_handles();
    reset_image_mappings();
    build_machine();
}

int windows_bitness() { return fs().bitness; }

void set_ansi_best_fit(bool best_fit) { fs().ansi_best_fit = best_fit; }

const standard_folder_paths& standard_folders() { return fs().folders; }

void set_temp_path(const char* path) {
    std::string temp = path;
    if (temp.empty() || temp.back() != '\\') temp += "\\";
    fs().temp = temp;
}

void add_drive(char letter) {
    char upper_letter = static_cast<char>(toupper(static_cast<unsigned char>(letter)));
    if (upper_letter < 'A' || upper_letter > 'Z') winsim_not_implemented("a drive that is not a letter");
    fs().drives[upper_letter] = make_root(std::string(1, upper_letter) + ":", true);
}

void add_unc_share(const char* share_path) {
    std::string path = share_path;
    if (path.size() < 5 || path.compare(0, 2, "\\\\") != 0)
        winsim_not_implemented("a share path other than \\\\server\\share");
    size_t server_end = path.find('\\', 2);
    if (server_end == std::string::npos || server_end == 2 || server_end + 1 >= path.size() ||
        path.find('\\', server_end + 1) != std::string::npos)
        winsim_not_implemented("a share path other than \\\\server\\share");
    fs().servers.insert(internal_upcase(path.substr(2, server_end - 2)));
    fs().shares[internal_upcase(path)] = make_root(path, false);
}

bool add_folder(const char* path, DWORD attributes) {
    parsed_path parsed = parse_path(path, path_use::plain, false, path_form::internal);
    if (parsed.error) return false;
    if (parsed.names.empty()) return true;
    node* parent = make_parents(parsed);
    if (!parent) return false;
    node* folder = find_child(parent, parsed.names.back());
    if (folder && !folder->folder) return false;
    if (!folder) folder = add_child(parent, parsed.names.back(), true).get();
    folder->attributes = FILE_ATTRIBUTE_DIRECTORY | (attributes & settable_attributes);
    return true;
}

bool add_file(const char* path, const std::string& contents, DWORD attributes) {
    parsed_path parsed = parse_path(path, path_use::plain, false, path_form::internal);
    if (parsed.error || parsed.names.empty() || parsed.trailing_separator) return false;
    node* parent = make_parents(parsed);
    if (!parent) return false;
    node* file = find_child(parent, parsed.names.back());
    if (file && file->folder) return false;
    if (!file) file = add_child(parent, parsed.names.back(), false).get();
    file->data.assign(contents.begin(), contents.end());
    file->attributes = attributes & settable_attributes;
    file->written = file->accessed = clock_now();
    return true;
}

bool set_entry_times(const char* path, ULONGLONG creation, ULONGLONG last_access, ULONGLONG last_write) {
    node* found = find_entry(path);
    if (!found) return false;
    found->created = creation;
    found->accessed = last_access;
    found->written = last_write;
    return true;
}

bool set_entry_attributes(const char* path, DWORD attributes) {
    node* found = find_entry(path);
    if (!found) return false;
    found->attributes = (attributes & settable_attributes) | (found->folder ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return true;
}

entry_info entry(const char* path) {
    entry_info info;
    node* found = find_entry(path);
    if (!found) return info;
    info.exists = true;
    info.is_folder = found->folder;
    info.name = found->name;
    info.attributes = reported_attributes(*found);
    info.size = found->data.size();
    info.creation_time = found->created;
    info.last_access_time = found->accessed;
    info.last_write_time = found->written;
    info.contents.assign(found->data.begin(), found->data.end());
    info.delete_pending = found->delete_pending;
    info.open_handles = found->open_handles;
    return info;
}

bool entry_exists(const char* path) { return find_entry(path) != nullptr; }

std::vector<std::string> list_folder(const char* path) {
    std::vector<std::string> names;
    node* found = find_entry(path);
    if (!found || !found->folder) return names;
    for (const auto& child : found->children) names.push_back(child->name);
    return names;
}

std::string dump_tree(const char* path) {
    std::string out;
    node* found = find_entry(path);
    if (found) dump_entry(found, stored_path(found), &out);
    return out;
}

}  // namespace winsim
