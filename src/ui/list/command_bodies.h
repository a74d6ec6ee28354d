// The bodies of the list commands, for the table that runs them
// (list_command_table.cc): when a body runs, its ready check has passed and
// the busy word is held for it, if it takes the word.
#pragma once

#include <cstddef>
#include <vector>

#include "disk/group_cleanup.h"
#include "ui/list/list_commands.h"

// Writes the deletion log's line for a file acted on ("Bytes <what>"), and
// tells the user once when the log can not be written.
void log_file_action(ListContext& ctx, std::int64_t size, const std::string& path,
                     const char* what);

// The file rows of the group of row `r` (a "D" row as gone), as the disk's
// clean-up checks take them; `self` is r's place among them, and `rows`
// (when given) gets each member's row.
std::vector<CleanupMember> group_members(const ResultList& list, int r, std::size_t& self,
                                         std::vector<int>* rows = nullptr);

// Each row's body (list_command_table.h).
namespace body {
#define LIST_COMMAND(constant, runner, body, busy_name, ready, widget, accelerator) \
  void body(ListContext& ctx);
#include "ui/list/list_command_table.h"
#undef LIST_COMMAND
}  // namespace body
