// Removals that an earlier run of the uninstaller left for the next restart, taken back before the product's files are written again.
#pragma once

#include <windows.h>

// Takes every deletion of one of the paths (the product's files and folder, as the programs
// spell them) out of the list that Windows carries out at the next restart; the other
// operations stay as they are. False when the list could not be read or written: the deletions
// would then remove the new installation at the restart.
bool cancel_pending_removals(const char* const* paths, int count);
