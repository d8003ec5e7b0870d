// Test-facing control of the simulated file security: descriptors from a readable description, denials, accounts.
#pragma once

#include <winsim/winsecurity.h>

#include <string>

namespace winsim {

// The accounts LookupAccountNameA knows (German Windows names; the English names of the
// built-in accounts are accepted as well):
//   "Jeder" / "Everyone"                 S-1-1-0       domain ""             SidTypeWellKnownGroup
//   "Administratoren" / "Administrators" S-1-5-32-544  domain "VORDEFINIERT" SidTypeAlias
//   "Benutzer" / "Users"                 S-1-5-32-545  domain "VORDEFINIERT" SidTypeAlias
//   "SYSTEM"                             S-1-5-18      domain "NT-AUTORITÄT" SidTypeWellKnownGroup
//   the machine's user (files_control.h; "Anwender" after reset)
//                                        current_user_sid  domain computer_name  SidTypeUser
// A name may be qualified with its domain ("VORDEFINIERT\\Administratoren"). Anything else
// fails with ERROR_NONE_MAPPED.
extern const char* const current_user_sid;       // "S-1-5-21-1851632171-2813549347-3416571022-1001"
extern const char* const computer_name;          // "DESKTOP-Q7"

// A descriptor's DACL as text, the form set_file_security takes and file_security gives:
//   "no dacl"                     no DACL at all (SE_DACL_PRESENT clear)
//   "null dacl"                   SE_DACL_PRESENT with a null DACL
//   "dacl"                        a DACL, followed by its ACEs, each after "; ":
//   "allow <flags> <mask> <sid>"  or "deny <flags> <mask> <sid>"
// The first item may carry the control words "auto_inherited" (SE_DACL_AUTO_INHERITED) and
// "protected" (SE_DACL_PROTECTED) after it. Flags are "-" or names joined with "|" in this
// order: OI (object inherit), CI (container inherit), NP (no propagate), IO (inherit only),
// ID (inherited); the mask is 0x and eight hex digits; the SID is in S-1-... form. Example:
//   "dacl auto_inherited; allow OI|CI|ID 0x001F01FF S-1-5-18; deny - 0x00010000 S-1-1-0"
// Texts that file_security gives use exactly this spelling (hex digits in capitals).
//
// A path without a descriptor of its own has the default one of a folder below Program Files:
//   "dacl auto_inherited; allow OI|CI|ID 0x001F01FF S-1-5-18;
//    allow OI|CI|ID 0x001F01FF S-1-5-32-544; allow OI|CI|ID 0x001200A9 S-1-5-32-545"
// and for a file the same ACEs with the flags "ID" alone.
//
// Descriptors are kept per full path as the file system normalizes it, without regard to case,
// and belong to the entry they were given to: when it is deleted or replaced by a new entry of
// the same name, the path has the default descriptor again; an entry moved to another path
// has the default one there (NTFS would keep its own). The calls below
// take real paths (no WOW64 redirection); GetFileSecurityA and SetFileSecurityA see paths as
// the program's other file calls do.

// RtlGenRandom: the bytes it hands out next (then it goes on with its own sequence, which is
// the same after every reset).
void script_random_bytes(const std::string& bytes);

// Gives the existing file or folder this descriptor; false (and *error, when given) for a
// missing path or a malformed description.
bool set_file_security(const char* path, const char* description, std::string* error = nullptr);
// The description of what GetFileSecurityA reports for the path: its own descriptor, or the
// default one for a file or folder; "" when the path does not exist.
std::string file_security(const char* path);
// Whether the path has a descriptor of its own (set by SetFileSecurityA or set_file_security).
bool has_own_file_security(const char* path);
// Forgets the path's own descriptor, so that the default one applies again.
void forget_file_security(const char* path);

// GetFileSecurityA (read) or SetFileSecurityA (write) of this path fails with ERROR_ACCESS_DENIED.
void deny_file_security_read(const char* path);
void deny_file_security_write(const char* path);

// SIDs from AllocateAndInitializeSid not yet released with FreeSid.
int outstanding_sids();

// Faults: every fallible security call goes through call_fails (see control.h) under its own
// name; the subject is the path for GetFileSecurityA and SetFileSecurityA, the account name
// for LookupAccountNameA, and empty for the others. GetFileSecurityA and SetFileSecurityA then
// ask GetFileAttributesA whether the path exists: that call is logged too, with its own faults,
// and its error (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ...) becomes theirs.

}  // namespace winsim
