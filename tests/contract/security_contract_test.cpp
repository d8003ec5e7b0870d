// The security calls the access grant relies on (SIDs, accounts, ACLs, descriptors, file security), checked against Windows and winsim.
#include <windows.h>
#include <ntsecapi.h>

#include <gtest/gtest.h>

#include "contract_support.h"

#ifndef _WIN32
#include <winsim/control.h>
#endif

#include <cstring>
#include <string>
#include <vector>

namespace {



const BYTE everyone_bytes[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};

class security_contract : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef _WIN32
        winsim::reset();
#endif
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone_));
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                             0, 0, 0, &admins_));
    }
    void TearDown() override {
        if (everyone_) {
            EXPECT_EQ(nullptr, FreeSid(everyone_));
        }
        if (admins_) FreeSid(admins_);
    }

    // An ACL of `size` bytes in a buffer with sentinel bytes after it.
    PACL fresh_acl(DWORD size, DWORD revision = ACL_REVISION_DS) {
        buffer_.assign(size + 16, sentinel);
        PACL acl = reinterpret_cast<PACL>(buffer_.data());
        EXPECT_TRUE(InitializeAcl(acl, size, revision));
        return acl;
    }
    bool sentinels_intact(DWORD from) const {
        for (size_t i = from; i < buffer_.size(); i++)
            if (buffer_[i] != sentinel) return false;
        return true;
    }

    PSID everyone_ = NULL;
    PSID admins_ = NULL;
    std::vector<BYTE> buffer_;
};

// --- SIDs ---

TEST_F(security_contract, everyone_is_the_twelve_byte_sid_s110) {
    EXPECT_TRUE(IsValidSid(everyone_));
    EXPECT_EQ(12u, GetLengthSid(everyone_));
    EXPECT_EQ(0, std::memcmp(everyone_bytes, everyone_, sizeof everyone_bytes));
    EXPECT_EQ(16u, GetLengthSid(admins_));
}

TEST_F(security_contract, equal_sid_compares_the_sids_and_clears_the_last_error) {
    BYTE copy[12];
    std::memcpy(copy, everyone_bytes, sizeof copy);
    SetLastError(preset);
    EXPECT_TRUE(EqualSid(everyone_, copy));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    SetLastError(preset);
    EXPECT_FALSE(EqualSid(everyone_, admins_));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
}

// --- accounts ---

TEST_F(security_contract, lookup_size_query_of_a_known_name_reports_both_sizes) {
    DWORD sid_size = 0, domain_size = 0;
    SID_NAME_USE use = SidTypeInvalid;
    SetLastError(preset);
    EXPECT_FALSE(LookupAccountNameA(NULL, "Everyone", NULL, &sid_size, NULL, &domain_size, &use));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(12u, sid_size);
    EXPECT_EQ(1u, domain_size);  // the empty domain of a well-known group, with its zero
    EXPECT_EQ(SidTypeInvalid, use);

    BYTE sid[12 + 4];
    char domain[1 + 4];
    std::memset(sid, sentinel, sizeof sid);
    std::memset(domain, sentinel, sizeof domain);
    ASSERT_TRUE(LookupAccountNameA(NULL, "Everyone", sid, &sid_size, domain, &domain_size, &use));
    EXPECT_EQ(0, std::memcmp(everyone_bytes, sid, sizeof everyone_bytes));
    EXPECT_EQ(sentinel, sid[12]);
    EXPECT_EQ('\0', domain[0]);
    EXPECT_EQ(sentinel, static_cast<BYTE>(domain[1]));
    EXPECT_EQ(12u, sid_size);
    EXPECT_EQ(0u, domain_size);  // on success: the domain's length without the zero
    EXPECT_EQ(SidTypeWellKnownGroup, use);
}

TEST_F(security_contract, lookup_of_the_administrators_gives_their_sid_and_domain) {
    DWORD sid_size = 0, domain_size = 0;
    SID_NAME_USE use = SidTypeInvalid;
    SetLastError(preset);
    ASSERT_FALSE(LookupAccountNameA(NULL, "Administrators", NULL, &sid_size, NULL, &domain_size, &use));
    ASSERT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(16u, sid_size);
    ASSERT_GT(domain_size, 1u);

    std::vector<BYTE> sid(sid_size, sentinel);
    std::vector<char> domain(domain_size + 1, static_cast<char>(sentinel));
    DWORD reported_domain_size = domain_size;
    ASSERT_TRUE(LookupAccountNameA(NULL, "Administrators", sid.data(), &sid_size, domain.data(), &domain_size, &use));
    EXPECT_TRUE(EqualSid(sid.data(), admins_));
    EXPECT_EQ(reported_domain_size - 1, domain_size);
    EXPECT_EQ(domain_size, std::strlen(domain.data()));
    EXPECT_EQ(sentinel, static_cast<BYTE>(domain[reported_domain_size]));
    EXPECT_EQ(SidTypeAlias, use);
}

TEST_F(security_contract, lookup_with_a_too_small_sid_buffer_reports_the_sizes_and_writes_nothing) {
    BYTE sid[16];
    char domain[16];
    std::memset(sid, sentinel, sizeof sid);
    std::memset(domain, sentinel, sizeof domain);
    DWORD sid_size = 5, domain_size = sizeof domain;
    SID_NAME_USE use = SidTypeInvalid;
    SetLastError(preset);
    EXPECT_FALSE(LookupAccountNameA(NULL, "Everyone", sid, &sid_size, domain, &domain_size, &use));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(12u, sid_size);
    EXPECT_EQ(1u, domain_size);
    EXPECT_EQ(sentinel, sid[0]);
    EXPECT_EQ(SidTypeInvalid, use);
}

TEST_F(security_contract, lookup_of_an_unknown_name_fails_with_none_mapped) {
    DWORD sid_size = 0, domain_size = 0;
    SID_NAME_USE use = SidTypeInvalid;
    SetLastError(preset);
    EXPECT_FALSE(LookupAccountNameA(NULL, "kbcontract-nobody", NULL, &sid_size, NULL, &domain_size, &use));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NONE_MAPPED), GetLastError());

    BYTE sid[32];
    char domain[32];
    sid_size = sizeof sid;
    domain_size = sizeof domain;
    std::memset(sid, sentinel, sizeof sid);
    SetLastError(preset);
    EXPECT_FALSE(LookupAccountNameA(NULL, "kbcontract-nobody", sid, &sid_size, domain, &domain_size, &use));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NONE_MAPPED), GetLastError());
    EXPECT_EQ(sizeof sid, sid_size);
    EXPECT_EQ(sizeof domain, domain_size);
    EXPECT_EQ(sentinel, sid[0]);
    EXPECT_EQ(SidTypeInvalid, use);
}

// --- ACLs ---

TEST_F(security_contract, initialize_acl_of_eight_bytes_makes_the_bare_header) {
    PACL acl = fresh_acl(8);
    const BYTE header[8] = {ACL_REVISION_DS, 0, 8, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(header, acl, sizeof header));
    EXPECT_TRUE(sentinels_intact(8));

    ACL_SIZE_INFORMATION sizes;
    sizes.AceCount = sizes.AclBytesInUse = sizes.AclBytesFree = preset;
    ASSERT_TRUE(GetAclInformation(acl, &sizes, sizeof sizes, AclSizeInformation));
    EXPECT_EQ(0u, sizes.AceCount);
    EXPECT_EQ(8u, sizes.AclBytesInUse);
    EXPECT_EQ(0u, sizes.AclBytesFree);
    ACL_REVISION_INFORMATION revision;
    revision.AclRevision = preset;
    ASSERT_TRUE(GetAclInformation(acl, &revision, sizeof revision, AclRevisionInformation));
    EXPECT_EQ(static_cast<DWORD>(ACL_REVISION_DS), revision.AclRevision);
}

TEST_F(security_contract, initialize_acl_refuses_less_than_the_header_and_unknown_revisions) {
    BYTE buffer[16];
    SetLastError(preset);
    EXPECT_FALSE(InitializeAcl(reinterpret_cast<PACL>(buffer), 7, ACL_REVISION));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    SetLastError(preset);
    EXPECT_FALSE(InitializeAcl(reinterpret_cast<PACL>(buffer), sizeof buffer, ACL_REVISION1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(preset);
    EXPECT_FALSE(InitializeAcl(reinterpret_cast<PACL>(buffer), sizeof buffer, ACL_REVISION4 + 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(security_contract, add_access_allowed_ace_ex_onto_a_too_small_acl_fails_and_leaves_it) {
    PACL acl = fresh_acl(8);
    SetLastError(preset);
    EXPECT_FALSE(AddAccessAllowedAceEx(acl, ACL_REVISION_DS, 0, GENERIC_READ, everyone_));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALLOTTED_SPACE_EXCEEDED), GetLastError());
    EXPECT_EQ(0, acl->AceCount);
    EXPECT_TRUE(sentinels_intact(8));
}

TEST_F(security_contract, add_access_allowed_ace_ex_writes_the_ace_after_the_header) {
    PACL acl = fresh_acl(28);
    ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION_DS, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                      0xE01300EF, everyone_));
    const BYTE expected[28] = {ACL_REVISION_DS, 0, 28, 0, 1, 0, 0, 0,
                               ACCESS_ALLOWED_ACE_TYPE, 0x03, 20, 0, 0xEF, 0x00, 0x13, 0xE0,
                               1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(expected, acl, sizeof expected));
    EXPECT_TRUE(sentinels_intact(28));
    ACL_SIZE_INFORMATION sizes;
    ASSERT_TRUE(GetAclInformation(acl, &sizes, sizeof sizes, AclSizeInformation));
    EXPECT_EQ(1u, sizes.AceCount);
    EXPECT_EQ(28u, sizes.AclBytesInUse);
    EXPECT_EQ(0u, sizes.AclBytesFree);
}

TEST_F(security_contract, add_access_allowed_ace_ex_refuses_an_unknown_revision) {
    PACL acl = fresh_acl(64);
    SetLastError(preset);
    EXPECT_FALSE(AddAccessAllowedAceEx(acl, ACL_REVISION4 + 1, 0, GENERIC_READ, everyone_));
    EXPECT_EQ(static_cast<DWORD>(ERROR_REVISION_MISMATCH), GetLastError());
    EXPECT_EQ(0, acl->AceCount);
}

TEST_F(security_contract, add_access_allowed_ace_ex_refuses_flags_beyond_the_inheritance_flags) {
    if (running_on_wine()) GTEST_SKIP() << "Wine accepts any ACE flags; Microsoft documents ERROR_INVALID_FLAGS";
    PACL acl = fresh_acl(64);
    SetLastError(preset);
    EXPECT_FALSE(AddAccessAllowedAceEx(acl, ACL_REVISION_DS, FAILED_ACCESS_ACE_FLAG, GENERIC_READ, everyone_));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
    EXPECT_EQ(0, acl->AceCount);
}

TEST_F(security_contract, add_ace_with_index_maxdword_appends_and_keeps_the_acl_revision) {
    BYTE source_buffer[64];
    PACL source = reinterpret_cast<PACL>(source_buffer);
    ASSERT_TRUE(InitializeAcl(source, sizeof source_buffer, ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAceEx(source, ACL_REVISION, INHERITED_ACE, GENERIC_ALL, admins_));
    void* copied = NULL;
    ASSERT_TRUE(GetAce(source, 0, &copied));
    WORD copied_size = static_cast<ACE_HEADER*>(copied)->AceSize;
    ASSERT_EQ(24, copied_size);

    PACL acl = fresh_acl(8 + 20 + 24);
    ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION_DS, 0, GENERIC_READ, everyone_));
    ASSERT_TRUE(AddAce(acl, ACL_REVISION, MAXDWORD, copied, copied_size));
    EXPECT_EQ(ACL_REVISION_DS, acl->AclRevision);
    EXPECT_EQ(2, acl->AceCount);
    void* first = NULL;
    void* second = reinterpret_cast<void*>(0x1234);
    ASSERT_TRUE(GetAce(acl, 0, &first));
    ASSERT_TRUE(GetAce(acl, 1, &second));
    EXPECT_EQ(reinterpret_cast<BYTE*>(acl) + 8, first);
    EXPECT_EQ(reinterpret_cast<BYTE*>(acl) + 28, second);
    EXPECT_EQ(0, std::memcmp(copied, second, copied_size));
    EXPECT_TRUE(sentinels_intact(52));
    ACL_SIZE_INFORMATION sizes;
    ASSERT_TRUE(GetAclInformation(acl, &sizes, sizeof sizes, AclSizeInformation));
    EXPECT_EQ(52u, sizes.AclBytesInUse);
    EXPECT_EQ(0u, sizes.AclBytesFree);
}

TEST_F(security_contract, add_ace_into_a_too_small_acl_fails_with_insufficient_buffer) {
    if (running_on_wine()) GTEST_SKIP() << "Wine answers ERROR_INVALID_PARAMETER; Microsoft documents ERROR_INSUFFICIENT_BUFFER";
    BYTE source_buffer[64];
    PACL source = reinterpret_cast<PACL>(source_buffer);
    ASSERT_TRUE(InitializeAcl(source, sizeof source_buffer, ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAceEx(source, ACL_REVISION, 0, GENERIC_READ, everyone_));
    void* ace = NULL;
    ASSERT_TRUE(GetAce(source, 0, &ace));
    PACL acl = fresh_acl(24, ACL_REVISION);
    SetLastError(preset);
    EXPECT_FALSE(AddAce(acl, ACL_REVISION, MAXDWORD, ace, 20));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(0, acl->AceCount);
}

TEST_F(security_contract, get_ace_beyond_the_count_fails_and_leaves_the_out_parameter) {
    PACL acl = fresh_acl(28);
    ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION_DS, 0, GENERIC_READ, everyone_));
    void* ace = reinterpret_cast<void*>(0x1234);
    SetLastError(preset);
    EXPECT_FALSE(GetAce(acl, 1, &ace));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(reinterpret_cast<void*>(0x1234), ace);
}

// --- security descriptors ---

TEST_F(security_contract, initialize_security_descriptor_takes_only_revision_one) {
    SECURITY_DESCRIPTOR descriptor;
    std::memset(&descriptor, sentinel, sizeof descriptor);
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    SECURITY_DESCRIPTOR_CONTROL control = 0xFFFF;
    DWORD revision = preset;
    ASSERT_TRUE(GetSecurityDescriptorControl(&descriptor, &control, &revision));
    EXPECT_EQ(0, control);
    EXPECT_EQ(static_cast<DWORD>(SECURITY_DESCRIPTOR_REVISION), revision);

    SECURITY_DESCRIPTOR other;
    SetLastError(preset);
    EXPECT_FALSE(InitializeSecurityDescriptor(&other, SECURITY_DESCRIPTOR_REVISION + 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_REVISION), GetLastError());
}

TEST_F(security_contract, get_security_descriptor_dacl_of_a_descriptor_without_dacl) {
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    BOOL present = TRUE, defaulted = 7;
    PACL dacl = reinterpret_cast<PACL>(0x1234);
    ASSERT_TRUE(GetSecurityDescriptorDacl(&descriptor, &present, &dacl, &defaulted));
    EXPECT_FALSE(present);
    if (running_on_wine()) GTEST_SKIP() << "Wine clears the DACL pointer and the defaulted flag; Windows leaves them";
    EXPECT_EQ(reinterpret_cast<PACL>(0x1234), dacl);
    EXPECT_EQ(7, defaulted);
}

TEST_F(security_contract, set_security_descriptor_owner_keeps_the_sid_and_the_defaulted_bit) {
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    const struct {
        BOOL defaulted;
        SECURITY_DESCRIPTOR_CONTROL control;
    } cases[] = {{TRUE, SE_OWNER_DEFAULTED}, {FALSE, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.defaulted);
        ASSERT_TRUE(SetSecurityDescriptorOwner(&descriptor, admins_, c.defaulted));
        SECURITY_DESCRIPTOR_CONTROL control = 0xFFFF;
        DWORD revision = 0;
        ASSERT_TRUE(GetSecurityDescriptorControl(&descriptor, &control, &revision));
        EXPECT_EQ(c.control, control);
        EXPECT_EQ(admins_, descriptor.Owner);
    }
}

TEST_F(security_contract, set_security_descriptor_owner_refuses_a_self_relative_descriptor) {
    // A self-relative descriptor of the header alone: revision 1, SE_SELF_RELATIVE, no parts.
    SECURITY_DESCRIPTOR_RELATIVE relative;
    std::memset(&relative, 0, sizeof relative);
    relative.Revision = SECURITY_DESCRIPTOR_REVISION;
    relative.Control = SE_SELF_RELATIVE;
    SetLastError(preset);
    EXPECT_FALSE(SetSecurityDescriptorOwner(&relative, admins_, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR), GetLastError());
    EXPECT_EQ(0u, relative.Owner);
}

TEST_F(security_contract, set_security_descriptor_dacl_sets_the_present_and_defaulted_bits) {
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    PACL acl = fresh_acl(8);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
    ASSERT_TRUE(GetSecurityDescriptorControl(&descriptor, &control, &revision));
    EXPECT_EQ(SE_DACL_PRESENT, control);
    BOOL present = FALSE, defaulted = TRUE;
    PACL dacl = NULL;
    ASSERT_TRUE(GetSecurityDescriptorDacl(&descriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(acl, dacl);
    EXPECT_FALSE(defaulted);

    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, TRUE));
    ASSERT_TRUE(GetSecurityDescriptorControl(&descriptor, &control, &revision));
    EXPECT_EQ(SE_DACL_PRESENT | SE_DACL_DEFAULTED, control);
    // Without a DACL only the present bit goes.
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, FALSE, NULL, FALSE));
    ASSERT_TRUE(GetSecurityDescriptorControl(&descriptor, &control, &revision));
    EXPECT_EQ(SE_DACL_DEFAULTED, control);
}

TEST_F(security_contract, set_security_descriptor_control_sets_only_the_inheritance_bits) {
    const WORD settable[] = {SE_DACL_AUTO_INHERIT_REQ, SE_SACL_AUTO_INHERIT_REQ, SE_DACL_AUTO_INHERITED,
                             SE_SACL_AUTO_INHERITED, SE_DACL_PROTECTED, SE_SACL_PROTECTED};
    for (WORD bit : settable) {
        SCOPED_TRACE(bit);
        SECURITY_DESCRIPTOR descriptor;
        ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
        ASSERT_TRUE(SetSecurityDescriptorControl(&descriptor, bit, bit));
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(GetSecurityDescriptorControl(&descriptor, &control, &revision));
        EXPECT_EQ(bit, control);
        ASSERT_TRUE(SetSecurityDescriptorControl(&descriptor, bit, 0));
        ASSERT_TRUE(GetSecurityDescriptorControl(&descriptor, &control, &revision));
        EXPECT_EQ(0, control);
    }
    const WORD refused[] = {SE_OWNER_DEFAULTED, SE_DACL_PRESENT, SE_DACL_DEFAULTED, SE_SACL_PRESENT,
                            SE_RM_CONTROL_VALID, SE_SELF_RELATIVE};
    for (WORD bit : refused) {
        SCOPED_TRACE(bit);
        SECURITY_DESCRIPTOR descriptor;
        ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
        SetLastError(preset);
        EXPECT_FALSE(SetSecurityDescriptorControl(&descriptor, bit, bit));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
        SECURITY_DESCRIPTOR_CONTROL control = 0xFFFF;
        DWORD revision = 0;
        ASSERT_TRUE(GetSecurityDescriptorControl(&descriptor, &control, &revision));
        EXPECT_EQ(0, control);
    }
}

TEST_F(security_contract, set_security_descriptor_control_changes_only_the_bits_of_interest) {
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, NULL, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorControl(&descriptor, SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED,
                                             SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED));
    ASSERT_TRUE(SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(&descriptor, &control, &revision));
    EXPECT_EQ(SE_DACL_PRESENT | SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED, control);
}

// --- file security ---

// Each test works in its own folder in the temp folder.
class file_security_contract : public security_contract {
protected:
    void SetUp() override {
        security_contract::SetUp();
        char temp[MAX_PATH];
        DWORD length = GetTempPathA(MAX_PATH, temp);
        ASSERT_GT(length, 0u);
        folder_ = std::string(temp) + "kbsecurity_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RemoveDirectoryA(folder_.c_str());  // left by an interrupted run
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), NULL)) << GetLastError();
    }
    void TearDown() override {
        EXPECT_TRUE(RemoveDirectoryA(folder_.c_str())) << GetLastError();
        security_contract::TearDown();
    }

    // The folder's descriptor, read with a size query first.
    std::vector<BYTE> read_descriptor(const char* path) {
        DWORD needed = 0;
        EXPECT_FALSE(GetFileSecurityA(path, DACL_SECURITY_INFORMATION, NULL, 0, &needed));
        std::vector<BYTE> descriptor(needed);
        EXPECT_TRUE(GetFileSecurityA(path, DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed));
        return descriptor;
    }

    std::string folder_;
};

TEST_F(file_security_contract, size_query_then_read_gives_the_self_relative_descriptor) {
    DWORD needed = preset;
    SetLastError(preset);
    EXPECT_FALSE(GetFileSecurityA(folder_.c_str(), DACL_SECURITY_INFORMATION, NULL, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    ASSERT_GT(needed, static_cast<DWORD>(sizeof(SECURITY_DESCRIPTOR_RELATIVE) + sizeof(ACL)));
    ASSERT_LT(needed, 4096u);

    std::vector<BYTE> buffer(needed + 8, sentinel);
    DWORD short_needed = preset;
    SetLastError(preset);
    EXPECT_FALSE(GetFileSecurityA(folder_.c_str(), DACL_SECURITY_INFORMATION, buffer.data(), needed - 1, &short_needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(needed, short_needed);

    DWORD read_needed = preset;
    ASSERT_TRUE(GetFileSecurityA(folder_.c_str(), DACL_SECURITY_INFORMATION, buffer.data(), needed, &read_needed));
    EXPECT_EQ(needed, read_needed);
    for (size_t i = needed; i < buffer.size(); i++) EXPECT_EQ(sentinel, buffer[i]) << i;

    const SECURITY_DESCRIPTOR_RELATIVE* header = reinterpret_cast<const SECURITY_DESCRIPTOR_RELATIVE*>(buffer.data());
    EXPECT_EQ(SECURITY_DESCRIPTOR_REVISION, header->Revision);
    EXPECT_EQ(0, header->Sbz1);
    EXPECT_EQ(SE_SELF_RELATIVE | SE_DACL_PRESENT, header->Control & (SE_SELF_RELATIVE | SE_DACL_PRESENT));
    EXPECT_EQ(0u, header->Owner);
    EXPECT_EQ(0u, header->Group);
    EXPECT_EQ(0u, header->Sacl);
    EXPECT_EQ(static_cast<DWORD>(sizeof(SECURITY_DESCRIPTOR_RELATIVE)), header->Dacl);

    BOOL present = FALSE, defaulted = TRUE;
    PACL dacl = NULL;
    ASSERT_TRUE(GetSecurityDescriptorDacl(buffer.data(), &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    EXPECT_EQ(reinterpret_cast<PACL>(buffer.data() + header->Dacl), dacl);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(buffer.data(), &control, &revision));
    EXPECT_EQ(header->Control, control);
    EXPECT_EQ(static_cast<DWORD>(SECURITY_DESCRIPTOR_REVISION), revision);
}

TEST_F(file_security_contract, the_dacl_of_a_new_folder_is_a_well_formed_list) {
    std::vector<BYTE> descriptor = read_descriptor(folder_.c_str());
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = NULL;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(nullptr, dacl);
    EXPECT_EQ(descriptor.size(), sizeof(SECURITY_DESCRIPTOR_RELATIVE) + dacl->AclSize);
    ACL_SIZE_INFORMATION sizes;
    ASSERT_TRUE(GetAclInformation(dacl, &sizes, sizeof sizes, AclSizeInformation));
    EXPECT_GT(sizes.AceCount, 0u);
    EXPECT_EQ(dacl->AclSize, sizes.AclBytesInUse + sizes.AclBytesFree);
    DWORD used = sizeof(ACL);
    for (DWORD i = 0; i < sizes.AceCount; i++) {
        SCOPED_TRACE(i);
        void* ace = NULL;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        ACE_HEADER* header = static_cast<ACE_HEADER*>(ace);
        EXPECT_EQ(reinterpret_cast<BYTE*>(dacl) + used, ace);
        EXPECT_TRUE(header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE);
        PSID sid = static_cast<BYTE*>(ace) + 8;
        EXPECT_TRUE(IsValidSid(sid));
        EXPECT_EQ(8u + GetLengthSid(sid), header->AceSize);
        used += header->AceSize;
    }
    EXPECT_EQ(sizes.AclBytesInUse, used);
}

TEST_F(file_security_contract, a_missing_file_or_folder_fails_as_the_file_system_answers) {
    std::string missing = folder_ + "\\missing.txt";
    std::string below_missing = folder_ + "\\missing\\file.txt";
    DWORD needed = preset;
    SetLastError(preset);
    EXPECT_FALSE(GetFileSecurityA(missing.c_str(), DACL_SECURITY_INFORMATION, NULL, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(preset, needed);
    SetLastError(preset);
    EXPECT_FALSE(GetFileSecurityA(below_missing.c_str(), DACL_SECURITY_INFORMATION, NULL, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, NULL, FALSE));
    SetLastError(preset);
    EXPECT_FALSE(SetFileSecurityA(missing.c_str(), DACL_SECURITY_INFORMATION, &descriptor));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(file_security_contract, set_file_security_takes_the_self_relative_descriptor_it_read) {
    std::vector<BYTE> descriptor = read_descriptor(folder_.c_str());
    EXPECT_TRUE(SetFileSecurityA(folder_.c_str(), DACL_SECURITY_INFORMATION, descriptor.data()));
    SetLastError(preset);
    EXPECT_FALSE(SetSecurityDescriptorDacl(descriptor.data(), TRUE, NULL, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR), GetLastError());
}

TEST_F(file_security_contract, an_explicit_and_an_inherited_ace_are_written_and_read_back) {
    if (running_on_wine()) GTEST_SKIP() << "Wine keeps no DACL of a file; it maps it onto the Unix permission bits";
    // The new DACL: an explicit ACE of Everyone, then an inherited one of the Administrators.
    const DWORD size = sizeof(ACL) + 20 + 24;
    std::vector<BYTE> acl_buffer(size);
    PACL acl = reinterpret_cast<PACL>(acl_buffer.data());
    ASSERT_TRUE(InitializeAcl(acl, size, ACL_REVISION_DS));
    ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION_DS, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                      0xE01300EF, everyone_));
    ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION_DS,
                                      INHERITED_ACE | OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                      FILE_ALL_ACCESS, admins_));
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
    ASSERT_TRUE(SetFileSecurityA(folder_.c_str(), DACL_SECURITY_INFORMATION, &descriptor));

    std::vector<BYTE> read = read_descriptor(folder_.c_str());
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = NULL;
    ASSERT_TRUE(GetSecurityDescriptorDacl(read.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(nullptr, dacl);
    ACL_SIZE_INFORMATION sizes;
    ASSERT_TRUE(GetAclInformation(dacl, &sizes, sizeof sizes, AclSizeInformation));
    ASSERT_EQ(2u, sizes.AceCount);
    EXPECT_EQ(size, sizes.AclBytesInUse);
    void* first = NULL;
    void* second = NULL;
    ASSERT_TRUE(GetAce(dacl, 0, &first));
    ASSERT_TRUE(GetAce(dacl, 1, &second));
    void* written_first = NULL;
    void* written_second = NULL;
    ASSERT_TRUE(GetAce(acl, 0, &written_first));
    ASSERT_TRUE(GetAce(acl, 1, &written_second));
    EXPECT_EQ(0, std::memcmp(written_first, first, 20));
    EXPECT_EQ(0, std::memcmp(written_second, second, 24));
}

// A folder that only the Administrators and SYSTEM may use, as the uninstaller makes one for
// its copy: a protected DACL, given at the creation, which leaves its owner (the Administrators
// group) no implicit rights beyond reading the descriptor.
class private_folder_contract : public file_security_contract {
protected:
    void SetUp() override {
        file_security_contract::SetUp();
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        ASSERT_TRUE(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system_));
        SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
        ASSERT_TRUE(AllocateAndInitializeSid(&creator, 1, SECURITY_CREATOR_OWNER_RIGHTS_RID, 0, 0, 0, 0, 0, 0, 0,
                                             &owner_rights_));
        acl_buffer_.assign(128, 0);
        PACL acl = reinterpret_cast<PACL>(acl_buffer_.data());
        ASSERT_TRUE(InitializeAcl(acl, 128, ACL_REVISION));
        ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                          FILE_ALL_ACCESS, admins_));
        ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                          FILE_ALL_ACCESS, system_));
        ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                          READ_CONTROL, owner_rights_));
        ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION));
        ASSERT_TRUE(SetSecurityDescriptorOwner(&descriptor_, admins_, FALSE));
        ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE));
        ASSERT_TRUE(SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
        private_ = folder_ + "\\private";
    }
    void TearDown() override {
        RemoveDirectoryA(private_.c_str());
        if (system_) FreeSid(system_);
        if (owner_rights_) FreeSid(owner_rights_);
        file_security_contract::TearDown();
    }

    PSID system_ = NULL;
    PSID owner_rights_ = NULL;
    std::vector<BYTE> acl_buffer_;
    SECURITY_DESCRIPTOR descriptor_;
    SECURITY_ATTRIBUTES attributes_;
    std::string private_;
};

TEST_F(private_folder_contract, creation_with_a_descriptor_fails_for_a_name_that_exists) {
    ASSERT_TRUE(CreateDirectoryA(private_.c_str(), &attributes_)) << GetLastError();
    SetLastError(preset);
    EXPECT_FALSE(CreateDirectoryA(private_.c_str(), &attributes_));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
}

TEST_F(private_folder_contract, the_folder_has_the_protected_dacl_it_was_created_with) {
    if (running_on_wine()) GTEST_SKIP() << "Wine keeps no DACL of a file; it maps it onto the Unix permission bits";
    ASSERT_TRUE(CreateDirectoryA(private_.c_str(), &attributes_)) << GetLastError();
    std::vector<BYTE> read = read_descriptor(private_.c_str());
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(read.data(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = NULL;
    ASSERT_TRUE(GetSecurityDescriptorDacl(read.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(nullptr, dacl);
    ASSERT_EQ(3, dacl->AceCount);
    const struct {
        PSID sid;
        DWORD mask;
    } expected[3] = {{admins_, FILE_ALL_ACCESS}, {system_, FILE_ALL_ACCESS}, {owner_rights_, READ_CONTROL}};
    for (DWORD i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        void* ace = NULL;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, allowed->Header.AceType);
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, allowed->Header.AceFlags);
        EXPECT_EQ(expected[i].mask, allowed->Mask);
        EXPECT_TRUE(EqualSid(&allowed->SidStart, expected[i].sid));
    }
}

// The two temporary folders: the user's own, in which the user may remove anything, and the
// Windows folder's, in which every user may add entries but not remove another's.
class temporary_folders_contract : public file_security_contract {
protected:
    // The rights that the allow entries for the folder itself give to the SIDs `chosen` picks.
    DWORD allowed_rights(const std::string& folder, bool (*chosen)(PSID)) {
        std::vector<BYTE> descriptor = read_descriptor(folder.c_str());
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = NULL;
        EXPECT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
        EXPECT_TRUE(present && dacl);
        DWORD rights = 0;
        for (DWORD i = 0; dacl && i < dacl->AceCount; i++) {
            void* ace = NULL;
            EXPECT_TRUE(GetAce(dacl, i, &ace));
            ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                !(allowed->Header.AceFlags & INHERIT_ONLY_ACE) && chosen(&allowed->SidStart))
                rights |= allowed->Mask;
        }
        return rights;
    }
    // The SID's sub-authority `index` (read from its bytes: revision, count, six bytes of
    // authority, then the sub-authorities), or ~0 when it has fewer.
    static DWORD sub_authority(PSID sid, BYTE index) {
        const BYTE* bytes = static_cast<const BYTE*>(sid);
        DWORD value = ~0u;
        if (bytes[1] > index) std::memcpy(&value, bytes + 8 + 4 * index, 4);
        return value;
    }
    static bool authority_and_first_rid(PSID sid, BYTE authority, DWORD rid) {
        const BYTE* bytes = static_cast<const BYTE*>(sid);
        return bytes[7] == authority && sub_authority(sid, 0) == rid;
    }
    // Everyone, LOCAL, INTERACTIVE, Authenticated Users, Users: groups every user is in.
    static bool every_users_group(PSID sid) {
        const BYTE* bytes = static_cast<const BYTE*>(sid);
        return authority_and_first_rid(sid, 1, 0) || authority_and_first_rid(sid, 2, 0) ||
               authority_and_first_rid(sid, 5, 4) || authority_and_first_rid(sid, 5, 11) ||
               (authority_and_first_rid(sid, 5, 32) && bytes[1] == 2 &&
                sub_authority(sid, 1) == DOMAIN_ALIAS_RID_USERS);
    }
    // An account of the machine or a domain: S-1-5-21-...
    static bool user_account(PSID sid) { return authority_and_first_rid(sid, 5, 21); }
};

TEST_F(temporary_folders_contract, in_the_windows_temp_folder_users_may_add_but_not_remove) {
    if (running_on_wine()) GTEST_SKIP() << "Wine keeps no DACL of a file; it maps it onto the Unix permission bits";
    char windows[MAX_PATH];
    UINT length = GetSystemWindowsDirectoryA(windows, sizeof windows);
    ASSERT_TRUE(length > 0 && length < sizeof windows);
    DWORD rights = allowed_rights(std::string(windows) + "\\Temp", every_users_group);
    EXPECT_EQ(static_cast<DWORD>(FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY),
              rights & (FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY));
    EXPECT_EQ(0u, rights & (DELETE | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_ALL | GENERIC_WRITE));
}

TEST_F(temporary_folders_contract, in_the_users_temporary_folder_the_user_may_remove_anything) {
    if (running_on_wine()) GTEST_SKIP() << "Wine keeps no DACL of a file; it maps it onto the Unix permission bits";
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, temp);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    EXPECT_EQ(static_cast<DWORD>(FILE_DELETE_CHILD), allowed_rights(temp, user_account) & FILE_DELETE_CHILD);
}

// The random source of the private folder's name.
TEST(random_contract, rtl_gen_random_fills_the_buffer_and_no_more) {
    unsigned char first[24], second[24];
    std::memset(first, sentinel, sizeof first);
    std::memset(second, sentinel, sizeof second);
    ASSERT_TRUE(RtlGenRandom(first, 16));
    ASSERT_TRUE(RtlGenRandom(second, 16));
    EXPECT_NE(0, std::memcmp(first, second, 16));
    for (size_t i = 16; i < sizeof first; i++) {
        EXPECT_EQ(sentinel, first[i]);
        EXPECT_EQ(sentinel, second[i]);
    }
}

}  // namespace
