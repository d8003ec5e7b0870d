// Tests of the simulated registry's own test API: .reg text, access rules, faults and handles.
#include <windows.h>
#include <winsim/control.h>
#include <winsim/registry_control.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const char* const sample =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\r\n"
    "\"1\"=\"00000407\"\r\n"
    "@=\"say \\\"hi\\\" C:\\\\x\"\r\n"
    "\"n\"=dword:0000000a\r\n"
    "\"b\"=hex:01,02,\\\r\n"
    "  ff\r\n"
    "\"e\"=hex(2):25,41,25,00\r\n"
    "\"m\"=hex(7):61,00,62,00,00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\r\n";

const char* const sample_export =
    "[HKEY_CURRENT_USER\\Keyboard Layout]\n"
    "\n"
    "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n"
    "\"1\"=\"00000407\"\n"
    "@=\"say \\\"hi\\\" C:\\\\x\"\n"
    "\"n\"=dword:0000000a\n"
    "\"b\"=hex:01,02,ff\n"
    "\"e\"=hex(2):25,41,25,00\n"
    "\"m\"=hex(7):61,00,62,00,00\n"
    "\n"
    "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n"
    "\n";

class winsim_registry : public ::testing::Test {
protected:
    void SetUp() override { winsim::reset(); }
    void TearDown() override { winsim::reset(); }

    void import(const char* text) {
        std::string error;
        ASSERT_TRUE(winsim::reg_import(text, &error)) << error;
    }
};

TEST_F(winsim_registry, export_writes_what_was_imported) {
    import(sample);
    EXPECT_EQ(sample_export, winsim::reg_export("HKEY_CURRENT_USER\\keyboard layout"));

    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Keyboard Layout\\Preload", 0, KEY_READ, &key));
    BYTE data[32];
    DWORD size = sizeof data, type = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, NULL, NULL, &type, data, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string("say \"hi\" C:\\x", 14), std::string(reinterpret_cast<char*>(data), size));
    size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "b", NULL, &type, data, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(std::string("\x01\x02\xff", 3), std::string(reinterpret_cast<char*>(data), size));
    size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "n", NULL, &type, data, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(std::string("\x0a\0\0\0", 4), std::string(reinterpret_cast<char*>(data), size));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(winsim_registry, import_of_an_export_round_trips) {
    import(sample);
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Keyboard Layout\\Odd", 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &key, NULL));
    std::string long_data(100, '\x7f');
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "no zero", 0, REG_SZ, reinterpret_cast<const BYTE*>("abX"), 2));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "inner zero", 0, REG_SZ, reinterpret_cast<const BYTE*>("a\0b"), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "line break", 0, REG_SZ, reinterpret_cast<const BYTE*>("a\nb"), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "short dword", 0, REG_DWORD, reinterpret_cast<const BYTE*>("ab"), 2));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "long", 0, REG_BINARY,
                                            reinterpret_cast<const BYTE*>(long_data.data()), 100));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "qword", 0, REG_QWORD, NULL, 0));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    std::string first = winsim::reg_export("HKEY_CURRENT_USER\\Keyboard Layout");
    EXPECT_NE(std::string::npos, first.find("\"no zero\"=hex(1):61,62\n"));
    EXPECT_NE(std::string::npos, first.find("\"short dword\"=hex(4):61,62\n"));
    EXPECT_NE(std::string::npos, first.find("\"qword\"=hex(b):\n"));
    EXPECT_NE(std::string::npos, first.find("7f,\\\n  7f,"));
    winsim::reset();
    import(first.c_str());
    EXPECT_EQ(first, winsim::reg_export("HKEY_CURRENT_USER\\Keyboard Layout"));
}

TEST_F(winsim_registry, import_deletes_trees_and_values) {
    import(sample);
    import("[-HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n"
           "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n"
           "\"n\"=-\n");
    EXPECT_FALSE(winsim::reg_key_exists("HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes"));
    EXPECT_TRUE(winsim::reg_key_exists("HKEY_CURRENT_USER\\Keyboard Layout\\Preload"));
    std::string text = "unchanged";
    EXPECT_FALSE(winsim::reg_read_string("HKEY_CURRENT_USER\\Keyboard Layout\\Preload", "n", &text));
    EXPECT_EQ("unchanged", text);
    EXPECT_TRUE(winsim::reg_read_string("HKEY_CURRENT_USER\\Keyboard Layout\\Preload", "1", &text));
    EXPECT_EQ("00000407", text);
}

TEST_F(winsim_registry, import_stops_at_the_malformed_line) {
    std::string error;
    EXPECT_FALSE(winsim::reg_import("[HKEY_LOCAL_MACHINE\\A]\n\"ok\"=\"1\"\n\"bad\"=dword:xyz\n\"later\"=\"2\"\n", &error));
    EXPECT_EQ(0u, error.find("line 3:")) << error;
    EXPECT_TRUE(winsim::reg_read_string("HKEY_LOCAL_MACHINE\\A", "ok", NULL));
    EXPECT_FALSE(winsim::reg_read_string("HKEY_LOCAL_MACHINE\\A", "later", NULL));
    EXPECT_FALSE(winsim::reg_import("[HKEY_NOWHERE\\A]\n", &error));
    EXPECT_FALSE(winsim::reg_import("\"value\"=\"outside a key\"\n", &error));
    EXPECT_FALSE(winsim::reg_import("[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"bad \\n escape\"\n", &error));
}

// Windows' order: upper-cased names, so "A" sorts before "[" and "_" (Wine sorts them after).
TEST_F(winsim_registry, subkeys_sort_by_upper_cased_names) {
    import("[HKEY_CURRENT_USER\\K\\_]\n[HKEY_CURRENT_USER\\K\\b]\n[HKEY_CURRENT_USER\\K\\[]\n"
           "[HKEY_CURRENT_USER\\K\\a]\n[HKEY_CURRENT_USER\\K\\\xe9]\n[HKEY_CURRENT_USER\\K\\\xc9x]\n");
    EXPECT_EQ("[HKEY_CURRENT_USER\\K]\n\n[HKEY_CURRENT_USER\\K\\a]\n\n[HKEY_CURRENT_USER\\K\\b]\n\n"
              "[HKEY_CURRENT_USER\\K\\[]\n\n[HKEY_CURRENT_USER\\K\\_]\n\n[HKEY_CURRENT_USER\\K\\\xe9]\n\n"
              "[HKEY_CURRENT_USER\\K\\\xc9x]\n\n",
              winsim::reg_export("HKEY_CURRENT_USER\\K"));
    EXPECT_TRUE(winsim::reg_key_exists("HKEY_CURRENT_USER\\k\\\xc9"));
}

TEST_F(winsim_registry, access_rules_refuse_open_create_and_delete) {
    import("[HKEY_LOCAL_MACHINE\\Locked]\n[HKEY_LOCAL_MACHINE\\Fixed]\n");
    winsim::reg_deny_access("HKEY_LOCAL_MACHINE\\locked", KEY_SET_VALUE);
    winsim::reg_deny_delete("HKEY_LOCAL_MACHINE\\Fixed");
    winsim::reg_deny_create("HKEY_LOCAL_MACHINE\\New");
    HKEY key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(1));

    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Locked", 0, KEY_ALL_ACCESS, &key));
    EXPECT_TRUE(key == NULL);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Locked", 0, NULL, 0, KEY_WRITE, NULL, &key, NULL));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Locked", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Fixed"));
    EXPECT_TRUE(winsim::reg_key_exists("HKEY_LOCAL_MACHINE\\Fixed"));

    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "New\\Below", 0, NULL, 0, KEY_READ, NULL, &key, NULL));
    EXPECT_FALSE(winsim::reg_key_exists("HKEY_LOCAL_MACHINE\\New"));
    import("[HKEY_LOCAL_MACHINE\\New]\n");
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "New", 0, NULL, 0, KEY_READ, NULL, &key, NULL));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(winsim_registry, faults_match_call_subject_index_and_times) {
    import("[HKEY_CURRENT_USER\\A]\n\"v0\"=\"x\"\n\"v1\"=\"x\"\n[HKEY_CURRENT_USER\\B]\n\"v0\"=\"x\"\n");
    HKEY a = NULL, b = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, &a));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "B", 0, KEY_READ, &b));
    char name[8];
    auto enum_value = [&name](HKEY key, DWORD index) {
        DWORD length = sizeof name;
        return RegEnumValueA(key, index, name, &length, NULL, NULL, NULL, NULL);
    };

    winsim::fail_call("RegEnumValueA", "hkey_current_user\\a", ERROR_NOT_ENOUGH_MEMORY, 1, 2);
    EXPECT_EQ(ERROR_SUCCESS, enum_value(a, 0));
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, enum_value(a, 1));
    EXPECT_EQ(ERROR_SUCCESS, enum_value(b, 0));
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, enum_value(a, 1));
    EXPECT_EQ(ERROR_SUCCESS, enum_value(a, 1));

    winsim::fail_call("RegEnumValueA", "", ERROR_INVALID_FUNCTION);
    EXPECT_EQ(ERROR_INVALID_FUNCTION, enum_value(b, 0));
    EXPECT_EQ(ERROR_INVALID_FUNCTION, enum_value(a, 0));
    EXPECT_EQ(ERROR_INVALID_FUNCTION, enum_value(a, 0));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(a));  // only the call named
    winsim::clear_faults();
    EXPECT_EQ(ERROR_SUCCESS, enum_value(b, 0));

    winsim::fail_call("RegOpenKeyExA", "HKEY_CURRENT_USER\\A\\Missing", ERROR_OUTOFMEMORY);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, "A\\Other", 0, KEY_READ, &a));
    EXPECT_EQ(ERROR_OUTOFMEMORY, RegOpenKeyExA(HKEY_CURRENT_USER, "a\\missing", 0, KEY_READ, &a));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(b));
}

TEST_F(winsim_registry, fail_nth_call_counts_logged_calls_from_the_last_clear) {
    import("[HKEY_CURRENT_USER\\A]\n");
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_ALL_ACCESS, &key));
    winsim::clear_call_log();
    winsim::fail_nth_call(2, ERROR_WRITE_PROTECT);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "one", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2));
    EXPECT_EQ(ERROR_WRITE_PROTECT, RegSetValueExA(key, "two", 0, REG_SZ, reinterpret_cast<const BYTE*>("2"), 2));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "three", 0, REG_SZ, reinterpret_cast<const BYTE*>("3"), 2));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    const auto& log = winsim::call_log();
    ASSERT_EQ(4u, log.size());
    EXPECT_EQ("RegSetValueExA", log[1].call);
    EXPECT_EQ("HKEY_CURRENT_USER\\A", log[1].subject);
    EXPECT_FALSE(log[0].failed_by_fault);
    EXPECT_TRUE(log[1].failed_by_fault);
    EXPECT_EQ("RegCloseKey", log[3].call);
    EXPECT_TRUE(winsim::reg_read_string("HKEY_CURRENT_USER\\A", "three", NULL));
    EXPECT_FALSE(winsim::reg_read_string("HKEY_CURRENT_USER\\A", "two", NULL));
}

TEST_F(winsim_registry, handles_are_counted_and_report_deleted_keys) {
    import("[HKEY_CURRENT_USER\\A\\B]\n");
    EXPECT_EQ(0, winsim::reg_open_handle_count());
    HKEY a = NULL, b = NULL, root = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, &a));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(a, "B", 0, KEY_READ, &b));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &root));
    EXPECT_TRUE(root == HKEY_CURRENT_USER);
    EXPECT_EQ(2, winsim::reg_open_handle_count());

    import("[-HKEY_CURRENT_USER\\A]\n");
    DWORD count = 7;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryInfoKeyA(b, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL, NULL, NULL, NULL));
    EXPECT_EQ(7u, count);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(a));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(b));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(b));
    EXPECT_EQ(0, winsim::reg_open_handle_count());
}

TEST_F(winsim_registry, reset_empties_the_machine) {
    import("[HKEY_LOCAL_MACHINE\\A]\n");
    winsim::reg_deny_access("HKEY_LOCAL_MACHINE\\A", KEY_READ);
    winsim::fail_call("RegOpenKeyExA", "", ERROR_OUTOFMEMORY);
    HKEY key = NULL;
    EXPECT_EQ(ERROR_OUTOFMEMORY, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &key));
    winsim::reset();
    EXPECT_TRUE(winsim::call_log().empty());
    EXPECT_EQ("[HKEY_LOCAL_MACHINE]\n\n", winsim::reg_export("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ("[HKEY_CURRENT_USER]\n\n", winsim::reg_export("HKEY_CURRENT_USER"));
    import("[HKEY_LOCAL_MACHINE\\A]\n");
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

}  // namespace
