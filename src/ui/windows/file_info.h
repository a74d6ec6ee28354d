// The box "Info" for the selected file.
#pragma once

#include "core/launcher.h"
#include "ui/list/list_commands.h"

// How long `file` may take to name a file's type before it is given up
// (killed) and the type shows as "Unknown".
inline constexpr int FILE_TYPE_TIME_LIMIT_MS = 5000;

// "Info...": the box "Info" with the file's type, its owner and group, and
// buttons OK, Delete and View. The box opens at once; the type is what the
// system's `file` says (its first 256 bytes), shown when it answers, or
// "Unknown" when it fails or has not answered within `type_time_limit_ms`.
// Delete and View act on the file the box describes, whichever row is
// selected meanwhile: Delete deletes that one file as Delete File does for
// a single entry (never the tagged ones); once it is deleted (its row gone
// or marked "D"), both are greyed and do nothing.
void show_file_info(DeleteContext ctx, Launcher& launcher,
                    int type_time_limit_ms = FILE_TYPE_TIME_LIMIT_MS);
