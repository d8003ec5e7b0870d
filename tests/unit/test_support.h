// Shared fixture of the host unit tests: a clean simulated machine and clean program state per test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <winsim/control.h>
#include <winsim/registry_control.h>

#include "layout_registry/layout_inventory.h"
#include "layout_registry/registry_access.h"
#include "product_constants.h"

// Resets winsim and every program-wide state of kbcommon before each test.
class kb_test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Applies .reg text (without the header line) to the simulated registry; fails the test
    // at the caller's line when the text is malformed.
    void seed(const char* reg_text);
    // The subtree below a full key path, in .reg form.
    std::string dump(const char* key_path);
};

#define SEED(text) do { SCOPED_TRACE("seeded here"); seed(text); } while (0)

// The installer's six payloads as German resources DATEI<n>_TYPE / DATEI<n>_NAME with the
// contents "payload <n>"; the sixth, the uninstaller, holds `uninstaller` when given.
void add_payload_resources(const char* uninstaller = nullptr);

// Windows of `windows_bits` (64 or 32) and the program of `program_bits`: a 32-bit one runs under
// WOW64 on 64-bit Windows, a 64-bit one natively; the frame's machine probes as at start-up.
void run_as_program(int windows_bits, int program_bits);

// The user logs on (winsim::log_on_user): the session then holds the DLLs of the user's layouts
// loaded, as on a running Windows, from the system folders where they are there. A flow starts
// from it once its machine is seeded and before the program runs: sweep_test's
// on_64_bit_windows after its SEEDs, and each flow fixture's SetUp after its registry and files;
// a test that restarts Windows (winsim::restart_machine) logs on again before the next program.
void log_on();

// The calls the log shows while WOW64 redirection was off, other than the file operations in
// the system folders, one per line; "" when there are none and redirection is on at the end.
std::string calls_while_redirection_off();
// How many calls of this name the log holds.
int calls_named(const char* name);

// A German Windows as a fresh user sees it: Preload 1 = 00000407, an empty Substitutes key,
// and the standard German-family layout keys.
extern const char* const german_windows_fixture;

// The language list of Windows 8 and later, as a user with English first and German second has
// it: Languages and a subkey of keyboards for each.
extern const char* const language_list_fixture;
#define USER_PROFILE_KEY "HKEY_CURRENT_USER\\Control Panel\\International\\User Profile"

// Registry paths the tests seed and compare: the layout keys (LAYOUTS opens a .reg key header)
// and the product's uninstall entry.
#define LAYOUTS_KEY "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Keyboard Layouts"
#define LAYOUTS "[" LAYOUTS_KEY
#define PRODUCT_ENTRY_KEY \
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" UNINSTALL_DISPLAY_NAME

// The name of the one run's mutex, and the box of a second run at once.
#define SINGLE_RUN_MUTEX "Global\\" PROGRAM_FOLDER_NAME "-Installation"
#define SECOND_RUN_TEXT                                                                          \
    "Es läuft bereits eine Installation oder Deinstallation der Tastaturbelegung.\nBitte "       \
    "warten Sie, bis sie beendet ist, und starten Sie das Programm dann erneut."

// An administrator elevates for a standard user ("over the shoulder", security_control.h): the
// standard user, named `name` (UTF-8), owns the shell and has a copy of what the program's user
// has below HKEY_CURRENT_USER now.
void sign_in_standard_user(const char* name);
// "HKEY_USERS\\<SID>" of that user.
std::string standard_user_key();
// The .reg text with every key below the root `from` put below `to`.
std::string moved_below(std::string reg_text, const std::string& from, const std::string& to);

// The caption the file operations' warnings get in the tests (the installer's by default).
extern const char* test_warning_caption;
