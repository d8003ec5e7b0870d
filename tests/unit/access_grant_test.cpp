// Tests of the access grant: which ACEs stay, where the new one goes, control bits, failures.
#include "test_support.h"

#include <string.h>

#include <winsim/files_control.h>
#include <winsim/security_control.h>

#include "files/access_grant.h"
#include "frame/messages.h"

namespace {

TEST(grant_decisions, first_pass_stops_at_the_first_inherited_ace_and_drops_the_trustee)
{
    EXPECT_EQ(keep_ace, first_pass_step(0, false));
    EXPECT_EQ(drop_ace, first_pass_step(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, true));
    EXPECT_EQ(end_of_explicit_aces, first_pass_step(INHERITED_ACE, true));
    EXPECT_EQ(end_of_explicit_aces, first_pass_step(INHERITED_ACE | OBJECT_INHERIT_ACE, false));
}

TEST(grant_decisions, control_bits_follow_the_old_descriptor)
{
    EXPECT_EQ(0x0500, granted_control_bits(SE_DACL_AUTO_INHERITED));
    EXPECT_EQ(0x0500, granted_control_bits(SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED));
    EXPECT_EQ(0x1000, granted_control_bits(SE_DACL_PROTECTED));
    EXPECT_EQ(0, granted_control_bits(SE_DACL_AUTO_INHERIT_REQ | SE_DACL_PRESENT));
}

TEST(grant_decisions, new_acl_size_and_ace_flags)
{
    EXPECT_EQ(28u, granted_acl_size(8, 12));  // Everyone on a file without DACL
    EXPECT_EQ(8u + 40u + 8u + 12u, granted_acl_size(48, 12));
    EXPECT_EQ(0x03, granted_ace_flags(true));
    EXPECT_EQ(0x00, granted_ace_flags(false));
}

class access_grant : public kb_test {
protected:
    const char* path = "C:\\Program Files\\Q7";
    void SetUp() override
    {
        kb_test::SetUp();
        ASSERT_TRUE(winsim::add_folder(path));
    }
    void TearDown() override
    {
        EXPECT_EQ(0, winsim::outstanding_sids());
        kb_test::TearDown();
    }
    void given(const char* description)
    {
        std::string error;
        ASSERT_TRUE(winsim::set_file_security(path, description, &error)) << error;
    }
    std::string after_grant(DWORD mask, bool inheritable, const char* account = nullptr)
    {
        EXPECT_TRUE(grant_access(path, account, mask, inheritable)) << error_record.error_context_text;
        return winsim::file_security(path);
    }
};

TEST_F(access_grant, explicit_aces_only_get_the_new_ace_after_them)
{
    given("dacl; allow - 0x001F01FF S-1-5-18; allow - 0x00120089 S-1-5-32-545");
    EXPECT_EQ("dacl; allow - 0x001F01FF S-1-5-18; allow - 0x00120089 S-1-5-32-545; "
              "allow - 0xE01300EF S-1-1-0",
              after_grant(0xE01300EF, false));
}

TEST_F(access_grant, the_new_ace_goes_before_the_first_inherited_one)
{
    given("dacl auto_inherited; allow OI|CI|ID 0x001F01FF S-1-5-18; "
          "allow OI|CI|ID 0x001200A9 S-1-5-32-545");
    EXPECT_EQ("dacl auto_inherited; allow OI|CI 0xE01200EF S-1-1-0; "
              "allow OI|CI|ID 0x001F01FF S-1-5-18; allow OI|CI|ID 0x001200A9 S-1-5-32-545",
              after_grant(0xE01200EF, true));
}

TEST_F(access_grant, the_trustees_explicit_aces_go_and_its_inherited_ones_stay)
{
    given("dacl; allow - 0x00000001 S-1-5-18; deny - 0x00010000 S-1-1-0; "
          "allow OI 0x00000002 S-1-1-0; allow ID 0x00000003 S-1-1-0; "
          "deny - 0x00000005 S-1-1-0");
    // An explicit ACE after the first inherited one is copied as it stands.
    EXPECT_EQ("dacl; allow - 0x00000001 S-1-5-18; allow OI|CI 0xE01300EF S-1-1-0; "
              "allow ID 0x00000003 S-1-1-0; deny - 0x00000005 S-1-1-0",
              after_grant(0xE01300EF, true));
}

TEST_F(access_grant, no_dacl_or_a_null_dacl_gives_the_new_ace_alone)
{
    for (const char* old : {"no dacl", "null dacl", "dacl"}) {
        SCOPED_TRACE(old);
        given(old);
        EXPECT_EQ("dacl; allow - 0xE01300EF S-1-1-0", after_grant(0xE01300EF, false));
    }
}

TEST_F(access_grant, the_new_acl_of_a_file_without_dacl_has_28_bytes)
{
    given("no dacl");
    ASSERT_TRUE(grant_access(path, nullptr, 0xE01300EF, false));
    DWORD needed = 0;
    GetFileSecurityA(path, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<BYTE> descriptor(needed);
    ASSERT_TRUE(GetFileSecurityA(path, DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed));
    BOOL present = FALSE, defaulted = TRUE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
    ASSERT_NE(nullptr, dacl);
    ACL_SIZE_INFORMATION sizes;
    ASSERT_TRUE(GetAclInformation(dacl, &sizes, sizeof sizes, AclSizeInformation));
    EXPECT_EQ(1u, sizes.AceCount);
    EXPECT_EQ(28u, sizes.AclBytesInUse);
    EXPECT_FALSE(defaulted);
}

TEST_F(access_grant, protection_is_carried_over_when_not_auto_inherited)
{
    given("dacl protected; allow - 0x001F01FF S-1-5-18");
    EXPECT_EQ("dacl protected; allow - 0x001F01FF S-1-5-18; allow - 0xE01300EF S-1-1-0",
              after_grant(0xE01300EF, false));
    given("dacl auto_inherited protected; allow - 0x001F01FF S-1-5-18");
    EXPECT_EQ("dacl auto_inherited; allow - 0x001F01FF S-1-5-18; allow - 0xE01300EF S-1-1-0",
              after_grant(0xE01300EF, false));
}

TEST_F(access_grant, a_named_account_is_the_trustee)
{
    given("dacl; allow - 0x00000001 S-1-5-32-545; allow - 0x00000002 S-1-1-0");
    EXPECT_EQ("dacl; allow - 0x00000002 S-1-1-0; allow - 0x001200A9 S-1-5-32-545",
              after_grant(0x001200A9, false, "Benutzer"));
}

class access_grant_failure : public access_grant {
protected:
    void expect_unchanged_failure(const char* account, const char* context)
    {
        std::string before = winsim::file_security(path);
        EXPECT_FALSE(grant_access(path, account, 0xE01300EF, true));
        EXPECT_STREQ(context, error_record.error_context_text);
        EXPECT_EQ(before, winsim::file_security(path));
    }
};

TEST_F(access_grant_failure, an_unknown_account)
{
    given("dacl; allow - 0x00000001 S-1-5-18");
    expect_unchanged_failure("Niemand", "LookupAccountName 1 failed");
    EXPECT_EQ(1332u, error_record.last_error_code);  // ERROR_NONE_MAPPED
}

TEST_F(access_grant_failure, no_right_to_read_or_write_the_security)
{
    given("dacl; allow - 0x00000001 S-1-5-18");
    winsim::deny_file_security_read(path);
    expect_unchanged_failure(nullptr, "GetFileSecurity 1 failed");
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, error_record.last_error_code);
    winsim::reset();
    ASSERT_TRUE(winsim::add_folder(path));
    winsim::deny_file_security_write(path);
    expect_unchanged_failure(nullptr, "SetFileSecurity failed");
}

TEST_F(access_grant_failure, a_missing_path)
{
    EXPECT_FALSE(grant_access("C:\\Nirgends", nullptr, 0xE01300EF, false));
    EXPECT_STREQ("GetFileSecurity 1 failed", error_record.error_context_text);
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, error_record.last_error_code);
}

TEST_F(access_grant_failure, each_security_call_reports_its_own_context)
{
    const struct { const char* call; long index; const char* context; } cases[] = {
        {"AllocateAndInitializeSid", -1, "AllocateAndInitializeSid (Everyone) failed"},
        {"InitializeSecurityDescriptor", -1, "InitializeSecurityDescriptor failed"},
        {"GetSecurityDescriptorDacl", -1, "GetSecurityDescriptorDacl failed"},
        {"GetAclInformation", -1, "GetAclInformation failed"},
        {"InitializeAcl", -1, "InitializeAcl failed"},
        {"AddAccessAllowedAceEx", -1, "AddAccessAllowedAce failed"},
        {"SetSecurityDescriptorDacl", -1, "SetSecurityDescriptorDacl failed"},
        {"GetSecurityDescriptorControl", -1, "GetSecurityDescriptorControl failed."},
        {"SetSecurityDescriptorControl", -1, "SetSecurityDescriptorControl failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        winsim::clear_faults();
        given("dacl auto_inherited; allow - 0x00000001 S-1-5-18; allow ID 0x00000002 S-1-5-18");
        winsim::fail_call(c.call, "", ERROR_INVALID_PARAMETER, c.index);
        expect_unchanged_failure(nullptr, c.context);
        EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, error_record.last_error_code);
    }
}

TEST_F(access_grant_failure, ace_copies_name_the_index_of_the_failing_ace)
{
    given("dacl; allow - 0x00000001 S-1-5-18; allow - 0x00000002 S-1-5-32-545; "
          "allow ID 0x00000003 S-1-5-18");
    winsim::fail_call("AddAce", "", ERROR_INSUFFICIENT_BUFFER, -1, -1);
    expect_unchanged_failure(nullptr, "AddAce [0 of 3] failed");
    winsim::clear_faults();
    winsim::fail_call("GetAce", "", ERROR_INVALID_PARAMETER, -1, 1);
    expect_unchanged_failure(nullptr, "GetAce [0 of 3] failed");
}

}  // namespace
