// The table of the list commands: for each, whether it takes the busy word
// and the name its refusal shows, and what it checks before that.
#include "ui/list/command_bodies.h"
#include "ui/list/list_commands.h"
#include "ui/list/trash_undo.h"

namespace {

// The selected row is a row the command can act on (not row 0, in a list
// of more than two rows).
bool row_selected(ListContext& ctx) {
  if (ctx.list.size() <= 2 || ctx.list.selected_row() <= 0) {
    ctx.prompter.error_signal();
    return false;
  }
  return true;
}

bool something_tagged(ListContext& ctx) {
  if (ctx.list.block().tagged_count.load() == 0) {
    ctx.prompter.error_signal();
    return false;
  }
  return true;
}

bool something_deleted(ListContext& ctx) {
  if (ctx.list.block().deleted_count.load() == 0) {
    ctx.prompter.error_signal();
    return false;
  }
  return true;
}

// "Delete File" deletes every tagged entry when any is tagged (that is the
// Delete All Tagged command, with its own busy name), else the selected
// entry when it names a file; without one it does nothing, not even beep.
bool delete_file_ready(ListContext& ctx) {
  if (ctx.list.block().tagged_count.load() >= 1) {
    run_list_command(list_commands::DELETE_ALL_TAGGED, ctx);
    return false;
  }
  const int r = ctx.list.selected_row();
  return r >= 1 && !ctx.list.path(r).empty();
}

bool something_to_undo(ListContext& ctx);

}  // namespace

namespace list_commands {

const ListCommand TOGGLE_TAG = {nullptr, nullptr, body::toggle_tag};
const ListCommand TAG_ALL_DELETED = {"Tag All Deleted Files", nullptr, body::tag_all_deleted};
const ListCommand UNTAG_ALL = {"Untag All", nullptr, body::untag_all};
const ListCommand GOTO_FIRST_ENTRY = {nullptr, nullptr, body::goto_first_entry};

const ListCommand SAVE_CONTENTS = {"Save Contents", nullptr, body::save_contents};
const ListCommand RESTORE_CONTENTS = {"Restore Contents", nullptr, body::restore_contents};

const ListCommand REMOVE_LINE_OR_GROUP = {"Remove Line/Group", row_selected,
                                          body::remove_line_or_group};
const ListCommand REMOVE_ALL_TAGGED = {"Remove All Tagged Entries", nullptr,
                                       body::remove_all_tagged};
const ListCommand REMOVE_ALL_NON_TAGGED = {"Remove All NON Tagged Entries", something_tagged,
                                           body::remove_all_non_tagged};
const ListCommand REMOVE_ALL_DELETED = {"Remove All Deleted", something_deleted,
                                        body::remove_all_deleted};

const ListCommand DELETE_FILE = {"Delete Files", delete_file_ready, body::delete_selected};
const ListCommand DELETE_SELECTED = {"Delete Files", nullptr, body::delete_selected};
// The link and clone walks go like Delete All Tagged, busy name and all.
const ListCommand HARD_LINK_ALL_TAGGED = {"Delete All Tagged Entries", something_tagged,
                                          body::hard_link_all_tagged};
const ListCommand CLONE_ALL_TAGGED = {"Delete All Tagged Entries", something_tagged,
                                      body::clone_all_tagged};
const ListCommand UNDO_LAST_MOVE_TO_TRASH = {"Undo Last Move To Trash", something_to_undo,
                                             body::undo_last_move_to_trash};
const ListCommand DELETE_ALL_TAGGED = {"Delete All Tagged Entries", something_tagged,
                                       body::delete_all_tagged};
const ListCommand DELETE_ALL_NON_TAGGED = {"Delete All NON-Tagged Entries", nullptr,
                                           body::delete_all_non_tagged};

const char* const FIND_TAG_FILES = "Find/Tag Files";
const char* const WRITE_SCRIPT = "Write Script";

}  // namespace list_commands

void run_list_command(const ListCommand& command, ListContext& ctx) {
  if (command.ready != nullptr && !command.ready(ctx)) return;
  if (command.busy_name == nullptr) {
    command.body(ctx);
    return;
  }
  run_holding_busy_word(ctx.list, ctx.prompter, command.busy_name, [&] { command.body(ctx); });
}

bool run_holding_busy_word(ResultList& list, Prompter& prompter, const char* busy_name,
                           const std::function<void()>& body) {
  ListBusy busy(list.block());
  if (!busy.held()) {
    prompter.notify_busy(busy_name);
    return false;
  }
  body();
  return true;
}

// ---- The commands by name ------------------------------------------------------

namespace {

void run_on(const ListCommand& command, ResultList& list, Prompter& prompter) {
  ListContext ctx(list, prompter);
  run_list_command(command, ctx);
}

}  // namespace

void toggle_tag(ResultList& list, Prompter& prompter) {
  run_on(list_commands::TOGGLE_TAG, list, prompter);
}
void tag_all_deleted(ResultList& list, Prompter& prompter) {
  run_on(list_commands::TAG_ALL_DELETED, list, prompter);
}
void untag_all(ResultList& list, Prompter& prompter) {
  run_on(list_commands::UNTAG_ALL, list, prompter);
}
void goto_first_entry(ResultList& list, Prompter& prompter) {
  run_on(list_commands::GOTO_FIRST_ENTRY, list, prompter);
}

void save_contents(ResultList& list, Prompter& prompter, const std::string& file) {
  ListContext ctx(list, prompter);
  ctx.contents_file = file;
  run_list_command(list_commands::SAVE_CONTENTS, ctx);
}
void restore_contents(ResultList& list, Prompter& prompter, const std::string& file) {
  ListContext ctx(list, prompter);
  ctx.contents_file = file;
  run_list_command(list_commands::RESTORE_CONTENTS, ctx);
}

void remove_line_or_group(ResultList& list, Prompter& prompter) {
  run_on(list_commands::REMOVE_LINE_OR_GROUP, list, prompter);
}
void remove_all_tagged(ResultList& list, Prompter& prompter) {
  run_on(list_commands::REMOVE_ALL_TAGGED, list, prompter);
}
void remove_all_non_tagged(ResultList& list, Prompter& prompter) {
  run_on(list_commands::REMOVE_ALL_NON_TAGGED, list, prompter);
}
void remove_all_deleted(ResultList& list, Prompter& prompter) {
  run_on(list_commands::REMOVE_ALL_DELETED, list, prompter);
}

void delete_entry(DeleteContext& ctx) { run_list_command(list_commands::DELETE_FILE, ctx); }
void delete_all_tagged(DeleteContext& ctx) {
  run_list_command(list_commands::DELETE_ALL_TAGGED, ctx);
}
void delete_all_non_tagged(DeleteContext& ctx) {
  run_list_command(list_commands::DELETE_ALL_NON_TAGGED, ctx);
}
void hard_link_all_tagged(ListContext& ctx) {
  run_list_command(list_commands::HARD_LINK_ALL_TAGGED, ctx);
}
void clone_all_tagged(ListContext& ctx) { run_list_command(list_commands::CLONE_ALL_TAGGED, ctx); }
void undo_last_move_to_trash(ListContext& ctx) {
  run_list_command(list_commands::UNDO_LAST_MOVE_TO_TRASH, ctx);
}

namespace {

bool something_to_undo(ListContext& ctx) {
  if (ctx.trash_undo == nullptr || !ctx.trash_undo->available(ctx.list)) {
    ctx.prompter.error_signal();
    return false;
  }
  return true;
}

}  // namespace
