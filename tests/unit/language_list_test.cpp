// Tests of the layout in the language list of Windows 8 and later: when input.dll is called, with what, in which order, and the hints when it cannot be.
#include "sweep_support.h"

#include "program_state.h"

#include <string.h>

#include <string>
#include <vector>

#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/input_control.h>

#include "files/system_folders.h"
#include "frame/frame.h"
#include "product_constants.h"

namespace {

#define ADD_BY_HAND "fügen Sie sie bitte von Hand hinzu: Einstellungen > Zeit und Sprache"
#define REMOVE_BY_HAND "entfernen Sie sie bitte dort von Hand: Einstellungen > Zeit und Sprache"

class language_list : public sweep_test {
protected:
    void SetUp() override
    {
        sweep_test::SetUp();
        on_64_bit_windows();
    }
    void install()
    {
        fresh_process("Install_" DLL_BASE_NAME);
        winsim::clear_call_log();
        boxes_before = winsim::message_boxes().size();
        EXPECT_FALSE(run_installer());
    }
    void uninstall(const char* key = SWEPT_LAYOUT_KEY)
    {
        fresh_process("Uninstall_" DLL_BASE_NAME);
        test_warning_caption = "Tastaturtreiber-Deinstallation";
        winsim::add_file(temp_copy.c_str(), "MZ uninstaller");
        winsim::set_module_file_name(temp_copy.c_str());
        frame.argument_count = 1;
        strcpy(frame.arguments[0], key);
        winsim::clear_call_log();
        boxes_before = winsim::message_boxes().size();
        EXPECT_FALSE(run_uninstaller_copy());
    }
    std::string last_box() { return winsim::message_boxes().back().text; }
    // Index of the first logged call of that name (and subject, when given) at or after `from`;
    // the log's size when there is none.
    size_t call_index(const char* call, const char* subject = nullptr, size_t from = 0)
    {
        const auto& log = winsim::call_log();
        for (size_t i = from; i < log.size(); i++) {
            if (log[i].call == call && (!subject || lower(log[i].subject) == lower(subject)))
                return i;
        }
        return log.size();
    }
    size_t last_call_index(const char* call, const char* subject_prefix)
    {
        const auto& log = winsim::call_log();
        size_t found = log.size();
        for (size_t i = 0; i < log.size(); i++) {
            if (log[i].call == call && starts_with(lower(log[i].subject), lower(subject_prefix).c_str()))
                found = i;
        }
        return found;
    }
    std::vector<std::string> keyboards(const char* locale)
    {
        std::vector<std::string> names;
        std::string text = winsim::reg_export((std::string(USER_PROFILE_KEY "\\") + locale).c_str());
        size_t at = 0;
        while ((at = text.find("\n\"", at)) != std::string::npos) {
            size_t end = text.find('"', at + 2);
            names.push_back(text.substr(at + 2, end - at - 2));
            at = end;
        }
        return names;
    }
    size_t boxes_before = 0;
};

TEST_F(language_list, without_the_list_nothing_is_loaded_or_called)
{
    install();
    fresh_process("Install_" DLL_BASE_NAME);
    install();
    uninstall();
    EXPECT_TRUE(winsim::layout_or_tip_calls().empty());
    EXPECT_EQ(winsim::call_log().size(), call_index("LoadLibraryExA"));
    EXPECT_EQ(std::string::npos, last_box().find("von Hand"));
}

TEST_F(language_list, installation_and_update_make_the_layout_the_default_after_the_lists)
{
    SEED(language_list_fixture);
    install();
    ASSERT_EQ(1u, winsim::layout_or_tip_calls().size());
    EXPECT_EQ("0407:" SWEPT_LAYOUT_KEY, winsim::layout_or_tip_calls()[0].text);
    EXPECT_EQ(0x00000002u, winsim::layout_or_tip_calls()[0].flags);
    // The key with its last value, and the user's lists, come before the call.
    size_t call = call_index("InstallLayoutOrTip");
    EXPECT_LT(last_call_index("RegSetValueExA", LAYOUTS_KEY "\\" SWEPT_LAYOUT_KEY), call);
    EXPECT_LT(last_call_index("RegSetValueExA", USER_PRELOAD), call);
    EXPECT_LT(last_call_index("RegSetValueExA", USER_SUBSTITUTES), call);
    // Loaded with redirection on, which is off again afterwards; and released.
    size_t load = call_index("LoadLibraryExA", "input.dll");
    EXPECT_LT(call_index("Wow64RevertWow64FsRedirection"), load);
    EXPECT_LT(load, call_index("Wow64DisableWow64FsRedirection", nullptr, load));
    EXPECT_LT(call, call_index("FreeLibrary", nullptr, call));
    EXPECT_EQ(0, winsim::loaded_library_count());
    EXPECT_EQ(std::string::npos, last_box().find("von Hand"));
    // German and the layout are first now; English stays.
    ASSERT_TRUE(winsim::reg_export(USER_PROFILE_KEY).find("\"Languages\"=hex(7):64,65,2d,44,45,00,"
                                                         "65,6e,2d,55,53,00,00") != std::string::npos)
        << winsim::reg_export(USER_PROFILE_KEY);
    EXPECT_EQ((std::vector<std::string>{"0407:" SWEPT_LAYOUT_KEY, "0407:00000407"}), keyboards("de-DE"));
    EXPECT_EQ((std::vector<std::string>{"0409:00000409"}), keyboards("en-US"));

    // The user puts the standard layout first again; the update makes the same call.
    SEED("[" USER_PROFILE_KEY "\\de-DE]\n\"0407:00000407\"=dword:00000000\n");
    install();
    ASSERT_EQ(2u, winsim::layout_or_tip_calls().size());
    EXPECT_EQ("0407:" SWEPT_LAYOUT_KEY, winsim::layout_or_tip_calls()[1].text);
    EXPECT_EQ(0x00000002u, winsim::layout_or_tip_calls()[1].flags);
    EXPECT_NE(std::string::npos, last_box().find("erfolgreich aktualisliert."));
    EXPECT_EQ((std::vector<std::string>{"0407:" SWEPT_LAYOUT_KEY, "0407:00000407"}), keyboards("de-DE"));
}

TEST_F(language_list, when_input_dll_cannot_add_the_layout_the_user_is_told_where_to_add_it)
{
    const struct { const char* name; bool dll, function, fails; } cases[] = {
        {"no input.dll", false, false, false},
        {"no InstallLayoutOrTip", true, false, false},
        {"InstallLayoutOrTip returns FALSE", true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        winsim::reset();
        reset_program_state("Install_" DLL_BASE_NAME);
        on_64_bit_windows();
        SEED(language_list_fixture);
        winsim::set_input_dll(c.dll, c.function);
        if (c.fails)
            winsim::fail_call("InstallLayoutOrTip", "", ERROR_INVALID_PARAMETER);
        install();
        std::string box = last_box();
        EXPECT_EQ(0u, box.find("Tastaturbelegung " LAYOUT_TEXT " erfolgreich installiert.")) << box;
        EXPECT_NE(std::string::npos, box.find("NEU STARTEN! ===\n\nSollte die Tastaturbelegung in den "
                                              "Windows-Einstellungen fehlen, " ADD_BY_HAND))
            << box;
        // Preload and Substitutes are written as without the list.
        EXPECT_EQ(1u, resolved_user_layouts().count(SWEPT_LAYOUT_KEY));
        EXPECT_EQ(0, winsim::loaded_library_count());
        install();
        EXPECT_NE(std::string::npos, last_box().find(ADD_BY_HAND)) << "update: " << last_box();
    }
}

TEST_F(language_list, a_list_that_cannot_be_read_calls_nothing_and_gives_the_hint)
{
    SEED(language_list_fixture);
    winsim::fail_call("RegQueryValueExA", USER_PROFILE_KEY, ERROR_ACCESS_DENIED);
    install();
    EXPECT_TRUE(winsim::layout_or_tip_calls().empty());
    EXPECT_NE(std::string::npos, last_box().find(ADD_BY_HAND));
}

TEST_F(language_list, the_removal_takes_the_layout_out_of_the_list_before_the_key_goes)
{
    SEED(language_list_fixture);
    install();
    uninstall();
    ASSERT_EQ(2u, winsim::layout_or_tip_calls().size());
    EXPECT_EQ("0407:" SWEPT_LAYOUT_KEY, winsim::layout_or_tip_calls()[1].text);
    EXPECT_EQ(0x00000001u, winsim::layout_or_tip_calls()[1].flags);
    size_t call = call_index("InstallLayoutOrTip");
    EXPECT_LT(last_call_index("RegSetValueExA", USER_PRELOAD), call);
    EXPECT_LT(call, call_index("RegDeleteKeyA", LAYOUTS_KEY "\\" SWEPT_LAYOUT_KEY));
    EXPECT_EQ((std::vector<std::string>{"0407:00000407"}), keyboards("de-DE"));
    EXPECT_EQ(0u, last_box().find("Folgender Tastatur-Treiber wurde deinstalliert:\n" LAYOUT_TEXT))
        << last_box();
    EXPECT_EQ(std::string::npos, last_box().find("von Hand"));
}

TEST_F(language_list, a_failed_removal_from_the_list_does_not_stop_the_removal_and_is_told)
{
    SEED(language_list_fixture);
    install();
    winsim::fail_call("InstallLayoutOrTip", "", ERROR_INVALID_PARAMETER);
    uninstall();
    EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\" SWEPT_LAYOUT_KEY));
    EXPECT_FALSE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
    EXPECT_NE(std::string::npos, last_box().find("\n\nSollte die Tastaturbelegung noch in den "
                                                 "Windows-Einstellungen aufgeführt sein, " REMOVE_BY_HAND))
        << last_box();
}

TEST_F(language_list, the_removal_of_leftovers_takes_the_layout_out_of_the_list_too)
{
    SEED(language_list_fixture);
    install();
    // An earlier removal stopped after deleting the key.
    SEED("[-" LAYOUTS_KEY "\\" SWEPT_LAYOUT_KEY "]\n");
    uninstall("B0040407");
    ASSERT_EQ(2u, winsim::layout_or_tip_calls().size());
    EXPECT_EQ(0x00000001u, winsim::layout_or_tip_calls()[1].flags);
    EXPECT_EQ("0407:B0040407", winsim::layout_or_tip_calls()[1].text);
    EXPECT_EQ((std::vector<std::string>{"0407:00000407"}), keyboards("de-DE"));
    EXPECT_FALSE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
}

// As on Windows: with redirection off, a 32-bit process finds the 64-bit system DLL and
// cannot load it.
TEST_F(language_list, loading_a_system_dll_with_redirection_off_fails_as_on_windows)
{
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    PVOID saved = nullptr;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&saved));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, LoadLibraryExA("input.dll", 0, LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_EQ((DWORD)ERROR_BAD_EXE_FORMAT, GetLastError());
    EXPECT_EQ(nullptr, LoadLibraryA("input.dll"));
    ASSERT_TRUE(Wow64RevertWow64FsRedirection(saved));
    HMODULE input = LoadLibraryExA("input.dll", 0, LOAD_LIBRARY_SEARCH_SYSTEM32);
    ASSERT_NE(nullptr, input);
    EXPECT_NE(nullptr, GetProcAddress(input, "InstallLayoutOrTip"));
    EXPECT_TRUE(FreeLibrary(input));
}

}  // namespace
