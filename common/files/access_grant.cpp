// The access grant: one explicit allow entry for a trustee in a file's or folder's DACL.
#include "files/access_grant.h"

#include <stdlib.h>
#include <string.h>

#include "frame/messages.h"

granted_ace_step first_pass_step(BYTE ace_flags, bool ace_is_trustee)
{
    if (ace_flags & INHERITED_ACE)
        return end_of_explicit_aces;
    return ace_is_trustee ? drop_ace : keep_ace;
}

WORD granted_control_bits(WORD old_control)
{
    if (old_control & SE_DACL_AUTO_INHERITED)
        return SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
    if (old_control & SE_DACL_PROTECTED)
        return SE_DACL_PROTECTED;
    return 0;
}

DWORD granted_acl_size(DWORD old_bytes_in_use, DWORD trustee_sid_length)
{
    return old_bytes_in_use + (DWORD)sizeof(ACCESS_ALLOWED_ACE) - (DWORD)sizeof(DWORD) +
           trustee_sid_length;
}

BYTE granted_ace_flags(bool inheritable)
{
    return inheritable ? (BYTE)(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) : (BYTE)0;
}

// Everything the grant acquires, released on every way out.
struct grant_resources {
    PSID everyone_sid;
    PSID account_sid;
    char* domain;
    PSECURITY_DESCRIPTOR file_descriptor;
    PACL new_acl;
};

static void release(grant_resources* r)
{
    if (r->everyone_sid)
        FreeSid(r->everyone_sid);
    free(r->account_sid);
    free(r->domain);
    free(r->file_descriptor);
    free(r->new_acl);
}

static void* allocate(DWORD size, const char* what)
{
    void* memory = malloc(size ? size : 1);
    if (!memory) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        record_error("malloc (%d) failed on %s", (int)size, what);
    }
    return memory;
}

static PSID trustee_sid(const char* account, grant_resources* r)
{
    if (!account) {
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        if (!call_succeeded(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0,
                                                     0, 0, &r->everyone_sid),
                            "AllocateAndInitializeSid (Everyone) failed"))
            return 0;
        return r->everyone_sid;
    }
    DWORD sid_size = 0, domain_size = 0;
    SID_NAME_USE use;
    if (LookupAccountNameA(0, account, 0, &sid_size, 0, &domain_size, &use)) {
        record_error("Unexpected non-failing of LookupAccountName");
        return 0;
    }
    if (record_error("LookupAccountName 1 failed") != ERROR_INSUFFICIENT_BUFFER)
        return 0;
    r->account_sid = (PSID)allocate(sid_size, "pUserSID");
    if (!r->account_sid)
        return 0;
    r->domain = (char*)allocate(domain_size, "szDomain");
    if (!r->domain)
        return 0;
    if (!call_succeeded(LookupAccountNameA(0, account, r->account_sid, &sid_size, r->domain,
                                           &domain_size, &use),
                        "LookupAccountName 2 failed"))
        return 0;
    return r->account_sid;
}

static bool read_file_descriptor(const char* path, grant_resources* r)
{
    DWORD needed = 0;
    if (GetFileSecurityA(path, DACL_SECURITY_INFORMATION, 0, 0, &needed)) {
        record_error("Unexpected non-failing of GetFileSecurity");
        return false;
    }
    if (record_error("GetFileSecurity 1 failed") != ERROR_INSUFFICIENT_BUFFER)
        return false;
    r->file_descriptor = (PSECURITY_DESCRIPTOR)allocate(needed, "pFileSD");
    if (!r->file_descriptor)
        return false;
    return call_succeeded(
        GetFileSecurityA(path, DACL_SECURITY_INFORMATION, r->file_descriptor, needed, &needed),
        "GetFileSecurity 2 failed");
}

// Copies the old ACEs around the new one: explicit ones first (the trustee's dropped), then
// the new ACE, then every ACE from the first inherited one on.
static bool build_acl(PACL old_dacl, DWORD ace_count, PSID trustee, DWORD mask, bool inheritable,
                      PACL new_acl)
{
    DWORD index = 0;
    for (; index < ace_count; index++) {
        void* ace = 0;
        if (!call_succeeded(GetAce(old_dacl, index, &ace), "GetAce [%d of %d] failed", (int)index,
                            (int)ace_count))
            return false;
        ACE_HEADER* header = (ACE_HEADER*)ace;
        PSID ace_sid = (PSID)((BYTE*)ace + 8);
        granted_ace_step step = first_pass_step(header->AceFlags, EqualSid(ace_sid, trustee) != 0);
        if (step == end_of_explicit_aces)
            break;
        if (step == keep_ace &&
            !call_succeeded(AddAce(new_acl, ACL_REVISION, MAXDWORD, ace, header->AceSize),
                            "AddAce [%d of %d] failed", (int)index, (int)ace_count))
            return false;
    }
    if (!call_succeeded(AddAccessAllowedAceEx(new_acl, ACL_REVISION_DS,
                                              granted_ace_flags(inheritable), mask, trustee),
                        "AddAccessAllowedAce failed"))
        return false;
    for (; index < ace_count; index++) {
        void* ace = 0;
        if (!call_succeeded(GetAce(old_dacl, index, &ace), "GetAce 2 [%d of %d] failed", (int)index,
                            (int)ace_count))
            return false;
        if (!call_succeeded(
                AddAce(new_acl, ACL_REVISION, MAXDWORD, ace, ((ACE_HEADER*)ace)->AceSize),
                "AddAce 2 [%d of %d] failed", (int)index, (int)ace_count))
            return false;
    }
    return true;
}

static bool grant(const char* path, const char* account, DWORD mask, bool inheritable,
                  grant_resources* r)
{
    PSID trustee = trustee_sid(account, r);
    if (!trustee || !read_file_descriptor(path, r))
        return false;

    SECURITY_DESCRIPTOR new_descriptor;
    if (!call_succeeded(InitializeSecurityDescriptor(&new_descriptor, SECURITY_DESCRIPTOR_REVISION),
                        "InitializeSecurityDescriptor failed"))
        return false;

    BOOL present = FALSE, defaulted = FALSE;
    PACL old_dacl = 0;
    if (!call_succeeded(
            GetSecurityDescriptorDacl(r->file_descriptor, &present, &old_dacl, &defaulted),
            "GetSecurityDescriptorDacl failed"))
        return false;

    ACL_SIZE_INFORMATION sizes;
    sizes.AceCount = 0;
    sizes.AclBytesInUse = sizeof(ACL);
    sizes.AclBytesFree = 0;
    if (old_dacl &&
        !call_succeeded(GetAclInformation(old_dacl, &sizes, sizeof sizes, AclSizeInformation),
                        "GetAclInformation failed"))
        return false;

    DWORD new_size = granted_acl_size(sizes.AclBytesInUse, GetLengthSid(trustee));
    r->new_acl = (PACL)allocate(new_size, "pNewACL");
    if (!r->new_acl)
        return false;
    if (!call_succeeded(InitializeAcl(r->new_acl, new_size, ACL_REVISION_DS),
                        "InitializeAcl failed"))
        return false;
    if (!build_acl(old_dacl, old_dacl ? sizes.AceCount : 0, trustee, mask, inheritable, r->new_acl))
        return false;

    if (!call_succeeded(SetSecurityDescriptorDacl(&new_descriptor, TRUE, r->new_acl, FALSE),
                        "SetSecurityDescriptorDacl failed"))
        return false;

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!call_succeeded(GetSecurityDescriptorControl(r->file_descriptor, &control, &revision),
                        "GetSecurityDescriptorControl failed."))
        return false;
    WORD bits = granted_control_bits(control);
    if (bits && !call_succeeded(SetSecurityDescriptorControl(&new_descriptor, bits, bits),
                                "SetSecurityDescriptorControl failed"))
        return false;

    return call_succeeded(SetFileSecurityA(path, DACL_SECURITY_INFORMATION, &new_descriptor),
                          "SetFileSecurity failed");
}

bool grant_access(const char* path, const char* account, DWORD mask, bool inheritable)
{
    grant_resources resources;
    memset(&resources, 0, sizeof resources);
    bool result = grant(path, account, mask, inheritable, &resources);
    release(&resources);
    return result;
}
