// Tests of the uninstaller: command-line checks, the restart from the temporary folder, the flow.
#include "test_support.h"

#include "program_state.h"

#include <ctype.h>
#include <string.h>

#include <string>

#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/input_control.h>
#include <winsim/machine_image.h>
#include <winsim/security_control.h>
#include <winsim/shell_control.h>

#include "files/file_operations.h"
#include "files/private_folder.h"
#include "files/system_folders.h"
#include "frame/frame.h"
#include "frame/startup.h"
#include "installer_flow.h"
#include "layout_registry/uninstall_entry.h"
#include "product_constants.h"
#include "uninstaller_flow.h"

namespace {



// The final message of a removal; the user is signed in, so Windows holds the layout's DLLs and
// they go at the restart.
#define REMOVED_WITHOUT_RESTART_TEXT                                                            \
    "Folgender Tastatur-Treiber wurde deinstalliert:\nDIN Q7 (Lorvankastelle " VERSION_TEXT ")"
#define REMOVED_TEXT                                                                            \
    REMOVED_WITHOUT_RESTART_TEXT "\n\nEinige Dateien sind noch in Gebrauch; die Deinstallation " \
                                 "wird mit dem nächsten Neustart des Computers abgeschlossen."

class uninstaller_test : public kb_test {
protected:
    std::string program_folder, temp_copy;

    void SetUp() override
    {
        kb_test::SetUp();
        test_warning_caption = "Tastaturtreiber-Deinstallation";
        strcpy(frame.program_name, "Uninstall_" DLL_BASE_NAME "");
    }
    void TearDown() override
    {
        test_warning_caption = "Tastaturtreiber-Installation";
        kb_test::TearDown();
    }
    // Windows of `bits`, the programs 32-bit ones unless `program_bits` says otherwise.
    void on_windows(int bits, int program_bits = 32)
    {
        run_as_program(bits, program_bits);
        program_folder = std::string(frame.is_wow64 ? "C:\\Program Files (x86)" : "C:\\Program Files") +
                         "\\Q7-Tastaturbelegung\\";
        temp_copy = winsim::standard_folders().temp + "\\" UNINSTALLER_FILE_NAME;
        add_payload_resources("MZ uninstaller");
        SEED(german_windows_fixture);
    }
    // Installs with the installer's flow and leaves the program state as a new process has it.
    void install_product(int bits, int program_bits = 32)
    {
        on_windows(bits, program_bits);
        winsim::script_answers({IDYES, IDOK});
        ASSERT_TRUE(check_installer_command_line());
        run_installation();
        // The user signs in again: Windows loads the layout's DLLs.
        log_on();
        // The first instance has put its copy into the temporary folder.
        winsim::add_file(temp_copy.c_str(), "MZ uninstaller");
        fresh_process();
    }
    void fresh_process()
    {
        reset_program_state("Uninstall_" DLL_BASE_NAME);
        probe_machine();
        winsim::clear_call_log();
        boxes_before = winsim::message_boxes().size();
    }
    void command_line(std::vector<std::string> words)
    {
        frame.argument_count = (int)words.size();
        for (size_t i = 0; i < words.size(); i++)
            strcpy(frame.arguments[i], words[i].c_str());
    }
    // A new process of the uninstaller in the program folder, as Windows starts it from the
    // uninstall entry, with the key on its command line.
    void as_first_instance(const char* key)
    {
        winsim::set_module_file_name((program_folder + UNINSTALLER_FILE_NAME).c_str());
        fresh_process();
        command_line({key});
    }
    // The copy in the temporary folder: start check, then the flow; answers as given.
    bool run_copy(std::vector<std::string> words, std::vector<int> answers)
    {
        winsim::set_module_file_name(temp_copy.c_str());
        command_line(words);
        answers.resize(answers.size() + 6, IDOK);
        winsim::script_answers(answers);
        if (!check_uninstaller_command_line())
            return false;
        EXPECT_FALSE(run_uninstallation());
        return true;
    }
    std::vector<std::string> boxes()
    {
        std::vector<std::string> texts;
        for (size_t i = boxes_before; i < winsim::message_boxes().size(); i++)
            texts.push_back(winsim::message_boxes()[i].text);
        return texts;
    }
    std::string registry()
    {
        return dump(LAYOUTS_KEY) + dump("HKEY_CURRENT_USER\\Keyboard Layout") +
               dump("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    }
    size_t boxes_before = 0;
};

TEST_F(uninstaller_test, command_lines_that_are_refused)
{
    on_windows(64);
    const struct { std::vector<std::string> words; const char* ending; } cases[] = {
        {{}, "(Angabe fehlt)"},
        {{"b0010407", "/FORCE"}, "(Angabe fehlt)"},
        {{"b0010407", "-force"}, "(Angabe fehlt)"},
        {{"b0010407", "/force", "x"}, "(Angabe fehlt)"},
        {{"b001047"}, "(Länge nicht 8 Zeichen):\nb001047"},
        {{"b001040X"}, "(endet nicht in \"0407\", also kein deutsches Layout):\nb001040X"},
        {{"b0010409"}, "(endet nicht in \"0407\", also kein deutsches Layout):\nb0010409"},
        {{"b00104070"}, "(Länge nicht 8 Zeichen):\nb00104070"},
        {{"00000407"}, "(Schlüssel für Standardtastatur: nicht deinstallierbar):\n00000407"},
        {{"00000c07"}, "(Schlüssel für Standardtastatur: nicht deinstallierbar):\n00000c07"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ending);
        fresh_process();
        command_line(c.words);
        winsim::script_answers({IDOK});
        EXPECT_FALSE(check_uninstaller_command_line());
        ASSERT_EQ(1u, boxes().size());
        EXPECT_EQ(std::string("Deinstallationsprogramm nicht mit gültigem Registry-Key für die "
                              "Tastatur aufgerufen ") + c.ending,
                  boxes()[0]);
        EXPECT_TRUE(winsim::started_processes().empty());
    }
}

// The Temp folder of the Windows folder, where the first instance puts its copy.
std::string shared_temp()
{
    return winsim::standard_folders().windows + "\\Temp\\";
}

// The folder the first instance put its copy in: below the shared Temp folder, the prefix and
// sixteen hexadecimal digits; "" when the path is not of that form.
std::string private_folder_of(const std::string& copy_path)
{
    std::string temp = shared_temp();
    std::string prefix = temp + PRIVATE_FOLDER_PREFIX;
    size_t name_end = prefix.size() + 16;
    if (copy_path.compare(0, prefix.size(), prefix) != 0 ||
        copy_path.compare(name_end, std::string::npos, "\\" UNINSTALLER_FILE_NAME) != 0 ||
        strspn(copy_path.c_str() + prefix.size(), "0123456789ABCDEF") != 16)
        return "";
    return copy_path.substr(0, name_end);
}

const char* const administrators_and_system_only =
    "dacl protected; allow OI|CI 0x001F01FF S-1-5-32-544; allow OI|CI 0x001F01FF S-1-5-18; "
    "allow OI|CI 0x00020000 S-1-3-4";

TEST_F(uninstaller_test, the_first_instance_copies_itself_and_starts_the_copy)
{
    install_product(64);
    winsim::set_default_owner_of_administrators_objects(winsim::default_owner::creator);
    winsim::set_module_file_name((program_folder + UNINSTALLER_FILE_NAME).c_str());
    std::vector<std::string> folders;
    // With the temporary folder at a drive's root every path of the drive lies below it: the
    // instance in the program folder is the first one all the same.
    const struct { bool force; const char* temp; } starts[] = {
        {false, nullptr}, {true, nullptr}, {false, "C:\\"}};
    for (const auto& start : starts) {
        bool force = start.force;
        SCOPED_TRACE(std::string(force ? "/force" : "") + (start.temp ? start.temp : ""));
        if (start.temp)
            winsim::set_temp_path(start.temp);
        fresh_process();
        command_line(force ? std::vector<std::string>{"B0040407", "/force"}
                           : std::vector<std::string>{"B0040407"});
        EXPECT_FALSE(check_uninstaller_command_line());
        EXPECT_TRUE(boxes().empty());
        const auto& started = winsim::started_processes().back();
        std::string copy = started.application_name;
        std::string folder = private_folder_of(copy);
        ASSERT_NE("", folder) << copy;
        folders.push_back(folder);
        EXPECT_EQ("MZ uninstaller", winsim::entry(copy.c_str()).contents);
        EXPECT_EQ(administrators_and_system_only, winsim::file_security(folder.c_str()));
        EXPECT_EQ("S-1-5-32-544", winsim::file_owner(folder.c_str()));
        EXPECT_EQ("\"" + copy + "\" B0040407" + (force ? " /force" : ""), started.command_line);
        EXPECT_TRUE(started.inherit_handles);
        EXPECT_EQ(0u, started.creation_flags);
        EXPECT_FALSE(started.has_working_folder);
        EXPECT_FALSE(started.has_environment);
        EXPECT_EQ((DWORD)sizeof(STARTUPINFOA), started.startup_info_size);
        EXPECT_TRUE(started.process_handle_closed && started.thread_handle_closed);
        EXPECT_TRUE(winsim::windows().empty());
        EXPECT_EQ(0u, std::string(frame.status_text).find("Aufruf von " + copy));
        // The run is given up before the copy starts, which claims it in turn.
        EXPECT_EQ(0, winsim::open_mutex_handles());
    }
    // Each start takes a new name.
    EXPECT_NE(folders[0], folders[1]);
}

// A second run at once: the first instance starts no copy; a copy that finds the run taken (the
// first instance gave it up before starting the copy) leaves its file and then its folder for the
// restart, as every other way out of the copy does.
TEST_F(uninstaller_test, a_second_run_at_once_says_so_and_changes_nothing)
{
    for (bool copy : {false, true}) {
        SCOPED_TRACE(copy ? "the copy" : "the first instance");
        winsim::reset();
        reset_program_state("Install_" DLL_BASE_NAME);
        install_product(64);
        std::string folder = shared_temp() + PRIVATE_FOLDER_PREFIX "0123456789ABCDEF";
        std::string path = copy ? folder + "\\" UNINSTALLER_FILE_NAME : program_folder + UNINSTALLER_FILE_NAME;
        ASSERT_TRUE(winsim::add_file(path.c_str(), "MZ uninstaller"));
        winsim::set_module_file_name(path.c_str());
        fresh_process();
        command_line({"b0040407"});
        winsim::hold_mutex_elsewhere(SINGLE_RUN_MUTEX);
        std::string before = registry();
        winsim::script_answers({IDOK});
        EXPECT_FALSE(check_uninstaller_command_line());
        ASSERT_EQ(1u, boxes().size());
        EXPECT_EQ(SECOND_RUN_TEXT, boxes()[0]);
        EXPECT_TRUE(winsim::started_processes().empty());
        EXPECT_EQ(before, registry());
        auto pending = winsim::pending_file_operations();
        ASSERT_EQ(copy ? 2u : 0u, pending.size());
        if (copy) {
            EXPECT_EQ("\\??\\" + path, pending[0].source);
            EXPECT_EQ("\\??\\" + folder, pending[1].source);
        }
    }
}

// Another program of the user has made the folder of the name drawn first, with its own file
// in it: that folder is not used, a new name is drawn.
TEST_F(uninstaller_test, a_folder_name_that_exists_already_is_not_used)
{
    install_product(64);
    winsim::set_module_file_name((program_folder + UNINSTALLER_FILE_NAME).c_str());
    std::string taken = shared_temp() + PRIVATE_FOLDER_PREFIX "0101010101010101";
    ASSERT_TRUE(winsim::add_file((taken + "\\" UNINSTALLER_FILE_NAME).c_str(), "MZ not ours"));
    winsim::script_random_bytes(std::string(8, '\x01'));
    fresh_process();
    command_line({"b0040407"});
    EXPECT_FALSE(check_uninstaller_command_line());
    std::string copy = winsim::started_processes().back().application_name;
    EXPECT_NE("", private_folder_of(copy));
    EXPECT_NE(std::string::npos, copy.find(PRIVATE_FOLDER_PREFIX)) << copy;
    EXPECT_EQ(std::string::npos, copy.find(taken)) << copy;
    EXPECT_EQ("MZ not ours", winsim::entry((taken + "\\" UNINSTALLER_FILE_NAME).c_str()).contents);
}

TEST_F(uninstaller_test, a_private_folder_that_cannot_be_made_stops_with_its_reason)
{
    install_product(64);
    as_first_instance("b0040407");
    winsim::fail_call("CreateDirectoryA", "", ERROR_ACCESS_DENIED);
    winsim::script_answers({IDOK, IDOK});
    size_t started = winsim::started_processes().size();
    EXPECT_FALSE(check_uninstaller_command_line());
    ASSERT_EQ(2u, boxes().size());
    EXPECT_EQ(0u, boxes()[0].find("Folgendes Verzeichnis kann nicht angelegt werden:\n" +
                                  shared_temp() + PRIVATE_FOLDER_PREFIX));
    EXPECT_NE(std::string::npos, boxes()[0].find("\n\nWindows-Errorcode 5:"));
    EXPECT_EQ("Deinstallationsprogramm kann nicht in ein temporäres Verzeichnis kopiert werden, "
              "um sein Original löschen zu können",
              boxes()[1]);
    EXPECT_EQ(started, winsim::started_processes().size());
}

TEST_F(uninstaller_test, a_copy_that_cannot_be_started_is_reported)
{
    install_product(32);
    as_first_instance("b0040407");
    winsim::fail_call("CreateProcessA", "", ERROR_ACCESS_DENIED);
    winsim::script_answers({IDOK, IDOK});
    EXPECT_FALSE(check_uninstaller_command_line());
    ASSERT_EQ(2u, boxes().size());
    std::string folder = shared_temp() + PRIVATE_FOLDER_PREFIX;
    EXPECT_EQ(0u, boxes()[0].find("Folgender Programmstart konnte nicht durchgeführt werden:\n"
                                  "Datei: " + folder));
    EXPECT_NE(std::string::npos, boxes()[0].find("\\" UNINSTALLER_FILE_NAME "\nAusführen in: <NULL>\n"
                                                 "Parameter: b0040407\n\nWindows-Errorcode 5:"));
    EXPECT_EQ("Deinstallationsprogramm kann Kopie im temporären Verzeichnis nicht starten, um sein "
              "Original löschen zu können",
              boxes()[1]);
    // The copy and its folder are gone at once: nothing waits for the restart.
    EXPECT_TRUE(winsim::list_folder(shared_temp().c_str()).empty());
    EXPECT_TRUE(winsim::pending_file_operations().empty());
}

// A copy that cannot be written takes its new folder along.
TEST_F(uninstaller_test, a_copy_that_cannot_be_written_leaves_no_folder)
{
    install_product(32);
    as_first_instance("b0040407");
    winsim::fail_call("CopyFileA", "", ERROR_HANDLE_DISK_FULL);
    winsim::script_answers({IDOK, IDOK});
    EXPECT_FALSE(check_uninstaller_command_line());
    ASSERT_EQ(2u, boxes().size());
    EXPECT_EQ("Deinstallationsprogramm kann nicht in ein temporäres Verzeichnis kopiert werden, "
              "um sein Original löschen zu können",
              boxes()[1]);
    EXPECT_TRUE(winsim::list_folder(shared_temp().c_str()).empty());
    EXPECT_TRUE(winsim::started_processes().empty());
}

// A damaged copy: Windows' text for error 193 holds an insert, and is shown as it stands.
TEST_F(uninstaller_test, a_damaged_copy_is_reported_with_the_system_text)
{
    install_product(32);
    winsim::add_file((program_folder + UNINSTALLER_FILE_NAME).c_str(), "damaged");
    as_first_instance("b0040407");
    winsim::script_answers({IDOK, IDOK});
    EXPECT_FALSE(check_uninstaller_command_line());
    ASSERT_EQ(2u, boxes().size());
    EXPECT_NE(std::string::npos,
              boxes()[0].find("Windows-Errorcode 193:\n%1 ist keine zulässige Win32-Anwendung.\r\n"))
        << boxes()[0];
}

// The copy started from its private folder: its file and then the folder go at the restart.
TEST_F(uninstaller_test, the_copy_leaves_its_file_and_then_its_folder_for_the_restart)
{
    install_product(64);
    as_first_instance("b0040407");
    ASSERT_FALSE(check_uninstaller_command_line());
    std::string copy = winsim::started_processes().back().application_name;
    std::string folder = private_folder_of(copy);
    ASSERT_NE("", folder);
    fresh_process();
    temp_copy = copy;
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    // After the DLLs that Windows holds.
    auto pending = winsim::pending_file_operations();
    ASSERT_EQ(4u, pending.size());
    EXPECT_EQ("\\??\\" + copy, pending[2].source);
    EXPECT_EQ("\\??\\" + folder, pending[3].source);
    EXPECT_EQ("", pending[3].target);
}

// Every way out of the copy in its private folder leaves its file and then the folder for the
// restart, as the normal end does: No, each refusal, a failure. The user could not remove them.
TEST_F(uninstaller_test, every_way_out_of_the_copy_leaves_it_and_its_folder_for_the_restart)
{
    install_product(64);
    SEED(LAYOUTS "\\b0090407]\n\"Layout File\"=\"" OTHER_BUILD_DLL_BASE_NAME ".DLL\"\n\n"
         LAYOUTS "\\b00a0407]\n\"Layout Text\"=\"ohne Datei\"\n\n");
    as_first_instance("b0040407");
    ASSERT_FALSE(check_uninstaller_command_line());
    temp_copy = winsim::started_processes().back().application_name;
    std::string folder = private_folder_of(temp_copy);
    ASSERT_NE("", folder);
    const std::string start = winsim::save_machine_image();
    const char* const dll = "C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL";
    const struct {
        const char* way;
        std::vector<std::string> words;
        std::vector<int> answers;
        void (*before)(const char* dll);
    } ways[] = {
        {"No", {"b0040407"}, {IDNO}, nullptr},
        {"a key of the wrong length", {"b004040"}, {}, nullptr},
        {"a key that is not there", {"b0070407"}, {}, nullptr},
        {"a key without a DLL", {"b00a0407", "/force"}, {}, nullptr},
        {"another build's DLL", {"b0090407"}, {}, nullptr},
        {"a single Preload value", {"b0040407"}, {},
         [](const char*) {
             winsim::reg_import("Windows Registry Editor Version 5.00\n\n[-HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n"
                  "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000409\"\n");
         }},
        {"the 32-bit system folder unknown", {"b0040407"}, {},
         [](const char*) { winsim::fail_call("GetSystemWow64DirectoryA", "", ERROR_INVALID_PARAMETER); }},
        {"the DLL neither deleted nor listed for the restart", {"b0040407"}, {IDYES},
         [](const char* path) { winsim::fail_call("MoveFileExA", path, ERROR_ACCESS_DENIED); }},
        {"the missing DLL's question answered No", {"b0040407"}, {IDYES, IDNO},
         [](const char* path) {
             winsim::log_off_user();
             PVOID redirection = nullptr;
             ASSERT_TRUE(Wow64DisableWow64FsRedirection(&redirection));
             DeleteFileA(path);
             Wow64RevertWow64FsRedirection(redirection);
         }},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        ASSERT_TRUE(winsim::load_machine_image(start));
        winsim::clear_faults();
        fresh_process();
        if (w.before)
            w.before(dll);
        run_copy(w.words, w.answers);
        winsim::clear_faults();
        EXPECT_TRUE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
        EXPECT_FALSE(boxes().empty());
        auto pending = winsim::pending_file_operations();
        ASSERT_EQ(2u, pending.size());
        EXPECT_EQ("\\??\\" + temp_copy, pending[0].source);
        EXPECT_EQ("\\??\\" + folder, pending[1].source);
        EXPECT_EQ("", pending[0].target + pending[1].target);
    }
}

// Started by hand from the user's temporary folder, the uninstaller goes on as the copy but
// leaves its file for the restart only when it has removed the installation.
TEST_F(uninstaller_test, an_uninstaller_started_from_the_temporary_folder_stays_after_no)
{
    install_product(64);
    ASSERT_TRUE(run_copy({"b0040407"}, {IDNO}));
    EXPECT_EQ("Deinstallation abgebrochen.", boxes().back());
    EXPECT_TRUE(winsim::pending_file_operations().empty());
    EXPECT_TRUE(winsim::entry_exists(temp_copy.c_str()));
}

// Without a temporary folder the copy would go into the root of the current drive, and without
// the system folders the DLLs could not be found: both instances stop and change nothing.
TEST_F(uninstaller_test, folders_that_cannot_be_determined_stop_both_instances)
{
    install_product(64);
    struct case_t {
        const char* call;
        const char* text;
    } cases[] = {
        {"GetTempPathA", "Das temporäre Verzeichnis kann nicht ermittelt werden."},
        {"GetSystemWindowsDirectoryA", "Das temporäre Verzeichnis kann nicht ermittelt werden."},
        {"GetSystemWow64DirectoryA", "Das 32-Bit-Systemverzeichnis kann nicht ermittelt werden."},
        {"SHGetSpecialFolderLocation", "Das Programmverzeichnis kann nicht ermittelt werden."},
    };
    std::string before = registry() + winsim::dump_tree("C:\\");
    for (const case_t& c : cases) {
        for (const std::string& module : {program_folder + UNINSTALLER_FILE_NAME, temp_copy}) {
            SCOPED_TRACE(std::string(c.call) + " in " + module);
            fresh_process();
            winsim::set_module_file_name(module.c_str());
            command_line({"b0040407"});
            winsim::script_answers({IDOK});
            winsim::fail_call(c.call, "", ERROR_INVALID_PARAMETER);
            EXPECT_FALSE(check_uninstaller_command_line());
            winsim::clear_faults();
            ASSERT_EQ(1u, boxes().size());
            EXPECT_EQ(std::string(c.text) + "\n\nDeinstallation abgebrochen.", boxes()[0]);
            EXPECT_TRUE(winsim::started_processes().empty());
            EXPECT_EQ(before, registry() + winsim::dump_tree("C:\\"));
        }
    }
}

TEST_F(uninstaller_test, the_copy_is_recognised_without_regard_to_case)
{
    on_windows(64);
    std::string upper = temp_copy;
    for (char& c : upper)
        c = (char)toupper((unsigned char)c);
    winsim::set_module_file_name(upper.c_str());
    command_line({"b0040407"});
    EXPECT_TRUE(check_uninstaller_command_line());
    EXPECT_STREQ("Uninstall_" DLL_BASE_NAME " V" VERSION_TEXT " - Tastaturtreiber-Deinstallation",
                 frame.window_title);
    EXPECT_TRUE(winsim::started_processes().empty());
}

TEST_F(uninstaller_test, a_complete_removal_leaves_only_the_copy_for_the_restart)
{
    on_windows(64);
    std::string registry_before = registry();
    std::string files_before = winsim::dump_tree("C:\\Windows") +
                               winsim::dump_tree("C:\\Program Files (x86)");
    std::vector<std::string> desktop_before =
        winsim::list_folder(winsim::standard_folders().desktop.c_str());
    winsim::reset();
    install_product(64);
    // The user makes another layout the first, as Windows requires before a removal.
    SEED("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\"2\"=\"d0010407\"\n");
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ("Soll folgender Tastatur-Treiber deinstalliert werden?\n\nDIN Q7 (Lorvankastelle " VERSION_TEXT ")",
              texts[0]);
    EXPECT_EQ(REMOVED_TEXT, texts[1]);
    EXPECT_EQ(registry_before, registry());
    EXPECT_EQ(desktop_before, winsim::list_folder(winsim::standard_folders().desktop.c_str()));
    // The DLLs that Windows holds for the signed-in user go at the restart, by their real paths,
    // and the copy after them.
    auto pending = winsim::pending_file_operations();
    ASSERT_EQ(3u, pending.size());
    EXPECT_EQ("\\??\\C:\\Windows\\system32\\" DLL_FILE_NAME, pending[0].source);
    EXPECT_EQ("\\??\\C:\\Windows\\SysWOW64\\" DLL_FILE_NAME, pending[1].source);
    EXPECT_EQ("\\??\\" + temp_copy, pending[2].source);
    EXPECT_EQ("", pending[0].target + pending[1].target + pending[2].target);
    EXPECT_EQ(100u, winsim::total_sleep_milliseconds());
    winsim::restart_machine();
    EXPECT_EQ(files_before, winsim::dump_tree("C:\\Windows") + winsim::dump_tree("C:\\Program Files (x86)"));
}

TEST_F(uninstaller_test, the_worked_example_leaves_the_german_layout_alone_in_the_lists)
{
    install_product(32);
    EXPECT_EQ("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"d0010407\"\n\"2\"=\"00000407\"\n\n",
              dump("HKEY_CURRENT_USER\\Keyboard Layout\\Preload"));
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    EXPECT_EQ("[HKEY_CURRENT_USER\\Keyboard Layout]\n\n"
              "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\n"
              "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n\n",
              dump("HKEY_CURRENT_USER\\Keyboard Layout"));
    EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
    EXPECT_EQ(0u, winsim::sleep_calls());
}

TEST_F(uninstaller_test, refusals_change_nothing)
{
    install_product(64);
    SEED(LAYOUTS "\\b0090407]\n\"Layout File\"=\"" OTHER_BUILD_DLL_BASE_NAME ".DLL\"\n\n"
         LAYOUTS "\\b00a0407]\n\"Layout Text\"=\"ohne Datei\"\n\n");
    std::string before = registry() + winsim::dump_tree("C:\\");
    const struct { std::vector<std::string> words; const char* start; } cases[] = {
        {{"b0070407"}, "Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht "
                       "gefunden.\nTreiber: DIN Q7 (Lorvankastelle " VERSION_TEXT ")\nKey: b0070407\nDLL: "
                       "" DLL_BASE_NAME ".DLL"},
        {{"b00a0407", "/force"}, "Der Registry-Key des zu deinstallierenden Tastaturtreibers "
                                 "enthält keine Treiberdatei-Angabe."},
        {{"b0090407"}, "Der Registry-Key des zu deinstallierenden Tastaturtreibers enthält eine "
                       "andere Treiberdatei-Angabe als zum Zeitpunkt der Installation.\nAus "
                       "Sicherheitsgründen wird daher die Deinstallation jetzt nicht durchgeführt."
                       "\nTreiber: DIN Q7 (Lorvankastelle " VERSION_TEXT ")\nKey: b0090407\nDLL bei "
                       "Installation: " DLL_BASE_NAME ".DLL\nDLL jetzt: " OTHER_BUILD_DLL_BASE_NAME ".DLL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        fresh_process();
        ASSERT_TRUE(run_copy(c.words, {}));
        ASSERT_EQ(1u, boxes().size());
        EXPECT_EQ(0u, boxes()[0].find(c.start));
        EXPECT_EQ(before, registry() + winsim::dump_tree("C:\\"));
    }
    fresh_process();
    ASSERT_TRUE(run_copy({"b0040407"}, {IDNO}));
    EXPECT_EQ("Deinstallation abgebrochen.", boxes().back());
    EXPECT_EQ(before, registry() + winsim::dump_tree("C:\\"));
}

TEST_F(uninstaller_test, another_builds_key_with_force_removes_this_builds_dll)
{
    install_product(32);
    SEED(LAYOUTS "\\b0040407]\n\"Layout File\"=\"ANDERES.DLL\"\n");
    winsim::add_file("C:\\Windows\\system32\\ANDERES.DLL", "other");
    ASSERT_TRUE(run_copy({"b0040407", "/force"}, {IDYES}));
    winsim::restart_machine();
    EXPECT_FALSE(winsim::entry_exists("C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL"));
    EXPECT_TRUE(winsim::entry_exists("C:\\Windows\\system32\\ANDERES.DLL"));
    EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
}

// Windows resolves each Preload value and looks its name up among the Substitutes without regard
// to case: every value that reaches the layout goes with it, and the others stay.
TEST_F(uninstaller_test, every_value_that_reaches_the_layout_goes_whatever_its_case)
{
    const struct { const char* name; const char* preload; const char* substitutes; const char* after; } cases[] = {
        {"through a name in another case", "\"1\"=\"d0010407\"\n\"2\"=\"00000407\"\n",
         "\"D0010407\"=\"b0040407\"\n", "\"1\"=\"00000407\"\n"},
        {"through a Preload data in another case", "\"1\"=\"00000407\"\n\"2\"=\"D0010407\"\n",
         "\"d0010407\"=\"b0040407\"\n", "\"1\"=\"00000407\"\n"},
        {"twice through one name",
         "\"1\"=\"d0010407\"\n\"2\"=\"d0010407\"\n\"3\"=\"00000409\"\n",
         "\"d0010407\"=\"b0040407\"\n", "\"1\"=\"00000409\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        winsim::reset();
        reset_program_state("Install_" DLL_BASE_NAME);
        install_product(64);
        SEED((std::string("[-HKEY_CURRENT_USER\\Keyboard Layout]\n"
                          "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n") +
              c.preload + "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n" + c.substitutes)
                 .c_str());
        ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
        EXPECT_EQ(REMOVED_TEXT,
                  boxes().back());
        EXPECT_EQ(std::string("[HKEY_CURRENT_USER\\Keyboard Layout]\n\n"
                              "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n") +
                      c.after + "\n[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n\n",
                  dump("HKEY_CURRENT_USER\\Keyboard Layout"));
        EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
    }
}

// The installer takes over a key of any German language that names its DLL, and names it in
// the uninstall entry: the uninstaller accepts that key and removes the installation.
TEST_F(uninstaller_test, a_taken_over_swiss_german_key_is_removed_through_its_entry)
{
    on_windows(64);
    SEED(LAYOUTS "\\a0010807]\n\"Layout File\"=\"" DLL_FILE_NAME "\"\n\"Layout Text\"=\"alt\"\n"
         "\"Layout Id\"=\"0c05\"\n");
    winsim::script_answers({IDYES, IDOK});
    ASSERT_TRUE(check_installer_command_line());
    run_installation();
    char entry_key[MAX_PATH];
    ASSERT_TRUE(read_uninstall_entry_key(UNINSTALL_DISPLAY_NAME, entry_key));
    ASSERT_STREQ("a0010807", entry_key);
    log_on();
    winsim::add_file(temp_copy.c_str(), "MZ uninstaller");
    fresh_process();
    ASSERT_TRUE(run_copy({"a0010807"}, {IDYES}));
    EXPECT_EQ(REMOVED_TEXT,
              boxes().back());
    EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\a0010807"));
    EXPECT_FALSE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
}

#define ONLY_LAYOUT_TEXT                                                                        \
    "In den Windows-Spracheinstellungen ist die zu deinstallierende Tastaturbelegung derzeit "   \
    "als einzig auswählbare Belegung hinterlegt."

// The refusal says that the layout is the user's only one: it is given only when every Preload
// value reaches the layout, so that the removal would leave the user without any.
TEST_F(uninstaller_test, the_only_layout_refusal_comes_only_when_every_value_reaches_the_layout)
{
    const struct { const char* name; const char* preload; bool refused; } cases[] = {
        {"the layout alone", "\"1\"=\"d0010407\"\n", true},
        {"the layout twice", "\"1\"=\"d0010407\"\n\"2\"=\"d0020407\"\n", true},
        {"the layout by its key name", "\"1\"=\"b0040407\"\n", true},
        {"the layout through its name in another case", "\"1\"=\"D0020407\"\n", true},
        {"the layout twice through one name", "\"1\"=\"d0020407\"\n\"2\"=\"d0020407\"\n", true},
        {"another layout alone", "\"1\"=\"00000409\"\n", false},
        {"the German layout alone, as a finished list change leaves it", "\"1\"=\"00000407\"\n", false},
        {"no value", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        winsim::reset();
        reset_program_state("Install_" DLL_BASE_NAME);
        install_product(32);
        SEED((std::string("[-HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n"
                          "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n") + c.preload +
              "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n\"d0020407\"=\"b0040407\"\n")
                 .c_str());
        std::string before = registry();
        ASSERT_TRUE(run_copy({"b0040407"}, {IDNO}));
        ASSERT_EQ(c.refused ? 1u : 2u, boxes().size());
        if (c.refused)
            EXPECT_EQ(0u, boxes()[0].find(ONLY_LAYOUT_TEXT)) << boxes()[0];
        else
            EXPECT_EQ("Deinstallation abgebrochen.", boxes()[1]);
        EXPECT_EQ(before, registry());
    }
}

// A list change that a stopped removal finished leaves only the German layout: the next run
// from the entry removes the rest instead of refusing.
TEST_F(uninstaller_test, a_layout_no_longer_listed_is_removed_with_the_german_layout_alone_left)
{
    install_product(64);
    SEED("[-HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n"
         "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n"
         "[-HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n"
         "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n");
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    EXPECT_EQ(REMOVED_TEXT,
              boxes().back());
    EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
    EXPECT_FALSE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
    EXPECT_EQ("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\n",
              dump("HKEY_CURRENT_USER\\Keyboard Layout\\Preload"));
}

// Removing leftovers, a list that the missing layout alone fills gets the German layout.
TEST_F(uninstaller_test, leftovers_that_fill_the_list_alone_leave_the_german_layout)
{
    install_product(64);
    SEED("[-HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n"
         "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"d0010407\"\n"
         "[-" LAYOUTS_KEY "\\b0040407]\n");
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    EXPECT_EQ(REMOVED_TEXT,
              boxes().back());
    EXPECT_EQ("[HKEY_CURRENT_USER\\Keyboard Layout]\n\n"
              "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\n"
              "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n\n",
              dump("HKEY_CURRENT_USER\\Keyboard Layout"));
    EXPECT_FALSE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
}

// An installation stopped while it wrote the key's values: the key this build's entry names
// is this build's, and is removed like a complete one.
TEST_F(uninstaller_test, a_half_written_key_named_by_the_entry_is_removed)
{
    on_windows(64);
    std::string registry_before = registry();
    winsim::reset();
    install_product(64);
    SEED("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\"2\"=\"d0010407\"\n"
         LAYOUTS "\\b0040407]\n\"Layout File\"=-\n\"Layout Id\"=-\n\"Created by KbdEdit\"=-\n");
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    EXPECT_EQ("Soll folgender Tastatur-Treiber deinstalliert werden?\n\nDIN Q7 (Lorvankastelle " VERSION_TEXT ")",
              boxes()[0]);
    EXPECT_EQ(registry_before, registry());
}

// A failed list change leaves the key, which the lists still name, and the entry, from which
// the removal is run again to its end.
TEST_F(uninstaller_test, a_failed_list_change_stops_before_the_key_and_a_later_run_finishes)
{
    on_windows(64);
    std::string registry_before = registry();
    winsim::reset();
    install_product(64);
    SEED("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\"2\"=\"d0010407\"\n");
    winsim::fail_call("RegSetValueExA", "HKEY_CURRENT_USER\\Software\\" PROGRAM_FOLDER_NAME,
                      ERROR_ACCESS_DENIED);
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    EXPECT_NE(std::string::npos, boxes().back().find("Problem bei Registry-Key-Update:"));
    EXPECT_NE(std::string::npos, boxes().back().find("Die Deinstallation wurde nicht abgeschlossen."));
    EXPECT_TRUE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
    EXPECT_TRUE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
    EXPECT_TRUE(winsim::entry_exists((program_folder + UNINSTALLER_FILE_NAME).c_str()));
    std::string substitute;
    EXPECT_TRUE(winsim::reg_read_string("HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes",
                                        "d0010407", &substitute));
    EXPECT_EQ("b0040407", substitute);

    winsim::clear_faults();
    fresh_process();
    // The DLLs went before the lists: the next run asks whether to go on without them.
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES, IDYES}));
    EXPECT_EQ(REMOVED_TEXT,
              boxes().back());
    EXPECT_EQ(registry_before, registry());
}

// A file of the product in use goes at the restart, and the removal goes on; the program folder
// follows its files. The other programs' operations stay, and the restart leaves the machine as
// before the installation.
TEST_F(uninstaller_test, files_in_use_go_at_the_restart)
{
    const std::string native_dll = "C:\\Windows\\system32\\" DLL_FILE_NAME;
    const std::string wow64_dll = "C:\\Windows\\SysWOW64\\" DLL_FILE_NAME;
    struct case_t {
        const char* name;
        const char* held;  // the file another program holds open, relative to the program folder
        bool signed_in;    // Windows holds the DLLs of the user's layouts
        std::vector<std::string> listed;  // the product's paths listed, after the other program's
        DWORD share = FILE_SHARE_READ;    // how the holder shares the file
    } cases[] = {
        {"both DLLs loaded", nullptr, true, {native_dll, wow64_dll}},
        {"the 32-bit DLL loaded by a 32-bit program alone", nullptr, false, {wow64_dll}},
        {"the diagram open in a viewer", DIAGRAM_PDF_FILE_NAME, false, {"pdf", "folder"}},
        {"the uninstaller's file held", UNINSTALLER_FILE_NAME, false, {"uninstaller", "folder"}},
        // Deleted while open: the name stays until the viewer closes it, so the folder is not
        // empty yet and goes at the restart.
        {"the diagram open in a viewer that lets others delete it", DIAGRAM_PDF_FILE_NAME, false,
         {"folder"}, FILE_SHARE_READ | FILE_SHARE_DELETE},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        on_windows(64);
        std::string files_before = winsim::dump_tree("C:\\Windows") + winsim::dump_tree("C:\\Program Files (x86)");
        install_product(64);
        if (!c.signed_in) {
            winsim::log_off_user();
            if (!c.held)
                winsim::map_file_as_image(wow64_dll.c_str());
        }
        std::string folder = program_folder.substr(0, program_folder.size() - 1);
        if (c.held)
            winsim::hold_file_open((program_folder + c.held).c_str(), GENERIC_READ, c.share);
        MoveFileExA("C:\\Temp\\anderes.tmp", 0, MOVEFILE_DELAY_UNTIL_REBOOT);
        SEED("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\"2\"=\"d0010407\"\n");
        ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
        EXPECT_EQ(REMOVED_TEXT, boxes().back());
        EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
        EXPECT_FALSE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
        std::vector<std::string> listed;
        for (const auto& operation : winsim::pending_file_operations())
            listed.push_back(operation.source.substr(4));
        std::vector<std::string> expected = {"C:\\Temp\\anderes.tmp"};
        for (const std::string& path : c.listed)
            expected.push_back(path == "pdf"           ? program_folder + DIAGRAM_PDF_FILE_NAME
                               : path == "uninstaller" ? program_folder + UNINSTALLER_FILE_NAME
                               : path == "folder"      ? folder
                                                       : path);
        expected.push_back(temp_copy);
        EXPECT_EQ(expected, listed);
        winsim::restart_machine();
        EXPECT_EQ(files_before, winsim::dump_tree("C:\\Windows") + winsim::dump_tree("C:\\Program Files (x86)"));
    }
}

// A file in use that cannot be listed for the restart either stops the removal before the
// registry, as one that cannot be deleted.
TEST_F(uninstaller_test, a_dll_neither_deleted_nor_listed_stops_before_the_registry)
{
    install_product(64);
    std::string before = registry();
    std::string dll = "C:\\Windows\\system32\\" DLL_FILE_NAME;
    winsim::fail_call("MoveFileExA", dll.c_str(), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ(0u, texts[1].find("Folgende Datei kann nicht gelöscht werden:\n" + dll +
                                "\n\nWindows-Errorcode 5:"));
    EXPECT_EQ("Tastaturtreiber-Deinstallation", winsim::message_boxes()[boxes_before + 1].caption);
    EXPECT_EQ("Fehler bei Deinstallation von DIN Q7 (Lorvankastelle " VERSION_TEXT "):\nFolgende "
              "Treiberdatei konnte nicht gelöscht werden:\n  " + dll,
              texts[2]);
    EXPECT_EQ(before, registry());
    EXPECT_TRUE(winsim::entry_exists((program_folder + UNINSTALLER_FILE_NAME).c_str()));
}

// A DLL that cannot be looked for is not taken for missing or deleted, and without redirection
// switched off the DLL of the real system folder cannot be reached. Redirection is off only for
// the file operations: the boxes come after it is on again.
TEST_F(uninstaller_test, a_dll_that_cannot_be_reached_stops_before_the_registry)
{
    std::string dll = "C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL";
    struct case_t {
        const char* call;
        std::string subject;
        std::vector<std::string> texts;  // the beginnings of the boxes after the question
    } cases[] = {
        {"FindFirstFileA", dll,
         {"Folgende Datei kann nicht gelöscht werden:\n" + dll + "\n\nWindows-Errorcode 5:",
          "Fehler bei Deinstallation von "}},
        {"Wow64DisableWow64FsRedirection", "",
         {"Die Umleitung des Dateisystems für 32-Bit-Programme (WOW64) kann nicht abgeschaltet "
          "werden.\n\nDeinstallation abgebrochen."}},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.call);
        SetUp();
        install_product(64);
        std::string before = registry();
        winsim::fail_call(c.call, c.subject.c_str(), ERROR_ACCESS_DENIED);
        ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
        winsim::clear_faults();
        std::vector<std::string> texts = boxes();
        ASSERT_EQ(c.texts.size() + 1, texts.size());
        for (size_t i = 0; i < c.texts.size(); i++)
            EXPECT_EQ(0u, texts[i + 1].find(c.texts[i])) << texts[i + 1];
        EXPECT_EQ(before, registry());
        EXPECT_TRUE(winsim::entry_exists(dll.c_str()));
        EXPECT_EQ("", calls_while_redirection_off());
    }
}

// The shortcut of a user whose name the ANSI code page cannot spell goes with the rest, with
// and without the look-alike spelling of the 8-bit calls.
TEST_F(uninstaller_test, the_shortcut_of_a_user_named_outside_the_code_page_is_deleted)
{
    for (bool best_fit : {true, false}) {
        SCOPED_TRACE(best_fit ? "best fit" : "no best fit");
        SetUp();
        winsim::set_user_name("\xC5\x81ukasz");
        winsim::set_ansi_best_fit(best_fit);
        install_product(64);
        std::string link = winsim::standard_folders().desktop + "\\" DIAGRAM_NAME ".LNK";
        ASSERT_TRUE(winsim::entry_exists(link.c_str()));
        SEED("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\"2\"=\"d0010407\"\n");
        ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
        EXPECT_EQ(0u, boxes().back().find("Folgender Tastatur-Treiber wurde deinstalliert"));
        EXPECT_FALSE(winsim::entry_exists(link.c_str()));
    }
}

// The standard user who asked, through an administrator's password, removes what an
// over-the-shoulder installation gave them: their lists, language list and desktop end as a
// removal by an administrator for themself leaves them, and the refusal "only layout" goes by
// their lists; the administrator's stay as they were.
TEST_F(uninstaller_test, over_the_shoulder_the_user_who_asked_loses_the_layout)
{
    // Installs and removes for the shell's user; their hive afterwards, as HKEY_CURRENT_USER.
    auto install_and_remove = [&](bool over_the_shoulder, const char* preload) {
        winsim::reset();
        reset_program_state("Install_" DLL_BASE_NAME);
        on_windows(64);
        SEED(language_list_fixture);
        std::string user = "HKEY_CURRENT_USER";
        if (over_the_shoulder) {
            sign_in_standard_user("\xC5\x81ucja");
            SEED("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000409\"\n");
            user = standard_user_key();
        }
        const std::string administrators_before = dump("HKEY_CURRENT_USER");
        winsim::script_answers({IDYES, IDOK});
        run_installation();
        log_on();
        if (preload)
            SEED(("[-" + user + "\\Keyboard Layout\\Preload]\n[" + user +
                  "\\Keyboard Layout\\Preload]\n" + preload).c_str());
        winsim::add_file(temp_copy.c_str(), "MZ uninstaller");
        fresh_process();
        EXPECT_TRUE(run_copy({"b0040407"}, {IDYES}));
        if (over_the_shoulder) {
            EXPECT_EQ(administrators_before, dump("HKEY_CURRENT_USER"));
        }
        EXPECT_EQ(0, winsim::open_token_and_process_handles());
        return moved_below(dump(user.c_str()), user, "HKEY_CURRENT_USER");
    };
    const std::string expected = install_and_remove(false, nullptr);
    const std::vector<std::string> expected_boxes = boxes();
    EXPECT_EQ(expected, install_and_remove(true, nullptr));
    EXPECT_EQ(expected_boxes, boxes());
    EXPECT_FALSE(winsim::entry_exists((winsim::standard_user_desktop() + "\\" DIAGRAM_NAME ".LNK").c_str()));
    EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
    ASSERT_EQ(2u, winsim::layout_or_tip_calls().size());
    EXPECT_EQ(standard_user_key(), winsim::layout_or_tip_calls()[1].user_key);
    EXPECT_EQ(0x21u, winsim::layout_or_tip_calls()[1].flags);

    install_and_remove(true, "\"1\"=\"d0010407\"\n");
    ASSERT_EQ(1u, boxes().size());
    EXPECT_EQ(0u, boxes()[0].find(ONLY_LAYOUT_TEXT)) << boxes()[0];
    EXPECT_TRUE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
}

TEST_F(uninstaller_test, a_missing_dll_asks_whether_to_go_on)
{
    install_product(32);
    // Gone, the DLL is held by no session either.
    winsim::log_off_user();
    ASSERT_TRUE(DeleteFileA("C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL"));
    std::string before = registry();
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES, IDNO}));
    ASSERT_EQ(2u, boxes().size());
    EXPECT_EQ("Problem bei Deinstallation von DIN Q7 (Lorvankastelle " VERSION_TEXT "):\nTreiberdatei nicht "
              "(mehr) vorhanden:\n  C:\\Windows\\system32\\" DLL_BASE_NAME ".DLL\n\nTrotzdem fortfahren?",
              boxes()[1]);
    EXPECT_EQ(before, registry());
    fresh_process();
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES, IDYES}));
    EXPECT_EQ(REMOVED_WITHOUT_RESTART_TEXT,
              boxes().back());
    EXPECT_FALSE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
}

// An update left the new DLL waiting for the restart, and the DLL itself is gone: a removal
// answered No at the missing DLL keeps the waiting one, which the restart puts in place.
TEST_F(uninstaller_test, a_removal_declined_at_the_missing_dll_keeps_the_waiting_one)
{
    install_product(64);
    const std::string dll = "C:\\Windows\\system32\\" DLL_FILE_NAME;
    const std::string waiting = dll + ".neu";
    ASSERT_TRUE(winsim::add_file(waiting.c_str(), "payload 2"));
    PVOID redirection = nullptr;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&redirection));
    ASSERT_TRUE(MoveFileExA(waiting.c_str(), dll.c_str(),
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    winsim::log_off_user();
    ASSERT_TRUE(DeleteFileA(dll.c_str()));
    Wow64RevertWow64FsRedirection(redirection);
    fresh_process();
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES, IDNO}));
    EXPECT_TRUE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
    EXPECT_TRUE(winsim::entry_exists(waiting.c_str()));
    winsim::restart_machine();
    EXPECT_EQ("payload 2", winsim::entry(dll.c_str()).contents);
}

// A read-only diagram that nothing holds open is no file in use: it goes now.
TEST_F(uninstaller_test, a_read_only_diagram_not_in_use_goes_now)
{
    install_product(64);
    winsim::log_off_user();  // no DLL loaded: nothing of the product is in use
    const std::string pdf = program_folder + DIAGRAM_PDF_FILE_NAME;
    ASSERT_TRUE(SetFileAttributesA(pdf.c_str(), FILE_ATTRIBUTE_READONLY));
    SEED("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\"2\"=\"d0010407\"\n");
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    EXPECT_EQ(REMOVED_WITHOUT_RESTART_TEXT, boxes().back());
    EXPECT_FALSE(winsim::entry_exists(pdf.c_str()));
    ASSERT_EQ(1u, winsim::pending_file_operations().size());
    EXPECT_EQ("\\??\\" + temp_copy, winsim::pending_file_operations()[0].source);
}

TEST_F(uninstaller_test, a_users_file_keeps_the_program_folder_but_not_the_entry)
{
    install_product(64);
    winsim::add_file((program_folder + "notizen.txt").c_str(), "meine");
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(4u, texts.size());
    std::string folder = program_folder.substr(0, program_folder.size() - 1);
    EXPECT_EQ(0u, texts[1].find("Folgendes Verzeichnis kann nicht gelöscht werden:\n" + folder));
    EXPECT_EQ("Warnung bei Deinstallation von DIN Q7 (Lorvankastelle " VERSION_TEXT "):\nFolgendes "
              "Hilfsverzeichnis konnte nicht entfernt werden (möglicherweise ist es nicht leer):\n  " +
                  folder,
              texts[2]);
    EXPECT_EQ((std::vector<std::string>{"notizen.txt"}), winsim::list_folder(folder.c_str()));
    EXPECT_FALSE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
}

// An earlier removal stopped after it had deleted the layout key (and the DLLs); the entry
// still names the key, the lists still hold it.
TEST_F(uninstaller_test, a_key_that_is_gone_while_the_entry_names_it_leaves_leftovers_to_remove)
{
    on_windows(64);
    std::string registry_before = registry();
    std::string files_before = winsim::dump_tree("C:\\Windows") +
                               winsim::dump_tree("C:\\Program Files (x86)");
    winsim::reset();
    install_product(64);
    SEED("[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\"2\"=\"d0010407\"\n"
         "[-" LAYOUTS_KEY "\\b0040407]\n");
    winsim::log_off_user();
    ASSERT_TRUE(DeleteFileA("C:\\Windows\\SysWOW64\\" DLL_FILE_NAME));
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    std::vector<std::string> texts = boxes();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ("Der Registry-Key des zu deinstallierenden Tastaturtreibers wurde nicht gefunden.\n"
              "Treiber: DIN Q7 (Lorvankastelle " VERSION_TEXT ")\nKey: b0040407\nDLL: "
              DLL_BASE_NAME ".DLL\n\nEine frühere Deinstallation wurde nicht zu Ende geführt. "
              "Sollen die Reste der Installation (Programmverzeichnis, Verknüpfung, Eintrag in der "
              "Liste der installierten Programme) jetzt entfernt werden?",
              texts[0]);
    EXPECT_EQ(0x24u, winsim::message_boxes()[boxes_before].style);
    EXPECT_EQ(REMOVED_WITHOUT_RESTART_TEXT,
              texts[1]);
    EXPECT_EQ(registry_before, registry());
    EXPECT_EQ(files_before, winsim::dump_tree("C:\\Windows") + winsim::dump_tree("C:\\Program Files (x86)"));
    EXPECT_FALSE(winsim::entry_exists(
        (winsim::standard_folders().desktop + "\\" DIAGRAM_NAME ".LNK").c_str()));
}

TEST_F(uninstaller_test, leftovers_keep_the_dlls_while_another_key_names_them)
{
    install_product(64);
    SEED(LAYOUTS "\\b0090407]\n\"Layout File\"=\"" DLL_FILE_NAME "\"\n"
         "[-" LAYOUTS_KEY "\\b0040407]\n");
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    EXPECT_TRUE(winsim::entry_exists("C:\\Windows\\system32\\" DLL_FILE_NAME));
    EXPECT_TRUE(winsim::entry_exists("C:\\Windows\\SysWOW64\\" DLL_FILE_NAME));
    EXPECT_FALSE(winsim::reg_key_exists(PRODUCT_ENTRY_KEY));
    EXPECT_FALSE(winsim::entry_exists(program_folder.c_str()));
}

TEST_F(uninstaller_test, answering_no_to_the_leftovers_changes_nothing)
{
    install_product(64);
    SEED("[-" LAYOUTS_KEY "\\b0040407]\n");
    std::string before = registry() + winsim::dump_tree("C:\\");
    ASSERT_TRUE(run_copy({"b0040407"}, {IDNO}));
    EXPECT_EQ("Deinstallation abgebrochen.", boxes().back());
    EXPECT_EQ(before, registry() + winsim::dump_tree("C:\\"));
}

// As long as anything of the program folder is left, the entry can start the uninstaller.
TEST_F(uninstaller_test, the_uninstaller_file_goes_last_and_the_entry_after_the_folder)
{
    install_product(64);
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    std::vector<std::string> order;
    for (const winsim::logged_call& call : winsim::call_log()) {
        bool program_file = call.call == "DeleteFileA" && call.subject.rfind(program_folder, 0) == 0;
        if (program_file)
            order.push_back(call.subject.substr(program_folder.size()));
        if (call.call == "RemoveDirectoryA")
            order.push_back("folder");
        if (call.call == "RegDeleteKeyA" && call.subject == PRODUCT_ENTRY_KEY)
            order.push_back("entry");
    }
    EXPECT_EQ((std::vector<std::string>{DIAGRAM_PDF_FILE_NAME, DIAGRAM_ICON_FILE_NAME,
                                        UNINSTALLER_FILE_NAME, "folder", "entry"}),
              order);
}

// A program folder whose files' paths do not fit (Program Files has moved since the
// installation): each file that cannot be named is told, with the reason.
TEST_F(uninstaller_test, program_folder_files_that_cannot_be_named_are_told)
{
    install_product(64);
    std::string files = "C:\\" + std::string(200, 'p');
    ASSERT_TRUE(winsim::add_folder(files.c_str()));
    winsim::set_special_folder(CSIDL_PROGRAM_FILES, files.c_str());
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    std::vector<std::string> texts = boxes();
    int told = 0;
    for (const std::string& text : texts) {
        if (text.find("Folgende Hilfsdatei konnte nicht gelöscht werden:\n  " + files) !=
                std::string::npos &&
            text.find("Windows-Errorcode 206:") != std::string::npos)
            told++;
    }
    EXPECT_EQ(2, told) << "the diagram's and its icon's paths are too long";
    EXPECT_EQ(REMOVED_TEXT,
              texts.back());
}

// The 64-bit programs: the removal takes both DLLs from their folders without redirection, and
// on a Windows without the 32-bit subsystem the native one alone.
TEST_F(uninstaller_test, a_64_bit_uninstaller_removes_what_the_64_bit_installer_wrote)
{
    for (bool wow64_subsystem : {true, false}) {
        SCOPED_TRACE(wow64_subsystem ? "with SysWOW64" : "without SysWOW64");
        kb_test::SetUp();
        on_windows(64, 64);
        if (!wow64_subsystem) {
            ASSERT_TRUE(RemoveDirectoryA("C:\\Windows\\SysWOW64"));
        }
        std::string before = registry();
        winsim::script_answers({IDYES, IDOK});
        ASSERT_TRUE(check_installer_command_line());
        run_installation();
        log_on();
        winsim::add_file(temp_copy.c_str(), "MZ uninstaller");
        fresh_process();
        ASSERT_EQ("payload 2", winsim::entry("C:\\Windows\\system32\\" DLL_FILE_NAME).contents);
        ASSERT_EQ(wow64_subsystem, winsim::entry_exists("C:\\Windows\\SysWOW64\\" DLL_FILE_NAME));
        ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
        EXPECT_EQ(REMOVED_TEXT,
                  boxes().back());
        winsim::restart_machine();
        EXPECT_FALSE(winsim::entry_exists("C:\\Windows\\system32\\" DLL_FILE_NAME));
        EXPECT_FALSE(winsim::entry_exists("C:\\Windows\\SysWOW64\\" DLL_FILE_NAME));
        EXPECT_FALSE(winsim::entry_exists("C:\\Program Files\\Q7-Tastaturbelegung"));
        EXPECT_EQ(before, registry());
    }
}

TEST_F(uninstaller_test, on_arm64_both_dlls_are_removed_as_on_x64)
{
    winsim::set_native_machine(true, IMAGE_FILE_MACHINE_ARM64);
    winsim::add_resource("DATEI7_TYPE", "DATEI7_NAME", 1031, "payload 7");
    frame.native_machine = IMAGE_FILE_MACHINE_ARM64;
    install_product(64);
    ASSERT_EQ("payload 7", winsim::entry("C:\\Windows\\system32\\" DLL_FILE_NAME).contents);
    frame.native_machine = IMAGE_FILE_MACHINE_ARM64;
    ASSERT_TRUE(run_copy({"b0040407"}, {IDYES}));
    winsim::restart_machine();
    EXPECT_FALSE(winsim::entry_exists("C:\\Windows\\system32\\" DLL_FILE_NAME));
    EXPECT_FALSE(winsim::entry_exists("C:\\Windows\\SysWOW64\\" DLL_FILE_NAME));
    EXPECT_FALSE(winsim::reg_key_exists(LAYOUTS_KEY "\\b0040407"));
}

}  // namespace
