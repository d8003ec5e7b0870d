// The installer on hostile registry contents: over-long names, binary data, full lists, odd keys.
#include "test_support.h"

#include <string.h>

#include <string>

#include <winsim/desktop_control.h>
#include <winsim/files_control.h>

#include "frame/frame.h"
#include "installer_flow.h"
#include "product_constants.h"

namespace {


class malformed_registry : public kb_test {
protected:
    void SetUp() override
    {
        kb_test::SetUp();
        winsim::set_windows_bitness(32);
        add_payload_resources();
        SEED(german_windows_fixture);
        winsim::on_message_box([](const winsim::message_box&) {});
        winsim::script_answers(std::vector<int>(10, IDOK));
    }
    void preload_values(const std::string& values)
    {
        std::string text = "[-HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n"
                           "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n" + values;
        seed(text.c_str());
    }
    // Runs the installer answering Yes; returns the texts of its boxes.
    std::vector<std::string> install()
    {
        std::vector<int> answers(10, IDOK);
        answers[0] = IDYES;
        winsim::script_answers(answers);
        EXPECT_TRUE(check_installer_command_line());
        run_installation();
        std::vector<std::string> texts;
        for (const auto& box : winsim::message_boxes())
            texts.push_back(box.text);
        return texts;
    }
    std::string lists() { return dump("HKEY_CURRENT_USER\\Keyboard Layout"); }
    static bool installed(const std::vector<std::string>& texts)
    {
        return !texts.empty() && texts.back().find("erfolgreich installiert.") != std::string::npos;
    }
};

TEST_F(malformed_registry, over_long_value_names_are_passed_over_and_kept)
{
    std::string n259(259, '7'), n260(260, '8'), n300(300, '9');
    preload_values("\"1\"=\"00000407\"\n\"" + n259 + "\"=\"00000409\"\n\"" + n260 +
                   "\"=\"00000809\"\n\"" + n300 + "\"=\"00000c07\"\n");
    std::vector<std::string> texts = install();
    ASSERT_TRUE(installed(texts));
    // The 259-character name is read; its number lies outside the places the plan walks, so the
    // entry follows on after them under the next place name;
    // the two longer ones cannot be read, name no layout Windows could use, and are not part of
    // the rewritten list.
    std::string preload = dump("HKEY_CURRENT_USER\\Keyboard Layout\\Preload");
    EXPECT_EQ(std::string::npos, preload.find(n260));
    EXPECT_EQ(std::string::npos, preload.find(n300));
    EXPECT_NE(std::string::npos, preload.find("\"3\"=\"00000409\""));
    EXPECT_NE(std::string::npos, preload.find("\"2\"=\"00000407\""));
    EXPECT_NE(std::string::npos, preload.find("\"1\"=\"d0010407\""));
}

TEST_F(malformed_registry, binary_preload_data_of_260_bytes_is_not_taken_for_a_layout)
{
    std::string hex;
    for (int i = 0; i < 260; i++)
        hex += i ? ",30" : "30";
    preload_values("\"1\"=\"00000407\"\n\"2\"=hex:" + hex + "\n");
    std::vector<std::string> texts = install();
    ASSERT_TRUE(installed(texts));
    // Data that are no text name no layout: the rewritten list holds the readable entries only.
    EXPECT_EQ(1, layout_inventory.preload_count - 1);
    EXPECT_EQ("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"d0010407\"\n\"2\"=\"00000407\"\n\n",
              dump("HKEY_CURRENT_USER\\Keyboard Layout\\Preload"));
}

TEST_F(malformed_registry, a_hundred_preload_values_refuse_the_installation_untouched)
{
    std::string values;
    for (int i = 1; i <= 100; i++)
        values += "\"" + std::to_string(i) + "\"=\"00000407\"\n";
    preload_values(values);
    std::string before = lists();
    std::vector<std::string> texts = install();
    ASSERT_EQ(1u, texts.size());
    EXPECT_EQ("Zu viele Einträge in HKEY_CURRENT_USER\\Keyboard Layout\\Preload (höchstens 99)",
              texts[0]);
    EXPECT_EQ(before, lists());
    EXPECT_FALSE(winsim::entry_exists("C:\\Windows\\system32\\" DLL_FILE_NAME));
}

TEST_F(malformed_registry, ninety_nine_preload_values_still_install)
{
    std::string values;
    for (int i = 1; i <= 99; i++)
        values += "\"" + std::to_string(i) + "\"=\"00000407\"\n";
    preload_values(values);
    ASSERT_TRUE(installed(install()));
    std::string value;
    EXPECT_TRUE(winsim::reg_read_string("HKEY_CURRENT_USER\\Keyboard Layout\\Preload", "100", &value));
    EXPECT_EQ("00000407", value);
}

TEST_F(malformed_registry, a_hundred_and_one_substitutes_refuse_the_installation)
{
    std::string text = "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n";
    for (int i = 1; i <= 101; i++)
        text += "\"x" + std::to_string(i) + "\"=\"00000407\"\n";
    seed(text.c_str());
    std::string before = lists();
    std::vector<std::string> texts = install();
    ASSERT_EQ(1u, texts.size());
    EXPECT_EQ("Zu viele Einträge in HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes (höchstens 100)",
              texts[0]);
    EXPECT_EQ(before, lists());
}

TEST_F(malformed_registry, percent_signs_in_key_names_are_data_not_placeholders)
{
    SEED("[" LAYOUTS_KEY "\\%n%n0407]\n\"Layout Text\"=\"%s%s\"\n\"Layout File\"=\"" DLL_FILE_NAME "\"\n");
    std::vector<std::string> texts = install();
    ASSERT_EQ(2u, texts.size());
    // The key of this product's DLL is found; its Layout Text is shown as it stands.
    EXPECT_NE(std::string::npos, texts[0].find("aktualisieren?\n\n%s%s\n"));
    EXPECT_EQ(0u, texts[1].find("Tastaturbelegung %s%s erfolgreich aktualisliert."));
    std::string command;
    ASSERT_TRUE(winsim::reg_read_string(
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" UNINSTALL_DISPLAY_NAME,
        "UninstallString", &command));
    EXPECT_EQ(command.size() - 8, command.find("%n%n0407"));
}

TEST_F(malformed_registry, short_keys_that_look_german_are_not_taken)
{
    SEED("[" LAYOUTS_KEY "\\0407]\n\"Layout File\"=\"" DLL_FILE_NAME "\"\n\n"
         "[" LAYOUTS_KEY "\\b00407]\n\"Layout File\"=\"" DLL_FILE_NAME "\"\n\n"
         "[" LAYOUTS_KEY "\\1234567]\n\"Layout File\"=\"" DLL_FILE_NAME "\"\n");
    std::vector<std::string> texts = install();
    ASSERT_TRUE(installed(texts));
    EXPECT_NE(std::string::npos, texts[0].find("installieren?"));  // a new installation
    EXPECT_TRUE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
}

TEST_F(malformed_registry, duplicate_preload_data_are_all_kept)
{
    preload_values("\"1\"=\"00000407\"\n\"2\"=\"00000407\"\n\"3\"=\"00000409\"\n");
    ASSERT_TRUE(installed(install()));
    EXPECT_EQ("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"d0010407\"\n\"2\"=\"00000407\"\n"
              "\"3\"=\"00000407\"\n\"4\"=\"00000409\"\n\n",
              dump("HKEY_CURRENT_USER\\Keyboard Layout\\Preload"));
}

}  // namespace
