// Tests of the registry layer: tree deletion, key creation, string writes and enumeration limits.
#include "test_support.h"

#include <string.h>

#include <string>

namespace {

const char* const tree = R"REG(
[HKEY_CURRENT_USER\T\Top]
"v"="1"

[HKEY_CURRENT_USER\T\Top\A]

[HKEY_CURRENT_USER\T\Top\A\A1]

[HKEY_CURRENT_USER\T\Top\A\A2]

[HKEY_CURRENT_USER\T\Top\B]
"w"="2"
)REG";

class registry_access : public kb_test {
protected:
    HKEY open_t()
    {
        HKEY key = reg_open_key_full(HKEY_CURRENT_USER, "T");
        EXPECT_NE(nullptr, key);
        return key;
    }
};

TEST_F(registry_access, delete_tree_with_empty_name_deletes_nothing)
{
    SEED(tree);
    std::string before = dump("HKEY_CURRENT_USER\\T");
    HKEY t = open_t();
    EXPECT_FALSE(reg_delete_tree(t, ""));
    RegCloseKey(t);
    EXPECT_EQ(before, dump("HKEY_CURRENT_USER\\T"));
}

TEST_F(registry_access, delete_tree_removes_a_whole_subtree)
{
    SEED(tree);
    HKEY t = open_t();
    EXPECT_TRUE(reg_delete_tree(t, "top"));
    RegCloseKey(t);
    EXPECT_FALSE(winsim::reg_key_exists("HKEY_CURRENT_USER\\T\\Top"));
    EXPECT_TRUE(winsim::reg_key_exists("HKEY_CURRENT_USER\\T"));
}

TEST_F(registry_access, delete_tree_of_a_key_without_full_access_touches_nothing)
{
    SEED(tree);
    winsim::reg_deny_access("HKEY_CURRENT_USER\\T\\Top", DELETE | KEY_SET_VALUE);
    std::string before = dump("HKEY_CURRENT_USER\\T");
    HKEY t = open_t();
    EXPECT_FALSE(reg_delete_tree(t, "Top"));
    RegCloseKey(t);
    EXPECT_EQ(before, dump("HKEY_CURRENT_USER\\T"));
}

TEST_F(registry_access, undeletable_grandchild_keeps_its_parents_but_not_its_siblings)
{
    SEED(tree);
    winsim::reg_deny_delete("HKEY_CURRENT_USER\\T\\Top\\A\\A1");
    HKEY t = open_t();
    EXPECT_FALSE(reg_delete_tree(t, "Top"));
    RegCloseKey(t);
    EXPECT_EQ("[HKEY_CURRENT_USER\\T\\Top]\n\"v\"=\"1\"\n\n"
              "[HKEY_CURRENT_USER\\T\\Top\\A]\n\n"
              "[HKEY_CURRENT_USER\\T\\Top\\A\\A1]\n\n",
              dump("HKEY_CURRENT_USER\\T\\Top"));
}

TEST_F(registry_access, failing_subkey_enumeration_goes_on_with_the_lower_indexes)
{
    SEED(tree);
    // Top has A (index 0) and B (index 1): B cannot be enumerated, A is still deleted.
    winsim::fail_call("RegEnumKeyExA", "HKEY_CURRENT_USER\\T\\Top", ERROR_ACCESS_DENIED, 1);
    HKEY t = open_t();
    EXPECT_FALSE(reg_delete_tree(t, "Top"));
    RegCloseKey(t);
    EXPECT_FALSE(winsim::reg_key_exists("HKEY_CURRENT_USER\\T\\Top\\A"));
    EXPECT_TRUE(winsim::reg_key_exists("HKEY_CURRENT_USER\\T\\Top\\B"));
}

TEST_F(registry_access, delete_tree_accepts_the_enumeration_buffer_as_its_name)
{
    SEED(tree);
    HKEY top = reg_open_key_full(HKEY_CURRENT_USER, "T\\Top");
    ASSERT_NE(nullptr, top);
    ASSERT_EQ(reg_result::read, reg_enum_subkey(top, 0));
    ASSERT_STREQ("A", registry_layer.enum_subkey_name);
    EXPECT_TRUE(reg_delete_tree(top, registry_layer.enum_subkey_name));
    RegCloseKey(top);
    EXPECT_FALSE(winsim::reg_key_exists("HKEY_CURRENT_USER\\T\\Top\\A"));
    EXPECT_TRUE(winsim::reg_key_exists("HKEY_CURRENT_USER\\T\\Top\\B"));
}

TEST_F(registry_access, create_key_opens_an_existing_key_with_its_values)
{
    SEED(tree);
    HKEY key = reg_create_key(HKEY_CURRENT_USER, "T\\Top\\B", nullptr);
    ASSERT_NE(nullptr, key);
    RegCloseKey(key);
    EXPECT_EQ("[HKEY_CURRENT_USER\\T\\Top\\B]\n\"w\"=\"2\"\n\n", dump("HKEY_CURRENT_USER\\T\\Top\\B"));
}

TEST_F(registry_access, create_key_makes_every_missing_level_and_sets_the_default_text)
{
    HKEY key = reg_create_key(HKEY_LOCAL_MACHINE, "X\\Y\\Z", "default");
    ASSERT_NE(nullptr, key);
    RegCloseKey(key);
    EXPECT_EQ("[HKEY_LOCAL_MACHINE\\X\\Y\\Z]\n@=\"default\"\n\n", dump("HKEY_LOCAL_MACHINE\\X\\Y\\Z"));
}

TEST_F(registry_access, create_key_that_cannot_be_created_gives_none)
{
    winsim::reg_deny_create("HKEY_LOCAL_MACHINE\\X");
    EXPECT_EQ(nullptr, reg_create_key(HKEY_LOCAL_MACHINE, "X", nullptr));
    EXPECT_FALSE(winsim::reg_key_exists("HKEY_LOCAL_MACHINE\\X"));
}

TEST_F(registry_access, open_read_and_full_differ_by_the_rights_asked)
{
    SEED(tree);
    winsim::reg_deny_access("HKEY_CURRENT_USER\\T\\Top", KEY_SET_VALUE);
    EXPECT_EQ(nullptr, reg_open_key_full(HKEY_CURRENT_USER, "T\\Top"));
    HKEY key = reg_open_key_read(HKEY_CURRENT_USER, "T\\Top");
    EXPECT_NE(nullptr, key);
    RegCloseKey(key);
    EXPECT_EQ(nullptr, reg_open_key_read(HKEY_CURRENT_USER, "T\\Missing"));
}

TEST_F(registry_access, set_string_without_name_sets_the_default_and_empty_text_is_one_zero_byte)
{
    HKEY key = reg_create_key(HKEY_CURRENT_USER, "S", nullptr);
    ASSERT_NE(nullptr, key);
    EXPECT_TRUE(reg_set_string(key, nullptr, "d"));
    EXPECT_TRUE(reg_set_string(key, "empty", ""));
    DWORD type = 99, size = 77;
    BYTE data[8];
    memset(data, 0xAB, sizeof data);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "empty", nullptr, &type, data, &size));
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ(1u, size);
    EXPECT_EQ(0, data[0]);
    EXPECT_EQ(0xAB, data[1]);
    RegCloseKey(key);
    EXPECT_EQ("[HKEY_CURRENT_USER\\S]\n@=\"d\"\n\"empty\"=\"\"\n\n", dump("HKEY_CURRENT_USER\\S"));
}

TEST_F(registry_access, set_string_through_a_read_handle_fails)
{
    SEED(tree);
    HKEY key = reg_open_key_read(HKEY_CURRENT_USER, "T\\Top");
    ASSERT_NE(nullptr, key);
    EXPECT_FALSE(reg_set_string(key, "v", "changed"));
    RegCloseKey(key);
}

// Enumeration limits: what does not fit the 260-byte buffers as text fails for that index only.
class registry_enumeration : public registry_access {
protected:
    void seed_values(const std::string& values)
    {
        std::string text = "[HKEY_CURRENT_USER\\E]\n" + values;
        seed(text.c_str());
    }
    // Names of the values that enumerate, in order; failing indexes as "!".
    std::string enumerate()
    {
        HKEY key = reg_open_key_read(HKEY_CURRENT_USER, "E");
        EXPECT_NE(nullptr, key);
        std::string seen;
        DWORD count = reg_count_values(key);
        for (DWORD i = 0; i < count; i++) {
            if (reg_enum_value(key, i) == reg_result::read)
                seen += std::string(registry_layer.enum_value_name) + "=" +
                        (const char*)registry_layer.enum_value_data + ";";
            else
                seen += "!;";
        }
        RegCloseKey(key);
        return seen;
    }
};

TEST_F(registry_enumeration, names_of_260_characters_or_more_fail)
{
    std::string n259(259, 'n'), n260(260, 'm'), n300(300, 'l');
    seed_values("\"a\"=\"1\"\n\"" + n259 + "\"=\"2\"\n\"" + n260 + "\"=\"3\"\n\"" + n300 +
                "\"=\"4\"\n\"z\"=\"5\"\n");
    EXPECT_EQ("a=1;" + n259 + "=2;!;!;z=5;", enumerate());
}

TEST_F(registry_enumeration, data_that_do_not_fit_with_a_zero_fail)
{
    std::string d259(259, 'd'), d260(260, 'e');
    seed_values("\"fits\"=\"" + d259 + "\"\n\"long\"=\"" + d260 + "\"\n\"after\"=\"x\"\n");
    EXPECT_EQ("fits=" + d259 + ";!;after=x;", enumerate());
}

TEST_F(registry_enumeration, binary_data_filling_the_buffer_without_a_zero_are_not_text)
{
    std::string hex;
    for (int i = 0; i < 260; i++)
        hex += (i ? ",41" : "41");
    std::string hex_with_zero;
    for (int i = 0; i < 259; i++)
        hex_with_zero += "42,";
    hex_with_zero += "00";
    seed_values("\"bin\"=hex:" + hex + "\n\"bin0\"=hex:" + hex_with_zero + "\n\"next\"=\"n\"\n");
    EXPECT_EQ("!;bin0=" + std::string(259, 'B') + ";next=n;", enumerate());
}

TEST_F(registry_enumeration, other_value_types_are_read_as_text)
{
    seed_values("\"dw\"=dword:00003041\n\"exp\"=hex(2):25,00\n");
    EXPECT_EQ("dw=A0;exp=%;", enumerate());
}

TEST_F(registry_enumeration, counts_on_a_rejected_handle_are_zero)
{
    seed_values("\"a\"=\"1\"\n");
    HKEY key = reg_open_key_read(HKEY_CURRENT_USER, "E");
    ASSERT_NE(nullptr, key);
    winsim::fail_call("RegQueryInfoKeyA", "HKEY_CURRENT_USER\\E", ERROR_INVALID_HANDLE);
    EXPECT_EQ(0u, reg_count_values(key));
    EXPECT_EQ(0u, reg_count_subkeys(key));
    RegCloseKey(key);
    EXPECT_EQ(0u, reg_count_values(key));
    EXPECT_EQ(reg_result::failed, reg_enum_value(key, 0));
    EXPECT_EQ(reg_result::failed, reg_enum_subkey(key, 0));
}

}  // namespace
