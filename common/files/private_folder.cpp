// A new folder that only Administrators and SYSTEM may use, under a name nobody can foresee.
#include "files/private_folder.h"

#include <ntsecapi.h>
#include <string.h>

#include "files/file_operations.h"
#include "frame/messages.h"

// Names tried before the creation gives up: a name that exists already was taken by chance,
// or by somebody who guessed it; either way it is not ours.
#define PRIVATE_FOLDER_ATTEMPTS 8
// An ACL with three allow entries for SIDs of at most two sub-authorities.
#define PRIVATE_ACL_SIZE 128

// The descriptor of a private folder: a protected DACL (nothing inherited from the folder it is
// made in, where every user may add entries) that allows everything to Administrators and
// SYSTEM, for the folder and, inherited, for the files in it. The Administrators group owns
// the folder: by policy the owner could otherwise be the administrator's own account, whose
// programs without administrator rights could then rewrite the DACL through the owner's
// implicit WRITE_DAC. The OWNER RIGHTS entry leaves any owner, also of the files made in the
// folder, no more than reading the descriptor.
struct private_descriptor {
    SECURITY_DESCRIPTOR descriptor;
    DWORD acl[PRIVATE_ACL_SIZE / sizeof(DWORD)];
    PSID administrators;
    PSID system;
    PSID owner_rights;
};

static bool build_descriptor(private_descriptor* d)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
    PACL acl = (PACL)d->acl;
    const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    return call_succeeded(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                                   DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                                   &d->administrators),
                          "AllocateAndInitializeSid (Administratoren) failed") &&
           call_succeeded(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0,
                                                   0, 0, &d->system),
                          "AllocateAndInitializeSid (SYSTEM) failed") &&
           call_succeeded(AllocateAndInitializeSid(&creator, 1, SECURITY_CREATOR_OWNER_RIGHTS_RID, 0,
                                                   0, 0, 0, 0, 0, 0, &d->owner_rights),
                          "AllocateAndInitializeSid (OWNER RIGHTS) failed") &&
           call_succeeded(InitializeAcl(acl, sizeof d->acl, ACL_REVISION),
                          "InitializeAcl failed") &&
           call_succeeded(AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS,
                                                d->administrators),
                          "AddAccessAllowedAceEx (Administratoren) failed") &&
           call_succeeded(
               AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, d->system),
               "AddAccessAllowedAceEx (SYSTEM) failed") &&
           call_succeeded(
               AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, READ_CONTROL, d->owner_rights),
               "AddAccessAllowedAceEx (OWNER RIGHTS) failed") &&
           call_succeeded(
               InitializeSecurityDescriptor(&d->descriptor, SECURITY_DESCRIPTOR_REVISION),
               "InitializeSecurityDescriptor failed") &&
           call_succeeded(SetSecurityDescriptorOwner(&d->descriptor, d->administrators, FALSE),
                          "SetSecurityDescriptorOwner failed") &&
           call_succeeded(SetSecurityDescriptorDacl(&d->descriptor, TRUE, acl, FALSE),
                          "SetSecurityDescriptorDacl failed") &&
           call_succeeded(
               SetSecurityDescriptorControl(&d->descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED),
               "SetSecurityDescriptorControl failed");
}

// The prefix and sixteen hexadecimal digits from the system's random source.
static bool random_folder_name(char* name)
{
    unsigned char bytes[8];
    if (!RtlGenRandom(bytes, sizeof bytes)) {
        SetLastError(ERROR_GEN_FAILURE);
        record_error("RtlGenRandom failed");
        return false;
    }
    static const char digits[] = "0123456789ABCDEF";
    strcpy(name, PRIVATE_FOLDER_PREFIX);
    char* at = name + strlen(name);
    for (unsigned char byte : bytes) {
        *at++ = digits[byte >> 4];
        *at++ = digits[byte & 15];
    }
    *at = 0;
    return true;
}

bool create_private_folder(const char* parent, char* folder)
{
    folder[0] = 0;
    private_descriptor d;
    memset(&d, 0, sizeof d);
    bool created = false;
    if (build_descriptor(&d)) {
        SECURITY_ATTRIBUTES attributes;
        memset(&attributes, 0, sizeof attributes);
        attributes.nLength = sizeof attributes;
        attributes.lpSecurityDescriptor = &d.descriptor;
        attributes.bInheritHandle = FALSE;
        for (int attempt = 0; attempt < PRIVATE_FOLDER_ATTEMPTS && !created; attempt++) {
            char name[sizeof PRIVATE_FOLDER_PREFIX + 16];
            if (!random_folder_name(name) || !join_path(folder, parent, name))
                break;
            // Creation fails when the name exists: nobody can have put anything in our way.
            created = CreateDirectoryA(folder, &attributes) != 0;
            if (!created && record_last_error() != ERROR_ALREADY_EXISTS)
                break;
        }
    }
    if (d.administrators)
        FreeSid(d.administrators);
    if (d.system)
        FreeSid(d.system);
    if (d.owner_rights)
        FreeSid(d.owner_rights);
    if (created)
        ensure_trailing_backslash(folder);
    return created;
}

bool in_private_folder_of(const char* path, const char* parent, char* folder)
{
    size_t parent_length = strlen(parent);
    if (parent_length == 0 || strlen(path) >= MAX_PATH || find_text_nocase(path, parent) != path)
        return false;
    const char* name = path + parent_length;
    const char* separator = strchr(name, '\\');
    const size_t prefix_length = strlen(PRIVATE_FOLDER_PREFIX);
    if (!separator || strchr(separator + 1, '\\') || find_text_nocase(name, PRIVATE_FOLDER_PREFIX) != name ||
        (size_t)(separator - name) != prefix_length + 16 ||
        strspn(name + prefix_length, "0123456789ABCDEFabcdef") != 16)
        return false;
    memcpy(folder, path, (size_t)(separator - path));
    folder[separator - path] = 0;
    return true;
}
