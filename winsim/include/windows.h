// Stand-in for <windows.h> on the host build: the Win32 subset the programs use, backed by winsim.
#pragma once

#include <winsim/base_types.h>
#include <winsim/winerror.h>
#include <winsim/winreg.h>
#include <winsim/winbase.h>
#include <winsim/winfile.h>
#include <winsim/wingdi.h>
#include <winsim/winuser.h>
#include <winsim/windpi.h>
#include <winsim/winsecurity.h>
