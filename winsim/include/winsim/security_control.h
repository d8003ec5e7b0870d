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
// and for a file the same ACEs with the flags "ID" alone. Two folders have theirs as on
// Windows: the user's temporary folder (standard_folders().temp) the one it inherits from the
// profile, in which the user holds full control,
//   "dacl auto_inherited; allow OI|CI|ID 0x001F01FF S-1-5-18;
//    allow OI|CI|ID 0x001F01FF S-1-5-32-544; allow OI|CI|ID 0x001F01FF <current_user_sid>"
// and C:\Windows\Temp a protected one, in which Users may only add files and folders:
//   "dacl protected; allow OI|CI 0x001F01FF S-1-5-18; allow OI|CI 0x001F01FF S-1-5-32-544;
//    allow CI 0x00100026 S-1-5-32-545; allow OI|CI|IO 0x001F01FF S-1-3-0"
// The entries in them have the default one unless they got their own (has_own_file_security
// is false for both folders).
//
// Every entry has an owner, which the descriptions leave out: the user owns the user's
// temporary folder and what the user's other program makes; a folder that CreateDirectoryA
// makes with a descriptor is owned by the descriptor's owner (the Administrators group or the
// user: the program runs as an administrator, and its token may assign no other) or, when it
// names none, by the default owner set_default_owner_of_administrators_objects gives. Any other
// entry without a descriptor of its own, files and folders the program makes without one
// included, counts as owned by the Administrators group. SetFileSecurityA and
// set_file_security change the DACL only; the owner stays.
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
// The owner's SID of the entry at the path (S-1-...); "" when the path does not exist.
std::string file_owner(const char* path);
// The policy "Default owner for objects created by members of the Administrators group":
// the group itself (after reset, as Windows has it) or the object's creator, the user's
// account (current_user_sid).
enum class default_owner { administrators_group, creator };
void set_default_owner_of_administrators_objects(default_owner owner);
// Whether the path has a descriptor of its own (set by SetFileSecurityA or set_file_security).
bool has_own_file_security(const char* path);
// Forgets the path's own descriptor, so that the default one applies again.
void forget_file_security(const char* path);

// GetFileSecurityA (read) or SetFileSecurityA (write) of this path fails with ERROR_ACCESS_DENIED.
void deny_file_security_read(const char* path);
void deny_file_security_write(const char* path);

// --- another program of the machine's user, running without administrator rights ---
// Its file operations on real paths (no WOW64 redirection), checked as Windows checks them for
// the user's filtered token (the user, Everyone, LOCAL, INTERACTIVE, Authenticated Users and
// Users allow; the Administrators group only denies) against the DACLs file_security reports.
// Entries are read in order, the first to name a right decides it, inherit-only ones do not
// apply, generic rights are mapped as for files; a null or missing DACL allows everything.
//   - Renaming or deleting an entry needs DELETE on it or FILE_DELETE_CHILD on its folder, so
//     that the owner of a folder with full control may remove whatever is in it.
//   - A new entry needs FILE_ADD_FILE or FILE_ADD_SUBDIRECTORY on its folder and gets the
//     folder's inheritable ACEs as its own descriptor (CREATOR OWNER becomes the user).
//   - Writing a file that exists needs FILE_WRITE_DATA on it.
//   - Writing a DACL needs WRITE_DAC on the entry.
// An owner has READ_CONTROL and WRITE_DAC on its entry whatever the DACL says, unless the DACL
// holds entries for OWNER RIGHTS (S-1-3-4) that apply to the entry (not inherit-only): then the
// owner has only what the DACL gives, the OWNER RIGHTS entries counting as the owner's. The
// user is the owner of an entry owned by current_user_sid; the Administrators group, in the
// filtered token for deny entries only, makes nobody an owner. Privileges, links and junctions
// are not modelled. Each gives
// ERROR_SUCCESS or the error the call would give: ERROR_ACCESS_DENIED, ERROR_ALREADY_EXISTS
// (the new name exists), ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_DIR_NOT_EMPTY,
// ERROR_SHARING_VIOLATION (the program holds the entry open without sharing). They are not
// calls of the program: not logged, no faults. A renamed entry takes its descriptor and those
// below it along, as on NTFS.
DWORD user_create_folder(const char* path);
// Creates the file or overwrites an existing one's contents.
DWORD user_write_file(const char* path, const std::string& contents);
// MoveFileExA without flags: a file or folder to a new name that does not exist yet.
DWORD user_move(const char* from, const char* to);
// A file, or an empty folder.
DWORD user_delete(const char* path);
// SetFileSecurityA of the DACL in the description (the form of set_file_security, which must
// be well-formed); the entry keeps its owner.
DWORD user_set_file_security(const char* path, const char* description);

// --- the shell's user ---
// Who owns the shell's window (Explorer), which GetShellWindow gives: the program's own user
// (after reset; an administrator who confirmed the elevation prompt), a standard user for
// whom an administrator typed a password at the prompt, so that the program runs as that
// administrator ("over the shoulder"), or nobody: no shell window (another shell, no one
// signed in interactively, and Wine).
//   - GetWindowThreadProcessId gives the shell's process, OpenProcess opens it (for
//     PROCESS_QUERY_LIMITED_INFORMATION), and OpenProcessToken on it gives the token of its
//     owner; OpenProcessToken on GetCurrentProcess() gives the program's own
//     (current_user_sid). GetTokenInformation answers TokenUser. The process and token of
//     another account open only while the program has the debug privilege enabled: its token
//     holds SeDebugPrivilege, disabled, as an elevated administrator's does;
//     LookupPrivilegeValueA and AdjustTokenPrivileges enable and disable it. Otherwise both
//     fail with ERROR_ACCESS_DENIED.
//   - HKEY_USERS holds each signed-in user's hive under the user's SID: the program's own one
//     is HKEY_CURRENT_USER under another name (a key there is the same key, with the paths and
//     rules of HKEY_CURRENT_USER); the standard user's is "HKEY_USERS\<standard_user_sid>",
//     loaded (made, empty) when the standard user becomes the shell's owner. Administrators may
//     write it.
//   - SHGetFolderPathW and SHGetKnownFolderPath with a token opened with TOKEN_QUERY and
//     TOKEN_IMPERSONATE give the folders of the token's user: the standard user's desktop is
//     "C:\Users\<name>\Desktop", made with the profile when that user becomes the owner.
//     The common folders are the same for every token.
//   - input.dll's InstallLayoutOrTipUserReg changes the language list below the user key it
//     names (input_control.h).
//   - HKEY_USERS lists the standard user's hive only; the program's own is reached by its SID
//     but not enumerated.
// Faults: GetShellWindow gives null, GetWindowThreadProcessId 0, OpenProcess null, the others
// FALSE, each with the fault's error; subjects are empty but for OpenProcessToken,
// GetTokenInformation and AdjustTokenPrivileges (the token user's SID), ConvertSidToStringSidA
// (the SID) and LookupPrivilegeValueA (the privilege's name).
enum class shell_owner { program_user, standard_user, nobody };
void set_shell_owner(shell_owner owner);
// The standard user's name (UTF-8, "Kind" after reset); set it before set_shell_owner.
void set_standard_user_name(const char* name);
extern const char* const standard_user_sid;  // "S-1-5-21-1851632171-2813549347-3416571022-1002"
// The standard user's desktop folder in the file system's internal form (wide_names.h).
std::string standard_user_desktop();
// Process and token handles the program holds open.
int open_token_and_process_handles();
// Whether the program's token has the debug privilege enabled now.
bool debug_privilege_enabled();

// SIDs from AllocateAndInitializeSid not yet released with FreeSid.
int outstanding_sids();

// Faults: every fallible security call goes through call_fails (see control.h) under its own
// name; the subject is the path for GetFileSecurityA and SetFileSecurityA, the account name
// for LookupAccountNameA, and empty for the others. GetFileSecurityA and SetFileSecurityA then
// ask GetFileAttributesA whether the path exists: that call is logged too, with its own faults,
// and its error (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ...) becomes theirs.

}  // namespace winsim
