// The user's language list of Windows 8 and later, which Settings and the input switcher show: the layout is added to it and removed from it through input.dll.
#pragma once

// Windows 7 has no such list; there Preload and Substitutes alone give the user's layouts.
#define USER_PROFILE_PATH "Control Panel\\International\\User Profile"
#define LANGUAGES_VALUE "Languages"
#define INPUT_DLL_NAME "input.dll"
#define INSTALL_LAYOUT_OR_TIP_NAME "InstallLayoutOrTip"
#define ILOT_UNINSTALL 0x00000001
#define ILOT_DEFPROFILE 0x00000002
// For another user's list: saved, not applied to the calling session.
#define INSTALL_LAYOUT_OR_TIP_USER_REG_NAME "InstallLayoutOrTipUserReg"
#define ILOT_NOAPPLYTOCURRENTSESSION 0x00000020

enum class language_list_change { add_as_default, remove };
// The list is not there (nothing was called), the change was made, or input.dll could not make
// it (not there, without the function, or the function failed).
enum class language_list_outcome { absent, changed, failed };

// The user has the list when the User Profile key below the user's settings (shell_user.h) has
// its Languages value; another user's list is changed through InstallLayoutOrTipUserReg. When
// that value cannot be read, nothing is called (the Windows may have no list) and the outcome is
// failed, so that the user is told where to make the change by hand.
// Adds the layout of that key name (as the first keyboard of the first language) or removes it,
// under the language of the name's last four characters.
language_list_outcome change_language_list(const char* key_name, language_list_change change);
