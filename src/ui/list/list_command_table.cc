// The rows of the table of list commands (list_command_table.h says their
// shape), the ready checks they name, and the one place that runs a
// command: its check, then the busy word held for its body or the refusal.
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

bool something_to_undo(ListContext& ctx) {
  if (ctx.trash_undo == nullptr || !ctx.trash_undo->available(ctx.list)) {
    ctx.prompter.error_signal();
    return false;
  }
  return true;
}

}  // namespace

namespace list_commands {

#define LIST_COMMAND(constant, runner, does, busy_name, ready, widget, accelerator) \
  const ListCommand constant = {busy_name, ready, body::does, widget, accelerator};
#include "ui/list/list_command_table.h"
#undef LIST_COMMAND

std::span<const ListCommand* const> all() {
  static const ListCommand* const rows[] = {
#define LIST_COMMAND(constant, runner, body, busy_name, ready, widget, accelerator) &constant,
#include "ui/list/list_command_table.h"
#undef LIST_COMMAND
  };
  return rows;
}

const char* const FIND_TAG_FILES = "Find/Tag Files";
const char* const WRITE_SCRIPT = "Write Script";
const char* const TAG_BY_RULE = "Tag By Rule";

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

bool list_busy(ResultList& list) { return list.block().list_busy.load() != 0; }

bool refuse_while_busy(ResultList& list, Prompter& prompter, const char* busy_name) {
  if (!list_busy(list)) return false;
  prompter.notify_busy(busy_name);
  return true;
}

// ---- The runners -------------------------------------------------------------

#define LIST_COMMAND(constant, runner, body, busy_name, ready, widget, accelerator) \
  void runner(ListContext& ctx) { run_list_command(list_commands::constant, ctx); } \
  void runner(ResultList& list, Prompter& prompter) {                               \
    ListContext ctx(list, prompter);                                                \
    run_list_command(list_commands::constant, ctx);                                 \
  }
#include "ui/list/list_command_table.h"
#undef LIST_COMMAND

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
