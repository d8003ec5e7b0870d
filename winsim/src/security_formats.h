// Reading and writing the published security formats (SIDs, ACLs, descriptors) inside winsim.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winsim {
namespace security {

// A SID is structurally valid: revision 1 and at most 15 sub-authorities.
bool sid_is_valid(const void* sid);
DWORD sid_length(const void* sid);
// "S-1-5-32-544" from a valid SID, and back; parse_sid gives false for a malformed text.
std::string sid_text(const void* sid);
bool parse_sid(const std::string& text, std::vector<BYTE>* sid);
// Appends one ACE (header, mask, SID) to the bytes of an ACL; the ACL's header is the caller's.
void append_ace(std::vector<BYTE>* acl, BYTE type, BYTE flags, DWORD mask,
                const std::vector<BYTE>& sid);

// An ACL's header and ACE chain are consistent: revision 2..4, size at least the header,
// every ACE at least a header and inside the ACL. *in_use (when given) receives the header
// and the ACEs' bytes.
bool acl_is_valid(const ACL* acl, DWORD* in_use = nullptr);

// The parts of a descriptor in either form, read through its control word.
struct descriptor_view {
    BYTE revision;
    SECURITY_DESCRIPTOR_CONTROL control;
    bool dacl_present;
    const ACL* dacl;  // null for a null DACL or no DACL
    const void* owner;  // null when the descriptor names no owner
};
descriptor_view view_descriptor(const void* descriptor);

// A file's DACL as the store keeps it, with the entry's owner.
struct stored_dacl {
    bool present = false;                // false: no DACL
    bool null_dacl = false;              // present with a null DACL
    SECURITY_DESCRIPTOR_CONTROL control = 0;  // SE_DACL_AUTO_INHERITED and SE_DACL_PROTECTED
    std::vector<BYTE> acl;               // the whole ACL when present and not null
    std::string owner;                   // the owner's SID as text (S-1-...)
};

// The DACL GetFileSecurityA reports for the entry at a real path (no WOW64 redirection): its
// own, or the one of an entry without its own; false when the path names nothing. *own (when
// given) tells whether the DACL is the entry's own.
bool entry_dacl(const char* path, stored_dacl* dacl, bool* own = nullptr);
// Gives the entry at a real path this DACL as its own.
void give_entry_dacl(const char* path, const stored_dacl& dacl);

// The self-relative descriptor GetFileSecurityA returns for DACL_SECURITY_INFORMATION.
std::vector<BYTE> self_relative_bytes(const stored_dacl& dacl);

// The readable description of security_control.h, both ways.
std::string describe(const stored_dacl& dacl);
bool parse_description(const std::string& text, stored_dacl* dacl, std::string* error);

}  // namespace security

// Puts the file descriptors and denials back to the start state (file_security.cpp).
void reset_file_security();
// The descriptor a new entry was created with (CreateDirectoryA's security attributes); the
// path as the program named it.
void set_created_entry_security(const char* path, const void* descriptor);

}  // namespace winsim
