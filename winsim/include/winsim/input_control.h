// Test-facing control of the simulated input.dll: whether it is there, and the record of its InstallLayoutOrTip calls.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winsim {

// input.dll in the system folder, and whether it exports InstallLayoutOrTip and
// InstallLayoutOrTipUserReg; by default both,
// as on Windows 7 and later.
void set_input_dll(bool dll_present, bool function_present);

// Every InstallLayoutOrTip and InstallLayoutOrTipUserReg call, in order: its text (converted
// to CP1252) and flags, whether it succeeded, and the user key whose list it changes:
// "HKEY_CURRENT_USER", or the path InstallLayoutOrTipUserReg was given ("HKEY_USERS\\<SID>";
// it takes no other form, no system or software path, and needs ILOT_NOAPPLYTOCURRENTSESSION
// for another user's path).
struct layout_or_tip_call {
    std::string text;
    DWORD flags;
    bool succeeded;
    std::string user_key;
};
const std::vector<layout_or_tip_call>& layout_or_tip_calls();

// Libraries loaded with LoadLibraryA or LoadLibraryExA and not yet freed.
int loaded_library_count();

// Faults (control.h): LoadLibraryA and LoadLibraryExA take the name as given as subject,
// InstallLayoutOrTip and InstallLayoutOrTipUserReg their text; a fault makes them return FALSE
// with that error.

}  // namespace winsim
