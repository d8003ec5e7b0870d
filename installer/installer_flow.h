// The installer's start check and main flow.
#pragma once

bool check_installer_command_line();
bool run_installation();

// The installer's plan after its scan: a new layout key when no key names the product's DLL;
// otherwise that key (into target_key_name) put back into the user's lists, or, when the lists
// hold it, moved to place 1. False with error_text when nothing could be planned.
bool plan_installation();
