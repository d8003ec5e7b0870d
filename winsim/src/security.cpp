// The simulated advapi32 security calls: accounts, SIDs, ACLs and security descriptors in the SDK's byte formats.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/files_control.h>
#include <winsim/security_control.h>

#include "codepage.h"
#include "security_formats.h"
#include "subsystems.h"
#include "wide_names.h"

#include <stdio.h>
#include <string.h>

#include <set>

namespace winsim {

const char* const current_user_sid = "S-1-5-21-1851632171-2813549347-3416571022-1001";
const char* const computer_name = "DESKTOP-Q7";

namespace {

struct account {
    std::string names[2];  // German name, English name (or empty)
    const char* domain;
    const char* sid;
    SID_NAME_USE use;
};

// The domain of the built-in groups and of SYSTEM on a German Windows.
const char* const builtin_domain = "VORDEFINIERT";
const char* const nt_authority_domain = "NT-AUTORIT\xC4T";  // "NT-AUTORITÄT" in code page 1252

// The machine's user: the last name of the user's profile folder.
std::string user_name() {
    const std::string& profile = standard_folders().user_profile;
    return profile.substr(profile.rfind('\\') + 1);
}

bool find_account(const std::string& qualified_name, account* result) {
    const account accounts[] = {
        {{"Jeder", "Everyone"}, "", "S-1-1-0", SidTypeWellKnownGroup},
        {{"Administratoren", "Administrators"}, builtin_domain, "S-1-5-32-544", SidTypeAlias},
        {{"Benutzer", "Users"}, builtin_domain, "S-1-5-32-545", SidTypeAlias},
        {{"SYSTEM", ""}, nt_authority_domain, "S-1-5-18", SidTypeWellKnownGroup},
        {{user_name(), ""}, computer_name, current_user_sid, SidTypeUser},
    };
    std::string domain, name = qualified_name;
    size_t separator = qualified_name.find('\\');
    bool qualified = separator != std::string::npos;
    if (qualified) {
        domain = qualified_name.substr(0, separator);
        name = qualified_name.substr(separator + 1);
    }
    for (const account& entry : accounts) {
        bool name_matches = false;
        for (const std::string& candidate : entry.names)
            if (!candidate.empty() && internal_equal_nocase(candidate, name)) name_matches = true;
        if (!name_matches) continue;
        // The English spellings of the domains are accepted as well.
        if (!qualified || cp1252_equal_nocase(domain, entry.domain) ||
            (entry.domain == builtin_domain && cp1252_equal_nocase(domain, "BUILTIN")) ||
            (entry.domain == nt_authority_domain && cp1252_equal_nocase(domain, "NT AUTHORITY"))) {
            *result = entry;
            return true;
        }
    }
    return false;
}

struct security_state {
    std::set<void*> sids;
    // RtlGenRandom: scripted bytes first, then a fixed sequence (xorshift from a fixed seed).
    std::string scripted_random;
    uint64_t random_state = 0x9E3779B97F4A7C15ull;
};

security_state& state() {
    static security_state s;
    return s;
}

// Logs the call and, when a fault applies, sets its error: true means the call must fail.
bool faulted(const char* call, const std::string& subject = std::string()) {
    DWORD error = 0;
    if (!call_fails(call, subject, -1, &error)) return false;
    SetLastError(error);
    return true;
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

const BYTE* bytes(const void* p) { return static_cast<const BYTE*>(p); }
BYTE* bytes(void* p) { return static_cast<BYTE*>(p); }

WORD read_word(const BYTE* p) { return (WORD)(p[0] | (p[1] << 8)); }
DWORD read_dword(const BYTE* p) {
    return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}

// The ACE chain of a valid ACL: offset of ACE number `index` (index == count: the free space).
DWORD ace_offset(const ACL* acl, DWORD index) {
    DWORD offset = sizeof(ACL);
    for (DWORD i = 0; i < index; i++) offset += read_word(bytes(acl) + offset + 2);
    return offset;
}

}  // namespace

namespace security {

bool sid_is_valid(const void* sid) {
    if (!sid) return false;
    const BYTE* p = bytes(sid);
    return p[0] == SID_REVISION && p[1] <= SID_MAX_SUB_AUTHORITIES;
}

DWORD sid_length(const void* sid) { return 8 + 4 * (DWORD)bytes(sid)[1]; }

std::string sid_text(const void* sid) {
    const BYTE* p = bytes(sid);
    unsigned long long authority = 0;
    for (int i = 0; i < 6; i++) authority = (authority << 8) | p[2 + i];
    char part[32];
    std::string text = "S-1-";
    // As SDDL writes it: decimal below 2^32, otherwise 0x and twelve hex digits.
    if (authority < 0x100000000ull)
        snprintf(part, sizeof part, "%llu", authority);
    else
        snprintf(part, sizeof part, "0x%012llX", authority);
    text += part;
    for (BYTE i = 0; i < p[1]; i++) {
        snprintf(part, sizeof part, "-%lu", (unsigned long)read_dword(p + 8 + 4 * i));
        text += part;
    }
    return text;
}

bool parse_sid(const std::string& text, std::vector<BYTE>* sid) {
    if (text.compare(0, 4, "S-1-") != 0) return false;
    std::vector<unsigned long long> numbers;
    size_t position = 4;
    for (;;) {
        size_t end = text.find('-', position);
        std::string number = text.substr(position, end == std::string::npos ? end : end - position);
        if (number.empty() || number.size() > 20) return false;
        for (char c : number)
            if (c < '0' || c > '9') return false;
        numbers.push_back(strtoull(number.c_str(), nullptr, 10));
        if (end == std::string::npos) break;
        position = end + 1;
    }
    if (numbers.size() > 1 + SID_MAX_SUB_AUTHORITIES || numbers[0] >= (1ull << 48)) return false;
    sid->assign(8 + 4 * (numbers.size() - 1), 0);
    (*sid)[0] = SID_REVISION;
    (*sid)[1] = (BYTE)(numbers.size() - 1);
    for (int i = 0; i < 6; i++) (*sid)[2 + i] = (BYTE)(numbers[0] >> (8 * (5 - i)));
    for (size_t i = 1; i < numbers.size(); i++) {
        if (numbers[i] > 0xFFFFFFFFull) return false;
        for (int b = 0; b < 4; b++) (*sid)[8 + 4 * (i - 1) + b] = (BYTE)(numbers[i] >> (8 * b));
    }
    return true;
}

bool acl_is_valid(const ACL* acl, DWORD* in_use) {
    if (!acl || acl->AclRevision < MIN_ACL_REVISION || acl->AclRevision > MAX_ACL_REVISION ||
        acl->AclSize < sizeof(ACL))
        return false;
    DWORD offset = sizeof(ACL);
    for (DWORD i = 0; i < acl->AceCount; i++) {
        if (offset + sizeof(ACE_HEADER) > acl->AclSize) return false;
        WORD size = read_word(bytes(acl) + offset + 2);
        if (size < sizeof(ACE_HEADER) || offset + size > acl->AclSize) return false;
        offset += size;
    }
    if (in_use) *in_use = offset;
    return true;
}

descriptor_view view_descriptor(const void* descriptor) {
    const BYTE* p = bytes(descriptor);
    descriptor_view view;
    view.revision = p[0];
    view.control = read_word(p + 2);
    view.dacl_present = (view.control & SE_DACL_PRESENT) != 0;
    view.dacl = nullptr;
    view.owner = nullptr;
    if (view.control & SE_SELF_RELATIVE) {
        DWORD owner = read_dword(p + 4);
        if (owner) view.owner = p + owner;
        DWORD offset = read_dword(p + 16);
        if (offset) view.dacl = reinterpret_cast<const ACL*>(p + offset);
    } else {
        view.owner = static_cast<const SECURITY_DESCRIPTOR*>(descriptor)->Owner;
        view.dacl = static_cast<const SECURITY_DESCRIPTOR*>(descriptor)->Dacl;
    }
    return view;
}

}  // namespace security

using namespace security;

void reset_security() {
    for (void* sid : state().sids) delete[] static_cast<BYTE*>(sid);
    state() = security_state();
    reset_file_security();
}

int outstanding_sids() { return (int)state().sids.size(); }

void script_random_bytes(const std::string& bytes) { state().scripted_random += bytes; }

}  // namespace winsim

using namespace winsim;
using namespace winsim::security;

BOOL WINAPI LookupAccountNameA(LPCSTR system_name, LPCSTR account_name, PSID sid, LPDWORD sid_size,
                               LPSTR domain_name, LPDWORD domain_size, PSID_NAME_USE use) {
    if (system_name) winsim_not_implemented("LookupAccountNameA on another system");
    if (!account_name || !account_name[0])
        winsim_not_implemented("LookupAccountNameA without an account name");
    if (!sid_size || !domain_size || !use)
        winsim_not_implemented("LookupAccountNameA without its size and use out-parameters");
    if ((!sid && *sid_size) || (!domain_name && *domain_size))
        winsim_not_implemented("LookupAccountNameA with a null buffer of a non-zero size");
    if (faulted("LookupAccountNameA", account_name)) return FALSE;

    account found_account;
    // The name as the file system keeps the user's: an 8-bit name never matches one outside
    // code page 1252.
    if (!find_account(internal_from_ansi(account_name), &found_account)) return fail(ERROR_NONE_MAPPED);
    const account* found = &found_account;
    std::vector<BYTE> account_sid;
    parse_sid(found->sid, &account_sid);
    DWORD needed_sid = (DWORD)account_sid.size();
    DWORD needed_domain = (DWORD)strlen(found->domain) + 1;
    // Either buffer too small: both sizes are reported, nothing is written.
    if (*sid_size < needed_sid || *domain_size < needed_domain) {
        *sid_size = needed_sid;
        *domain_size = needed_domain;
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    memcpy(sid, account_sid.data(), needed_sid);
    memcpy(domain_name, found->domain, needed_domain);
    *sid_size = needed_sid;
    *domain_size = needed_domain - 1;  // on success: the length without the terminating zero
    *use = found->use;
    return TRUE;
}

BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0,
                                     DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5,
                                     DWORD sub6, DWORD sub7, PSID* sid) {
    if (!authority || !sid) winsim_not_implemented("AllocateAndInitializeSid without authority or out-parameter");
    if (faulted("AllocateAndInitializeSid")) return FALSE;
    if (count > 8) return fail(ERROR_INVALID_SID);
    const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    BYTE* memory = new BYTE[8 + 4 * count];
    memory[0] = SID_REVISION;
    memory[1] = count;
    memcpy(memory + 2, authority->Value, 6);
    for (BYTE i = 0; i < count; i++)
        for (int b = 0; b < 4; b++) memory[8 + 4 * i + b] = (BYTE)(subs[i] >> (8 * b));
    state().sids.insert(memory);
    *sid = memory;
    return TRUE;
}

PVOID WINAPI FreeSid(PSID sid) {
    if (!state().sids.erase(sid)) {
        fprintf(stderr, "winsim: FreeSid of a SID that AllocateAndInitializeSid did not allocate\n");
        abort();
    }
    delete[] static_cast<BYTE*>(sid);
    return nullptr;
}

DWORD WINAPI GetLengthSid(PSID sid) {
    if (!sid_is_valid(sid)) winsim_not_implemented("GetLengthSid of an invalid SID");
    return sid_length(sid);
}

BOOL WINAPI IsValidSid(PSID sid) { return sid_is_valid(sid) ? TRUE : FALSE; }

BOOL WINAPI EqualSid(PSID sid1, PSID sid2) {
    // Microsoft leaves the result for an invalid SID undefined.
    if (!sid_is_valid(sid1) || !sid_is_valid(sid2))
        winsim_not_implemented("EqualSid of an invalid SID");
    SetLastError(ERROR_SUCCESS);
    DWORD length = sid_length(sid1);
    return length == sid_length(sid2) && memcmp(sid1, sid2, length) == 0 ? TRUE : FALSE;
}

BOOL WINAPI InitializeAcl(PACL acl, DWORD acl_length, DWORD revision) {
    if (!acl) winsim_not_implemented("InitializeAcl without an ACL buffer");
    if (faulted("InitializeAcl")) return FALSE;
    if (acl_length < sizeof(ACL)) return fail(ERROR_INSUFFICIENT_BUFFER);
    if (revision < MIN_ACL_REVISION || revision > MAX_ACL_REVISION || acl_length > 0xFFFF)
        return fail(ERROR_INVALID_PARAMETER);
    if (acl_length % sizeof(DWORD))
        winsim_not_implemented("InitializeAcl of a length that is not DWORD-aligned");
    acl->AclRevision = (BYTE)revision;
    acl->Sbz1 = 0;
    acl->AclSize = (WORD)acl_length;
    acl->AceCount = 0;
    acl->Sbz2 = 0;
    return TRUE;
}

BOOL WINAPI GetAclInformation(PACL acl, LPVOID information, DWORD length,
                              ACL_INFORMATION_CLASS information_class) {
    if (!information) winsim_not_implemented("GetAclInformation without an output buffer");
    if (faulted("GetAclInformation")) return FALSE;
    DWORD in_use = 0;
    if (!acl_is_valid(acl, &in_use)) winsim_not_implemented("GetAclInformation of a malformed ACL");
    if (information_class == AclRevisionInformation) {
        if (length < sizeof(ACL_REVISION_INFORMATION))
            winsim_not_implemented("GetAclInformation into a buffer smaller than the record");
        static_cast<ACL_REVISION_INFORMATION*>(information)->AclRevision = acl->AclRevision;
        return TRUE;
    }
    if (information_class == AclSizeInformation) {
        if (length < sizeof(ACL_SIZE_INFORMATION))
            winsim_not_implemented("GetAclInformation into a buffer smaller than the record");
        ACL_SIZE_INFORMATION* sizes = static_cast<ACL_SIZE_INFORMATION*>(information);
        sizes->AceCount = acl->AceCount;
        sizes->AclBytesInUse = in_use;
        sizes->AclBytesFree = acl->AclSize - in_use;
        return TRUE;
    }
    return fail(ERROR_INVALID_PARAMETER);
}

BOOL WINAPI GetAce(PACL acl, DWORD index, LPVOID* ace) {
    if (!ace) winsim_not_implemented("GetAce without an out-parameter");
    if (faulted("GetAce")) return FALSE;
    if (!acl_is_valid(acl)) winsim_not_implemented("GetAce of a malformed ACL");
    if (index >= acl->AceCount) return fail(ERROR_INVALID_PARAMETER);
    *ace = bytes(acl) + ace_offset(acl, index);
    return TRUE;
}

BOOL WINAPI AddAce(PACL acl, DWORD revision, DWORD starting_index, LPVOID ace_list,
                   DWORD ace_list_length) {
    if (!ace_list) winsim_not_implemented("AddAce without an ACE list");
    if (faulted("AddAce")) return FALSE;
    DWORD in_use = 0;
    if (!acl_is_valid(acl, &in_use)) return fail(ERROR_INVALID_PARAMETER);
    if (revision < MIN_ACL_REVISION || revision > MAX_ACL_REVISION)
        winsim_not_implemented("AddAce with a revision other than 2, 3 or 4");
    // The list must consist of whole ACEs whose types the revision allows.
    DWORD offset = 0, count = 0;
    while (offset < ace_list_length) {
        if (offset + sizeof(ACE_HEADER) > ace_list_length) return fail(ERROR_INVALID_PARAMETER);
        const BYTE* header = bytes(ace_list) + offset;
        WORD size = read_word(header + 2);
        if (size < sizeof(ACE_HEADER) || offset + size > ace_list_length)
            return fail(ERROR_INVALID_PARAMETER);
        BYTE type = header[0];
        if (type > SYSTEM_ALARM_OBJECT_ACE_TYPE)
            winsim_not_implemented("AddAce of an ACE type beyond the object ACEs");
        if ((type == ACCESS_ALLOWED_COMPOUND_ACE_TYPE && revision < ACL_REVISION3) ||
            (type >= ACCESS_ALLOWED_OBJECT_ACE_TYPE && revision < ACL_REVISION_DS))
            return fail(ERROR_INVALID_PARAMETER);
        offset += size;
        count++;
    }
    if (count == 0) return fail(ERROR_INVALID_PARAMETER);
    if (starting_index != MAXDWORD && starting_index > acl->AceCount)
        winsim_not_implemented("AddAce at an index beyond the ACE count");
    if (in_use + ace_list_length > acl->AclSize) return fail(ERROR_INSUFFICIENT_BUFFER);

    DWORD index = starting_index == MAXDWORD ? acl->AceCount : starting_index;
    DWORD at = ace_offset(acl, index);
    memmove(bytes(acl) + at + ace_list_length, bytes(acl) + at, in_use - at);
    memcpy(bytes(acl) + at, ace_list, ace_list_length);
    acl->AceCount = (WORD)(acl->AceCount + count);
    if (acl->AclRevision < revision) acl->AclRevision = (BYTE)revision;
    return TRUE;
}

BOOL WINAPI AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD flags, DWORD mask, PSID sid) {
    if (faulted("AddAccessAllowedAceEx")) return FALSE;
    DWORD in_use = 0;
    if (!acl_is_valid(acl, &in_use)) return fail(ERROR_INVALID_ACL);
    if (revision < MIN_ACL_REVISION || revision > MAX_ACL_REVISION)
        return fail(ERROR_REVISION_MISMATCH);
    if (!sid_is_valid(sid)) return fail(ERROR_INVALID_SID);
    if (flags & ~(DWORD)VALID_INHERIT_FLAGS) return fail(ERROR_INVALID_FLAGS);
    DWORD length = sid_length(sid);
    DWORD size = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + length;
    if (in_use + size > acl->AclSize) return fail(ERROR_ALLOTTED_SPACE_EXCEEDED);
    BYTE* ace = bytes(acl) + in_use;
    ace[0] = ACCESS_ALLOWED_ACE_TYPE;
    ace[1] = (BYTE)flags;
    ace[2] = (BYTE)size;
    ace[3] = (BYTE)(size >> 8);
    for (int b = 0; b < 4; b++) ace[4 + b] = (BYTE)(mask >> (8 * b));
    memcpy(ace + 8, sid, length);
    acl->AceCount++;
    if (acl->AclRevision < revision) acl->AclRevision = (BYTE)revision;
    return TRUE;
}

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
    if (!descriptor) winsim_not_implemented("InitializeSecurityDescriptor without a descriptor");
    if (faulted("InitializeSecurityDescriptor")) return FALSE;
    if (revision != SECURITY_DESCRIPTOR_REVISION) return fail(ERROR_UNKNOWN_REVISION);
    memset(descriptor, 0, sizeof(SECURITY_DESCRIPTOR));
    static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL WINAPI GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL present, PACL* dacl,
                                      LPBOOL defaulted) {
    if (!descriptor || !present || !dacl || !defaulted)
        winsim_not_implemented("GetSecurityDescriptorDacl with a null argument");
    if (faulted("GetSecurityDescriptorDacl")) return FALSE;
    descriptor_view view = view_descriptor(descriptor);
    if (view.revision != SECURITY_DESCRIPTOR_REVISION) return fail(ERROR_UNKNOWN_REVISION);
    *present = view.dacl_present ? TRUE : FALSE;
    // Without a DACL, the DACL pointer and the defaulted flag are left as they are.
    if (view.dacl_present) {
        *dacl = const_cast<PACL>(view.dacl);
        *defaulted = (view.control & SE_DACL_DEFAULTED) ? TRUE : FALSE;
    }
    return TRUE;
}

// The checks of the Set calls on an absolute descriptor: null (after the error) when the
// revision is unknown or the descriptor is self-relative.
static SECURITY_DESCRIPTOR* settable_descriptor(PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_DESCRIPTOR* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) return fail(ERROR_UNKNOWN_REVISION), nullptr;
    if (sd->Control & SE_SELF_RELATIVE) return fail(ERROR_INVALID_SECURITY_DESCR), nullptr;
    return sd;
}

static void set_control_bit(SECURITY_DESCRIPTOR* sd, WORD bit, BOOL set) {
    if (set)
        sd->Control |= bit;
    else
        sd->Control &= (WORD)~bit;
}

BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl,
                                      BOOL defaulted) {
    if (!descriptor) winsim_not_implemented("SetSecurityDescriptorDacl without a descriptor");
    if (faulted("SetSecurityDescriptorDacl")) return FALSE;
    SECURITY_DESCRIPTOR* sd = settable_descriptor(descriptor);
    if (!sd) return FALSE;
    set_control_bit(sd, SE_DACL_PRESENT, present);
    if (!present) return TRUE;
    sd->Dacl = dacl;
    set_control_bit(sd, SE_DACL_DEFAULTED, defaulted);
    return TRUE;
}

// The owner is kept as given: neither the SID nor whether the token may assign it is checked
// here, but when a descriptor is used.
BOOL WINAPI SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner,
                                       BOOL defaulted) {
    if (!descriptor) winsim_not_implemented("SetSecurityDescriptorOwner without a descriptor");
    if (faulted("SetSecurityDescriptorOwner")) return FALSE;
    SECURITY_DESCRIPTOR* sd = settable_descriptor(descriptor);
    if (!sd) return FALSE;
    sd->Owner = owner;
    set_control_bit(sd, SE_OWNER_DEFAULTED, defaulted);
    return TRUE;
}

BOOL WINAPI GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor,
                                         PSECURITY_DESCRIPTOR_CONTROL control, LPDWORD revision) {
    if (!descriptor || !control || !revision)
        winsim_not_implemented("GetSecurityDescriptorControl with a null argument");
    if (faulted("GetSecurityDescriptorControl")) return FALSE;
    descriptor_view view = view_descriptor(descriptor);
    *revision = view.revision;
    if (view.revision != SECURITY_DESCRIPTOR_REVISION) return fail(ERROR_UNKNOWN_REVISION);
    *control = view.control;
    return TRUE;
}

BOOL WINAPI SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor,
                                         SECURITY_DESCRIPTOR_CONTROL bits_of_interest,
                                         SECURITY_DESCRIPTOR_CONTROL bits_to_set) {
    if (!descriptor) winsim_not_implemented("SetSecurityDescriptorControl without a descriptor");
    if (bits_to_set & ~bits_of_interest)
        winsim_not_implemented("SetSecurityDescriptorControl setting bits outside the bits of interest");
    if (faulted("SetSecurityDescriptorControl")) return FALSE;
    BYTE* p = bytes(descriptor);
    if (p[0] != SECURITY_DESCRIPTOR_REVISION) return fail(ERROR_UNKNOWN_REVISION);
    // Only the inheritance bits, with SE_DACL_UNTRUSTED (0x0040) and SE_SERVER_SECURITY (0x0080).
    const WORD settable = 0x0040 | 0x0080 | SE_DACL_AUTO_INHERIT_REQ | SE_SACL_AUTO_INHERIT_REQ |
                          SE_DACL_AUTO_INHERITED | SE_SACL_AUTO_INHERITED | SE_DACL_PROTECTED |
                          SE_SACL_PROTECTED;
    if (bits_of_interest & ~settable) return fail(ERROR_INVALID_PARAMETER);
    WORD control = read_word(p + 2);
    control = (WORD)((control & ~bits_of_interest) | bits_to_set);
    p[2] = (BYTE)control;
    p[3] = (BYTE)(control >> 8);
    return TRUE;
}

extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length) {
    if (faulted("RtlGenRandom")) return FALSE;
    if (!buffer && length) winsim_not_implemented("RtlGenRandom without a buffer");
    BYTE* out = static_cast<BYTE*>(buffer);
    for (ULONG i = 0; i < length; i++) {
        security_state& s = state();
        if (!s.scripted_random.empty()) {
            out[i] = static_cast<BYTE>(s.scripted_random[0]);
            s.scripted_random.erase(0, 1);
            continue;
        }
        s.random_state ^= s.random_state << 13;
        s.random_state ^= s.random_state >> 7;
        s.random_state ^= s.random_state << 17;
        out[i] = static_cast<BYTE>(s.random_state >> 24);
    }
    return TRUE;
}
