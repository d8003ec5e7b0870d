// Fuzz target: any Preload, Substitutes, layout-key and journal contents through the finish of a stopped change, the scan, every plan and the write.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <windows.h>
#include <winsim/control.h>
#include <winsim/registry_control.h>

#include "fuzz_support.h"
#include "layout_registry/layout_inventory.h"
#include "layout_registry/layout_plans.h"
#include "installer_flow.h"
#include "layout_registry/list_rewrite.h"
#include "product_constants.h"

namespace {

// A German Windows as a fresh user has it, the start of every input whose first bit is set.
const char* const german_windows =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CURRENT_USER\\Keyboard Layout\\Preload]\n\"1\"=\"00000407\"\n\n"
    "[HKEY_CURRENT_USER\\Keyboard Layout\\Substitutes]\n\n"
    "[HKEY_LOCAL_MACHINE\\" KEYBOARD_LAYOUTS_PATH "\\00000407]\n"
    "\"Layout File\"=\"KBDGR.DLL\"\n\"Layout Text\"=\"German\"\n\n"
    "[HKEY_LOCAL_MACHINE\\" KEYBOARD_LAYOUTS_PATH "\\00010407]\n"
    "\"Layout File\"=\"KBDGR1.DLL\"\n\"Layout Text\"=\"German (IBM)\"\n\"Layout Id\"=\"0012\"\n\n"
    "[HKEY_LOCAL_MACHINE\\" KEYBOARD_LAYOUTS_PATH "\\00000807]\n"
    "\"Layout File\"=\"KBDSG.DLL\"\n\"Layout Text\"=\"Swiss German\"\n\n"
    "[HKEY_LOCAL_MACHINE\\" KEYBOARD_LAYOUTS_PATH "\\00000409]\n"
    "\"Layout File\"=\"KBDUS.DLL\"\n\"Layout Text\"=\"US\"\n";

const DWORD value_types[] = {REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_NONE};
const char* const family_endings[] = {"0407", "0807", "0C07", "1007", "1407", "0409"};

std::string hex4(unsigned value)
{
    static const char digits[] = "0123456789ABCDEFabcdef";
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4)
        text.push_back(digits[(value >> shift) & 15]);
    return text;
}

// A key name: a German-family-like name (four hex digits and a family ending) or raw bytes.
std::string key_name(fuzz_reader& in)
{
    uint8_t kind = in.byte();
    if (kind & 0x80) {
        unsigned prefix = in.byte() | in.byte() << 8;
        std::string name = hex4(prefix) + family_endings[kind % 6];
        if (kind & 0x40)
            name.resize(kind & 7);  // too short (or empty)
        return name;
    }
    return in.bytes(in.length());
}

// One value: a name (a layout-key value name or raw bytes), a type and data of any bytes.
void set_value(HKEY key, fuzz_reader& in, bool layout_key)
{
    uint8_t kind = in.byte();
    std::string name;
    if (layout_key && (kind & 3) != 3)
        name = (kind & 3) == 0 ? LAYOUT_FILE_VALUE : (kind & 3) == 1 ? LAYOUT_TEXT_VALUE : LAYOUT_ID_VALUE;
    else if (!layout_key && (kind & 3) != 3)
        name = std::to_string(in.byte() % 110);  // "0" .. "109"
    else
        name = in.bytes(in.length());
    DWORD type = (kind & 0x80) ? (DWORD)in.byte() : value_types[(kind >> 2) % 6];
    std::string bytes = in.bytes(in.length());
    if ((kind & 0x40) && (type == REG_SZ || type == REG_EXPAND_SZ))
        bytes.push_back(0);
    RegSetValueExA(key, name.c_str(), 0, type, (const BYTE*)bytes.data(), (DWORD)bytes.size());
}

HKEY create_key(HKEY root, const std::string& path)
{
    HKEY key = 0;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return 0;
    return key;
}

// Builds the registry from the input; the first key name seen becomes the removal target.
void build_registry(const uint8_t* data, size_t size, std::string* first_key)
{
    fuzz_reader in{data, size};
    uint8_t start = in.byte();
    if (start & 1)
        winsim::reg_import(german_windows);
    HKEY preload = create_key(HKEY_CURRENT_USER, PRELOAD_PATH);
    HKEY substitutes = (start & 2) ? 0 : create_key(HKEY_CURRENT_USER, SUBSTITUTES_PATH);
    HKEY layouts = create_key(HKEY_LOCAL_MACHINE, KEYBOARD_LAYOUTS_PATH);
    HKEY last_key = 0;
    int records = 0;
    while (!in.done() && records++ < 400) {
        uint8_t op = in.byte();
        switch (op % 5) {
        case 0:
            if (preload)
                set_value(preload, in, false);
            break;
        case 1:
            if (substitutes)
                set_value(substitutes, in, false);
            break;
        case 2: {
            std::string name = key_name(in);
            if (first_key->empty())
                *first_key = name;
            if (last_key)
                RegCloseKey(last_key);
            last_key = layouts ? create_key(layouts, name) : 0;
            break;
        }
        case 3:
            if (last_key)
                set_value(last_key, in, true);
            break;
        case 4: {
            // A journal of a stopped change: raw bytes, mostly after the journal's own start.
            std::string text = (op & 0x80) ? "" : "P:";
            text += in.bytes(in.length());
            HKEY journal = create_key(HKEY_CURRENT_USER, LIST_JOURNAL_KEY_PATH);
            if (journal) {
                RegSetValueExA(journal, LIST_JOURNAL_VALUE, 0, REG_SZ, (const BYTE*)text.c_str(),
                               (DWORD)text.size() + 1);
                RegCloseKey(journal);
            }
            break;
        }
        }
    }
    for (HKEY key : {preload, substitutes, layouts, last_key}) {
        if (key)
            RegCloseKey(key);
    }
}

void check_handles()
{
    if (winsim::reg_open_handle_count() != 0)
        abort();
}

void check_terminated(const char* text, size_t size)
{
    if (!memchr(text, 0, size))
        abort();
}

// A stopped change is finished first, as both programs do; when that works, its journal is gone.
bool finish_first()
{
    bool finished = finish_interrupted_list_rewrite();
    check_terminated(layout_inventory.error_text, sizeof layout_inventory.error_text);
    check_handles();
    if (finished && winsim::reg_key_exists("HKEY_CURRENT_USER\\" LIST_JOURNAL_KEY_PATH))
        abort();
    return finished;
}

// A fresh process on the input's registry, with the inventory scanned; false when the scan fails.
bool fresh_scan(const uint8_t* data, size_t size, std::string* first_key)
{
    fuzz_reset("Install_" DLL_BASE_NAME);
    first_key->clear();
    build_registry(data, size, first_key);
    strcpy(layout_inventory.own_layout_file, OWN_LAYOUT_SEARCH_NAME);
    if (!finish_first())
        return false;
    bool scanned = scan_layout_inventory();
    check_terminated(layout_inventory.error_text, sizeof layout_inventory.error_text);
    return scanned;
}

void write_plan(bool planned)
{
    check_terminated(layout_inventory.error_text, sizeof layout_inventory.error_text);
    if (planned)
        write_preload_substitutes();
    check_terminated(layout_inventory.error_text, sizeof layout_inventory.error_text);
    check_handles();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string first_key;

    // A new installation.
    if (fresh_scan(data, size, &first_key))
        write_plan(plan_layout_install(-1));
    check_handles();

    // An update, as the installer makes it when the product's key is registered.
    if (fresh_scan(data, size, &first_key) && layout_inventory.own_layout_index >= 0)
        write_plan(plan_installation());
    check_handles();

    // A removal of the first layout key the input names (as the uninstaller's argument).
    fuzz_reset("Uninstall_" DLL_BASE_NAME);
    first_key.clear();
    build_registry(data, size, &first_key);
    snprintf(layout_inventory.target_key_name, MAX_PATH, "%s", first_key.c_str());
    strcpy(layout_inventory.own_layout_file, OWN_LAYOUT_SEARCH_NAME);
    if (finish_first() && scan_layout_inventory())
        write_plan(plan_layout_removal());
    check_handles();
    return 0;
}
