// Shared by the fault sweep and the stop sweep: a 64-bit user's machine, the layouts the user's lists resolve to, the programs run with every question answered Yes.
#pragma once

#include "test_support.h"

#include <map>
#include <set>
#include <string>

#define USER_LAYOUT_KEY "HKEY_CURRENT_USER\\Keyboard Layout"
#define USER_PRELOAD USER_LAYOUT_KEY "\\Preload"
#define USER_SUBSTITUTES USER_LAYOUT_KEY "\\Substitutes"
// The key the installer registers on the sweeps' machine.
#define SWEPT_LAYOUT_KEY "b0040407"

std::string lower(std::string text);
bool starts_with(const std::string& text, const char* prefix);

// The hive whose lists the sweeps read: HKEY_CURRENT_USER, or the standard user's when an
// administrator elevates for them (standard_user_key()). string_values reads a path below
// HKEY_CURRENT_USER there. Back to HKEY_CURRENT_USER after each test.
extern std::string swept_user_hive;
// A key path below swept_user_hive as the same path below HKEY_CURRENT_USER; others as they are.
std::string below_current_user(const std::string& key_path);

// The string values of one key as its export lists them ("name"="data" lines; our data has
// no quotes or backslashes), names in lower case.
std::map<std::string, std::string> string_values(const char* key_path);

// The layout keys the user's Preload entries name, each directly or through Substitutes.
std::set<std::string> resolved_user_layouts();
// The same layouts, each with the input language of the value that names it (the last four
// characters of its data), as "layout/language".
std::set<std::string> layouts_with_languages();

class sweep_test : public kb_test {
protected:
    std::string program_folder, temp_copy;
    // The programs' kind: 32-bit ones under WOW64, or 64-bit ones.
    int program_bits = 32;
    // The user's name in UTF-8; null for the simulation's usual one.
    const char* user_name = nullptr;
    // The user is a standard one, for whom an administrator elevates the programs.
    bool over_the_shoulder = false;

    void TearDown() override;

    // The program state as a new process of that name has it, the machine left as it is.
    void fresh_process(const char* program_name);
    // A 64-bit German Windows whose user has three layouts, one through a substitute; the
    // programs of program_bits.
    void on_64_bit_windows();
    // A standard user who asked, named outside code page 1252, signs in with a copy of the
    // lists HKEY_CURRENT_USER has now; the administrator who elevates for them has the US
    // layout alone. The sweeps then read the standard user's lists.
    void elevate_over_the_shoulder();
    // Rewrites Preload in the same order except that the product's entry comes last.
    void put_product_layout_last();
    void answer_yes_to_everything();
    // The installer's start check and flow, and the uninstaller's as its copy in the temporary
    // folder runs them; false as the frame sees them.
    bool run_installer();
    bool run_uninstaller_copy();
};
