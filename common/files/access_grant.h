// The access grant: one explicit allow entry for a trustee in a file's or folder's DACL.
#pragma once

#include <windows.h>

// Rewrites the DACL of path so that the trustee (Everyone when account is null) holds one new
// explicit allow entry with mask; inheritable makes it apply to files and subfolders.
// False, with the Windows error and a context text in the error record, when any step failed;
// the file is then unchanged.
bool grant_access(const char* path, const char* account, DWORD mask, bool inheritable);

// The decisions of the grant, over the ACE list and the control word.
enum granted_ace_step { keep_ace, drop_ace, end_of_explicit_aces };
// What the first pass does with an old ACE: stop at the first inherited one, drop the
// trustee's explicit ones before it, keep the others.
granted_ace_step first_pass_step(BYTE ace_flags, bool ace_is_trustee);
// Control bits for the new descriptor from the old descriptor's control word.
WORD granted_control_bits(WORD old_control);
// Size of the new ACL: the old DACL's bytes in use, one allow ACE and the trustee's SID.
DWORD granted_acl_size(DWORD old_bytes_in_use, DWORD trustee_sid_length);
BYTE granted_ace_flags(bool inheritable);
