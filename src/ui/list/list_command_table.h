// The table of the list commands: one row a command.
//
// A row says everything about a command but what it does:
//
//   LIST_COMMAND(CONSTANT, runner, body, busy name, ready check, menu entry, accelerator)
//
//   CONSTANT     the command as a value, list_commands::CONSTANT, for
//                run_list_command and for the tool bar's extra buttons
//   runner       the function that runs it: runner(ctx) on a ListContext, and
//                runner(list, prompter) on a list and its prompter alone
//   body         body::body(ListContext&), what the command does, written in
//                the command's own file (tag_commands.cc, remove_commands.cc,
//                ...); it runs only once the ready check has passed and the
//                busy word is held for it, if it takes the word
//   busy name    takes the busy word, and a refusal while the list is busy
//                names it ("List Box Busy"); nullptr: does not take it
//   ready check  a function of list_command_table.cc run before the busy word
//                is looked at; false: the command has done all it will do
//                (nothing tagged, no row to act on); nullptr: always ready
//   menu entry   the id of the main window's menu entry (main_window.ui) that
//                runs it, and its accelerator in gtk_accelerator_parse's
//                notation; nullptr: no entry, or no accelerator
//
// From this one list come the constants, the runners, the bodies'
// declarations (command_bodies.h), the rows themselves
// (list_command_table.cc) and the main window's entries for them
// (ui/windows/menu_commands.cc). Adding a command is a row here, its body
// and its test (and its menu entry in main_window.ui).
//
// The busy names of the windows' own commands that take the word (Find/Tag,
// Write Script, Tag By Rule) are in list_command_table.cc too, and whether
// the list is busy is asked there alone (list_busy, refuse_while_busy).
//
// No include guard: whoever includes this defines LIST_COMMAND first.

// clang-format off
// ---- Tags ("_Tag" menu) ----
LIST_COMMAND(TOGGLE_TAG, toggle_tag, toggle_tag, nullptr, nullptr, "menuitem102", "<Control>z")
LIST_COMMAND(TAG_ALL_DELETED, tag_all_deleted, tag_all_deleted, "Tag All Deleted Files", nullptr,
    "menuitem99", "<Control>d")
LIST_COMMAND(UNTAG_ALL, untag_all, untag_all, "Untag All", nullptr, "menuitem100", "<Control>u")
LIST_COMMAND(GOTO_FIRST_ENTRY, goto_first_entry, goto_first_entry, nullptr, nullptr, "menuitem96", nullptr)
// ---- The contents file ("_File" menu) ----
LIST_COMMAND(SAVE_CONTENTS, save_contents, save_contents, "Save Contents", nullptr,
    "menuitem64", "<Shift><Control>F12")
LIST_COMMAND(RESTORE_CONTENTS, restore_contents, restore_contents, "Restore Contents", nullptr,
    "menuitem65", "<Shift><Alt>F11")
// ---- Removing rows ("_Edit" menu) ----
LIST_COMMAND(REMOVE_LINE_OR_GROUP, remove_line_or_group, remove_line_or_group, "Remove Line/Group",
    row_selected, "menuitem83", nullptr)
LIST_COMMAND(REMOVE_ALL_TAGGED, remove_all_tagged, remove_all_tagged, "Remove All Tagged Entries",
    nullptr, "menuitem85", "<Control>r")
LIST_COMMAND(REMOVE_ALL_NON_TAGGED, remove_all_non_tagged, remove_all_non_tagged,
    "Remove All NON Tagged Entries", something_tagged, "menuitem86", "<Shift><Control>n")
LIST_COMMAND(REMOVE_ALL_DELETED, remove_all_deleted, remove_all_deleted, "Remove All Deleted",
    something_deleted, "menuitem88", nullptr)
// ---- Deleting files ("_Delete" menu) ----
// "Delete File" deletes every tagged entry when any is tagged (that is
// DELETE_ALL_TAGGED, with its own busy name), else the selected entry.
LIST_COMMAND(DELETE_FILE, delete_entry, delete_selected, "Delete Files", delete_file_ready,
    "menuitem90", "Delete")
LIST_COMMAND(DELETE_ALL_TAGGED, delete_all_tagged, delete_all_tagged, "Delete All Tagged Entries",
    something_tagged, "menuitem91", "<Control>Delete")
LIST_COMMAND(DELETE_ALL_NON_TAGGED, delete_all_non_tagged, delete_all_non_tagged,
    "Delete All NON-Tagged Entries", nullptr, "menuitem92", nullptr)
// The link and clone walks go like Delete All Tagged, busy name and all.
LIST_COMMAND(HARD_LINK_ALL_TAGGED, hard_link_all_tagged, hard_link_all_tagged,
    "Delete All Tagged Entries", something_tagged, "hard_link_tagged", nullptr)
LIST_COMMAND(CLONE_ALL_TAGGED, clone_all_tagged, clone_all_tagged, "Delete All Tagged Entries",
    something_tagged, "clone_tagged", nullptr)
LIST_COMMAND(UNDO_LAST_MOVE_TO_TRASH, undo_last_move_to_trash, undo_last_move_to_trash,
    "Undo Last Move To Trash", something_to_undo, "undo_move_to_trash", nullptr)
// The selected entry alone, whatever is tagged (the Info box's Delete).
LIST_COMMAND(DELETE_SELECTED, delete_selected, delete_selected, "Delete Files", nullptr, nullptr, nullptr)
// clang-format on
