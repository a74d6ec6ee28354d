// The main window "TheFinder": menu bar, tool bar, the result list
// "TheClistBox", the status lines "TheMsg1" and "TheMsg2" and the progress
// bar "ThepBar", built from main_window.ui. It is the view the result intake
// fills, and holds what the list commands work with: the result list, the
// prompter, the disk and the launcher that starts other programs.
#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "core/intake_view.h"
#include "core/launcher.h"
#include "core/scan_block.h"
#include "disk/file_system.h"
#include "settings/state_file.h"
#include "ui/dialogs/prompter.h"
#include "ui/list/list_commands.h"
#include "ui/list/result_list.h"
#include "ui/list/trash_undo.h"
#include "ui/windows/resources.h"

class MainWindow : public IntakeView {
 public:
  GtkBuilder* builder = nullptr;  // owns every widget
  GtkWindow* window = nullptr;
  GtkTreeView* view = nullptr;  // TheClistBox
  GtkLabel* msg1 = nullptr;
  GtkLabel* msg2 = nullptr;
  GtkProgressBar* progress = nullptr;
  int click_kind = 0;  // the last multiple press: 0 none, 2 double, 3 triple
  // The rows the last two presses landed on, and the row of the first press
  // of the pending double or triple click: the click action acts on that
  // row, whatever is selected by the time it runs. They follow their rows as
  // rows are removed (null: none, or the row is gone).
  GtkTreeRowReference* press_rows[2] = {nullptr, nullptr};
  GtkTreeRowReference* click_row = nullptr;

  ResultList& rows() { return *rows_; }
  // The State record the window's commands edit (the pattern histories,
  // the script writer's choices): the program's.
  StateRecord& state() { return *state_; }
  Prompter& prompter() { return *prompter_; }
  // What the list commands act on: the list, the questions, the disk and
  // the deletion log in the data directory.
  ListContext list_context() {
    ListContext ctx(*rows_, *prompter_, files_, "deleted.log", nullptr, &log_link_told_);
    ctx.trash_undo = &trash_undo_;
    return ctx;
  }
  // Greys "Undo Last Move To Trash" when there is nothing to undo (checked
  // whenever the "_Delete" menu opens: any change of the list may end it).
  void update_undo_entry();
  // A widget of the window by its name (the .ui id).
  GObject* widget(const char* name) const;

  // What starts the helpers, lpr and file: the window's own SystemLauncher,
  // or the one a test put in its place (null gives the own one back).
  Launcher& launcher() override { return *launcher_; }
  void use_launcher(Launcher* launcher) {
    launcher_ = launcher != nullptr ? launcher : &system_launcher_;
  }

  // Builds the window over the scan block and connects every handler; the
  // caller shows it.
  void build(ScanBlock& block);

  // IntakeView
  void clear_list() override;
  void freeze_list() override;
  void thaw_list() override;
  void append_row(const RowTexts& row) override;
  void show_status(const std::string& text) override;
  void show_message_line(const std::string& text) override;
  void show_progress(double fraction) override;
  void beep() override;
  void show_scan_completed() override;
  void notify_busy(const char* operation) override;
  void open_settings(int page) override;

 private:
  StateRecord* state_ = &g_state;
  std::unique_ptr<ResultList> rows_;
  std::unique_ptr<DialogPrompter> prompter_;
  DiskFileSystem files_;
  bool log_link_told_ = false;
  TrashUndo trash_undo_;
  SystemLauncher system_launcher_;
  Launcher* launcher_ = &system_launcher_;
};

// Runs the action chosen for the last double or triple click of the window
// `main_window` (a MainWindow); a GLib timeout callback, run once.
int click_dispatch(void* main_window);
