// The installer's start check and main flow.
#pragma once

bool check_installer_command_line();
bool run_installation();
