// Fuzz target: any arguments through the uninstaller's start check, as original or as its copy.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <winsim/desktop_control.h>
#include <winsim/files_control.h>
#include <winsim/registry_control.h>

#include "files/private_folder.h"
#include "files/system_folders.h"
#include "frame/frame.h"
#include "frame/startup.h"
#include "fuzz_support.h"
#include "layout_registry/layout_inventory.h"
#include "product_constants.h"
#include "uninstaller_flow.h"

namespace {

const char* const installed_registry =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\n\n"
    "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\n"
    "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n\n"
    "[HKEY_LOCAL_MACHINE\\" KEYBOARD_LAYOUTS_PATH "\\00000407]\n"
    "\"Layout File\"=\"KBDGR.DLL\"\n\"Layout Text\"=\"German\"\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_reset("Uninstall_" DLL_BASE_NAME);
    fuzz_reader in{data, size};
    uint8_t setup = in.byte();
    int bits = (setup & 1) ? 64 : 32;
    winsim::set_windows_bitness(bits);
    winsim::set_wow64(true, bits == 64);
    std::string program_folder =
        std::string(bits == 64 ? "C:\\Program Files (x86)" : "C:\\Program Files") + "\\Q7-Tastaturbelegung\\";
    std::string temp_copy = winsim::standard_folders().temp + "\\" UNINSTALLER_FILE_NAME;
    for (int i = 1; i <= 6; i++)
        winsim::add_resource(("DATEI" + std::to_string(i) + "_TYPE").c_str(),
                             ("DATEI" + std::to_string(i) + "_NAME").c_str(), 1031,
                             i == 6 ? "MZ uninstaller" : "payload " + std::to_string(i));
    winsim::reg_import(installed_registry);
    winsim::add_file((program_folder + UNINSTALLER_FILE_NAME).c_str(), "MZ uninstaller");
    if (setup & 2)
        winsim::add_file(temp_copy.c_str(), "MZ uninstaller");
    // Started by hand from the temporary folder, as the original, from elsewhere, or as the
    // copy in its private folder.
    std::string private_copy = winsim::standard_folders().windows +
                               "\\Temp\\" PRIVATE_FOLDER_PREFIX "0123456789ABCDEF\\" UNINSTALLER_FILE_NAME;
    winsim::add_file(private_copy.c_str(), "MZ uninstaller");
    switch ((setup >> 2) % 4) {
    case 0: winsim::set_module_file_name(temp_copy.c_str()); break;
    case 1: winsim::set_module_file_name((program_folder + UNINSTALLER_FILE_NAME).c_str()); break;
    case 2: winsim::set_module_file_name("D:\\Elsewhere\\" UNINSTALLER_FILE_NAME); break;
    default: winsim::set_module_file_name(private_copy.c_str()); break;
    }
    probe_machine();

    // The arguments: the rest of the input split at zero bytes, each cut to MAX_PATH - 1 bytes.
    frame.argument_count = 0;
    std::string rest = in.bytes(size);
    size_t start = 0;
    while (start <= rest.size() && frame.argument_count < MAX_ARGUMENTS && !rest.empty()) {
        size_t end = rest.find('\0', start);
        if (end == std::string::npos)
            end = rest.size();
        std::string word = rest.substr(start, end - start).substr(0, MAX_PATH - 1);
        strcpy(frame.arguments[frame.argument_count++], word.c_str());
        start = end + 1;
    }
    if (setup & 0x20)
        frame.argument_count = -1;  // no program name either

    winsim::script_answers({IDOK, IDOK, IDOK, IDOK, IDOK, IDOK});
    check_uninstaller_command_line();
    if (!memchr(layout_inventory.target_key_name, 0, MAX_PATH) ||
        !memchr(frame.window_title, 0, MAX_PATH) || !memchr(frame.status_text, 0, STATUS_TEXT_SIZE))
        abort();
    if (winsim::reg_open_handle_count() != 0)
        abort();
    return 0;
}
