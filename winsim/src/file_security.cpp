// The simulated file security: each file's and folder's DACL, the default one, denials, and the readable description.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/security_control.h>
#include <winsim/winfile.h>

#include "file_system.h"
#include "image_format.h"
#include "security_formats.h"
#include "wide_names.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <memory>
#include <set>

namespace winsim {

namespace {

using security::stored_dacl;

// A descriptor of its own, with the entry it was given to: when that entry has left the tree
// (deleted, or replaced by a new one of the same name), the path has the default one again.
struct own_descriptor {
    std::weak_ptr<files::node> entry;
    stored_dacl dacl;
};

struct file_security_state {
    std::map<std::string, own_descriptor> descriptors;
    std::set<std::string> read_denied;
    std::set<std::string> write_denied;
    default_owner owner_policy = default_owner::administrators_group;
};

file_security_state& state() {
    static file_security_state s;
    return s;
}

const char* const administrators_sid = "S-1-5-32-544";

const char* const default_folder_description =
    "dacl auto_inherited; allow OI|CI|ID 0x001F01FF S-1-5-18; "
    "allow OI|CI|ID 0x001F01FF S-1-5-32-544; allow OI|CI|ID 0x001200A9 S-1-5-32-545";
const char* const default_file_description =
    "dacl auto_inherited; allow ID 0x001F01FF S-1-5-18; "
    "allow ID 0x001F01FF S-1-5-32-544; allow ID 0x001200A9 S-1-5-32-545";

// How a path reaches the store: from the program's 8-bit calls, after WOW64 redirection, or
// as a real path in the internal form (the test control, and the store's own keys).
files::parsed_path parse_located(const char* path, bool from_program) {
    return files::parse_path(path, files::path_use::plain, from_program,
                             from_program ? files::path_form::ansi : files::path_form::internal);
}

// The store's key of a path: its full path as the file system normalizes it, upper case. Empty
// for a path the file system refuses.
std::string path_key(const char* path, bool from_program) {
    files::parsed_path parsed = parse_located(path, from_program);
    return parsed.error ? std::string() : internal_upcase(parsed.full);
}

// The entry a path names now, with its key; entry is null when the path names nothing.
struct located_entry {
    std::string key;
    std::shared_ptr<files::node> entry;
};

located_entry locate(const char* path, bool from_program) {
    located_entry result;
    files::parsed_path parsed = parse_located(path, from_program);
    if (parsed.error) return result;
    files::lookup_result found = files::look_up(parsed);
    if (found.error || !found.target || found.target->delete_pending) return result;
    result.key = internal_upcase(parsed.full);
    if (!found.target->parent) {
        result.entry = parsed.root;
    } else {
        for (const std::shared_ptr<files::node>& child : found.target->parent->children)
            if (child.get() == found.target) result.entry = child;
    }
    return result;
}

// The user's temporary folder inherits from the profile: SYSTEM, the Administrators and the
// user hold full control. The Windows folder's Temp is protected: its users may add files and
// folders (and reach them), but only the creator (CREATOR OWNER), SYSTEM and the Administrators
// may change or remove what is in it.
const char* const windows_temp_description =
    "dacl protected; allow OI|CI 0x001F01FF S-1-5-18; allow OI|CI 0x001F01FF S-1-5-32-544; "
    "allow CI 0x00100026 S-1-5-32-545; allow OI|CI|IO 0x001F01FF S-1-3-0";

std::string user_temp_description() {
    return std::string("dacl auto_inherited; allow OI|CI|ID 0x001F01FF S-1-5-18; "
                       "allow OI|CI|ID 0x001F01FF S-1-5-32-544; allow OI|CI|ID 0x001F01FF ") +
           current_user_sid;
}

// The DACL of an entry without one of its own: that of the two temporary folders of the
// machine, or the default one. The user owns the temporary folder of the profile; the
// Administrators group stands for the owner of everything else.
stored_dacl default_dacl(const std::string& key, bool folder) {
    const standard_folder_paths& paths = standard_folders();
    std::string description = folder ? default_folder_description : default_file_description;
    std::string owner = administrators_sid;
    if (folder && key == internal_upcase(paths.temp)) {
        description = user_temp_description();
        owner = current_user_sid;
    } else if (folder && key == internal_upcase(paths.windows + "\\Temp")) {
        description = windows_temp_description;
    }
    stored_dacl dacl;
    security::parse_description(description, &dacl, nullptr);
    dacl.owner = owner;
    return dacl;
}

// The path's own descriptor, when it still belongs to the entry the path names.
const own_descriptor* own(const located_entry& where) {
    auto found = state().descriptors.find(where.key);
    if (found == state().descriptors.end()) return nullptr;
    if (found->second.entry.lock() != where.entry) {
        state().descriptors.erase(found);
        return nullptr;
    }
    return &found->second;
}

stored_dacl current_dacl(const located_entry& where) {
    const own_descriptor* descriptor = own(where);
    return descriptor ? descriptor->dacl : default_dacl(where.key, where.entry->folder);
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

WORD read_word(const BYTE* p) { return (WORD)(p[0] | (p[1] << 8)); }
DWORD read_dword(const BYTE* p) {
    return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}
void put_word(BYTE* p, WORD value) {
    p[0] = (BYTE)value;
    p[1] = (BYTE)(value >> 8);
}
void put_dword(BYTE* p, DWORD value) {
    for (int b = 0; b < 4; b++) p[b] = (BYTE)(value >> (8 * b));
}

struct flag_name {
    BYTE flag;
    const char* name;
};
const flag_name ace_flag_names[] = {
    {OBJECT_INHERIT_ACE, "OI"}, {CONTAINER_INHERIT_ACE, "CI"}, {NO_PROPAGATE_INHERIT_ACE, "NP"},
    {INHERIT_ONLY_ACE, "IO"},   {INHERITED_ACE, "ID"},
};

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t begin = 0;
    for (;;) {
        size_t end = text.find(separator, begin);
        parts.push_back(text.substr(begin, end == std::string::npos ? end : end - begin));
        if (end == std::string::npos) break;
        begin = end + 1;
    }
    return parts;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> result;
    for (const std::string& part : split(trim(text), ' '))
        if (!part.empty()) result.push_back(part);
    return result;
}

bool set_error(std::string* error, const std::string& message) {
    if (error) *error = message;
    return false;
}

// Appends one allow or deny ACE "<type> <flags> <mask> <sid>" to the ACL bytes.
bool parse_ace(const std::string& item, std::vector<BYTE>* acl, std::string* error) {
    std::vector<std::string> parts = words(item);
    if (parts.size() != 4) return set_error(error, "an ACE needs type, flags, mask and SID: " + item);
    BYTE type;
    if (parts[0] == "allow")
        type = ACCESS_ALLOWED_ACE_TYPE;
    else if (parts[0] == "deny")
        type = ACCESS_DENIED_ACE_TYPE;
    else
        return set_error(error, "unknown ACE type: " + parts[0]);

    BYTE flags = 0;
    if (parts[1] != "-") {
        for (const std::string& name : split(parts[1], '|')) {
            bool known = false;
            for (const flag_name& entry : ace_flag_names)
                if (name == entry.name) {
                    flags |= entry.flag;
                    known = true;
                }
            if (!known) return set_error(error, "unknown ACE flag: " + name);
        }
    }

    const std::string& mask_text = parts[2];
    if (mask_text.size() != 10 || mask_text.compare(0, 2, "0x") != 0 ||
        mask_text.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos)
        return set_error(error, "a mask is 0x and eight hex digits: " + mask_text);
    DWORD mask = (DWORD)strtoul(mask_text.c_str() + 2, nullptr, 16);

    std::vector<BYTE> sid;
    if (!security::parse_sid(parts[3], &sid)) return set_error(error, "malformed SID: " + parts[3]);

    security::append_ace(acl, type, flags, mask, sid);
    return true;
}

// Keeps the path's DACL taken from a descriptor handed to SetFileSecurityA.
stored_dacl dacl_from_descriptor(const void* descriptor) {
    security::descriptor_view view = security::view_descriptor(descriptor);
    if (view.revision != SECURITY_DESCRIPTOR_REVISION)
        winsim_not_implemented("SetFileSecurityA of a descriptor of an unknown revision");
    stored_dacl dacl;
    dacl.present = view.dacl_present;
    dacl.null_dacl = view.dacl_present && !view.dacl;
    // A request for automatic inheritance leaves the DACL marked as auto-inherited. The
    // inherited ACEs are kept as given; they are not derived again from the parent folder.
    dacl.control = view.control & (SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED);
    if (view.control & SE_DACL_AUTO_INHERIT_REQ) dacl.control |= SE_DACL_AUTO_INHERITED;
    if (view.dacl) {
        if (!security::acl_is_valid(view.dacl))
            winsim_not_implemented("SetFileSecurityA of a malformed DACL");
        const BYTE* acl = reinterpret_cast<const BYTE*>(view.dacl);
        DWORD offset = sizeof(ACL);
        for (WORD i = 0; i < view.dacl->AceCount; i++) {
            BYTE type = acl[offset];
            if (type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_DENIED_ACE_TYPE)
                winsim_not_implemented("SetFileSecurityA of a DACL with ACEs other than allow and deny");
            if (acl[offset + 1] & ~VALID_INHERIT_FLAGS)
                winsim_not_implemented("SetFileSecurityA of an ACE with flags beyond the inheritance flags");
            offset += read_word(acl + offset + 2);
        }
        dacl.acl.assign(acl, acl + view.dacl->AclSize);
    }
    return dacl;
}

}  // namespace

namespace security {

std::vector<BYTE> self_relative_bytes(const stored_dacl& dacl) {
    std::vector<BYTE> result(sizeof(SECURITY_DESCRIPTOR_RELATIVE), 0);
    WORD control = (WORD)(SE_SELF_RELATIVE | dacl.control | (dacl.present ? SE_DACL_PRESENT : 0));
    result[0] = SECURITY_DESCRIPTOR_REVISION;
    put_word(&result[2], control);
    if (dacl.present && !dacl.null_dacl) {
        put_dword(&result[16], (DWORD)result.size());
        result.insert(result.end(), dacl.acl.begin(), dacl.acl.end());
    }
    return result;
}

bool entry_dacl(const char* path, stored_dacl* dacl, bool* own_dacl) {
    located_entry where = locate(path, false);
    if (!where.entry) return false;
    *dacl = current_dacl(where);
    if (own_dacl) *own_dacl = own(where) != nullptr;
    return true;
}

void give_entry_dacl(const char* path, const stored_dacl& dacl) {
    located_entry where = locate(path, false);
    if (!where.entry) winsim_not_implemented("a descriptor for an entry the file system cannot locate");
    state().descriptors[where.key] = own_descriptor{where.entry, dacl};
}

std::string describe(const stored_dacl& dacl) {
    std::string text = !dacl.present ? "no dacl" : dacl.null_dacl ? "null dacl" : "dacl";
    if (dacl.control & SE_DACL_AUTO_INHERITED) text += " auto_inherited";
    if (dacl.control & SE_DACL_PROTECTED) text += " protected";
    if (!dacl.present || dacl.null_dacl) return text;
    const BYTE* acl = dacl.acl.data();
    DWORD offset = sizeof(ACL);
    for (WORD i = 0; i < read_word(acl + 4); i++) {
        const BYTE* ace = acl + offset;
        text += ace[0] == ACCESS_ALLOWED_ACE_TYPE ? "; allow " : "; deny ";
        std::string flags;
        for (const flag_name& entry : ace_flag_names)
            if (ace[1] & entry.flag) flags += (flags.empty() ? "" : "|") + std::string(entry.name);
        text += flags.empty() ? "-" : flags;
        char mask[16];
        snprintf(mask, sizeof mask, " 0x%08lX ", (unsigned long)read_dword(ace + 4));
        text += mask;
        text += sid_text(ace + 8);
        offset += read_word(ace + 2);
    }
    return text;
}

bool parse_description(const std::string& text, stored_dacl* dacl, std::string* error) {
    std::vector<std::string> items = split(text, ';');
    std::vector<std::string> head = words(items[0]);
    stored_dacl result;
    size_t next = 0;
    if (head.size() >= 2 && head[0] == "no" && head[1] == "dacl") {
        next = 2;
    } else if (head.size() >= 2 && head[0] == "null" && head[1] == "dacl") {
        result.present = true;
        result.null_dacl = true;
        next = 2;
    } else if (!head.empty() && head[0] == "dacl") {
        result.present = true;
        next = 1;
    } else {
        return set_error(error, "a description starts with \"dacl\", \"null dacl\" or \"no dacl\"");
    }
    for (; next < head.size(); next++) {
        if (head[next] == "auto_inherited")
            result.control |= SE_DACL_AUTO_INHERITED;
        else if (head[next] == "protected")
            result.control |= SE_DACL_PROTECTED;
        else
            return set_error(error, "unknown control word: " + head[next]);
    }
    if (result.present && !result.null_dacl) {
        std::vector<BYTE> acl(sizeof(ACL), 0);
        for (size_t i = 1; i < items.size(); i++)
            if (!parse_ace(items[i], &acl, error)) return false;
        if (acl.size() > 0xFFFF) return set_error(error, "the ACL is larger than 64 KB");
        acl[0] = ACL_REVISION;
        put_word(&acl[2], (WORD)acl.size());
        put_word(&acl[4], (WORD)(items.size() - 1));
        result.acl = acl;
    } else if (items.size() > 1) {
        return set_error(error, "ACEs need a DACL: " + text);
    }
    *dacl = result;
    return true;
}

void append_ace(std::vector<BYTE>* acl, BYTE type, BYTE flags, DWORD mask,
                const std::vector<BYTE>& sid) {
    size_t at = acl->size();
    size_t size = 8 + sid.size();
    acl->resize(at + size);
    BYTE* ace = acl->data() + at;
    ace[0] = type;
    ace[1] = flags;
    put_word(ace + 2, (WORD)size);
    put_dword(ace + 4, mask);
    memcpy(ace + 8, sid.data(), sid.size());
}

}  // namespace security

void reset_file_security() { state() = file_security_state(); }

// The owner is the descriptor's, or the default owner of the program's token: the program
// runs as an administrator, so the policy decides between the group and the user's account.
// Its token may assign either; any other owner would need a privilege.
void set_created_entry_security(const char* path, const void* descriptor) {
    located_entry where = locate(path, true);
    if (!where.entry) winsim_not_implemented("a descriptor for an entry the file system cannot locate");
    stored_dacl dacl = dacl_from_descriptor(descriptor);
    const void* owner = security::view_descriptor(descriptor).owner;
    if (owner) {
        if (!security::sid_is_valid(owner)) winsim_not_implemented("CreateDirectoryA with an invalid owner SID");
        dacl.owner = security::sid_text(owner);
        if (dacl.owner != administrators_sid && dacl.owner != current_user_sid)
            winsim_not_implemented("CreateDirectoryA with an owner other than the Administrators group or the user");
    } else {
        dacl.owner = state().owner_policy == default_owner::creator ? current_user_sid : administrators_sid;
    }
    state().descriptors[where.key] = own_descriptor{where.entry, dacl};
}

// The descriptors that still belong to the entries their paths name; denials stay with the
// machine, as the access rules of the registry do.
void save_file_security_image(image::writer* out) {
    std::vector<std::pair<std::string, const stored_dacl*>> kept;
    for (const auto& descriptor : state().descriptors) {
        located_entry where = locate(descriptor.first.c_str(), false);
        if (where.entry && descriptor.second.entry.lock() == where.entry)
            kept.push_back({descriptor.first, &descriptor.second.dacl});
    }
    out->number(kept.size());
    for (const auto& descriptor : kept) {
        out->text(descriptor.first);
        out->number(descriptor.second->present);
        out->number(descriptor.second->null_dacl);
        out->number(descriptor.second->control);
        out->data(descriptor.second->acl);
        out->text(descriptor.second->owner);
    }
}

bool load_file_security_image(image::reader* in) {
    state().descriptors.clear();
    uint64_t count = in->number();
    for (uint64_t i = 0; i < count && in->ok(); ++i) {
        std::string key = in->text();
        stored_dacl dacl;
        dacl.present = in->number() != 0;
        dacl.null_dacl = in->number() != 0;
        dacl.control = static_cast<SECURITY_DESCRIPTOR_CONTROL>(in->number());
        dacl.acl = in->data();
        dacl.owner = in->text();
        located_entry where = locate(key.c_str(), false);
        if (!where.entry) return false;
        state().descriptors[where.key] = own_descriptor{where.entry, dacl};
    }
    return in->ok();
}

bool set_file_security(const char* path, const char* description, std::string* error) {
    located_entry where = locate(path, false);
    if (!where.entry) {
        if (error) *error = std::string("no such file or folder: ") + path;
        return false;
    }
    stored_dacl dacl;
    if (!security::parse_description(description, &dacl, error)) return false;
    dacl.owner = current_dacl(where).owner;
    state().descriptors[where.key] = own_descriptor{where.entry, dacl};
    return true;
}

void set_default_owner_of_administrators_objects(default_owner owner) { state().owner_policy = owner; }

std::string file_owner(const char* path) {
    located_entry where = locate(path, false);
    return where.entry ? current_dacl(where).owner : std::string();
}

std::string file_security(const char* path) {
    located_entry where = locate(path, false);
    return where.entry ? security::describe(current_dacl(where)) : std::string();
}

bool has_own_file_security(const char* path) {
    located_entry where = locate(path, false);
    return where.entry && own(where) != nullptr;
}

void forget_file_security(const char* path) { state().descriptors.erase(path_key(path, false)); }

void deny_file_security_read(const char* path) { state().read_denied.insert(path_key(path, false)); }
void deny_file_security_write(const char* path) { state().write_denied.insert(path_key(path, false)); }

}  // namespace winsim

using namespace winsim;

// The entry GetFileSecurityA or SetFileSecurityA acts on. Whether it exists is asked through
// GetFileAttributesA, which also sets the error of a missing path (2 or 3) or a bad one.
static bool find_file_entry(const char* file_name, located_entry* where) {
    if (GetFileAttributesA(file_name) == INVALID_FILE_ATTRIBUTES) return false;
    *where = locate(file_name, true);
    if (!where->entry) winsim_not_implemented("file security of an entry the file system cannot locate");
    return true;
}

BOOL WINAPI GetFileSecurityA(LPCSTR file_name, SECURITY_INFORMATION requested,
                             PSECURITY_DESCRIPTOR descriptor, DWORD length, LPDWORD length_needed) {
    if (requested != DACL_SECURITY_INFORMATION)
        winsim_not_implemented("GetFileSecurityA for anything but DACL_SECURITY_INFORMATION");
    if (!file_name) winsim_not_implemented("GetFileSecurityA without a path");
    if (!length_needed) winsim_not_implemented("GetFileSecurityA without a length out-parameter");
    DWORD error = 0;
    if (call_fails("GetFileSecurityA", file_name, -1, &error)) return fail(error);
    located_entry where;
    if (!find_file_entry(file_name, &where)) return FALSE;
    if (state().read_denied.count(where.key)) return fail(ERROR_ACCESS_DENIED);

    std::vector<BYTE> self_relative = security::self_relative_bytes(current_dacl(where));
    *length_needed = (DWORD)self_relative.size();
    if (length < self_relative.size()) return fail(ERROR_INSUFFICIENT_BUFFER);
    if (!descriptor) winsim_not_implemented("GetFileSecurityA with a length but no buffer");
    memcpy(descriptor, self_relative.data(), self_relative.size());
    return TRUE;
}

BOOL WINAPI SetFileSecurityA(LPCSTR file_name, SECURITY_INFORMATION information,
                             PSECURITY_DESCRIPTOR descriptor) {
    if (information != DACL_SECURITY_INFORMATION)
        winsim_not_implemented("SetFileSecurityA for anything but DACL_SECURITY_INFORMATION");
    if (!file_name) winsim_not_implemented("SetFileSecurityA without a path");
    if (!descriptor) winsim_not_implemented("SetFileSecurityA without a descriptor");
    DWORD error = 0;
    if (call_fails("SetFileSecurityA", file_name, -1, &error)) return fail(error);
    located_entry where;
    if (!find_file_entry(file_name, &where)) return FALSE;
    if (state().write_denied.count(where.key)) return fail(ERROR_ACCESS_DENIED);
    // Only the DACL is written: the entry keeps its owner.
    stored_dacl dacl = dacl_from_descriptor(descriptor);
    dacl.owner = current_dacl(where).owner;
    state().descriptors[where.key] = own_descriptor{where.entry, dacl};
    return TRUE;
}
