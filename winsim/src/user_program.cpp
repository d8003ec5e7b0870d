// Another program of the machine's user, without administrator rights: its file operations, checked against the DACLs.
#include <windows.h>
#include <winsim/files_control.h>
#include <winsim/security_control.h>

#include "codepage.h"
#include "file_system.h"
#include "security_formats.h"

#include <string.h>

#include <string>
#include <vector>

namespace winsim {

namespace {

using security::stored_dacl;

const char* const creator_owner_sid = "S-1-3-0";
const char* const administrators_sid = "S-1-5-32-544";
const char* const system_sid = "S-1-5-18";
const char* const owner_rights_sid = "S-1-3-4";
const DWORD all_shares = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The groups of the user's token besides the user: Everyone, LOCAL, INTERACTIVE, Authenticated
// Users and Users. The Administrators group is in the filtered token for deny entries only.
bool token_has(const std::string& sid, bool for_deny) {
    for (const char* group : {"S-1-1-0", "S-1-2-0", "S-1-5-4", "S-1-5-11", "S-1-5-32-545"})
        if (sid == group) return true;
    return sid == current_user_sid || (for_deny && sid == administrators_sid);
}

DWORD read_dword(const BYTE* p) {
    return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}
WORD read_word(const BYTE* p) { return (WORD)(p[0] | (p[1] << 8)); }

// The file rights a mask stands for, generic rights mapped as for files.
DWORD file_rights(DWORD mask) {
    DWORD rights = mask & 0x0FFFFFFF;
    if (mask & GENERIC_READ) rights |= FILE_GENERIC_READ;
    if (mask & GENERIC_WRITE) rights |= FILE_GENERIC_WRITE;
    if (mask & GENERIC_EXECUTE) rights |= FILE_GENERIC_EXECUTE;
    if (mask & GENERIC_ALL) rights |= FILE_ALL_ACCESS;
    return rights;
}

struct ace_view {
    BYTE type, flags;
    DWORD mask;
    std::string sid;
    std::vector<BYTE> sid_bytes;
};

std::vector<ace_view> aces_of(const stored_dacl& dacl) {
    std::vector<ace_view> aces;
    if (!dacl.present || dacl.null_dacl) return aces;
    const BYTE* acl = dacl.acl.data();
    DWORD offset = sizeof(ACL);
    for (WORD i = 0; i < read_word(acl + 4); i++) {
        const BYTE* ace = acl + offset;
        ace_view view{ace[0], ace[1], read_dword(ace + 4), security::sid_text(ace + 8), {}};
        view.sid_bytes.assign(ace + 8, ace + 8 + security::sid_length(ace + 8));
        aces.push_back(view);
        offset += read_word(ace + 2);
    }
    return aces;
}

// Whether the DACL grants the user's token all of `wanted`: the entries in order, each right
// decided by the first entry that names it; inherit-only entries do not apply. The user as
// owner has READ_CONTROL and WRITE_DAC before any entry is read, unless entries for OWNER
// RIGHTS apply: those then stand for the user.
bool grants(const stored_dacl& dacl, DWORD wanted) {
    if (!dacl.present || dacl.null_dacl) return true;
    const std::vector<ace_view> aces = aces_of(dacl);
    const bool owner = dacl.owner == current_user_sid;
    bool owner_rights = false;
    for (const ace_view& ace : aces)
        if (!(ace.flags & INHERIT_ONLY_ACE) && ace.sid == owner_rights_sid) owner_rights = true;
    DWORD granted = owner && !owner_rights ? READ_CONTROL | WRITE_DAC : 0, denied = 0;
    for (const ace_view& ace : aces) {
        if (ace.flags & INHERIT_ONLY_ACE) continue;
        bool deny = ace.type == ACCESS_DENIED_ACE_TYPE;
        if (!token_has(ace.sid, deny) && !(owner && ace.sid == owner_rights_sid)) continue;
        DWORD rights = file_rights(ace.mask);
        if (deny)
            denied |= rights & ~granted;
        else
            granted |= rights & ~denied;
    }
    return (granted & wanted) == wanted;
}

std::vector<BYTE> sid_bytes(const char* text) {
    std::vector<BYTE> sid;
    security::parse_sid(text, &sid);
    return sid;
}

// The DACL a new entry of the user's gets from its folder's inheritable entries, CREATOR OWNER
// standing for the user; without any, the default DACL of the user's token (the user and SYSTEM).
stored_dacl inherited_dacl(const stored_dacl& parent, bool folder) {
    std::vector<BYTE> acl(sizeof(ACL), 0);
    WORD count = 0;
    const BYTE inheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    std::vector<BYTE> user = sid_bytes(current_user_sid);
    for (const ace_view& ace : aces_of(parent)) {
        bool object = ace.flags & OBJECT_INHERIT_ACE, container = ace.flags & CONTAINER_INHERIT_ACE;
        bool propagate = !(ace.flags & NO_PROPAGATE_INHERIT_ACE);
        bool creator = ace.sid == creator_owner_sid;
        if (!folder) {
            if (!object) continue;
            security::append_ace(&acl, ace.type, INHERITED_ACE, ace.mask, creator ? user : ace.sid_bytes);
            count++;
        } else if (container) {
            BYTE further = propagate ? (BYTE)(ace.flags & inheritance) : 0;
            if (creator) {
                security::append_ace(&acl, ace.type, INHERITED_ACE, ace.mask, user);
                count++;
                if (further) {
                    security::append_ace(&acl, ace.type, INHERITED_ACE | INHERIT_ONLY_ACE | further, ace.mask,
                               ace.sid_bytes);
                    count++;
                }
            } else {
                security::append_ace(&acl, ace.type, INHERITED_ACE | further, ace.mask, ace.sid_bytes);
                count++;
            }
        } else if (object && propagate) {
            security::append_ace(&acl, ace.type, INHERITED_ACE | INHERIT_ONLY_ACE | OBJECT_INHERIT_ACE,
                       ace.mask, ace.sid_bytes);
            count++;
        }
    }
    stored_dacl dacl;
    dacl.present = true;
    dacl.control = SE_DACL_AUTO_INHERITED;
    if (count == 0) {
        dacl.control = 0;
        security::append_ace(&acl, ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, user);
        security::append_ace(&acl, ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, sid_bytes(system_sid));
        count = 2;
    }
    acl[0] = ACL_REVISION;
    acl[2] = (BYTE)acl.size();
    acl[3] = (BYTE)(acl.size() >> 8);
    acl[4] = (BYTE)count;
    acl[5] = (BYTE)(count >> 8);
    dacl.acl = acl;
    dacl.owner = current_user_sid;
    return dacl;
}

// A real path looked up: the entry (null when missing), its folder, and their paths.
struct user_path {
    DWORD error = 0;
    std::string full, folder_path;
    files::node* entry = nullptr;
    files::node* folder = nullptr;
};

user_path look_up_user_path(const char* path) {
    user_path result;
    files::parsed_path parsed = files::parse_path(path, files::path_use::plain, false, files::path_form::internal);
    if (parsed.error) {
        result.error = parsed.error;
        return result;
    }
    files::lookup_result found = files::look_up(parsed);
    if (found.error) {
        result.error = found.error;
        return result;
    }
    if (!found.parent) winsim_not_implemented("another program's file operation on a root");
    result.full = parsed.full;
    result.folder_path = parsed.full.substr(0, parsed.full.rfind('\\'));
    if (result.folder_path.size() == 2) result.folder_path += "\\";
    result.entry = found.target;
    result.folder = found.parent;
    return result;
}

stored_dacl dacl_at(const std::string& path) {
    stored_dacl dacl;
    if (!security::entry_dacl(path.c_str(), &dacl)) winsim_not_implemented("a DACL of a missing entry");
    return dacl;
}

// Renaming or deleting an entry: DELETE on it, or FILE_DELETE_CHILD on its folder.
bool may_remove(const user_path& where) {
    return grants(dacl_at(where.full), DELETE) || grants(dacl_at(where.folder_path), FILE_DELETE_CHILD);
}

bool holds_open_entries(const files::node* entry) {
    if (entry->open_handles) return true;
    for (const auto& child : entry->children)
        if (holds_open_entries(child.get())) return true;
    return false;
}

// The own DACLs of an entry that is still at its path and of everything below it, each with the
// path it will have once the entry is at `new_path`.
void collect_own_dacls(const files::node* entry, const std::string& new_path,
                       std::vector<std::pair<std::string, stored_dacl>>* own_dacls) {
    stored_dacl dacl;
    bool own = false;
    if (security::entry_dacl(files::stored_path(entry).c_str(), &dacl, &own) && own)
        own_dacls->push_back({new_path, dacl});
    for (const auto& child : entry->children)
        collect_own_dacls(child.get(), new_path + "\\" + child->name, own_dacls);
}

// A new entry of the user's in the folder: FILE_ADD_SUBDIRECTORY or FILE_ADD_FILE there.
DWORD check_new_entry(const user_path& where, bool folder) {
    if (where.error) return where.error;
    if (where.entry) return where.entry->delete_pending ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS;
    if (where.folder->delete_pending) return ERROR_ACCESS_DENIED;
    if (!grants(dacl_at(where.folder_path), folder ? FILE_ADD_SUBDIRECTORY : FILE_ADD_FILE))
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

std::shared_ptr<files::node> add_user_entry(const user_path& where, bool folder) {
    std::string name = where.full.substr(where.full.rfind('\\') + 1);
    std::shared_ptr<files::node> entry = files::add_child(where.folder, name, folder);
    security::give_entry_dacl(where.full.c_str(), inherited_dacl(dacl_at(where.folder_path), folder));
    return entry;
}

}  // namespace

DWORD user_set_file_security(const char* path, const char* description) {
    user_path where = look_up_user_path(path);
    if (where.error) return where.error;
    if (!where.entry) return ERROR_FILE_NOT_FOUND;
    stored_dacl dacl;
    std::string error;
    if (!security::parse_description(description, &dacl, &error))
        winsim_not_implemented(("user_set_file_security of a malformed description: " + error).c_str());
    if (where.entry->delete_pending) return ERROR_ACCESS_DENIED;
    stored_dacl current = dacl_at(where.full);
    if (!grants(current, WRITE_DAC)) return ERROR_ACCESS_DENIED;
    dacl.owner = current.owner;
    security::give_entry_dacl(where.full.c_str(), dacl);
    return ERROR_SUCCESS;
}

DWORD user_create_folder(const char* path) {
    user_path where = look_up_user_path(path);
    DWORD error = check_new_entry(where, true);
    if (error) return error;
    add_user_entry(where, true);
    return ERROR_SUCCESS;
}

DWORD user_write_file(const char* path, const std::string& contents) {
    user_path where = look_up_user_path(path);
    if (where.error) return where.error;
    files::node* file = where.entry;
    if (!file) {
        DWORD error = check_new_entry(where, false);
        if (error) return error;
        file = add_user_entry(where, false).get();
    } else {
        if (file->folder || file->delete_pending || (file->attributes & FILE_ATTRIBUTE_READONLY))
            return ERROR_ACCESS_DENIED;
        if (!grants(dacl_at(where.full), FILE_WRITE_DATA)) return ERROR_ACCESS_DENIED;
        if (!files::sharing_allows(file, FILE_WRITE_DATA, all_shares)) return ERROR_SHARING_VIOLATION;
    }
    file->data.assign(contents.begin(), contents.end());
    file->written = files::clock_now();
    return ERROR_SUCCESS;
}

DWORD user_move(const char* from, const char* to) {
    user_path source = look_up_user_path(from);
    if (source.error) return source.error;
    if (!source.entry) return ERROR_FILE_NOT_FOUND;
    files::node* entry = source.entry;
    if (entry->delete_pending || !may_remove(source)) return ERROR_ACCESS_DENIED;
    if (!files::sharing_allows(entry, DELETE, all_shares)) return ERROR_SHARING_VIOLATION;
    // A folder with an open file somewhere below it cannot be renamed.
    if (entry->folder && holds_open_entries(entry)) return ERROR_ACCESS_DENIED;
    user_path target = look_up_user_path(to);
    DWORD error = check_new_entry(target, entry->folder);
    if (error) return error;
    for (const files::node* at = target.folder; at; at = at->parent)
        if (at == entry) winsim_not_implemented("another program moving a folder into itself");
    // The descriptors of the entry and of everything below it go with them, as on NTFS.
    std::vector<std::pair<std::string, stored_dacl>> own_dacls;
    collect_own_dacls(entry, target.full, &own_dacls);
    std::shared_ptr<files::node> moved = entry->shared_from_this();
    files::detach(entry);
    moved->name = target.full.substr(target.full.rfind('\\') + 1);
    files::insert_child(target.folder, moved);
    for (const auto& own : own_dacls) security::give_entry_dacl(own.first.c_str(), own.second);
    return ERROR_SUCCESS;
}

DWORD user_delete(const char* path) {
    user_path where = look_up_user_path(path);
    if (where.error) return where.error;
    if (!where.entry) return ERROR_FILE_NOT_FOUND;
    files::node* entry = where.entry;
    if (entry->delete_pending || !may_remove(where) || (entry->attributes & FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    if (entry->folder && !entry->children.empty()) return ERROR_DIR_NOT_EMPTY;
    if (!files::sharing_allows(entry, DELETE, all_shares)) return ERROR_SHARING_VIOLATION;
    files::remove_entry(entry);
    return ERROR_SUCCESS;
}

}  // namespace winsim
