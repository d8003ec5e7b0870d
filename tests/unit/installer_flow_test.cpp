// Tests of the installer's start check and flow against the simulated registry, files and shell.
#include "test_support.h"

#include <ctype.h>
#include <string.h>

#include <set>
#include <string>

#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/input_control.h>
#include <winsim/machine_image.h>
#include <winsim/security_control.h>
#include <winsim/shell_control.h>

#include "files/system_folders.h"
#include "frame/frame.h"
#include "frame/startup.h"
#include "installer_flow.h"
#include "uninstaller_flow.h"
#include "payloads.h"
#include "program_state.h"
#include "product_constants.h"

namespace {



// A text as a .reg export writes it between quotes.
std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

class installer_flow : public kb_test {
protected:
    std::string program_folder;
    std::string desktop_link;

    // Windows of `bits`, the installer a 32-bit program unless `program_bits` says otherwise.
    void on_windows(int bits, int program_bits = 32)
    {
        run_as_program(bits, program_bits);
        const char* files = frame.is_wow64 ? "C:\\Program Files (x86)" : "C:\\Program Files";
        program_folder = std::string(files) + "\\Q7-Tastaturbelegung\\";
        desktop_link = winsim::standard_folders().desktop + "\\" DIAGRAM_NAME ".LNK";
        add_payload_resources();
        SEED(german_windows_fixture);
        frame.argument_count = 0;
    }
    // Runs the installer as the frame would; answers the question with `answer`.
    void install(int answer = IDYES)
    {
        std::vector<int> answers(10, IDOK);
        answers[0] = answer;
        winsim::script_answers(answers);
        ASSERT_TRUE(check_installer_command_line());
        EXPECT_FALSE(run_installation());
    }
    std::vector<std::string> boxes()
    {
        std::vector<std::string> texts;
        for (const auto& box : winsim::message_boxes())
            texts.push_back(box.text);
        return texts;
    }
    std::string state()
    {
        return dump("HKEY_LOCAL_MACHINE") + dump("HKEY_CURRENT_USER") + winsim::dump_tree("C:\\");
    }
    std::string file(const std::string& path) { return winsim::entry(path.c_str()).contents; }
    ULONGLONG write_time(const std::string& path)
    {
        return winsim::entry(path.c_str()).last_write_time;
    }
};

TEST_F(installer_flow, first_run_on_64_bit_windows_installs_everything)
{
    on_windows(64);
    install();
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ(0u, texts[0].find("Wollen Sie jetzt folgenden Tastatur-Treiber installieren?\n\n"
                                "DIN Q7 (Lorvankastelle " VERSION_TEXT ")\n\nNutzungsbedingungen:"));
    EXPECT_EQ(0x24u, winsim::message_boxes()[0].style);
    EXPECT_EQ("Tastaturbelegung DIN Q7 (Lorvankastelle " VERSION_TEXT ") erfolgreich installiert.\nDie "
              "Tastaturbelegung steht Ihnen nach einem Systemneustart zur Verfügung.\n\n"
              "=== BITTE SYSTEM JETZT NEU STARTEN! ===",
              texts[1]);
    EXPECT_STREQ("Install_" DLL_BASE_NAME " V" VERSION_TEXT " - Tastaturtreiber-Installation", frame.window_title);

    EXPECT_EQ("payload 2", file("C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL"));
    EXPECT_EQ(PAYLOAD_DLL_64_TIME, write_time("C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL"));
    EXPECT_EQ("payload 3", file("C:\\Windows\\SysWOW64\\" DLL_BASE_NAME ".DLL"));
    EXPECT_EQ(PAYLOAD_DLL_WOW64_TIME, write_time("C:\\Windows\\SysWOW64\\" DLL_BASE_NAME ".DLL"));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_ARCHIVE,
              winsim::entry("C:\\Windows\\SysWOW64\\" DLL_BASE_NAME ".DLL").attributes);
    EXPECT_EQ("payload 6", file(program_folder + UNINSTALLER_FILE_NAME));
    EXPECT_EQ(PAYLOAD_UNINSTALLER_TIME, write_time(program_folder + UNINSTALLER_FILE_NAME));
    EXPECT_EQ("payload 4", file(program_folder + DIAGRAM_PDF_FILE_NAME));
    EXPECT_EQ("payload 5", file(program_folder + DIAGRAM_ICON_FILE_NAME));
    winsim::shell_link_fields link;
    ASSERT_TRUE(winsim::read_shell_link(desktop_link.c_str(), &link));
    EXPECT_EQ(program_folder + DIAGRAM_PDF_FILE_NAME, link.target);
    EXPECT_EQ(program_folder + DIAGRAM_ICON_FILE_NAME, link.icon_file);
    EXPECT_EQ(DIAGRAM_NAME, link.description);
    EXPECT_EQ(SW_SHOW, link.show_command);

    EXPECT_EQ("[" LAYOUTS_KEY "\\b0040407]\n"
              "\"Layout Text\"=\"DIN Q7 (Lorvankastelle " VERSION_TEXT ")\"\n"
              "\"Layout File\"=\"" DLL_BASE_NAME ".DLL\"\n"
              "\"Layout Id\"=\"0c00\"\n"
              "\"Created by KbdEdit\"=\"\"\n\n",
              dump(LAYOUTS_KEY "\\b0040407"));
    EXPECT_EQ("[HKEY_CURRENT_USER\\Keyboard Layout]\n\n"
              "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"d0010407\"\n\"2\"=\"00000407\"\n\n"
              "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n\"d0010407\"=\"b0040407\"\n\n",
              dump("HKEY_CURRENT_USER\\Keyboard Layout"));
    EXPECT_EQ("[" PRODUCT_ENTRY_KEY "]\n"
              "\"DisplayName\"=\"Tastaturbelegung DIN Q7 (Lorvankastelle " VERSION_TEXT ")\"\n"
              "\"UninstallString\"=\"" +
                  escaped("\"" + program_folder + UNINSTALLER_FILE_NAME "\" b0040407") + "\"\n"
              "\"HelpLink\"=\"" PRODUCT_WEB_ADDRESS "\"\n"
              "\"URLUpdateInfo\"=\"" PRODUCT_WEB_ADDRESS "\"\n"
              "\"Publisher\"=\"" PUBLISHER_TEXT "\"\n"
              "\"URLInfoAbout\"=\"" PRODUCT_WEB_ADDRESS "\"\n"
              "\"DisplayVersion\"=\"" VERSION_TEXT "\"\n"
              "\"DisplayIcon\"=\"" + escaped(program_folder + DIAGRAM_ICON_FILE_NAME) + "\"\n"
              "\"Comments\"=\"Tastaturbelegung DIN Q7 (Lorvankastelle " VERSION_TEXT ") und Tastaturbelegung Q7 "
              "(V" VERSION_TEXT ") Schaubild von Ihrem Rechner entfernen\"\n\n",
              winsim::reg_export(PRODUCT_ENTRY_KEY));
    EXPECT_EQ(0, winsim::open_file_handles());
}

TEST_F(installer_flow, on_32_bit_windows_only_the_32_bit_dll_is_written)
{
    on_windows(32);
    install();
    EXPECT_EQ("payload 1", file("C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL"));
    EXPECT_EQ(PAYLOAD_DLL_32_TIME, write_time("C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL"));
    EXPECT_TRUE(winsim::entry_exists((program_folder + UNINSTALLER_FILE_NAME).c_str()));
    EXPECT_EQ(0, winsim::sleep_calls());
}

TEST_F(installer_flow, a_second_run_updates_and_keeps_the_key)
{
    on_windows(64);
    install();
    std::string layout_key = dump(LAYOUTS_KEY "\\b0040407");
    std::string lists = dump("HKEY_CURRENT_USER\\Keyboard Layout");
    winsim::add_file((program_folder + DIAGRAM_PDF_FILE_NAME).c_str(), "changed by hand",
                     FILE_ATTRIBUTE_READONLY);
    winsim::clear_call_log();
    reset_layout_inventory();
    reset_frame();
    winsim::close_mutex_handles();  // the earlier run has ended
    probe_machine();
    strcpy(frame.program_name, "Install_" DLL_BASE_NAME "");
    winsim::script_answers({IDYES, IDOK});
    size_t before = winsim::message_boxes().size();
    ASSERT_TRUE(check_installer_command_line());
    run_installation();
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(before + 2, texts.size());
    EXPECT_EQ(0u, texts[before].find("Wollen Sie jetzt folgenden Tastatur-Treiber aktualisieren?"
                                     "\n\nDIN Q7 (Lorvankastelle " VERSION_TEXT ")\n"));
    // The layout is first in the list already: nothing rewritten, no restart hint.
    EXPECT_EQ("Tastaturbelegung DIN Q7 (Lorvankastelle " VERSION_TEXT ") erfolgreich aktualisliert.",
              texts[before + 1]);
    EXPECT_EQ(layout_key, dump(LAYOUTS_KEY "\\b0040407"));
    EXPECT_EQ(lists, dump("HKEY_CURRENT_USER\\Keyboard Layout"));
    EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0050407"));
    EXPECT_EQ("payload 4", file(program_folder + DIAGRAM_PDF_FILE_NAME));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_ARCHIVE,
              winsim::entry((program_folder + DIAGRAM_PDF_FILE_NAME).c_str()).attributes);
    std::string command;
    ASSERT_TRUE(winsim::reg_read_string(PRODUCT_ENTRY_KEY, "UninstallString", &command));
    EXPECT_EQ("\"" + program_folder + UNINSTALLER_FILE_NAME "\" b0040407", command);
}

TEST_F(installer_flow, an_update_puts_a_removed_layout_back_under_its_key)
{
    on_windows(64);
    // The key names the product's DLL in capitals: the scan compares without regard to case.
    std::string upper_dll = DLL_FILE_NAME;
    for (char& c : upper_dll)
        c = (char)toupper((unsigned char)c);
    std::string key = "[" LAYOUTS_KEY "\\b0070407]\n\"Layout File\"=\"" + upper_dll +
                      "\"\n\"Layout Id\"=\"0c05\"\n";
    seed(key.c_str());
    install();
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(2u, texts.size());
    EXPECT_NE(std::string::npos, texts[0].find("aktualisieren?\n\nDIN Q7 (Lorvankastelle " VERSION_TEXT ")"));
    EXPECT_EQ("Tastaturbelegung DIN Q7 (Lorvankastelle " VERSION_TEXT ") erfolgreich aktualisliert.\n\nNach "
              "einem Systemneustart sollte die Tastaturbelegung wieder voreingestellt sein.",
              texts[1]);
    EXPECT_EQ("[HKEY_CURRENT_USER\\Keyboard Layout]\n\n"
              "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"d0010407\"\n\"2\"=\"00000407\"\n\n"
              "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n\"d0010407\"=\"b0070407\"\n\n",
              dump("HKEY_CURRENT_USER\\Keyboard Layout"));
    // The key keeps the values it has; the two it lacks are added after them.
    EXPECT_EQ(key + "\"Layout Text\"=\"" LAYOUT_TEXT "\"\n\"Created by KbdEdit\"=\"\"\n\n",
              dump(LAYOUTS_KEY "\\b0070407"));
}

// The run before stopped right after it had created the layout key: the key has no values,
// the uninstall entry (written before it) names it, and the lists are the user's own.
TEST_F(installer_flow, a_layout_key_left_incomplete_is_completed_and_no_second_key_is_made)
{
    on_windows(64);
    install();
    std::string complete_key = dump(LAYOUTS_KEY "\\b0040407");
    std::string lists = dump("HKEY_CURRENT_USER\\Keyboard Layout");
    SEED("[-" LAYOUTS_KEY "\\b0040407]\n" LAYOUTS "\\b0040407]\n\n"
         "[-HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n"
         "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\n"
         "[-HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n"
         "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n");
    reset_layout_inventory();
    reset_frame();
    winsim::close_mutex_handles();  // the earlier run has ended
    probe_machine();
    size_t before = winsim::message_boxes().size();
    install();
    EXPECT_NE(std::string::npos, boxes()[before].find("aktualisieren?"));
    EXPECT_EQ(complete_key, dump(LAYOUTS_KEY "\\b0040407"));
    EXPECT_EQ(lists, dump("HKEY_CURRENT_USER\\Keyboard Layout"));
    EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0050407"));
}

// A key without a Layout File that this build's entry does not name is somebody else's.
TEST_F(installer_flow, an_incomplete_key_that_the_entry_does_not_name_is_left_alone)
{
    on_windows(64);
    SEED(LAYOUTS "\\b0040407]\n\"Layout Text\"=\"Fremd\"\n");
    install();
    EXPECT_NE(std::string::npos, boxes()[0].find("installieren?"));
    EXPECT_EQ("[" LAYOUTS_KEY "\\b0040407]\n\"Layout Text\"=\"Fremd\"\n\n",
              dump(LAYOUTS_KEY "\\b0040407"));
    EXPECT_TRUE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0050407"));
}

// A found key without a Layout Id gets one chosen as for a new key, after the question.
TEST_F(installer_flow, an_update_gives_a_key_without_layout_id_a_new_one)
{
    on_windows(64);
    SEED(LAYOUTS "\\b0070407]\n\"Layout File\"=\"" DLL_FILE_NAME "\"\n"
         "\"Layout Text\"=\"" LAYOUT_TEXT "\"\n\"Created by KbdEdit\"=\"\"\n"
         LAYOUTS "\\b0060407]\n\"Layout File\"=\"KBDX.DLL\"\n\"Layout Id\"=\"0c03\"\n");
    install();
    std::string id;
    ASSERT_TRUE(winsim::reg_read_string(LAYOUTS_KEY "\\b0070407", "Layout Id", &id));
    EXPECT_EQ("0c04", id);
}

TEST_F(installer_flow, another_builds_layout_is_not_taken_for_this_one)
{
    on_windows(64);
    SEED(LAYOUTS "\\b0070407]\n\"Layout File\"=\"" OTHER_BUILD_DLL_BASE_NAME ".DLL\"\n\"Layout Id\"=\"0c05\"\n");
    install();
    std::string id;
    ASSERT_TRUE(winsim::reg_read_string(LAYOUTS_KEY "\\b0080407", "Layout Id", &id));
    EXPECT_EQ("0c06", id);
    EXPECT_NE(std::string::npos, boxes()[0].find("installieren?"));
}

TEST_F(installer_flow, answering_no_changes_nothing)
{
    on_windows(64);
    std::string before = state();
    install(IDNO);
    EXPECT_EQ(before, state());
    ASSERT_EQ(2u, boxes().size());
    EXPECT_EQ("Installation abgebrochen.", boxes()[1]);
    EXPECT_EQ(0x40u, winsim::message_boxes()[1].style);
}

// An administrator typed a password at a standard user's elevation prompt: the user who asked,
// named outside code page 1252, gets what installing as an administrator would have given them;
// the administrator, whose list differs, keeps lists, language list and desktop as they were.
TEST_F(installer_flow, over_the_shoulder_the_user_who_asked_gets_the_layout)
{
    on_windows(64);
    SEED(language_list_fixture);
    install();
    const std::string expected = dump("HKEY_CURRENT_USER");
    const std::vector<std::string> expected_boxes = boxes();

    kb_test::SetUp();
    on_windows(64);
    SEED(language_list_fixture);
    sign_in_standard_user("\xC5\x81ucja");
    SEED("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000409\"\n");
    const std::string administrators_before = dump("HKEY_CURRENT_USER");
    install();
    EXPECT_EQ(expected_boxes, boxes());
    EXPECT_EQ(administrators_before, dump("HKEY_CURRENT_USER"));
    EXPECT_EQ(expected, moved_below(dump(standard_user_key().c_str()), standard_user_key(),
                                    "HKEY_CURRENT_USER"));
    EXPECT_TRUE(winsim::entry_exists((winsim::standard_user_desktop() + "\\" DIAGRAM_NAME ".LNK").c_str()));
    EXPECT_FALSE(winsim::entry_exists(desktop_link.c_str()));
    ASSERT_EQ(1u, winsim::layout_or_tip_calls().size());
    EXPECT_EQ(standard_user_key(), winsim::layout_or_tip_calls()[0].user_key);
    EXPECT_EQ(0x22u, winsim::layout_or_tip_calls()[0].flags);
    EXPECT_EQ(0, winsim::open_token_and_process_handles());
    EXPECT_FALSE(winsim::debug_privilege_enabled());
}

// Whose lists: without a shell window the program's own user's, as ever; a shell's user who
// cannot be told, or whose settings cannot be opened, stops the run before the question.
TEST_F(installer_flow, a_shell_user_who_cannot_be_reached_stops_before_the_question)
{
    const char* const unknown_user =
        "Das Benutzerkonto, das am Computer angemeldet ist, kann nicht ermittelt werden.\n\n"
        "Bitte melden Sie sich ab und wieder an und starten Sie das Programm erneut.\n\n"
        "Installation abgebrochen.";
    const std::string hive_closed =
        "Fehler beim Öffnen des Registry-Keys " + standard_user_key() + "\n\nDie Einstellungen "
        "des angemeldeten Benutzers können nicht geändert werden. Bitte melden Sie sich ab und "
        "wieder an und starten Sie das Programm erneut.\n\nInstallation abgebrochen.";
    const struct { const char* name; const char* failing_call; bool hive_loaded; std::string told; } cases[] = {
        {"the shell's process cannot be opened", "OpenProcess", true, unknown_user},
        {"its token cannot be read", "GetTokenInformation", true, unknown_user},
        {"the user's hive is not loaded", nullptr, false, hive_closed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kb_test::SetUp();
        on_windows(64);
        sign_in_standard_user("Kind");
        if (!c.hive_loaded)
            SEED(("[-" + standard_user_key() + "]\n").c_str());
        if (c.failing_call)
            winsim::fail_call(c.failing_call, nullptr, ERROR_ACCESS_DENIED);
        const std::string before = state() + dump("HKEY_USERS");
        install();
        EXPECT_EQ(std::vector<std::string>{c.told}, boxes());
        EXPECT_EQ(before, state() + dump("HKEY_USERS"));
        EXPECT_EQ(0, winsim::open_token_and_process_handles());
    }
    kb_test::SetUp();
    on_windows(64);
    winsim::set_shell_owner(winsim::shell_owner::nobody);
    install();
    EXPECT_NE(std::string::npos,
              dump("HKEY_CURRENT_USER\\Keyboard Layout\\Preload").find("\"1\"=\"d0010407\""));
    EXPECT_TRUE(winsim::entry_exists(desktop_link.c_str()));
}

// Over the shoulder, a list key of the user who asked that cannot be read or written is named
// where it is, below HKEY_USERS, and not below the administrator's HKEY_CURRENT_USER.
TEST_F(installer_flow, over_the_shoulder_a_failing_list_key_is_named_in_the_users_hive)
{
    const struct { const char* call; const char* key; } cases[] = {
        {"RegOpenKeyExA", "\\Keyboard Layout\\Preload"},
        {"RegCreateKeyExA", "\\Software\\" PROGRAM_FOLDER_NAME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        kb_test::SetUp();
        on_windows(64);
        sign_in_standard_user("Kind");
        winsim::fail_call(c.call, (standard_user_key() + c.key).c_str(), ERROR_ACCESS_DENIED);
        install();
        std::string told;
        for (const std::string& text : boxes())
            told += text + "\n---\n";
        EXPECT_NE(std::string::npos, told.find(standard_user_key() + c.key)) << told;
        EXPECT_EQ(std::string::npos, told.find("HKEY_CURRENT_USER")) << told;
    }
}

TEST_F(installer_flow, any_command_line_word_is_refused)
{
    on_windows(64);
    frame.argument_count = 1;
    strcpy(frame.arguments[0], "");
    winsim::script_answers({IDOK});
    EXPECT_FALSE(check_installer_command_line());
    ASSERT_EQ(1u, boxes().size());
    EXPECT_EQ("Installationsprogramm falsch aufgerufen (mit Kommandoparameter )", boxes()[0]);
    EXPECT_EQ(0x30u, winsim::message_boxes()[0].style);
    EXPECT_TRUE(frame.center_main_window);
}

// Without its uninstaller the installation could not be removed, and without its DLL it could
// not be used: either stops the run before any DLL, key, list or entry changes, and what the run
// made in the program folder goes again; a user's file keeps the folder that was there.
TEST_F(installer_flow, a_folder_uninstaller_or_dll_that_cannot_be_written_stops_everything)
{
    struct case_t {
        const char* name;
        bool users_file;  // the program folder is there with a file of the user's
        const char* call;
        std::string subject;
        std::vector<std::string> texts;  // the beginnings of the boxes after the question
    } cases[] = {
        {"the folder", false, "CreateDirectoryA", "C:\\Program Files (x86)\\Q7-Tastaturbelegung",
         {"Das Programmverzeichnis konnte nicht angelegt werden:\nC:\\Program Files (x86)\\"
          "Q7-Tastaturbelegung\n\nWindows-Errorcode 5:"}},
        {"the uninstaller", false, "CreateFileA",
         "C:\\Program Files (x86)\\Q7-Tastaturbelegung\\" UNINSTALLER_FILE_NAME,
         {"FEHLER:\nDatei konnte nicht zum Schreiben geöffnet werden.\nName: C:\\Program Files "
          "(x86)\\Q7-Tastaturbelegung\\" UNINSTALLER_FILE_NAME "\nWindows-Errorcode 5:",
          "Installation abgebrochen."}},
        {"the DLL", false, "CreateFileA", "C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL",
         {"FEHLER:\nDatei konnte nicht zum Schreiben geöffnet werden.\nName: C:\\Windows\\system32\\"
          DLL_BASE_NAME ".DLL\nWindows-Errorcode 5:\nZugriff verweigert",
          "Installation abgebrochen."}},
        {"the DLL, the folder there with a user's file", true, "CreateFileA",
         "C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL",
         {"FEHLER:\nDatei konnte nicht zum Schreiben", "Installation abgebrochen."}},
        {"redirection that stays on", false, "Wow64DisableWow64FsRedirection", "",
         {"Die Umleitung des Dateisystems für 32-Bit-Programme (WOW64) kann nicht abgeschaltet "
          "werden.\n\nInstallation abgebrochen."}},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.name);
        kb_test::SetUp();
        on_windows(64);
        if (c.users_file)
            winsim::add_file((program_folder + "Notizen.txt").c_str(), "meine");
        std::string before = state();
        winsim::fail_call(c.call, c.subject.c_str(), ERROR_ACCESS_DENIED);
        install();
        std::vector<std::string> texts = boxes();
        ASSERT_EQ(c.texts.size() + 1, texts.size());
        for (size_t i = 0; i < c.texts.size(); i++)
            EXPECT_EQ(0u, texts[i + 1].find(c.texts[i])) << texts[i + 1];
        EXPECT_EQ(before, state());
    }
}

// A folder made where Program Files is missing would take over the permissions of its parent:
// the installer refuses before the question.
TEST_F(installer_flow, a_missing_program_files_folder_is_refused)
{
    on_windows(64);
    winsim::set_special_folder(CSIDL_PROGRAM_FILES, "C:\\Programme\\Neu");
    std::string before = state();
    install();
    ASSERT_EQ(1u, boxes().size());
    EXPECT_EQ("Das Verzeichnis für Programme fehlt, in dem das Programmverzeichnis angelegt werden "
              "soll:\nC:\\Programme\\Neu\n\nInstallation abgebrochen.",
              boxes()[0]);
    EXPECT_EQ(before, state());
}

// The shortcut on the desktop as the user's name and the desktop allow; when it or the diagram
// cannot be made or replaced, the final message says so, and where the diagram is.
TEST_F(installer_flow, a_shortcut_that_cannot_be_made_is_told)
{
    enum class told { nothing, shortcut, diagram };
    struct case_t {
        const char* name;
        const char* user;  // UTF-8
        bool best_fit;
        DWORD windows_major, windows_minor;
        void (*prepare)(const std::string& desktop_link, const std::string& program_folder);
        bool update;
        told what;
    } cases[] = {
        {"Windows 10 and 11", "Anwender", true, 10, 0, nullptr, false, told::nothing},
        {"Windows 7", "Anwender", true, 6, 1, nullptr, false, told::nothing},
        {"a user named outside the code page, best fit", "\xC5\x81ukasz", true, 10, 0, nullptr,
         false, told::nothing},
        {"a user named outside the code page, no best fit", "\xC5\x81ukasz", false, 10, 0, nullptr,
         false, told::nothing},
        {"a read-only old shortcut", "Anwender", true, 10, 0,
         [](const std::string& link, const std::string&) {
             winsim::add_file(link.c_str(), "old", FILE_ATTRIBUTE_READONLY);
         },
         false, told::shortcut},
        {"a read-only shortcut at an update", "Anwender", true, 10, 0,
         [](const std::string& link, const std::string&) {
             winsim::set_entry_attributes(link.c_str(), FILE_ATTRIBUTE_READONLY);
         },
         true, told::shortcut},
        {"a missing desktop", "Anwender", true, 10, 0,
         [](const std::string&, const std::string&) {
             winsim::set_special_folder(CSIDL_DESKTOPDIRECTORY, "C:\\Users\\Anwender\\Schreibtisch");
         },
         false, told::shortcut},
        {"a diagram open in a viewer at an update", "Anwender", true, 10, 0,
         [](const std::string&, const std::string& folder) {
             winsim::add_file((folder + DIAGRAM_PDF_FILE_NAME).c_str(), "older diagram");
             winsim::hold_file_open((folder + DIAGRAM_PDF_FILE_NAME).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ);
         },
         true, told::diagram},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.name);
        kb_test::SetUp();
        winsim::set_user_name(c.user);
        winsim::set_ansi_best_fit(c.best_fit);
        winsim::set_windows_version(c.windows_major, c.windows_minor);
        on_windows(64);
        if (c.update) {
            install();
            reset_program_state("Install_" DLL_BASE_NAME);
            probe_machine();
        }
        if (c.prepare)
            c.prepare(desktop_link, program_folder);
        std::string link_before = file(desktop_link);
        install();
        std::string final_text = boxes().back();
        std::string told_text =
            c.what == told::diagram
                ? "\n\nDie Tastaturbelegung ist installiert, nur das Schaubild konnte nicht im "
                  "Programmverzeichnis gespeichert werden."
                : "\n\nDie Tastaturbelegung ist installiert, nur die Verknüpfung zum Schaubild "
                  "konnte nicht auf Ihrem Desktop angelegt werden; Sie finden das Schaubild im "
                  "Programmverzeichnis unter:\n" +
                      program_folder + DIAGRAM_PDF_FILE_NAME;
        EXPECT_NE(std::string::npos, final_text.find(c.update ? "erfolgreich aktualisliert"
                                                              : "erfolgreich installiert"));
        EXPECT_EQ(c.what == told::nothing ? std::string::npos : final_text.size() - told_text.size(),
                  final_text.find(told_text))
            << final_text;
        winsim::shell_link_fields link;
        EXPECT_EQ(c.what == told::nothing || c.update,
                  winsim::read_shell_link(desktop_link.c_str(), &link));
        if (c.what != told::nothing) {
            EXPECT_EQ(link_before, file(desktop_link));
        }
        // Nothing is made outside the user's true profile folders.
        std::vector<std::string> users = winsim::list_folder("C:\\Users");
        EXPECT_EQ((std::set<std::string>{"Public", winsim::entry(winsim::standard_folders().user_profile.c_str()).name}),
                  std::set<std::string>(users.begin(), users.end()));
        EXPECT_FALSE(winsim::entry_exists("C:\\Users\\Anwender\\Schreibtisch"));
    }
}

TEST_F(installer_flow, a_missing_payload_is_reported_and_the_rest_goes_on)
{
    on_windows(64);
    winsim::fail_call("FindResourceA", "DATEI4_TYPE\\DATEI4_NAME", 1814);
    install();
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ("FEHLER:\nDatei Tastaturbelegung Q7 (V" VERSION_TEXT ") Schaubild.pdf nicht aus den "
              "Programmresourcen entnehmbar.\nInterner Fehlerschlüssel: 00000000 00000000 - 0",
              texts[1]);
    EXPECT_EQ(0u, texts[2].find("Tastaturbelegung DIN Q7 (Lorvankastelle " VERSION_TEXT ") erfolgreich installiert."));
    EXPECT_FALSE(winsim::entry_exists((program_folder + DIAGRAM_PDF_FILE_NAME).c_str()));
    EXPECT_TRUE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
}

TEST_F(installer_flow, keyboard_layouts_failing_to_reopen_ends_without_success)
{
    on_windows(64);
    // The scan has opened the key before the question; the second open fails.
    winsim::on_message_box([](const winsim::message_box& box) {
        if (box.style == 0x24)
            winsim::fail_call("RegOpenKeyExA", LAYOUTS_KEY, ERROR_ACCESS_DENIED);
    });
    install();
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ("Fehler beim erneuten Öffnen des Registry-Keys HKEY_LOCAL_MACHINE\\System\\"
              "CurrentControlSet\\Control\\Keyboard Layouts",
              texts[1]);
    EXPECT_TRUE(winsim::entry_exists(desktop_link.c_str()));
    EXPECT_TRUE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
    EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
}

// Lists that named a layout key Windows cannot load would take the user's layout away: they
// stay as they were, and no success is reported.
TEST_F(installer_flow, a_layout_key_that_cannot_be_created_leaves_the_lists_alone)
{
    on_windows(64);
    std::string lists = dump("HKEY_CURRENT_USER\\Keyboard Layout");
    winsim::reg_deny_create(LAYOUTS_KEY "\\b0040407");
    install();
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ("Fehler beim Erstellen des Tastaturbelegungs-Registry-Keys b0040407", texts[1]);
    EXPECT_EQ(lists, dump("HKEY_CURRENT_USER\\Keyboard Layout"));
    EXPECT_TRUE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
}

TEST_F(installer_flow, layout_key_values_that_cannot_be_written_take_the_key_away_again)
{
    on_windows(64);
    std::string lists = dump("HKEY_CURRENT_USER\\Keyboard Layout");
    // The first value of the new key fails; the others are written and removed with the key.
    winsim::fail_call("RegSetValueExA", LAYOUTS_KEY "\\b0040407", ERROR_ACCESS_DENIED, -1, 1);
    install();
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ("Fehler beim Schreiben der Werte des Tastaturbelegungs-Registry-Keys b0040407",
              texts[1]);
    EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
    EXPECT_EQ(lists, dump("HKEY_CURRENT_USER\\Keyboard Layout"));
}

// Without its folders the installer would write into the root of the current drive, or into a
// folder made up in the place of Program Files.
TEST_F(installer_flow, folders_that_cannot_be_determined_stop_before_anything_is_written)
{
    struct case_t {
        const char* call;
        const char* text;
    } cases[] = {
        {"GetSystemDirectoryA", "Das Systemverzeichnis kann nicht ermittelt werden."},
        {"SHGetSpecialFolderLocation", "Das Programmverzeichnis kann nicht ermittelt werden."},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.call);
        kb_test::SetUp();
        on_windows(64);
        std::string before = state();
        winsim::fail_call(c.call, "", ERROR_INVALID_PARAMETER);
        install();
        std::vector<std::string> texts = boxes();
        ASSERT_EQ(1u, texts.size());
        EXPECT_EQ(std::string(c.text) + "\n\nInstallation abgebrochen.", texts[0]);
        EXPECT_EQ(0x30u, winsim::message_boxes()[0].style);
        EXPECT_EQ(before, state());
    }
}

// A file that cannot be cut to its new length would keep the end of the old one.
TEST_F(installer_flow, a_dll_that_cannot_be_cut_stops_the_installation)
{
    on_windows(32);
    std::string dll = "C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL";
    winsim::add_file(dll.c_str(), "an older and much longer layout file");
    winsim::fail_call("SetEndOfFile", dll.c_str(), ERROR_ACCESS_DENIED);
    install();
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ(0u, texts[1].find("FEHLER:\nDatei konnte nicht zum Schreiben geöffnet werden.\n"
                                "Name: " + dll + "\nWindows-Errorcode 5:\nZugriff verweigert"))
        << texts[1];
    EXPECT_EQ("Installation abgebrochen.", texts[2]);
    EXPECT_EQ("an older and much longer layout file", file(dll));
    EXPECT_EQ(0, winsim::entry(dll.c_str()).open_handles);
}

TEST_F(installer_flow, a_failing_preload_rewrite_is_a_warning_before_the_success)
{
    on_windows(64);
    winsim::reg_deny_access("HKEY_CURRENT_USER\\Keyboard Layout\\Preload", KEY_SET_VALUE);
    install();
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ("Warnung bei Installation von DIN Q7 (Lorvankastelle " VERSION_TEXT "):\nProblem bei "
              "Registry-Key-Update:\n  Warnung:\nFehler beim Öffnen des Registry-Keys "
              "HKEY_CURRENT_USER\\Keyboard Layout\\Preload",
              texts[1]);
    EXPECT_EQ(0x40u, winsim::message_boxes()[1].style);
    EXPECT_EQ(0u, texts[2].find("Tastaturbelegung DIN Q7 (Lorvankastelle " VERSION_TEXT ") erfolgreich installiert."));
}

TEST_F(installer_flow, a_scan_failure_with_a_percent_in_a_key_name_is_shown_as_it_stands)
{
    on_windows(64);
    SEED(LAYOUTS "\\%s%s0407]\n");
    winsim::reg_deny_access(LAYOUTS_KEY "\\%s%s0407", KEY_READ);
    std::string before = state();
    install();
    ASSERT_EQ(1u, boxes().size());
    EXPECT_EQ("Fehler beim Öffnen des Registry-Subkeys System\\CurrentControlSet\\Control\\"
              "Keyboard Layouts - %s%s0407",
              boxes()[0]);
    EXPECT_EQ(before, state());
}

// The program folder fits, but a path of one of its files would not: without the uninstaller
// the layout could not be removed again, so nothing is written.
TEST_F(installer_flow, program_folder_files_that_do_not_fit_stop_before_the_question)
{
    on_windows(64);
    std::string files = "C:\\" + std::string(200, 'p');
    ASSERT_TRUE(winsim::add_folder(files.c_str()));
    winsim::set_special_folder(CSIDL_PROGRAM_FILES, files.c_str());
    std::string before = state();
    install();
    ASSERT_EQ(1u, boxes().size());
    EXPECT_EQ("Die Dateien des Programmverzeichnisses passen nicht in einen Pfad von höchstens "
              "259 Zeichen:\n" + files + "\\Q7-Tastaturbelegung\\\n\nInstallation abgebrochen.",
              boxes()[0]);
    EXPECT_EQ(before, state());
}

// Windows on ARM processors: the installer's own process runs under WOW64 as on x64.
TEST_F(installer_flow, on_arm64_the_arm64_dll_goes_to_the_native_system_folder)
{
    on_windows(64);
    winsim::set_native_machine(true, IMAGE_FILE_MACHINE_ARM64);
    frame.native_machine = IMAGE_FILE_MACHINE_ARM64;
    winsim::add_resource("DATEI7_TYPE", "DATEI7_NAME", 1031, "payload 7");
    install();
    EXPECT_EQ("payload 7", file("C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL"));
    EXPECT_EQ(PAYLOAD_DLL_64_TIME, write_time("C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL"));
    EXPECT_EQ("payload 3", file("C:\\Windows\\SysWOW64\\" DLL_BASE_NAME ".DLL"));
    EXPECT_NE(std::string::npos, boxes().back().find("erfolgreich installiert"));
}

TEST_F(installer_flow, on_arm64_a_build_without_an_arm64_dll_refuses_before_the_question)
{
    on_windows(64);
    frame.native_machine = IMAGE_FILE_MACHINE_ARM64;
    std::string before = state();
    install();
    ASSERT_EQ(1u, boxes().size());
    EXPECT_EQ("Warnung:\nDiese Tastaturbelegung unterstützt Windows auf ARM-Prozessoren nicht.\n\n"
              "Installation abgebrochen.",
              boxes()[0]);
    EXPECT_EQ(0x30u, winsim::message_boxes()[0].style);
    EXPECT_EQ(before, state());
}

TEST_F(installer_flow, on_x64_and_x86_the_arm64_dll_is_not_used)
{
    for (int bits : {64, 32}) {
        SCOPED_TRACE(bits);
        kb_test::SetUp();
        on_windows(bits);
        frame.native_machine = bits == 64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
        winsim::add_resource("DATEI7_TYPE", "DATEI7_NAME", 1031, "payload 7");
        install();
        EXPECT_EQ(bits == 64 ? "payload 2" : "payload 1",
                  file("C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL"));
    }
}

// The 64-bit installer runs natively: nothing to switch off, the native DLL in system32 and the
// WOW64 DLL in SysWOW64, its program folder in the 64-bit Program Files. A Windows without the
// 32-bit subsystem has no SysWOW64, and gets the native DLL alone.
TEST_F(installer_flow, a_64_bit_installer_puts_each_dll_into_its_folder)
{
    const struct {
        const char* name;
        USHORT machine;
        bool with_is_wow64_process2;
        bool wow64_subsystem;
        const char* native_dll;
    } cases[] = {
        {"x64", IMAGE_FILE_MACHINE_AMD64, true, true, "payload 2"},
        {"x64 before Windows 10", IMAGE_FILE_MACHINE_AMD64, false, true, "payload 2"},
        {"x64 without the 32-bit subsystem", IMAGE_FILE_MACHINE_AMD64, true, false, "payload 2"},
        {"ARM64", IMAGE_FILE_MACHINE_ARM64, true, true, "payload 7"},
    };
    const std::string wow64_dll = "C:\\Windows\\SysWOW64\\" DLL_FILE_NAME;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kb_test::SetUp();
        winsim::set_native_machine(c.with_is_wow64_process2, c.machine);
        on_windows(64, 64);
        ASSERT_FALSE(frame.is_wow64);
        ASSERT_EQ(c.machine, frame.native_machine);
        winsim::add_resource("DATEI7_TYPE", "DATEI7_NAME", 1031, "payload 7");
        if (!c.wow64_subsystem) {
            ASSERT_TRUE(RemoveDirectoryA("C:\\Windows\\SysWOW64"));
        }
        install();
        EXPECT_EQ(c.native_dll, file("C:\\Windows\\system32\\" DLL_FILE_NAME));
        if (c.wow64_subsystem) {
            EXPECT_EQ("payload 3", file(wow64_dll));
        }
        EXPECT_EQ(c.wow64_subsystem, winsim::entry_exists("C:\\Windows\\SysWOW64"));
        EXPECT_EQ("C:\\Program Files\\Q7-Tastaturbelegung\\", program_folder);
        EXPECT_EQ("payload 6", file(program_folder + UNINSTALLER_FILE_NAME));
        for (const auto& call : winsim::call_log())
            EXPECT_EQ(std::string::npos, call.call.find("FsRedirection")) << call.call;
        EXPECT_NE(std::string::npos, boxes().back().find("erfolgreich installiert"));
    }
}

// A second run at once, of either program and any version: one box, and nothing changes.
TEST_F(installer_flow, a_second_run_at_once_says_so_and_changes_nothing)
{
    on_windows(64);
    winsim::hold_mutex_elsewhere(SINGLE_RUN_MUTEX);
    std::string before = state();
    winsim::script_answers({IDOK});
    EXPECT_FALSE(check_installer_command_line());
    ASSERT_EQ(1u, boxes().size());
    EXPECT_EQ(SECOND_RUN_TEXT, boxes()[0]);
    EXPECT_EQ(MB_ICONEXCLAMATION, winsim::message_boxes()[0].style & 0xF0u);
    EXPECT_EQ(before, state());
    EXPECT_EQ(0, winsim::open_mutex_handles());
}

// ---- installing again while the layout DLL is in use ----

class installer_again : public installer_flow {
protected:
    std::string dll = "C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL";

    // A first installation, then the program state of a new run; boxes counted from here.
    void installed_before()
    {
        on_windows(64);
        install();
        // The user signs in again: Windows loads the layout's DLLs.
        log_on();
        reset_layout_inventory();
        reset_frame();
        winsim::close_mutex_handles();  // the earlier run has ended
        probe_machine();
        frame.argument_count = 0;
        strcpy(frame.program_name, "Install_" DLL_BASE_NAME);
        boxes_before = winsim::message_boxes().size();
        winsim::clear_call_log();
    }
    // The uninstaller's copy removes the product, the user having made another layout first.
    void remove_product()
    {
        reset_program_state("Uninstall_" DLL_BASE_NAME);
        probe_machine();
        SEED("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\"2\"=\"d0010407\"\n");
        std::string copy = winsim::standard_folders().temp + "\\" UNINSTALLER_FILE_NAME;
        winsim::add_file(copy.c_str(), "MZ uninstaller");
        winsim::set_module_file_name(copy.c_str());
        frame.argument_count = 1;
        strcpy(frame.arguments[0], "b0040407");
        winsim::script_answers({IDYES, IDOK});
        ASSERT_TRUE(check_uninstaller_command_line());
        run_uninstallation();
        test_warning_caption = "Tastaturtreiber-Installation";
    }
    // PendingFileRenameOperations as Windows keeps it: pairs of wide texts, then the extra zero.
    void set_pending_list(const std::u16string& list)
    {
        HKEY session = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                                                 "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                                 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &session,
                                                 nullptr));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(session, u"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                                 (const BYTE*)list.data(), (DWORD)(list.size() * 2)));
        RegCloseKey(session);
    }
    // The list as the wide call reads it; empty unless it is REG_MULTI_SZ.
    std::u16string pending_list()
    {
        HKEY session = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                               "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                               0, KEY_QUERY_VALUE, &session));
        std::vector<char16_t> list(4096);
        DWORD type = 0, size = (DWORD)(list.size() * 2);
        LONG status = RegQueryValueExW(session, u"PendingFileRenameOperations", nullptr, &type,
                                       (BYTE*)list.data(), &size);
        RegCloseKey(session);
        if (status != ERROR_SUCCESS || type != REG_MULTI_SZ)
            return u"";
        return std::u16string(list.data(), size / 2);
    }
    void set_pending(const std::vector<std::pair<std::string, std::string>>& pairs)
    {
        std::u16string list;
        for (const auto& pair : pairs) {
            list += std::u16string(pair.first.begin(), pair.first.end()) + u'\0';
            list += std::u16string(pair.second.begin(), pair.second.end()) + u'\0';
        }
        set_pending_list(list + u'\0');
    }
    std::vector<std::string> pending_sources()
    {
        std::vector<std::string> sources;
        for (const auto& operation : winsim::pending_file_operations())
            sources.push_back(operation.source);
        return sources;
    }
    std::vector<std::string> new_boxes()
    {
        std::vector<std::string> all = boxes();
        return std::vector<std::string>(all.begin() + (long)boxes_before, all.end());
    }
    bool written_to(const std::string& path)
    {
        for (const auto& call : winsim::call_log())
            if ((call.call == "WriteFile" || call.call == "SetEndOfFile") && call.subject == path)
                return true;
        return false;
    }
    size_t boxes_before = 0;
};

// Windows has loaded the DLL for a signed-in user: it is held without write sharing.
TEST_F(installer_again, an_identical_dll_in_use_lets_the_update_through)
{
    installed_before();
    long hold = winsim::hold_file_open(dll.c_str(), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(0, hold);
    install();
    std::vector<std::string> texts = new_boxes();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ(0u, texts[1].find("Tastaturbelegung DIN Q7 (Lorvankastelle " VERSION_TEXT
                                ") erfolgreich aktualisliert."));
    EXPECT_FALSE(written_to(dll));
    EXPECT_EQ("payload 2", file(dll));
    EXPECT_EQ(PAYLOAD_DLL_64_TIME, write_time(dll));
    winsim::release_file(hold);
}

// The same as a second Windows user sees it: the key and the DLLs are there, the layout is
// not in this user's lists.
TEST_F(installer_again, a_second_user_gets_the_layout_while_the_first_one_uses_it)
{
    installed_before();
    SEED("[-HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n"
         "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n"
         "[-HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n"
         "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n");
    long hold = winsim::hold_file_open(dll.c_str(), GENERIC_READ, FILE_SHARE_READ);
    install();
    EXPECT_NE(std::string::npos, new_boxes().back().find("erfolgreich aktualisliert"));
    EXPECT_EQ("[HKEY_CURRENT_USER\\Keyboard Layout]\n\n"
              "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"d0010407\"\n\"2\"=\"00000407\"\n\n"
              "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n\"d0010407\"=\"b0040407\"\n\n",
              dump("HKEY_CURRENT_USER\\Keyboard Layout"));
    winsim::release_file(hold);
}

// A DLL in use that differs (the layout loaded, an older version) is not written over: the new
// one goes next to it and replaces it at the restart, and the update goes on.
TEST_F(installer_again, a_different_dll_in_use_is_replaced_at_the_restart)
{
    installed_before();
    winsim::log_off_user();
    winsim::add_file(dll.c_str(), "an older layout DLL");
    log_on();
    install();
    std::vector<std::string> texts = new_boxes();
    ASSERT_EQ(2u, texts.size());
    EXPECT_NE(std::string::npos,
              texts[1].find("erfolgreich aktualisliert.\n\nDie bisherige Fassung der "
                            "Tastaturbelegung ist noch in Gebrauch; die neue wird mit dem "
                            "nächsten Neustart des Computers wirksam."))
        << texts[1];
    EXPECT_EQ("an older layout DLL", file(dll));
    EXPECT_EQ("payload 2", file(dll + ".neu"));
    auto pending = winsim::pending_file_operations();
    ASSERT_EQ(1u, pending.size());
    EXPECT_EQ("\\??\\" + dll + ".neu", pending[0].source);
    EXPECT_EQ("\\??\\" + dll, pending[0].target);
    EXPECT_TRUE(pending[0].replace_existing);
    const std::string staged = winsim::save_machine_image();
    winsim::restart_machine();
    EXPECT_EQ("payload 2", file(dll));
    EXPECT_EQ(PAYLOAD_DLL_64_TIME, write_time(dll));
    EXPECT_FALSE(winsim::entry_exists((dll + ".neu").c_str()));

    // Removed before the restart: the waiting DLL goes too, and the restart leaves no DLL.
    ASSERT_TRUE(winsim::load_machine_image(staged));
    remove_product();
    winsim::restart_machine();
    EXPECT_FALSE(winsim::entry_exists(dll.c_str()));
    EXPECT_FALSE(winsim::entry_exists((dll + ".neu").c_str()));

    // Installed again before the restart, the old DLL no longer loaded: it is written in place,
    // and the waiting one goes.
    ASSERT_TRUE(winsim::load_machine_image(staged));
    winsim::log_off_user();
    reset_program_state("Install_" DLL_BASE_NAME);
    probe_machine();
    install();
    EXPECT_EQ("payload 2", file(dll));
    EXPECT_FALSE(winsim::entry_exists((dll + ".neu").c_str()));
    // Its listing finds nothing to put in place at the restart.
    winsim::restart_machine();
    EXPECT_EQ("payload 2", file(dll));
}

// Installed again before the restart that finishes a removal: the removal's deletions of the
// product's files are taken back, the other programs' operations stay as they were, and the
// restart leaves the new installation.
TEST_F(installer_again, an_installation_before_the_restart_keeps_its_files)
{
    installed_before();
    // Another program's rename and deletion, one of them naming a folder outside code page 1252.
    std::u16string others = u"\\??\\C:\\Temp\\neu.tmp";
    others += u'\0';
    others += u"!\\??\\C:\\Temp\\alt.tmp";
    others += u'\0';
    others += u"\\??\\C:\\Users\\\u0141ukasz\\alt.tmp";
    others += u'\0';
    others += u'\0';  // its deletion's empty target
    others += u'\0';
    set_pending_list(others);
    // The removal: the DLLs that Windows holds are listed for the restart.
    remove_product();
    ASSERT_LT(3u, winsim::pending_file_operations().size());
    // Installed again.
    reset_program_state("Install_" DLL_BASE_NAME);
    probe_machine();
    install();
    EXPECT_EQ(0u, boxes().back().find("Tastaturbelegung DIN Q7 (Lorvankastelle " VERSION_TEXT
                                      ") erfolgreich installiert."));
    // What is left: the other program's operations, unchanged, and the copy of the uninstaller.
    EXPECT_EQ(0u, pending_list().find(others.substr(0, others.size() - 1)));
    auto pending = winsim::pending_file_operations();
    ASSERT_EQ(3u, pending.size());
    EXPECT_NE(std::string::npos, pending[2].source.find(UNINSTALLER_FILE_NAME));
    winsim::restart_machine();
    EXPECT_EQ("payload 2", file(dll));
    EXPECT_EQ("payload 3", file("C:\\Windows\\SysWOW64\\" DLL_FILE_NAME));
    EXPECT_EQ("payload 6", file(program_folder + UNINSTALLER_FILE_NAME));
    EXPECT_TRUE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
}

// The deletions of the product's files are taken back wherever they stand in the list, and
// only once the installation has its files: one that stops before leaves them to the restart.
TEST_F(installer_again, pending_deletions_go_only_when_the_files_are_there_again)
{
    installed_before();
    const std::string listed = "\\??\\" + dll;
    // Another program's deletion right after, one character shorter.
    const std::string other = "\\??\\C:\\Temp\\" + std::string(listed.size() - 1 - 12, 'x');
    const std::string start = winsim::save_machine_image();
    for (bool stops : {false, true}) {
        SCOPED_TRACE(stops ? "the installation stops at the uninstaller" : "a complete installation");
        ASSERT_TRUE(winsim::load_machine_image(start));
        set_pending({{listed, ""}, {other, ""}});
        reset_program_state("Install_" DLL_BASE_NAME);
        probe_machine();
        if (stops)
            winsim::fail_call("CreateFileA", (program_folder + UNINSTALLER_FILE_NAME).c_str(),
                              ERROR_ACCESS_DENIED);
        install();
        winsim::clear_faults();
        std::vector<std::string> left = {other};
        if (stops)
            left.insert(left.begin(), listed);
        EXPECT_EQ(left, pending_sources());
        winsim::restart_machine();
        EXPECT_EQ(!stops, winsim::entry_exists(dll.c_str()));
    }
}

// Every payload: files that hold its bytes keep them and get the time and attributes a write
// would give them.
TEST_F(installer_again, identical_files_get_their_time_and_attributes_without_a_write)
{
    installed_before();
    std::vector<std::string> paths = {dll, "C:\\Windows\\SysWOW64\\" DLL_BASE_NAME ".DLL",
                                      program_folder + UNINSTALLER_FILE_NAME,
                                      program_folder + DIAGRAM_PDF_FILE_NAME,
                                      program_folder + DIAGRAM_ICON_FILE_NAME};
    for (const std::string& path : paths) {
        ASSERT_TRUE(winsim::set_entry_times(path.c_str(), 1, 2, 3));
        ASSERT_TRUE(winsim::set_entry_attributes(path.c_str(),
                                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    }
    install();
    const ULONGLONG times[] = {PAYLOAD_DLL_64_TIME, PAYLOAD_DLL_WOW64_TIME, PAYLOAD_UNINSTALLER_TIME,
                               PAYLOAD_DIAGRAM_PDF_TIME, PAYLOAD_DIAGRAM_ICON_TIME};
    for (size_t i = 0; i < paths.size(); i++) {
        SCOPED_TRACE(paths[i]);
        EXPECT_FALSE(written_to(paths[i]));
        EXPECT_EQ(times[i], write_time(paths[i]));
        EXPECT_EQ((DWORD)FILE_ATTRIBUTE_ARCHIVE, winsim::entry(paths[i].c_str()).attributes);
    }
    EXPECT_NE(std::string::npos, new_boxes().back().find("erfolgreich aktualisliert"));
}

// A file in use whose time cannot be set: with the right time already nothing is said; with
// another one the warning of a file that cannot be dated, and the update goes on.
TEST_F(installer_again, a_time_that_cannot_be_set_is_told_only_when_it_is_wrong)
{
    installed_before();
    winsim::fail_call("SetFileTime", dll.c_str(), ERROR_ACCESS_DENIED);
    install();
    EXPECT_EQ(2u, new_boxes().size());

    installed_before();
    ASSERT_TRUE(winsim::set_entry_times(dll.c_str(), 1, 2, 3));
    winsim::fail_call("SetFileTime", dll.c_str(), ERROR_ACCESS_DENIED);
    install();
    std::vector<std::string> texts = new_boxes();
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ(0u, texts[1].find("Warnung:\nDatei konnte nicht datiert werden.\nName: " + dll +
                                "\nWindows-Errorcode 5:"));
    EXPECT_NE(std::string::npos, texts[2].find("erfolgreich aktualisliert"));
    EXPECT_EQ("payload 2", file(dll));
}

}  // namespace
