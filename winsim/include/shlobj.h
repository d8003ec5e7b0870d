// Stand-in for <shlobj.h> on the host build: the shell's special folders, its allocator and the shell-link object.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>
#include <winsim/winshell.h>
