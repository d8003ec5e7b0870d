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

    void TearDown() override;

    // The program state as a new process of that name has it, the machine left as it is.
    void fresh_process(const char* program_name);
    // A 64-bit German Windows whose user has three layouts, one through a substitute; the
    // programs of program_bits.
    void on_64_bit_windows();
    // Rewrites Preload in the same order except that the product's entry comes last.
    void put_product_layout_last();
    void answer_yes_to_everything();
    // The installer's start check and flow, and the uninstaller's as its copy in the temporary
    // folder runs them; false as the frame sees them.
    bool run_installer();
    bool run_uninstaller_copy();
};
