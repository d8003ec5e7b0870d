// Shared by the fault sweep and the stop sweep: the user's machine, the resolved layouts, the programs answered Yes.
#include "sweep_support.h"

#include "program_state.h"

#include <ctype.h>
#include <string.h>

#include <vector>

#include <winsim/desktop_control.h>
#include <winsim/files_control.h>

#include "frame/frame.h"
#include "frame/startup.h"
#include "installer_flow.h"
#include "uninstaller_flow.h"

std::string lower(std::string text)
{
    for (char& c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

bool starts_with(const std::string& text, const char* prefix)
{
    return text.compare(0, strlen(prefix), prefix) == 0;
}

std::string swept_user_hive = "HKEY_CURRENT_USER";

std::string below_current_user(const std::string& key_path)
{
    if (lower(key_path).compare(0, swept_user_hive.size(), lower(swept_user_hive)) != 0)
        return key_path;
    return "HKEY_CURRENT_USER" + key_path.substr(swept_user_hive.size());
}

std::map<std::string, std::string> string_values(const char* key_path)
{
    std::map<std::string, std::string> values;
    std::string path = key_path;
    if (starts_with(path, "HKEY_CURRENT_USER\\"))
        path.replace(0, strlen("HKEY_CURRENT_USER"), swept_user_hive);
    std::string text = winsim::reg_export(path.c_str());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] != '"')
            continue;
        size_t name_end = line.find("\"=\"");
        if (name_end == std::string::npos || line.back() != '"')
            continue;
        values[lower(line.substr(1, name_end - 1))] =
            line.substr(name_end + 3, line.size() - name_end - 4);
    }
    return values;
}

// Each Preload value's data (lower case) with the layout it reaches, directly or through
// Substitutes.
static std::vector<std::pair<std::string, std::string>> preload_reaches()
{
    std::map<std::string, std::string> substitutes = string_values(USER_SUBSTITUTES);
    std::vector<std::pair<std::string, std::string>> reaches;
    for (const auto& entry : string_values(USER_PRELOAD)) {
        std::string data = lower(entry.second);
        auto substitute = substitutes.find(data);
        reaches.push_back({data, substitute == substitutes.end() ? data : lower(substitute->second)});
    }
    return reaches;
}

std::set<std::string> resolved_user_layouts()
{
    std::set<std::string> layouts;
    for (const auto& reach : preload_reaches())
        layouts.insert(reach.second);
    return layouts;
}

std::set<std::string> layouts_with_languages()
{
    std::set<std::string> layouts;
    for (const auto& reach : preload_reaches()) {
        const std::string& data = reach.first;
        std::string language = data.size() >= 4 ? data.substr(data.size() - 4) : data;
        layouts.insert(reach.second + "/" + language);
    }
    return layouts;
}

void sweep_test::TearDown()
{
    test_warning_caption = "Tastaturtreiber-Installation";
    swept_user_hive = "HKEY_CURRENT_USER";
    kb_test::TearDown();
}

void sweep_test::fresh_process(const char* program_name)
{
    reset_program_state(program_name);
    probe_machine();
}

void sweep_test::on_64_bit_windows()
{
    if (user_name)
        winsim::set_user_name(user_name);
    run_as_program(64, program_bits);
    program_folder = std::string(frame.is_wow64 ? "C:\\Program Files (x86)" : "C:\\Program Files") +
                     "\\Q7-Tastaturbelegung\\";
    temp_copy = winsim::standard_folders().temp + "\\" UNINSTALLER_FILE_NAME;
    add_payload_resources("MZ uninstaller");
    SEED(german_windows_fixture);
    SEED("[" USER_PRELOAD "]\n\"2\"=\"d0010409\"\n\"3\"=\"00000807\"\n\n"
         "[" USER_SUBSTITUTES "]\n\"d0010409\"=\"00010409\"\n");
    frame.argument_count = 0;
}

void sweep_test::put_product_layout_last()
{
    std::map<std::string, std::string> substitutes = string_values(USER_SUBSTITUTES);
    std::vector<std::string> order, product;
    for (const auto& entry : string_values(USER_PRELOAD)) {
        auto substitute = substitutes.find(lower(entry.second));
        bool ours = substitute != substitutes.end() && substitute->second == SWEPT_LAYOUT_KEY;
        (ours ? product : order).push_back(entry.second);
    }
    ASSERT_EQ(1u, product.size());
    order.push_back(product[0]);
    const std::string preload = swept_user_hive + "\\Keyboard Layout\\Preload";
    std::string text = "[-" + preload + "]\n[" + preload + "]\n";
    for (size_t i = 0; i < order.size(); i++)
        text += "\"" + std::to_string(i + 1) + "\"=\"" + order[i] + "\"\n";
    SEED(text.c_str());
}

void sweep_test::elevate_over_the_shoulder()
{
    sign_in_standard_user("\xC5\x81ucja");
    SEED("[-" USER_PRELOAD "]\n[" USER_PRELOAD "]\n\"1\"=\"00000409\"\n");
    swept_user_hive = standard_user_key();
}

void sweep_test::answer_yes_to_everything()
{
    // Only questions look at the answer; every other box ignores it.
    winsim::script_answers(std::vector<int>(40, IDYES));
}

bool sweep_test::run_installer()
{
    answer_yes_to_everything();
    if (!check_installer_command_line())
        return false;
    return run_installation();
}

bool sweep_test::run_uninstaller_copy()
{
    answer_yes_to_everything();
    if (!check_uninstaller_command_line())
        return false;
    return run_uninstallation();
}
