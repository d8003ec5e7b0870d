// Tests of the simulated security calls' own rules: accounts, SID tracking, ACL edits, file descriptors and their test API.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/security_control.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD preset = 0xDEADBEEF;

const char* const default_folder =
    "dacl auto_inherited; allow OI|CI|ID 0x001F01FF S-1-5-18; "
    "allow OI|CI|ID 0x001F01FF S-1-5-32-544; allow OI|CI|ID 0x001200A9 S-1-5-32-545";
const char* const default_file =
    "dacl auto_inherited; allow ID 0x001F01FF S-1-5-18; "
    "allow ID 0x001F01FF S-1-5-32-544; allow ID 0x001200A9 S-1-5-32-545";

class winsim_security : public ::testing::Test {
protected:
    void SetUp() override {
        winsim::reset();
        folder_ = "C:\\Program Files\\Probe";
        ASSERT_TRUE(winsim::add_folder(folder_.c_str()));
    }
    void TearDown() override {
        EXPECT_EQ(0, winsim::outstanding_sids());
        winsim::reset();
    }

    // The self-relative descriptor GetFileSecurityA gives for the path.
    std::vector<BYTE> read_descriptor(const char* path) {
        DWORD needed = 0;
        EXPECT_FALSE(GetFileSecurityA(path, DACL_SECURITY_INFORMATION, NULL, 0, &needed));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
        std::vector<BYTE> descriptor(needed);
        EXPECT_TRUE(GetFileSecurityA(path, DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed));
        return descriptor;
    }

    // An absolute descriptor with the DACL of `aces` (allow ACEs of Everyone with these flags).
    void build_descriptor(std::vector<BYTE>* acl_bytes, SECURITY_DESCRIPTOR* descriptor,
                          const std::vector<BYTE>& flags, WORD control_bits) {
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = NULL;
        ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
        acl_bytes->assign(sizeof(ACL) + flags.size() * 20, 0);
        PACL acl = reinterpret_cast<PACL>(acl_bytes->data());
        ASSERT_TRUE(InitializeAcl(acl, static_cast<DWORD>(acl_bytes->size()), ACL_REVISION));
        for (BYTE flag : flags) ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, flag, 0x001200A9, everyone));
        FreeSid(everyone);
        ASSERT_TRUE(InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION));
        ASSERT_TRUE(SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE));
        if (control_bits) {
            ASSERT_TRUE(SetSecurityDescriptorControl(descriptor, control_bits, control_bits));
        }
    }

    std::string folder_;
};

// --- accounts ---

struct looked_up {
    BOOL result;
    DWORD error;
    std::string sid;
    std::string domain;
    SID_NAME_USE use;
};

std::string sid_text(const BYTE* sid) {
    std::string text = "S-1-" + std::to_string(sid[7]);
    for (int i = 0; i < sid[1]; i++) {
        DWORD value;
        std::memcpy(&value, sid + 8 + 4 * i, 4);
        text += "-" + std::to_string(value);
    }
    return text;
}

looked_up look_up(const char* name) {
    looked_up result = {FALSE, 0, "", "", SidTypeInvalid};
    DWORD sid_size = 0, domain_size = 0;
    SID_NAME_USE use = SidTypeInvalid;
    SetLastError(preset);
    if (LookupAccountNameA(NULL, name, NULL, &sid_size, NULL, &domain_size, &use) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        result.error = GetLastError();
        return result;
    }
    std::vector<BYTE> sid(sid_size);
    std::vector<char> domain(domain_size);
    result.result = LookupAccountNameA(NULL, name, sid.data(), &sid_size, domain.data(), &domain_size, &use);
    result.error = GetLastError();
    if (result.result) {
        result.sid = sid_text(sid.data());
        result.domain = std::string(domain.data(), domain_size);
        result.use = use;
    }
    return result;
}

TEST_F(winsim_security, lookup_knows_the_german_and_english_names_of_the_built_in_accounts) {
    const struct { const char* name; const char* sid; const char* domain; SID_NAME_USE use; } cases[] = {
        {"Jeder", "S-1-1-0", "", SidTypeWellKnownGroup},
        {"everyone", "S-1-1-0", "", SidTypeWellKnownGroup},
        {"Administratoren", "S-1-5-32-544", "VORDEFINIERT", SidTypeAlias},
        {"Administrators", "S-1-5-32-544", "VORDEFINIERT", SidTypeAlias},
        {"Benutzer", "S-1-5-32-545", "VORDEFINIERT", SidTypeAlias},
        {"USERS", "S-1-5-32-545", "VORDEFINIERT", SidTypeAlias},
        {"SYSTEM", "S-1-5-18", "NT-AUTORITÄT", SidTypeWellKnownGroup},
        {"VORDEFINIERT\\Administratoren", "S-1-5-32-544", "VORDEFINIERT", SidTypeAlias},
        {"BUILTIN\\Users", "S-1-5-32-545", "VORDEFINIERT", SidTypeAlias},
        {"NT AUTHORITY\\SYSTEM", "S-1-5-18", "NT-AUTORITÄT", SidTypeWellKnownGroup},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        looked_up found = look_up(c.name);
        ASSERT_TRUE(found.result) << found.error;
        EXPECT_EQ(c.sid, found.sid);
        EXPECT_EQ(c.domain, found.domain);
        EXPECT_EQ(c.use, found.use);
    }
}

TEST_F(winsim_security, lookup_knows_the_machines_user_under_its_computer) {
    looked_up found = look_up("Anwender");
    ASSERT_TRUE(found.result);
    EXPECT_EQ(winsim::current_user_sid, found.sid);
    EXPECT_EQ(winsim::computer_name, found.domain);
    EXPECT_EQ(SidTypeUser, found.use);
    EXPECT_TRUE(look_up("DESKTOP-Q7\\anwender").result);

    winsim::set_user_name("Maria");
    EXPECT_TRUE(look_up("Maria").result);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NONE_MAPPED), look_up("Anwender").error);
}

TEST_F(winsim_security, lookup_of_an_unknown_or_wrongly_qualified_name_finds_nothing) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_NONE_MAPPED), look_up("Niemand").error);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NONE_MAPPED), look_up("VORDEFINIERT\\SYSTEM").error);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NONE_MAPPED), look_up("OTHER-PC\\Anwender").error);
}

TEST_F(winsim_security, lookup_fails_with_an_injected_fault_for_its_account_name) {
    winsim::fail_call("LookupAccountNameA", "jeder", ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), look_up("Jeder").error);
    EXPECT_TRUE(look_up("SYSTEM").result);
}

// --- SIDs ---

TEST_F(winsim_security, allocated_sids_are_counted_until_freed) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = NULL, system = NULL;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins));
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system));
    EXPECT_EQ(2, winsim::outstanding_sids());
    EXPECT_EQ(16u, GetLengthSid(admins));
    EXPECT_EQ("S-1-5-32-544", sid_text(static_cast<BYTE*>(admins)));
    SetLastError(preset);
    EXPECT_FALSE(EqualSid(admins, system));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(nullptr, FreeSid(admins));
    EXPECT_EQ(1, winsim::outstanding_sids());
    FreeSid(system);
}

TEST_F(winsim_security, allocate_and_initialize_sid_refuses_more_than_eight_sub_authorities) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = reinterpret_cast<PSID>(0x1234);
    SetLastError(preset);
    EXPECT_FALSE(AllocateAndInitializeSid(&nt, 9, 1, 2, 3, 4, 5, 6, 7, 8, &sid));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SID), GetLastError());
    EXPECT_EQ(0, winsim::outstanding_sids());
}

TEST_F(winsim_security, allocate_and_initialize_sid_fails_with_an_injected_fault) {
    winsim::fail_call("AllocateAndInitializeSid", NULL, ERROR_NOT_ENOUGH_MEMORY, -1, 1);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID sid = NULL;
    SetLastError(preset);
    EXPECT_FALSE(AllocateAndInitializeSid(&world, 1, 0, 0, 0, 0, 0, 0, 0, 0, &sid));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    EXPECT_EQ(nullptr, sid);
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, 0, 0, 0, 0, 0, 0, 0, 0, &sid));
    FreeSid(sid);
}

// --- ACLs and descriptors ---

TEST_F(winsim_security, add_ace_inserts_at_an_index_and_raises_the_acl_revision) {
    std::vector<BYTE> source_bytes;
    SECURITY_DESCRIPTOR unused;
    build_descriptor(&source_bytes, &unused, {0x01, 0x02}, 0);
    PACL source = reinterpret_cast<PACL>(source_bytes.data());
    void* first = NULL;
    void* second = NULL;
    ASSERT_TRUE(GetAce(source, 0, &first));
    ASSERT_TRUE(GetAce(source, 1, &second));

    BYTE buffer[64];
    PACL acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    ASSERT_TRUE(AddAce(acl, ACL_REVISION, MAXDWORD, first, 20));
    ASSERT_TRUE(AddAce(acl, ACL_REVISION_DS, 0, second, 20));
    EXPECT_EQ(ACL_REVISION_DS, acl->AclRevision);
    EXPECT_EQ(2, acl->AceCount);
    void* ace = NULL;
    ASSERT_TRUE(GetAce(acl, 0, &ace));
    EXPECT_EQ(0x02, static_cast<ACE_HEADER*>(ace)->AceFlags);
    ASSERT_TRUE(GetAce(acl, 1, &ace));
    EXPECT_EQ(0x01, static_cast<ACE_HEADER*>(ace)->AceFlags);
}

TEST_F(winsim_security, add_ace_refuses_object_aces_below_revision_four) {
    BYTE object_ace[44] = {ACCESS_ALLOWED_OBJECT_ACE_TYPE, 0, 44, 0};
    BYTE buffer[64];
    PACL acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION_DS));
    SetLastError(preset);
    EXPECT_FALSE(AddAce(acl, ACL_REVISION, MAXDWORD, object_ace, sizeof object_ace));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(0, acl->AceCount);
}

TEST_F(winsim_security, add_access_allowed_ace_ex_refuses_flags_beyond_the_inheritance_flags) {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = NULL;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, 0, 0, 0, 0, 0, 0, 0, 0, &everyone));
    BYTE buffer[64];
    PACL acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    SetLastError(preset);
    EXPECT_FALSE(AddAccessAllowedAceEx(acl, ACL_REVISION, SUCCESSFUL_ACCESS_ACE_FLAG, 1, everyone));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
    EXPECT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, VALID_INHERIT_FLAGS, 1, everyone));
    FreeSid(everyone);
}

TEST_F(winsim_security, acl_calls_fail_with_injected_faults) {
    BYTE buffer[64];
    PACL acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    const char* calls[] = {"InitializeAcl", "GetAclInformation", "GetAce", "AddAce", "AddAccessAllowedAceEx",
                           "InitializeSecurityDescriptor", "GetSecurityDescriptorDacl",
                           "SetSecurityDescriptorDacl", "GetSecurityDescriptorControl",
                           "SetSecurityDescriptorControl", "SetSecurityDescriptorOwner"};
    for (const char* call : calls) winsim::fail_call(call, NULL, ERROR_NOT_ENOUGH_MEMORY, -1, 1);

    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = NULL;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, 0, 0, 0, 0, 0, 0, 0, 0, &everyone));
    SECURITY_DESCRIPTOR descriptor;
    ACL_SIZE_INFORMATION sizes;
    void* ace = NULL;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = NULL;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BYTE ace_bytes[20] = {0, 0, 20, 0};
    const BOOL results[] = {
        InitializeAcl(acl, sizeof buffer, ACL_REVISION),
        GetAclInformation(acl, &sizes, sizeof sizes, AclSizeInformation),
        GetAce(acl, 0, &ace),
        AddAce(acl, ACL_REVISION, MAXDWORD, ace_bytes, sizeof ace_bytes),
        AddAccessAllowedAceEx(acl, ACL_REVISION, 0, 1, everyone),
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION),
        GetSecurityDescriptorDacl(&descriptor, &present, &dacl, &defaulted),
        SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE),
        GetSecurityDescriptorControl(&descriptor, &control, &revision),
        SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED),
        SetSecurityDescriptorOwner(&descriptor, everyone, FALSE),
    };
    for (size_t i = 0; i < sizeof results / sizeof results[0]; i++) EXPECT_FALSE(results[i]) << calls[i];
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    EXPECT_EQ(0, acl->AceCount);
    FreeSid(everyone);
}

// --- file descriptors ---

TEST_F(winsim_security, a_folder_or_file_without_its_own_descriptor_has_the_default_one) {
    std::string file = folder_ + "\\readme.txt";
    ASSERT_TRUE(winsim::add_file(file.c_str(), "x"));
    EXPECT_EQ(default_folder, winsim::file_security(folder_.c_str()));
    EXPECT_EQ(default_file, winsim::file_security(file.c_str()));
    EXPECT_FALSE(winsim::has_own_file_security(folder_.c_str()));
    EXPECT_EQ("", winsim::file_security("C:\\Program Files\\Missing"));
}

TEST_F(winsim_security, the_default_descriptor_is_self_relative_with_the_dacl_after_the_header) {
    std::vector<BYTE> descriptor = read_descriptor(folder_.c_str());
    ASSERT_EQ(20u + 8u + 20u + 24u + 24u, descriptor.size());
    const SECURITY_DESCRIPTOR_RELATIVE* header = reinterpret_cast<const SECURITY_DESCRIPTOR_RELATIVE*>(descriptor.data());
    EXPECT_EQ(SECURITY_DESCRIPTOR_REVISION, header->Revision);
    EXPECT_EQ(SE_SELF_RELATIVE | SE_DACL_AUTO_INHERITED | SE_DACL_PRESENT, header->Control);
    EXPECT_EQ(0u, header->Owner);
    EXPECT_EQ(0u, header->Group);
    EXPECT_EQ(0u, header->Sacl);
    EXPECT_EQ(20u, header->Dacl);
    const ACL* acl = reinterpret_cast<const ACL*>(descriptor.data() + 20);
    EXPECT_EQ(ACL_REVISION, acl->AclRevision);
    EXPECT_EQ(3, acl->AceCount);
    EXPECT_EQ(descriptor.size() - 20, acl->AclSize);
}

TEST_F(winsim_security, a_description_set_for_a_path_is_read_back_in_the_same_words) {
    const char* descriptions[] = {
        "dacl protected; allow OI|CI 0x001F01FF S-1-5-21-1-2-3-1001; deny - 0x00010000 S-1-1-0",
        "dacl",
        "dacl auto_inherited protected; allow NP|IO|ID 0x80000000 S-1-5-32-545",
        "no dacl",
        "null dacl",
        "null dacl auto_inherited",
    };
    for (const char* description : descriptions) {
        SCOPED_TRACE(description);
        ASSERT_TRUE(winsim::set_file_security(folder_.c_str(), description));
        EXPECT_TRUE(winsim::has_own_file_security(folder_.c_str()));
        EXPECT_EQ(description, winsim::file_security(folder_.c_str()));
    }
}

TEST_F(winsim_security, a_malformed_description_is_refused_with_a_reason) {
    const char* descriptions[] = {
        "acl; allow - 0x00000001 S-1-1-0",
        "dacl; permit - 0x00000001 S-1-1-0",
        "dacl; allow XX 0x00000001 S-1-1-0",
        "dacl; allow - 1 S-1-1-0",
        "dacl; allow - 0x00000001 S-2-1-0",
        "dacl; allow - 0x00000001",
        "dacl inherited",
        "no dacl; allow - 0x00000001 S-1-1-0",
    };
    for (const char* description : descriptions) {
        SCOPED_TRACE(description);
        std::string error;
        EXPECT_FALSE(winsim::set_file_security(folder_.c_str(), description, &error));
        EXPECT_NE("", error);
        EXPECT_FALSE(winsim::has_own_file_security(folder_.c_str()));
    }
    std::string error;
    EXPECT_FALSE(winsim::set_file_security("C:\\Program Files\\Missing", "dacl", &error));
    EXPECT_NE("", error);
}

TEST_F(winsim_security, no_dacl_and_null_dacl_have_their_self_relative_forms) {
    ASSERT_TRUE(winsim::set_file_security(folder_.c_str(), "no dacl"));
    std::vector<BYTE> none = read_descriptor(folder_.c_str());
    ASSERT_EQ(20u, none.size());
    const SECURITY_DESCRIPTOR_RELATIVE* header = reinterpret_cast<const SECURITY_DESCRIPTOR_RELATIVE*>(none.data());
    EXPECT_EQ(SE_SELF_RELATIVE, header->Control);
    EXPECT_EQ(0u, header->Dacl);

    ASSERT_TRUE(winsim::set_file_security(folder_.c_str(), "null dacl"));
    std::vector<BYTE> null_dacl = read_descriptor(folder_.c_str());
    ASSERT_EQ(20u, null_dacl.size());
    header = reinterpret_cast<const SECURITY_DESCRIPTOR_RELATIVE*>(null_dacl.data());
    EXPECT_EQ(SE_SELF_RELATIVE | SE_DACL_PRESENT, header->Control);
    BOOL present = FALSE, defaulted = TRUE;
    PACL dacl = reinterpret_cast<PACL>(0x1234);
    ASSERT_TRUE(GetSecurityDescriptorDacl(null_dacl.data(), &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(nullptr, dacl);
    EXPECT_FALSE(defaulted);
}

TEST_F(winsim_security, set_file_security_keeps_the_dacl_and_the_inheritance_bits) {
    std::vector<BYTE> acl;
    SECURITY_DESCRIPTOR descriptor;
    build_descriptor(&acl, &descriptor, {0x03, 0x13}, SE_DACL_AUTO_INHERIT_REQ);
    ASSERT_TRUE(SetFileSecurityA(folder_.c_str(), DACL_SECURITY_INFORMATION, &descriptor));
    // The request for automatic inheritance leaves the DACL marked auto-inherited.
    EXPECT_EQ("dacl auto_inherited; allow OI|CI 0x001200A9 S-1-1-0; allow OI|CI|ID 0x001200A9 S-1-1-0",
              winsim::file_security(folder_.c_str()));

    build_descriptor(&acl, &descriptor, {0x00}, SE_DACL_PROTECTED);
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()), TRUE));
    ASSERT_TRUE(SetFileSecurityA(folder_.c_str(), DACL_SECURITY_INFORMATION, &descriptor));
    EXPECT_EQ("dacl protected; allow - 0x001200A9 S-1-1-0", winsim::file_security(folder_.c_str()));
    std::vector<BYTE> read = read_descriptor(folder_.c_str());
    EXPECT_EQ(SE_SELF_RELATIVE | SE_DACL_PROTECTED | SE_DACL_PRESENT,
              reinterpret_cast<const SECURITY_DESCRIPTOR_RELATIVE*>(read.data())->Control);
}

TEST_F(winsim_security, set_file_security_takes_the_self_relative_form_too) {
    ASSERT_TRUE(winsim::set_file_security(folder_.c_str(), "dacl; deny - 0x00010000 S-1-1-0"));
    std::vector<BYTE> descriptor = read_descriptor(folder_.c_str());
    std::string other = folder_ + "\\Other";
    ASSERT_TRUE(winsim::add_folder(other.c_str()));
    ASSERT_TRUE(SetFileSecurityA(other.c_str(), DACL_SECURITY_INFORMATION, descriptor.data()));
    EXPECT_EQ("dacl; deny - 0x00010000 S-1-1-0", winsim::file_security(other.c_str()));
}

TEST_F(winsim_security, a_descriptor_belongs_to_its_entry_and_goes_with_it) {
    std::string file = folder_ + "\\data.bin";
    ASSERT_TRUE(winsim::add_file(file.c_str(), "1"));
    ASSERT_TRUE(winsim::set_file_security(file.c_str(), "null dacl"));
    EXPECT_EQ("null dacl", winsim::file_security("c:/program files/probe/DATA.BIN"));
    ASSERT_TRUE(DeleteFileA(file.c_str()));
    ASSERT_TRUE(winsim::add_file(file.c_str(), "2"));
    EXPECT_EQ(default_file, winsim::file_security(file.c_str()));
    EXPECT_FALSE(winsim::has_own_file_security(file.c_str()));

    ASSERT_TRUE(winsim::set_file_security(file.c_str(), "no dacl"));
    winsim::forget_file_security(file.c_str());
    EXPECT_EQ(default_file, winsim::file_security(file.c_str()));
}

TEST_F(winsim_security, file_security_of_a_missing_path_fails_as_the_file_system_answers) {
    DWORD needed = preset;
    SetLastError(preset);
    EXPECT_FALSE(GetFileSecurityA("C:\\Program Files\\Probe\\none.txt", DACL_SECURITY_INFORMATION, NULL, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(preset, needed);
    SetLastError(preset);
    EXPECT_FALSE(GetFileSecurityA("C:\\Program Files\\None\\x.txt", DACL_SECURITY_INFORMATION, NULL, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    SetLastError(preset);
    EXPECT_FALSE(SetFileSecurityA("C:\\Program Files\\Probe\\none.txt", DACL_SECURITY_INFORMATION, &descriptor));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(winsim_security, denied_reading_or_writing_of_the_security_fails_with_access_denied) {
    winsim::deny_file_security_read(folder_.c_str());
    DWORD needed = preset;
    SetLastError(preset);
    EXPECT_FALSE(GetFileSecurityA(folder_.c_str(), DACL_SECURITY_INFORMATION, NULL, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(preset, needed);

    std::string other = folder_ + "\\Locked";
    ASSERT_TRUE(winsim::add_folder(other.c_str()));
    winsim::deny_file_security_write(other.c_str());
    std::vector<BYTE> acl;
    SECURITY_DESCRIPTOR descriptor;
    build_descriptor(&acl, &descriptor, {0x00}, 0);
    SetLastError(preset);
    EXPECT_FALSE(SetFileSecurityA(other.c_str(), DACL_SECURITY_INFORMATION, &descriptor));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(default_folder, winsim::file_security(other.c_str()));
    read_descriptor(other.c_str());  // reading stays allowed
}

TEST_F(winsim_security, file_security_calls_fail_with_faults_for_their_path) {
    std::string other = folder_ + "\\Other";
    ASSERT_TRUE(winsim::add_folder(other.c_str()));
    winsim::fail_call("GetFileSecurityA", other.c_str(), ERROR_SHARING_VIOLATION);
    winsim::fail_call("SetFileSecurityA", folder_.c_str(), ERROR_WRITE_PROTECT);
    DWORD needed = 0;
    SetLastError(preset);
    EXPECT_FALSE(GetFileSecurityA(other.c_str(), DACL_SECURITY_INFORMATION, NULL, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    read_descriptor(folder_.c_str());

    std::vector<BYTE> acl;
    SECURITY_DESCRIPTOR descriptor;
    build_descriptor(&acl, &descriptor, {0x00}, 0);
    SetLastError(preset);
    EXPECT_FALSE(SetFileSecurityA(folder_.c_str(), DACL_SECURITY_INFORMATION, &descriptor));
    EXPECT_EQ(static_cast<DWORD>(ERROR_WRITE_PROTECT), GetLastError());
    EXPECT_TRUE(SetFileSecurityA(other.c_str(), DACL_SECURITY_INFORMATION, &descriptor));
    EXPECT_FALSE(winsim::has_own_file_security(folder_.c_str()));
    EXPECT_TRUE(winsim::has_own_file_security(other.c_str()));

    bool logged = false;
    for (const winsim::logged_call& call : winsim::call_log())
        if (call.call == "SetFileSecurityA" && call.failed_by_fault) logged = true;
    EXPECT_TRUE(logged);
}

TEST_F(winsim_security, a_wow64_process_sets_the_security_of_the_redirected_file) {
    winsim::set_wow64(true, true);
    ASSERT_TRUE(winsim::add_file("C:\\Windows\\SysWOW64\\layout.dll", "MZ"));
    ASSERT_TRUE(winsim::add_file("C:\\Windows\\system32\\layout.dll", "MZ"));
    std::vector<BYTE> acl;
    SECURITY_DESCRIPTOR descriptor;
    build_descriptor(&acl, &descriptor, {0x00}, 0);
    ASSERT_TRUE(SetFileSecurityA("C:\\Windows\\System32\\layout.dll", DACL_SECURITY_INFORMATION, &descriptor));
    EXPECT_TRUE(winsim::has_own_file_security("C:\\Windows\\SysWOW64\\layout.dll"));
    EXPECT_FALSE(winsim::has_own_file_security("C:\\Windows\\system32\\layout.dll"));
}

// --- another program of the user ---

const char* const administrators_only =
    "dacl protected; allow OI|CI 0x001F01FF S-1-5-32-544; allow OI|CI 0x001F01FF S-1-5-18";

// A folder of an administrator's below `parent`, with a program in it.
std::string administrators_folder(const std::string& parent) {
    std::string folder = parent + "\\admin";
    EXPECT_TRUE(winsim::add_file((folder + "\\program.exe").c_str(), "MZ ours"));
    EXPECT_TRUE(winsim::set_file_security(folder.c_str(), administrators_only));
    return folder;
}

TEST_F(winsim_security, the_user_owns_the_temporary_folder_and_may_swap_what_is_in_it) {
    std::string temp = winsim::standard_folders().temp;
    EXPECT_EQ(std::string("dacl auto_inherited; allow OI|CI|ID 0x001F01FF S-1-5-18; "
                          "allow OI|CI|ID 0x001F01FF S-1-5-32-544; allow OI|CI|ID 0x001F01FF ") +
                  winsim::current_user_sid,
              winsim::file_security(temp.c_str()));
    std::string folder = administrators_folder(temp);
    // Nothing inside the administrators' folder is the user's to change...
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, winsim::user_write_file((folder + "\\program.exe").c_str(), "MZ"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, winsim::user_delete((folder + "\\program.exe").c_str()));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, winsim::user_write_file((folder + "\\other.exe").c_str(), "MZ"));
    // ...but the folder itself goes, and one of the user's takes its name.
    EXPECT_EQ((DWORD)ERROR_SUCCESS, winsim::user_move(folder.c_str(), (temp + "\\away").c_str()));
    EXPECT_EQ((DWORD)ERROR_SUCCESS, winsim::user_create_folder(folder.c_str()));
    EXPECT_EQ((DWORD)ERROR_SUCCESS, winsim::user_write_file((folder + "\\program.exe").c_str(), "MZ theirs"));
    EXPECT_EQ("MZ theirs", winsim::entry((folder + "\\program.exe").c_str()).contents);
    EXPECT_EQ("MZ ours", winsim::entry((temp + "\\away\\program.exe").c_str()).contents);
}

TEST_F(winsim_security, in_the_windows_temp_folder_users_add_entries_but_remove_only_their_own) {
    const std::string temp = "C:\\Windows\\Temp";
    EXPECT_FALSE(winsim::has_own_file_security(temp.c_str()));
    std::string folder = administrators_folder(temp);
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, winsim::user_move(folder.c_str(), (temp + "\\away").c_str()));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, winsim::user_move((folder + "\\program.exe").c_str(),
                                                           (temp + "\\program.exe").c_str()));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, winsim::user_write_file((folder + "\\program.exe").c_str(), "MZ"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, winsim::user_write_file((folder + "\\other.exe").c_str(), "MZ"));
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, winsim::user_create_folder(folder.c_str()));
    EXPECT_EQ("MZ ours", winsim::entry((folder + "\\program.exe").c_str()).contents);

    // The user's own folder: CREATOR OWNER makes it the user's, with what is put in it.
    std::string own = temp + "\\mine";
    ASSERT_EQ((DWORD)ERROR_SUCCESS, winsim::user_create_folder(own.c_str()));
    EXPECT_EQ(std::string("dacl auto_inherited; allow OI|CI|ID 0x001F01FF S-1-5-18; "
                          "allow OI|CI|ID 0x001F01FF S-1-5-32-544; allow CI|ID 0x00100026 S-1-5-32-545; "
                          "allow ID 0x001F01FF ") + winsim::current_user_sid +
                  "; allow OI|CI|IO|ID 0x001F01FF S-1-3-0",
              winsim::file_security(own.c_str()));
    ASSERT_EQ((DWORD)ERROR_SUCCESS, winsim::user_write_file((own + "\\x.exe").c_str(), "MZ"));
    EXPECT_EQ(std::string("dacl auto_inherited; allow ID 0x001F01FF S-1-5-18; "
                          "allow ID 0x001F01FF S-1-5-32-544; allow ID 0x001F01FF ") +
                  winsim::current_user_sid,
              winsim::file_security((own + "\\x.exe").c_str()));
    EXPECT_EQ((DWORD)ERROR_SUCCESS, winsim::user_move(own.c_str(), (temp + "\\renamed").c_str()));
    EXPECT_EQ((DWORD)ERROR_DIR_NOT_EMPTY, winsim::user_delete((temp + "\\renamed").c_str()));
    EXPECT_EQ((DWORD)ERROR_SUCCESS, winsim::user_delete((temp + "\\renamed\\x.exe").c_str()));
    EXPECT_EQ((DWORD)ERROR_SUCCESS, winsim::user_delete((temp + "\\renamed").c_str()));
}

TEST_F(winsim_security, the_users_rights_follow_the_order_and_kinds_of_the_entries) {
    std::string file = folder_ + "\\data.bin";
    ASSERT_TRUE(winsim::add_file(file.c_str(), "x"));
    const struct {
        const char* description;
        DWORD error;
    } cases[] = {
        // The default: Users may read, the Administrators' full control is not the user's.
        {"dacl; allow - 0x001200A9 S-1-5-32-545; allow - 0x001F01FF S-1-5-32-544", ERROR_ACCESS_DENIED},
        {"dacl; allow - 0x00120116 S-1-5-11", ERROR_SUCCESS},
        {"dacl; allow - 0x40000000 S-1-1-0", ERROR_SUCCESS},
        {"dacl; deny - 0x00000002 S-1-5-32-544; allow - 0x001F01FF S-1-1-0", ERROR_ACCESS_DENIED},
        {"dacl; allow - 0x001F01FF S-1-1-0; deny - 0x00000002 S-1-5-32-544", ERROR_SUCCESS},
        {"dacl; allow IO 0x001F01FF S-1-1-0", ERROR_ACCESS_DENIED},
        {"null dacl", ERROR_SUCCESS},
        {"dacl", ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        ASSERT_TRUE(winsim::set_file_security(file.c_str(), c.description));
        EXPECT_EQ(c.error, winsim::user_write_file(file.c_str(), "y"));
    }
}

// The user's own folder in the Windows folder's Temp: the user owns it, so that only OWNER
// RIGHTS entries take the implicit WRITE_DAC away; a DACL written keeps the owner.
TEST_F(winsim_security, the_owner_may_write_the_dacl_unless_owner_rights_entries_say_otherwise) {
    std::string folder = winsim::standard_folders().windows + "\\Temp\\own";
    ASSERT_EQ((DWORD)ERROR_SUCCESS, winsim::user_create_folder(folder.c_str()));
    EXPECT_EQ(winsim::current_user_sid, winsim::file_owner(folder.c_str()));
    const std::string user = winsim::current_user_sid;
    const struct {
        std::string description;
        DWORD error;
    } cases[] = {
        {"dacl", ERROR_SUCCESS},
        {"dacl; deny - 0x001F01FF " + user, ERROR_SUCCESS},
        {"dacl; allow - 0x00020000 S-1-3-4", ERROR_ACCESS_DENIED},
        {"dacl; allow - 0x00040000 S-1-3-4", ERROR_SUCCESS},
        {"dacl; allow OI|CI|IO 0x00020000 S-1-3-4", ERROR_SUCCESS},
        {"dacl; allow - 0x00020000 S-1-3-4; allow - 0x00040000 " + user, ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        ASSERT_TRUE(winsim::set_file_security(folder.c_str(), c.description.c_str()));
        EXPECT_EQ(c.error, winsim::user_set_file_security(folder.c_str(), "null dacl"));
        EXPECT_EQ(c.error ? c.description : "null dacl", winsim::file_security(folder.c_str()));
        EXPECT_EQ(winsim::current_user_sid, winsim::file_owner(folder.c_str()));
    }
    // Owned by the Administrators group, an entry without a DACL entry for the user stays closed.
    std::string file = folder_ + "\\data.bin";
    ASSERT_TRUE(winsim::add_file(file.c_str(), "x"));
    EXPECT_EQ("S-1-5-32-544", winsim::file_owner(file.c_str()));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, winsim::user_set_file_security(file.c_str(), "null dacl"));
    EXPECT_EQ("", winsim::file_owner((folder_ + "\\missing").c_str()));
}

TEST_F(winsim_security, what_the_program_holds_open_stays_where_it_is) {
    std::string temp = winsim::standard_folders().temp;
    std::string file = temp + "\\file.txt", below = temp + "\\held\\file.txt";
    ASSERT_TRUE(winsim::add_file(file.c_str(), "x"));
    ASSERT_TRUE(winsim::add_file(below.c_str(), "x"));
    long hold = winsim::hold_file_open(file.c_str(), GENERIC_READ, FILE_SHARE_READ);
    long hold_below = winsim::hold_file_open(below.c_str(), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(hold && hold_below);
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, winsim::user_delete(file.c_str()));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, winsim::user_move((temp + "\\held").c_str(), (temp + "\\away").c_str()));
    winsim::release_file(hold);
    winsim::release_file(hold_below);
    EXPECT_EQ((DWORD)ERROR_SUCCESS, winsim::user_delete(file.c_str()));
    EXPECT_EQ((DWORD)ERROR_SUCCESS, winsim::user_move((temp + "\\held").c_str(), (temp + "\\away").c_str()));
}

}  // namespace
