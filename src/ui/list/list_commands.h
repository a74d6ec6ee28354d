// The commands on the result list's rows: tags, finding, the contents file,
// removing rows, deleting files. Each takes what it touches: the list, the
// prompter that asks the user, and for deleting the disk and the log.
//
// The busy word: a command that walks or changes many rows holds it while
// it runs, and is refused with the "List Box Busy" notice naming it while
// a scan or another command holds it. Which commands take the word, and
// the name each refusal shows, is said once, in the table of list commands
// (list_command_table.h, one row a command); the commands' bodies never
// look at it, and the windows ask the table (list_busy, refuse_while_busy)
// rather than the word itself. A command that refuses by itself before the
// word is looked at (nothing tagged, no row to act on) says so in its
// `ready` check, which the table runs first.
#pragma once

#include <ctime>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "disk/file_system.h"
#include "list_text/walk_summary.h"
#include "ui/dialogs/prompter.h"
#include "ui/list/result_list.h"

class TrashUndo;
class EmptiedFolders;

// What a list command may act on. The disk and the log are for the delete
// commands; the contents file for Save and Restore Contents.
struct ListContext {
  ListContext(ResultList& list, Prompter& prompter) : list(list), prompter(prompter) {}
  ListContext(ResultList& list, Prompter& prompter, FileSystem& files,
              std::string log_file = "deleted.log", std::time_t (*now)() = nullptr,
              bool* log_link_told = nullptr)
      : list(list),
        prompter(prompter),
        files(&files),
        log_file(std::move(log_file)),
        now(now),
        log_link_told(log_link_told) {}

  ResultList& list;
  Prompter& prompter;
  FileSystem* files = nullptr;
  std::string log_file = "deleted.log";  // relative to the data directory
  std::time_t (*now)() = nullptr;        // the time a log line gives; null: the clock
  // Whether the user has been told that the log is a link leading out of
  // the data directory (told once a run); null: told at every deletion.
  bool* log_link_told = nullptr;
  std::string contents_file = "Contents";  // relative to the data directory
  // In a walk: the LAST COPY question offers "No To All", and once it was
  // answered so, every last copy is kept without asking again.
  bool in_walk = false;
  bool keep_every_last_copy = false;
  // Where the delete commands note what they move to the trash, for "Undo
  // Last Move To Trash"; null: nothing is noted.
  TrashUndo* trash_undo = nullptr;
  // During a delete command with "Remove Folders Left Empty" on: the
  // folders of the files it removed, looked at once it ends.
  EmptiedFolders* emptied = nullptr;
  // The content cache, whose word on two files is forgotten when a delete
  // finds their bytes differ; empty: the one of the data directory.
  std::string content_cache;
  // In a walk: the failure the files before met and how many in a row; the
  // failures the user chose to go on past without a box for each.
  std::string walk_failure;
  int walk_failures_in_a_row = 0;
  std::vector<std::string> quiet_failures;
  // In a walk: the files done and skipped, for the notice that ends it.
  WalkSummary walk_summary;
};
using DeleteContext = ListContext;

// A list command as its row in the table describes it
// (list_command_table.h).
struct ListCommand {
  const char* busy_name;        // takes the busy word, refused with this name; null: does not
  bool (*ready)(ListContext&);  // runs first; false: the command has done all it will do
  void (*body)(ListContext&);
  const char* widget;       // the main window's menu entry that runs it, or null
  const char* accelerator;  // that entry's accelerator, or null
};

// Runs a command: its ready check, then for a command that takes the busy
// word the refusal or the word held for the body's run (given back however
// the body ends; a scan's hold is never given back by a refused command).
void run_list_command(const ListCommand& command, ListContext& ctx);

// The same for a command of a window (Find/Tag, Write Script, Tag By Rule):
// runs `body` holding the busy word, or gives the notice naming
// `busy_name`. True when the body ran.
bool run_holding_busy_word(ResultList& list, Prompter& prompter, const char* busy_name,
                           const std::function<void()>& body);

// Whether a scan or a command holds the list's busy word now.
bool list_busy(ResultList& list);
// For a window that will not open while the list is busy: true (and the
// notice naming `busy_name`) when it is.
bool refuse_while_busy(ResultList& list, Prompter& prompter, const char* busy_name);

// The table: each row's command as list_commands::CONSTANT, and its runners.
namespace list_commands {
#define LIST_COMMAND(constant, runner, body, busy_name, ready, widget, accelerator) \
  extern const ListCommand constant;
#include "ui/list/list_command_table.h"
#undef LIST_COMMAND

// Every row, in the table's order.
std::span<const ListCommand* const> all();

// The busy names of the windows' commands that take the word.
extern const char* const FIND_TAG_FILES;  // Find Next, Tag, opening Find/Tag
extern const char* const WRITE_SCRIPT;
extern const char* const TAG_BY_RULE;  // Tag, opening Tag By Rule
}  // namespace list_commands

#define LIST_COMMAND(constant, runner, body, busy_name, ready, widget, accelerator) \
  void runner(ListContext& ctx);                                                    \
  void runner(ResultList& list, Prompter& prompter);
#include "ui/list/list_command_table.h"
#undef LIST_COMMAND

// What each runner does, by the menus:

// ---- Tags ("_Tag" menu) ------------------------------------------------------------

// toggle_tag: "Toggle Tag On Entry", the selected file row between " " and "*".
// tag_all_deleted: "Tag All 'D'elected Entries", every "D" row becomes a
// tagged row, asking per row until "Yes To All".
// untag_all: "Untag All", every tagged row becomes plain, asking per row.
// goto_first_entry: "Goto Entry #1" (and Home in the list), selects row 1.

// ---- Find and tag ----------------------------------------------------------------

inline constexpr int PATTERN_HISTORY_SLOTS = 20;
inline constexpr int PATTERN_SLOT_SIZE = 81;  // 80 characters and a NUL
using PatternHistory = char[PATTERN_HISTORY_SLOTS][PATTERN_SLOT_SIZE];

// Stores `text` as the newest pattern: slot 0 gets it (cut to 80 bytes,
// never inside a UTF-8 character), an older copy of it among slots 1 to
// `last_compared` goes, and everything moves down one slot, so slot 0 and
// slot 1 both hold it and the oldest falls off the end.
void remember_pattern(PatternHistory& history, const std::string& text, int last_compared);

// The row test: columns 0 to 6 in order; in each, a match of the exclusion
// pattern (when not empty) rejects the row, then a match of the pattern
// accepts it. Patterns are wildcard masks matched against a whole column
// (the path as its bytes).
bool row_matches(const ResultList& list, int row, const std::string& has,
                 const std::string& not_has);

// "Find Next": selects the first row below the selected one (from the top
// when none is) that the test accepts, at the bottom of the view; true when
// one was found, else the error signal. Run holding the busy word (the Find
// window refuses it with "Find/Tag Files" while the list is busy).
bool find_next(ResultList& list, Prompter& prompter, const std::string& has,
               const std::string& not_has);
// "Tag": tags every plain file row of the list that the test accepts. Run
// holding the busy word, as Find Next.
void tag_matching(ResultList& list, Prompter& prompter, const std::string& has,
                  const std::string& not_has);

// ---- The contents file ("List Box" submenu) ---------------------------------------

// save_contents: "Save Contents", the list with its marks, the selected row (afterwards
// the last group header or comment row), the counters and each file's
// identity, to `file`. Written to "<file>.new" first and put in its place
// only when whole: a failed save keeps the old file and says why.
// The runners of the table save to and restore from "Contents"; these
// name the file.
void save_contents(ResultList& list, Prompter& prompter, const std::string& file);
// restore_contents: "Restore Contents", the list saved in `file` replaces the list, the
// selected row, the counters and the totals. A damaged file leaves an
// empty list, every counter 0, and the "Corrupted" message. Rows of a file
// without identities (or with a damaged identity section) are re-checked by
// their size before a deletion, and a copy counts only when its bytes are
// the same; the user is told so once.
void restore_contents(ResultList& list, Prompter& prompter, const std::string& file);

// ---- Removing rows ("_Edit" menu); the files stay on disk ----------------------------

// remove_line_or_group, remove_all_tagged, remove_all_non_tagged,
// remove_all_deleted.

// ---- Deleting files ("_Delete" menu) --------------------------------------------------

// Deletes the file of the selected row. `mode` 'A' asks with the four-button
// question titled `title`; 0 does not ask; anything else asks "DELETE" when
// "Confirm Delete File" is on. Returns -1 when refused, else the answer that
// decided ('Y', 'A', 'N' or 'C'). `removed`, when given, is set to minus the
// number of rows the call took out of the list.
//
// Beyond the question, a file is deleted only when it is still the file the
// scan saw ("File Changed" otherwise), and the last copy of a group (no
// other listed, undeleted member still on disk as scanned) only after its
// own question, whatever was answered before. Any other file goes only once
// its bytes, compared just then, are those of a copy that stays (a member
// the command does not act on: in a walk, one of the other kind); a file
// that differs stays, and the box names both. In a walk, a failure met by
// three files in a row asks once whether to go on without a box for it
// ('C' when the user stops the walk).
int delete_one_file(DeleteContext& ctx, const char* title, int mode, int* removed = nullptr);

// delete_entry: "Delete File" (the Delete key, the tool-bar "Delete", the
// click action), the selected entry, or every tagged one when any is
// tagged; delete_all_tagged, delete_all_non_tagged. They act on the disk:
// run them on a context that has one.

// ---- Freeing space and keeping every name ------------------------------------------

// hard_link_all_tagged and clone_all_tagged: "Hard-Link All Tagged Files" and "Clone All Tagged
// Files (Copy-On-Write)": each tagged file is replaced by a hard link to (or a clone of) its
// group's kept copy — the first file row of the group that is untagged, not "D" and on disk as
// scanned — once both are found to hold the same bytes. Asked as Delete All Tagged Files asks; the
// row becomes untagged; the log says "Bytes Linked" ("Bytes Cloned"); a notice ends the walk: "N
// Files Linked (B bytes freed)".

// undo_last_move_to_trash: "Undo Last Move To Trash", the files the last delete command moved to
// the trash go back to their places (never over a file there now), their rows as they were, the log
// says "Bytes Restored". Only while the list has not changed since that command (ctx.trash_undo).
