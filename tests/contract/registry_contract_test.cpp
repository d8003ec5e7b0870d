// The registry behaviour the programs rely on, checked the same way against Windows and against winsim.
#include <windows.h>

#include <gtest/gtest.h>

#include "contract_support.h"

#ifndef _WIN32
#include <winsim/control.h>
#include <winsim/registry_control.h>
#endif

#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

namespace {



const BYTE* bytes_of(const char* text) {
    return reinterpret_cast<const BYTE*>(text);
}

// A REG_SZ value with its terminating zero.
LONG set_string(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, bytes_of(text), static_cast<DWORD>(std::strlen(text) + 1));
}

LONG create_subkey(HKEY parent, const char* name) {
    HKEY key = NULL;
    LONG status = RegCreateKeyExA(parent, name, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
    if (status == ERROR_SUCCESS) status = RegCloseKey(key);
    return status;
}

// Deletes a key with everything below it, deepest keys first.
LONG delete_tree(HKEY parent, const char* name) {
    HKEY key = NULL;
    LONG status = RegOpenKeyExA(parent, name, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return status;
    for (;;) {
        char subkey[256];
        DWORD length = sizeof subkey;
        status = RegEnumKeyExA(key, 0, subkey, &length, NULL, NULL, NULL, NULL);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS) status = delete_tree(key, subkey);
        if (status != ERROR_SUCCESS) {
            RegCloseKey(key);
            return status;
        }
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name);
}

bool is_sentinel(char c) {
    return static_cast<unsigned char>(c) == sentinel;
}

// Expects entry `index` of the enumeration to be named `expected`, zero-terminated, with nothing
// written after the zero.
void expect_subkey_name(HKEY key, DWORD index, const char* expected) {
    char name[300];
    std::memset(name, sentinel, sizeof name);
    DWORD length = sizeof name - 1;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key, index, name, &length, NULL, NULL, NULL, NULL));
    ASSERT_EQ(std::strlen(expected), length);
    EXPECT_EQ(std::string(expected), std::string(name, length));
    EXPECT_EQ('\0', name[length]);
    EXPECT_TRUE(is_sentinel(name[length + 1]));
}

void expect_value_name(HKEY key, DWORD index, const char* expected) {
    char name[300];
    std::memset(name, sentinel, sizeof name);
    DWORD length = sizeof name - 1;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key, index, name, &length, NULL, NULL, NULL, NULL));
    ASSERT_EQ(std::strlen(expected), length);
    EXPECT_EQ(std::string(expected), std::string(name, length));
    EXPECT_EQ('\0', name[length]);
    EXPECT_TRUE(is_sentinel(name[length + 1]));
}

// Expects the value at `index` to hold the zero-terminated text `expected` as REG_SZ.
void expect_string_value(HKEY key, DWORD index, const char* expected_name, const char* expected) {
    char name[300];
    BYTE data[300];
    std::memset(name, sentinel, sizeof name);
    std::memset(data, sentinel, sizeof data);
    DWORD length = sizeof name - 1, size = sizeof data - 1, type = preset;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key, index, name, &length, NULL, &type, data, &size));
    EXPECT_EQ(std::string(expected_name), std::string(name, length));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    ASSERT_EQ(std::strlen(expected) + 1, size);
    EXPECT_EQ(0, std::memcmp(data, expected, size));
    EXPECT_EQ(sentinel, data[size]);
}

#define EXPECT_SUBKEY_NAME(key, index, expected) \
    do { SCOPED_TRACE("subkey " #index); expect_subkey_name(key, index, expected); } while (0)
#define EXPECT_VALUE_NAME(key, index, expected) \
    do { SCOPED_TRACE("value " #index); expect_value_name(key, index, expected); } while (0)
#define EXPECT_STRING_VALUE(key, index, name, expected) \
    do { SCOPED_TRACE("value " #index); expect_string_value(key, index, name, expected); } while (0)

DWORD subkey_count(HKEY key) {
    DWORD count = preset;
    if (RegQueryInfoKeyA(key, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) {
        return preset;
    }
    return count;
}

DWORD value_count(HKEY key) {
    DWORD count = preset;
    if (RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) {
        return preset;
    }
    return count;
}

// Each test works in its own key, HKEY_CURRENT_USER\Software\kbcontract\<test name>.
class registry_contract : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef _WIN32
        winsim::reset();
#endif
        path_ = std::string("Software\\kbcontract\\") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        LONG status = delete_tree(HKEY_CURRENT_USER, path_.c_str());  // left by an interrupted run
        ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
        DWORD disposition = preset;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, NULL, 0,
                                                 KEY_ALL_ACCESS, NULL, &key_, &disposition));
        ASSERT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    }

    void TearDown() override {
        if (key_ != NULL) {
            EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key_));
        }
        EXPECT_EQ(ERROR_SUCCESS, delete_tree(HKEY_CURRENT_USER, path_.c_str()));
        // Goes once the last test's key is gone; refused while others remain.
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\kbcontract");
#ifndef _WIN32
        EXPECT_EQ(0, winsim::reg_open_handle_count()) << "a test left a key handle open";
#endif
    }

    // A second handle to the test's key with the given rights.
    HKEY open_test_key(REGSAM sam) {
        HKEY key = NULL;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, sam, &key));
        return key;
    }

    HKEY key_ = NULL;
    std::string path_;
};

TEST_F(registry_contract, subkeys_enumerate_sorted_without_regard_to_case) {
    // Letters and digits only: for [ \ ] ^ _ ` Windows (upper-cased order) and Wine (lower-cased)
    // disagree.
    const char* names[] = {"b", "A", "c0", "C1", "a0"};
    for (const char* name : names) ASSERT_EQ(ERROR_SUCCESS, create_subkey(key_, name));
    EXPECT_SUBKEY_NAME(key_, 0, "A");
    EXPECT_SUBKEY_NAME(key_, 1, "a0");
    EXPECT_SUBKEY_NAME(key_, 2, "b");
    EXPECT_SUBKEY_NAME(key_, 3, "c0");
    EXPECT_SUBKEY_NAME(key_, 4, "C1");
}

TEST_F(registry_contract, values_enumerate_in_creation_order) {
    if (running_on_wine()) GTEST_SKIP() << "Wine keeps values sorted by name; Windows in creation order";
    const char* names[] = {"b", "A", "c0", "C1", "a0"};
    for (const char* name : names) ASSERT_EQ(ERROR_SUCCESS, set_string(key_, name, "x"));
    EXPECT_VALUE_NAME(key_, 0, "b");
    EXPECT_VALUE_NAME(key_, 1, "A");
    EXPECT_VALUE_NAME(key_, 2, "c0");
    EXPECT_VALUE_NAME(key_, 3, "C1");
    EXPECT_VALUE_NAME(key_, 4, "a0");
}

TEST_F(registry_contract, values_created_in_name_order_enumerate_in_that_order) {
    const char* names[] = {"a0", "A1", "b", "C"};
    for (const char* name : names) ASSERT_EQ(ERROR_SUCCESS, set_string(key_, name, "x"));
    EXPECT_VALUE_NAME(key_, 0, "a0");
    EXPECT_VALUE_NAME(key_, 1, "A1");
    EXPECT_VALUE_NAME(key_, 2, "b");
    EXPECT_VALUE_NAME(key_, 3, "C");
}

TEST_F(registry_contract, setting_an_existing_value_keeps_its_place) {
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "a", "old"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "b", "x"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "c", "x"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "a", "new"));
    EXPECT_EQ(3u, value_count(key_));
    EXPECT_STRING_VALUE(key_, 0, "a", "new");
    EXPECT_STRING_VALUE(key_, 1, "b", "x");
    EXPECT_STRING_VALUE(key_, 2, "c", "x");
}

TEST_F(registry_contract, value_name_capacity_counts_the_terminating_zero) {
    const std::string fits(259, 'a'), too_long(260, 'b');
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, fits.c_str(), "x"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, too_long.c_str(), "x"));
    char name[262];

    std::memset(name, sentinel, sizeof name);
    DWORD length = 260;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key_, 0, name, &length, NULL, NULL, NULL, NULL));
    EXPECT_EQ(259u, length);
    EXPECT_EQ(fits, std::string(name, 259));
    EXPECT_EQ('\0', name[259]);
    EXPECT_TRUE(is_sentinel(name[260]));

    length = 260;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(key_, 1, name, &length, NULL, NULL, NULL, NULL));

    std::memset(name, sentinel, sizeof name);
    length = 261;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key_, 1, name, &length, NULL, NULL, NULL, NULL));
    EXPECT_EQ(260u, length);
    EXPECT_EQ(too_long, std::string(name, 260));
    EXPECT_EQ('\0', name[260]);
    EXPECT_TRUE(is_sentinel(name[261]));
}

TEST_F(registry_contract, subkey_name_capacity_counts_the_terminating_zero) {
    ASSERT_EQ(ERROR_SUCCESS, create_subkey(key_, "abcd"));
    char name[8];
    std::memset(name, sentinel, sizeof name);
    DWORD length = 4;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(key_, 0, name, &length, NULL, NULL, NULL, NULL));
    EXPECT_EQ(4u, length);

    length = 5;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key_, 0, name, &length, NULL, NULL, NULL, NULL));
    EXPECT_EQ(4u, length);
    EXPECT_EQ(0, std::memcmp(name, "abcd", 5));
    EXPECT_TRUE(is_sentinel(name[5]));
}

TEST_F(registry_contract, value_data_capacity_counts_the_terminating_zero) {
    const std::string fits(259, 'x'), too_long(260, 'y');
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "fits", fits.c_str()));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "too long", too_long.c_str()));
    char name[16];
    BYTE data[262];

    std::memset(data, sentinel, sizeof data);
    DWORD length = sizeof name, size = 260, type = preset;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key_, 0, name, &length, NULL, &type, data, &size));
    EXPECT_EQ(std::string("fits"), std::string(name, length));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(260u, size);
    EXPECT_EQ(0, std::memcmp(data, fits.c_str(), 260));
    EXPECT_EQ(sentinel, data[260]);

    length = sizeof name;
    size = 260;
    type = preset;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(key_, 1, name, &length, NULL, &type, data, &size));
    EXPECT_EQ(261u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
}

// Binary data come back as stored, without a zero: the product must check for the zero itself.
TEST_F(registry_contract, binary_data_without_zero_fill_the_buffer_exactly) {
    BYTE stored[260];
    std::memset(stored, 'z', sizeof stored);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "bin", 0, REG_BINARY, stored, sizeof stored));
    char name[16];
    BYTE data[262];
    std::memset(data, sentinel, sizeof data);
    DWORD length = sizeof name, size = 260, type = preset;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key_, 0, name, &length, NULL, &type, data, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(260u, size);
    EXPECT_EQ(0, std::memcmp(data, stored, 260));
    EXPECT_EQ(sentinel, data[260]);
}

// Text stored without its zero comes back without it when the buffer has no room for one, so the
// product must check for the zero in text values too.
TEST_F(registry_contract, text_stored_without_zero_fills_the_buffer_exactly) {
    BYTE stored[261];
    std::memset(stored, 'z', sizeof stored);  // the byte after the data is no zero either
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "text", 0, REG_SZ, stored, 260));
    char name[16];
    BYTE data[263];
    std::memset(data, sentinel, sizeof data);
    DWORD length = sizeof name, size = 260, type = preset;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key_, 0, name, &length, NULL, &type, data, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(260u, size);
    EXPECT_EQ(0, std::memcmp(data, stored, 260));
    EXPECT_EQ(sentinel, data[260]);

    // With room to spare a zero follows the data, not counted in the size.
    std::memset(data, sentinel, sizeof data);
    length = sizeof name;
    size = 262;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key_, 0, name, &length, NULL, &type, data, &size));
    EXPECT_EQ(260u, size);
    EXPECT_EQ(0, data[260]);
    EXPECT_EQ(sentinel, data[261]);
}

// RegSetValueExA looks at the byte after the data: a zero there is stored with the text.
TEST_F(registry_contract, text_followed_by_a_zero_is_stored_with_it) {
    const std::string text(260, 'z');
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "text", 0, REG_SZ, bytes_of(text.c_str()), 260));
    char name[16];
    BYTE data[263];
    DWORD length = sizeof name, size = 260, type = preset;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(key_, 0, name, &length, NULL, &type, data, &size));
    EXPECT_EQ(261u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);

    std::memset(data, sentinel, sizeof data);
    length = sizeof name;
    size = 261;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key_, 0, name, &length, NULL, &type, data, &size));
    EXPECT_EQ(261u, size);
    EXPECT_EQ(0, std::memcmp(data, text.c_str(), 261));
    EXPECT_EQ(sentinel, data[261]);
}

TEST_F(registry_contract, query_value_gives_data_as_enumeration_does) {
    const char stored[] = "abcX";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "text", 0, REG_SZ, bytes_of(stored), 3));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "long", 0, REG_BINARY, bytes_of(stored), 4));
    BYTE data[8];
    std::memset(data, sentinel, sizeof data);
    DWORD size = 3, type = preset;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "text", NULL, &type, data, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(3u, size);
    EXPECT_EQ(0, std::memcmp(data, "abc", 3));
    EXPECT_EQ(sentinel, data[3]);

    std::memset(data, sentinel, sizeof data);
    size = 5;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "text", NULL, &type, data, &size));
    EXPECT_EQ(3u, size);
    EXPECT_EQ(0, std::memcmp(data, "abc", 4));
    EXPECT_EQ(sentinel, data[4]);

    size = 3;
    type = preset;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key_, "long", NULL, &type, data, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
}

// Without buffers the query tells whether the value is there, whatever its type and size.
TEST_F(registry_contract, query_value_without_buffers_tells_whether_the_value_is_there) {
    const BYTE multi[] = {'d', 'e', '-', 'D', 'E', 0, 0};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "Languages", 0, REG_MULTI_SZ, multi, sizeof multi));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "languages", NULL, NULL, NULL, NULL));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "Language", NULL, NULL, NULL, NULL));
}

TEST_F(registry_contract, enumerations_end_with_no_more_items_at_the_count) {
    ASSERT_EQ(ERROR_SUCCESS, create_subkey(key_, "k1"));
    ASSERT_EQ(ERROR_SUCCESS, create_subkey(key_, "k2"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "v1", "x"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "v2", "x"));
    char name[16];
    std::memset(name, sentinel, sizeof name);

    DWORD length = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(key_, 2, name, &length, NULL, NULL, NULL, NULL));
    EXPECT_EQ(sizeof name, length);
    EXPECT_TRUE(is_sentinel(name[0]));

    BYTE data[8];
    DWORD size = sizeof data;
    length = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueA(key_, 2, name, &length, NULL, NULL, data, &size));
    EXPECT_EQ(sizeof name, length);
    EXPECT_EQ(sizeof data, size);
    EXPECT_TRUE(is_sentinel(name[0]));
}

TEST_F(registry_contract, query_info_key_counts_subkeys_and_values) {
    ASSERT_EQ(ERROR_SUCCESS, create_subkey(key_, "k1"));
    ASSERT_EQ(ERROR_SUCCESS, create_subkey(key_, "k2"));
    ASSERT_EQ(ERROR_SUCCESS, create_subkey(key_, "k3"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "v1", "x"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, NULL, "x"));
    DWORD subkeys = preset, values = preset;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key_, NULL, NULL, NULL, &subkeys, NULL, NULL, &values,
                                              NULL, NULL, NULL, NULL));
    EXPECT_EQ(3u, subkeys);
    EXPECT_EQ(2u, values);
}

TEST_F(registry_contract, query_info_key_of_a_closed_handle_fails) {
    ASSERT_EQ(ERROR_SUCCESS, create_subkey(key_, "k"));
    HKEY closed = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "k", 0, KEY_READ, &closed));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(closed));
    DWORD subkeys = preset;
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryInfoKeyA(closed, NULL, NULL, NULL, &subkeys, NULL, NULL,
                                                     NULL, NULL, NULL, NULL, NULL));
    EXPECT_EQ(preset, subkeys);
}

// Documented for Windows; Wine answers whatever the handle's rights.
TEST_F(registry_contract, query_info_key_needs_the_query_value_right) {
    if (running_on_wine()) GTEST_SKIP() << "Wine does not check the handle's rights in RegQueryInfoKey";
    HKEY enumerate_only = open_test_key(KEY_ENUMERATE_SUB_KEYS);
    DWORD subkeys = preset;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryInfoKeyA(enumerate_only, NULL, NULL, NULL, &subkeys, NULL,
                                                    NULL, NULL, NULL, NULL, NULL, NULL));
    EXPECT_EQ(preset, subkeys);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(enumerate_only));
}

TEST_F(registry_contract, reading_values_needs_the_query_value_right) {
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "v", "x"));
    HKEY no_query = open_test_key(KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS);
    char name[8];
    BYTE data[8];
    DWORD length = sizeof name, size = sizeof data;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegEnumValueA(no_query, 0, name, &length, NULL, NULL, data, &size));
    size = sizeof data;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExA(no_query, "v", NULL, NULL, data, &size));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(no_query));
}

TEST_F(registry_contract, enumerating_subkeys_needs_the_enumerate_right) {
    ASSERT_EQ(ERROR_SUCCESS, create_subkey(key_, "k"));
    HKEY no_enumerate = open_test_key(KEY_QUERY_VALUE | KEY_SET_VALUE);
    char name[8];
    DWORD length = sizeof name;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegEnumKeyExA(no_enumerate, 0, name, &length, NULL, NULL, NULL, NULL));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(no_enumerate));
}

TEST_F(registry_contract, delete_key_refuses_a_key_with_subkeys) {
    ASSERT_EQ(ERROR_SUCCESS, create_subkey(key_, "parent\\child"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(key_, "parent"));
    HKEY parent = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "parent", 0, KEY_READ, &parent));
    EXPECT_EQ(1u, subkey_count(parent));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(parent));
}

TEST_F(registry_contract, delete_key_removes_a_leaf) {
    ASSERT_EQ(ERROR_SUCCESS, create_subkey(key_, "leaf"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "leaf"));
    EXPECT_EQ(0u, subkey_count(key_));
    HKEY leaf = NULL;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key_, "leaf", 0, KEY_READ, &leaf));
}

TEST_F(registry_contract, delete_key_of_a_missing_key_fails) {
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(key_, "missing"));
}

TEST_F(registry_contract, open_of_a_missing_key_fails_and_clears_the_handle) {
    HKEY missing = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x12345678));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key_, "missing", 0, KEY_READ, &missing));
    EXPECT_TRUE(missing == NULL);
}

TEST_F(registry_contract, key_names_are_case_insensitive) {
    ASSERT_EQ(ERROR_SUCCESS, create_subkey(key_, "sub"));
    HKEY opened = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "SUB", 0, KEY_READ, &opened));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(opened));
    DWORD disposition = preset;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key_, "Sub", 0, NULL, 0, KEY_READ, NULL, &opened, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(opened));
    EXPECT_EQ(1u, subkey_count(key_));
    EXPECT_SUBKEY_NAME(key_, 0, "sub");
}

TEST_F(registry_contract, value_names_are_case_insensitive) {
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "Name", "1"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "NAME", "2"));
    EXPECT_EQ(1u, value_count(key_));
    // The name keeps the case it was created with.
    EXPECT_STRING_VALUE(key_, 0, "Name", "2");
    BYTE data[8];
    DWORD size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "name", NULL, NULL, data, &size));
    EXPECT_EQ(0, std::memcmp(data, "2", 2));
}

TEST_F(registry_contract, null_value_name_sets_the_default_value) {
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, NULL, "default"));
    EXPECT_EQ(1u, value_count(key_));
    EXPECT_STRING_VALUE(key_, 0, "", "default");
    BYTE data[16];
    DWORD size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "", NULL, NULL, data, &size));
    EXPECT_EQ(8u, size);
}

TEST_F(registry_contract, empty_text_of_size_one_enumerates_as_one_zero_byte) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "empty", 0, REG_SZ, bytes_of(""), 1));
    EXPECT_STRING_VALUE(key_, 0, "empty", "");
}

TEST_F(registry_contract, create_key_of_an_existing_key_opens_it_and_keeps_its_values) {
    HKEY first = NULL, second = NULL;
    DWORD disposition = preset;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key_, "k", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &first, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    ASSERT_EQ(ERROR_SUCCESS, set_string(first, "v", "kept"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(first));

    disposition = preset;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key_, "k", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &second, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_EQ(1u, value_count(second));
    EXPECT_STRING_VALUE(second, 0, "v", "kept");
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(second));
}

// The parent handle's rights are not what decides here: only the keys' own security.
TEST_F(registry_contract, create_and_delete_of_a_subkey_through_a_read_handle_succeed) {
    HKEY read_only = open_test_key(KEY_READ);
    HKEY child = NULL;
    DWORD disposition = preset;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(read_only, "child", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &child, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(child));
    EXPECT_EQ(1u, subkey_count(key_));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(read_only, "child"));
    EXPECT_EQ(0u, subkey_count(key_));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(read_only));
}

TEST_F(registry_contract, value_changes_through_a_read_handle_are_denied) {
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "kept", "x"));
    HKEY read_only = open_test_key(KEY_READ);
    EXPECT_EQ(ERROR_ACCESS_DENIED, set_string(read_only, "new", "x"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(read_only, "kept"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(read_only));
    EXPECT_EQ(1u, value_count(key_));
    EXPECT_VALUE_NAME(key_, 0, "kept");
}

TEST_F(registry_contract, handle_of_a_deleted_key_reports_key_deleted) {
    HKEY gone = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key_, "gone", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &gone, NULL));
    ASSERT_EQ(ERROR_SUCCESS, set_string(gone, "v", "x"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "gone"));

    char name[8];
    BYTE data[8];
    DWORD length = sizeof name, size = sizeof data, values = preset;
    EXPECT_EQ(ERROR_KEY_DELETED, RegEnumValueA(gone, 0, name, &length, NULL, NULL, data, &size));
    EXPECT_EQ(ERROR_KEY_DELETED, set_string(gone, "w", "x"));
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryInfoKeyA(gone, NULL, NULL, NULL, NULL, NULL, NULL, &values,
                                                  NULL, NULL, NULL, NULL));
    EXPECT_EQ(preset, values);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(gone));
}

// The list change of the programs deletes values one by one and writes new ones after them.
TEST_F(registry_contract, delete_value_removes_it_and_the_later_values_move_up) {
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "1", "a"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "2", "b"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "3", "c"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key_, "2"));
    EXPECT_EQ(2u, value_count(key_));
    EXPECT_STRING_VALUE(key_, 0, "1", "a");
    EXPECT_STRING_VALUE(key_, 1, "3", "c");
    SetLastError(preset);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key_, "2"));
}

TEST_F(registry_contract, a_value_set_again_after_its_deletion_comes_last) {
    if (running_on_wine()) GTEST_SKIP() << "Wine keeps values sorted by name; Windows in creation order";
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "1", "a"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "2", "b"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key_, "1"));
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "1", "c"));
    EXPECT_STRING_VALUE(key_, 0, "2", "b");
    EXPECT_STRING_VALUE(key_, 1, "1", "c");
}

TEST_F(registry_contract, enumerating_a_name_without_data_takes_any_data) {
    std::string long_data(5000, 'x');
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "long", long_data.c_str()));
    char name[300];
    std::memset(name, sentinel, sizeof name);
    DWORD length = sizeof name - 1;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(key_, 0, name, &length, NULL, NULL, NULL, NULL));
    EXPECT_EQ(4u, length);
    EXPECT_STREQ("long", name);
    EXPECT_TRUE(is_sentinel(name[5]));
}

TEST_F(registry_contract, query_of_a_missing_value_fails_with_file_not_found) {
    BYTE data[8];
    std::memset(data, sentinel, sizeof data);
    DWORD size = sizeof data, type = preset;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "missing", NULL, &type, data, &size));
    EXPECT_EQ(sentinel, data[0]);
}

// The programs' journal of a list change is one text value of up to about 300 KB.
TEST_F(registry_contract, a_long_text_value_is_read_back_whole) {
    std::string text(300000, 'j');
    text[123456] = '%';
    ASSERT_EQ(ERROR_SUCCESS, set_string(key_, "journal", text.c_str()));
    std::string data(text.size() + 2, static_cast<char>(sentinel));
    DWORD size = static_cast<DWORD>(text.size() + 1), type = preset;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "journal", NULL, &type,
                                              reinterpret_cast<BYTE*>(&data[0]), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(text.size() + 1, size);
    EXPECT_EQ(text, std::string(data.c_str()));
    EXPECT_TRUE(is_sentinel(data[text.size() + 1]));
}

// A list of pairs of texts, as PendingFileRenameOperations holds it, of any size: it comes back
// whole with its inner zeros, is written back shorter, and, once deleted, a query for its size
// fails and clears the size.
TEST_F(registry_contract, a_list_of_texts_is_read_whole_written_back_and_deleted) {
    std::string list;
    for (int i = 0; i < 500; ++i)
        list += "\\??\\C:\\Windows\\System32\\kb" + std::to_string(i) + ".dll" + '\0' +
                (i % 2 ? "!\\??\\C:\\x" : "") + '\0';
    list += '\0';
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "Pending", 0, REG_MULTI_SZ, bytes_of(list.data()),
                                            static_cast<DWORD>(list.size())));
    DWORD size = preset, type = preset;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Pending", NULL, &type, NULL, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_EQ(list.size(), size);
    std::string data(list.size() + 1, static_cast<char>(sentinel));
    size = static_cast<DWORD>(list.size() - 1);
    BYTE* buffer = reinterpret_cast<BYTE*>(&data[0]);
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key_, "Pending", NULL, &type, buffer, &size));
    EXPECT_EQ(list.size(), size);
    size = static_cast<DWORD>(data.size());
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Pending", NULL, &type, buffer, &size));
    ASSERT_EQ(list.size(), size);
    EXPECT_EQ(list, data.substr(0, size));
    EXPECT_TRUE(is_sentinel(data[size]));

    const std::string rest = std::string("\\??\\C:\\kb.dll") + '\0' + '\0' + '\0';
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "Pending", 0, REG_MULTI_SZ, bytes_of(rest.data()),
                                            static_cast<DWORD>(rest.size())));
    size = static_cast<DWORD>(data.size());
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Pending", NULL, &type, buffer, &size));
    EXPECT_EQ(rest, data.substr(0, size));

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key_, "Pending"));
    size = preset;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "Pending", NULL, &type, NULL, &size));
    EXPECT_EQ(0u, size);
}

}  // namespace

// A list of texts read and written as UTF-16: a character outside code page 1252 and the inner
// zeros come back as they went in; a buffer too small gets ERROR_MORE_DATA and the size needed.
TEST_F(registry_contract, a_wide_text_list_comes_back_as_it_went_in) {
    // "a", zero, "\x141x" (Ł), zero, zero; the value's name "Liste".
    const unsigned short units[] = {'a', 0, 0x141, 'x', 0, 0};
    const unsigned short name_units[] = {'L', 'i', 's', 't', 'e', 0};
    std::vector<WCHAR> list(units, units + 6), name(name_units, name_units + 6);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key_, name.data(), 0, REG_MULTI_SZ,
                                            reinterpret_cast<const BYTE*>(list.data()), 12));
    DWORD type = preset, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key_, name.data(), NULL, &type, NULL, &size));
    EXPECT_EQ(12u, size);
    std::vector<WCHAR> read(8, (WCHAR)0x7777);
    size = 10;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(key_, name.data(), NULL, &type,
                                                reinterpret_cast<BYTE*>(read.data()), &size));
    EXPECT_EQ(12u, size);
    size = 16;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key_, name.data(), NULL, &type,
                                              reinterpret_cast<BYTE*>(read.data()), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_EQ(12u, size);
    EXPECT_TRUE(std::equal(list.begin(), list.end(), read.begin()));
    EXPECT_EQ((WCHAR)0x7777, read[6]);  // nothing after the data
}
