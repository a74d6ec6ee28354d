// The window "pmuser": what the user's helper prints for the selected file.
#pragma once

#include "core/launcher.h"
#include "ui/list/result_list.h"

// "User Function": pmuser 1 PATH EXT KIND SIZE, its output (at most 8192
// bytes) shown in the window "pmuser". The main loop keeps running while the
// helper does; closing the window ends a helper that is still running.
void run_user_function(ResultList& list, Launcher& launcher);
