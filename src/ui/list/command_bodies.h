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

namespace body {

void toggle_tag(ListContext& ctx);
void tag_all_deleted(ListContext& ctx);
void untag_all(ListContext& ctx);
void goto_first_entry(ListContext& ctx);

void save_contents(ListContext& ctx);
void restore_contents(ListContext& ctx);

void remove_line_or_group(ListContext& ctx);
void remove_all_tagged(ListContext& ctx);
void remove_all_non_tagged(ListContext& ctx);
void remove_all_deleted(ListContext& ctx);

// The single delete of the selected entry.
void delete_selected(ListContext& ctx);
void delete_all_tagged(ListContext& ctx);
void delete_all_non_tagged(ListContext& ctx);

void hard_link_all_tagged(ListContext& ctx);
void clone_all_tagged(ListContext& ctx);
void undo_last_move_to_trash(ListContext& ctx);

}  // namespace body
