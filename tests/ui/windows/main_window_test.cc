// The main window, built from its resource and driven in a real X server,
// with a real forked scanner behind it.
#include "ui/windows/main_window.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstring>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/process.h"
#include "core/result_intake.h"
#include "core/scan_channel.h"
#include "core/shell_words.h"
#include "scan/scan_driver.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"
#include "settings/state_file.h"
#include "support/recording_launcher.h"
#include "support/temp_dir.h"
#include "ui/dialogs/dialogs.h"
#include "ui/list/file_commands.h"
#include "ui/list/print_copy.h"
#include "ui/support/gui_test.h"
#include "ui/windows/file_info.h"
#include "ui/windows/find_tag.h"
#include "ui/windows/menu_commands.h"
#include "ui/windows/script_writer.h"
#include "ui/windows/settings_window.h"

// The window under test (the program keeps its own in main).
MainWindow g_main;

namespace {

std::string row_text(int row, int column) {
  if (row < 0 || row >= g_main.rows().size()) return "?";
  return g_main.rows().text(row, column);
}

bool row_has_comment_colour(int row) {
  GtkTreeModel* store = GTK_TREE_MODEL(g_main.rows().store());
  GtkTreeIter iter;
  gtk_tree_model_iter_nth_child(store, &iter, nullptr, row);
  GdkRGBA* colour = nullptr;
  gtk_tree_model_get(store, &iter, COL_FOREGROUND, &colour, -1);
  bool comment = colour != nullptr && gdk_rgba_equal(colour, &COMMENT_COLOUR);
  if (colour) gdk_rgba_free(colour);
  return comment;
}

int row_count() { return g_main.rows().size(); }
int selected_row() { return g_main.rows().selected_row(); }

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ScanBlock* block = create_scan_block(error);
    ASSERT_NE(block, nullptr) << error;
    scanner_ = start_scanner(*block, run_scan, error);
    ASSERT_GT(scanner_, 0) << error;
    g_block = block;
    default_settings(block->settings);
    g_main.build(*block);
    g_main.use_launcher(&launcher_);
    gtk_widget_show(GTK_WIDGET(g_main.window));
    intake_ = g_timeout_add(5, result_intake_tick, static_cast<IntakeView*>(&g_main));
    gui::flush_events();
  }

  static void TearDownTestSuite() {
    g_main.use_launcher(nullptr);
    g_source_remove(intake_);
    set_word(g_block->command_word, CMD_QUIT);
    waitpid(scanner_, nullptr, 0);
  }

  void SetUp() override {
    launcher_.shell_lines.clear();
    launcher_.runs.clear();
  }

  // Closes every notice that is open.
  static void close_notices() {
    while (GtkWidget* box = gui::find_window("TheWinAskOK")) {
      gtk_button_clicked(GTK_BUTTON(g_object_get_data(G_OBJECT(box), "butOK")));
      gui::flush_events();
    }
  }

  // Scans `dir` (and below) with the factory compare settings.
  void scan(const std::string& dir) {
    SettingsRecord& s = g_block->settings;
    std::snprintf(s.include_dirs[0], MASK_SLOT_SIZE, "%s", dir.c_str());
    std::snprintf(s.include_dirs[1], MASK_SLOT_SIZE, "%s/*", dir.c_str());
    s.include_dirs[2][0] = '\0';
    start_scan(*g_block, g_main);
  }

  // Stops the scanner process where it is (asleep, waiting for a command).
  static bool hold_scanner() {
    int status = 0;
    return kill(scanner_, SIGSTOP) == 0 && waitpid(scanner_, &status, WUNTRACED) == scanner_ &&
           WIFSTOPPED(status);
  }

  bool wait_scan_completed() {
    return gui::iterate_until(
        [] {
          for (GtkWidget* box : gui::find_windows("TheWinAskOK")) {
            if (std::string(gtk_window_get_title(GTK_WINDOW(box))) == "Scan Completed") return true;
          }
          return false;
        },
        20000);
  }

  static inline pid_t scanner_ = 0;
  static inline guint intake_ = 0;
  static inline test::RecordingLauncher launcher_;  // what the window would have run
  test::TempDir dir;
};

// The accelerator that activates a menu entry, from the window's group.
std::pair<guint, GdkModifierType> accelerator_of(GtkWidget* item) {
  std::pair<guint, GdkModifierType> found{0, GdkModifierType(0)};
  GList* closures = gtk_widget_list_accel_closures(item);
  for (GList* l = closures; l; l = l->next) {
    GClosure* closure = static_cast<GClosure*>(l->data);
    GtkAccelGroup* group = gtk_accel_group_from_accel_closure(closure);
    GtkAccelKey* key = gtk_accel_group_find(
        group, [](GtkAccelKey*, GClosure* c, gpointer data) -> gboolean { return c == data; },
        closure);
    if (key) found = {key->accel_key, key->accel_mods};
  }
  g_list_free(closures);
  return found;
}

std::string menu_label(const char* id) {
  return gtk_menu_item_get_label(GTK_MENU_ITEM(g_main.widget(id)));
}

TEST_F(MainWindowTest, WidgetsMenusAndAccelerators) {
  EXPECT_STREQ(gtk_window_get_title(g_main.window), "Pelto Marvish 1.00");
  for (const char* name : {"TheFinder", "vbox1", "menubar3", "toolbar3", "TheClistBox", "TheMsg1",
                           "TheMsg2", "ThepBar", "menuitem54_menu", "menuitem63_menu"}) {
    EXPECT_NE(g_main.widget(name), nullptr) << name;
  }
  struct Entry {
    const char* id;
    const char* label;
    const char* accelerator;  // as gtk_accelerator_parse reads it; "" for none
  };
  const Entry entries[] = {
      {"menuitem54", "_File", ""},
      {"menuitem55", "Start Scanning", "F5"},
      {"menuitem57", "Open Folder", "F7"},
      {"menuitem58", "Info...", "F8"},
      {"menuitem59", "User Function", "F9"},
      {"menuitem60", "View File", "F10"},
      {"menuitem61", "Write Script...", "F11"},
      {"print_listbox", "Print Listbox", "F12"},
      {"menuitem63", "List Box", ""},
      {"menuitem64", "Save Contents", "<Shift><Control>F12"},
      {"menuitem65", "Restore Contents", "<Shift><Alt>F11"},
      {"menuitem67", "Exit", "<Alt>x"},
      {"menuitem68", "_Settings", ""},
      {"menuitem69", "Settings Notebook", "F2"},
      {"menuitem70", "File Masks", "<Shift><Control>m"},
      {"menuitem71", "File Attributes", "<Shift><Control>a"},
      {"menuitem72", "Date Ranges", "<Shift><Control>r"},
      {"menuitem73", "File Sizes", "<Shift><Control>z"},
      {"menuitem74", "Exclude Files", "<Shift><Control>x"},
      {"menuitem75", "Include Directories", "<Shift><Control>i"},
      {"exclude_directories1", "Exclude Directories", "<Shift><Control>e"},
      {"menuitem76", "Compare Logic", "<Shift><Control>l"},
      {"menuitem77", "Group Sizes", "<Shift><Control>g"},
      {"menuitem78", "Stop", "<Shift><Control>s"},
      {"menuitem79", "Operation", "<Shift><Control>o"},
      {"menuitem80", "_Edit", ""},
      {"menuitem81", "Copy Line/Group", "<Control>Insert"},
      {"menuitem83", "Remove Line/Group", ""},
      {"menuitem85", "Remove All tagged Entries", "<Control>r"},
      {"menuitem86", "Remove All NON-Tagged Entries", "<Shift><Control>n"},
      {"menuitem88", "Remove All 'D'eleted Entries", ""},
      {"menuitem89", "_Delete", ""},
      {"menuitem90", "Delete File", "Delete"},
      {"menuitem91", "Delete All Tagged Files", "<Control>Delete"},
      {"menuitem92", "Delete All NON-Tagged Files", ""},
      {"hard_link_tagged", "Hard-Link All Tagged Files", ""},
      {"clone_tagged", "Clone All Tagged Files (Copy-On-Write)", ""},
      {"undo_move_to_trash", "Undo Last Move To Trash", ""},
      {"menuitem94", "View Deleted Log File", "<Shift>Delete"},
      {"menuitem95", "_Tag", ""},
      {"menuitem96", "Goto Entry #1", ""},
      {"menuitem97", "Find / Tag...", "<Control>t"},
      {"menuitem98", "Find Next ", "<Control>l"},
      {"menuitem99", "Tag All 'D'elected Entries", "<Control>d"},
      {"menuitem100", "Untag All", "<Control>u"},
      {"menuitem102", "Toggle Tag On Entry", "<Control>z"},
      {"menuitem103", "_Help", ""},
      {"menuitem104", "Read Help", "F1"},
  };
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.id);
    ASSERT_NE(g_main.widget(e.id), nullptr);
    EXPECT_EQ(menu_label(e.id), e.label);
    auto [key, mods] = accelerator_of(GTK_WIDGET(g_main.widget(e.id)));
    guint want_key = 0;
    GdkModifierType want_mods = GdkModifierType(0);
    if (*e.accelerator) gtk_accelerator_parse(e.accelerator, &want_key, &want_mods);
    EXPECT_EQ(key, want_key);
    EXPECT_EQ(mods, want_mods);
  }
  for (const char* separator : {"menuitem56", "menuitem62", "menuitem66", "menuitem82",
                                "menuitem84", "menuitem87", "menuitem93", "menuitem101"}) {
    EXPECT_TRUE(GTK_IS_SEPARATOR_MENU_ITEM(g_main.widget(separator))) << separator;
  }
  EXPECT_TRUE(gtk_menu_item_get_use_underline(GTK_MENU_ITEM(g_main.widget("menuitem54"))));

  const char* const tools[][2] = {
      {"button20", "Settings"}, {"button21", "Scan"},   {"button22", "Stop"},
      {"button23", "Find"},     {"button24", "Folder"}, {"button25", "View"},
      {"button26", "Info"},     {"button27", "Script"}, {"button28", "Delete"}};
  for (const auto& [id, label] : tools) {
    GtkToolButton* button = GTK_TOOL_BUTTON(g_main.widget(id));
    EXPECT_STREQ(gtk_tool_button_get_label(button), label);
    GtkWidget* icon = gtk_tool_button_get_icon_widget(button);
    ASSERT_TRUE(GTK_IS_IMAGE(icon)) << id;
    EXPECT_EQ(gtk_image_get_storage_type(GTK_IMAGE(icon)), GTK_IMAGE_PIXBUF)
        << id << ": icon loaded";
  }

  const char* const titles[][2] = {
      {"label17", "*"},   {"label18", "Date"},       {"label19", "Time"}, {"label20", "Size"},
      {"label21", "Crc"}, {"label22", "-rwxrwxrwx"}, {"label23", "File"}};
  for (int i = 0; i < 7; ++i) {
    GtkWidget* title = GTK_WIDGET(g_main.widget(titles[i][0]));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(title)), titles[i][1]);
    EXPECT_FALSE(gtk_widget_get_sensitive(title)) << "titles are drawn greyed";
    EXPECT_EQ(gtk_tree_view_column_get_widget(gtk_tree_view_get_column(g_main.view, i)), title);
  }

  // Commands that are in the program are live; the rest wait for theirs.
  for (const char* live : {"menuitem55",
                           "menuitem67",
                           "menuitem94",
                           "menuitem96",
                           "menuitem104",
                           "menuitem83",
                           "menuitem85",
                           "menuitem86",
                           "menuitem88",
                           "menuitem90",
                           "menuitem91",
                           "menuitem92",
                           "menuitem99",
                           "menuitem100",
                           "menuitem102",
                           "menuitem69",
                           "menuitem70",
                           "menuitem79",
                           "exclude_directories1",
                           "menuitem57",
                           "menuitem58",
                           "menuitem59",
                           "menuitem60",
                           "menuitem81",
                           "menuitem97",
                           "menuitem98",
                           "print_listbox",
                           "menuitem64",
                           "menuitem65",
                           "button20",
                           "button21",
                           "button22",
                           "button23",
                           "button24",
                           "button25",
                           "button26",
                           "button28"}) {
    EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(g_main.widget(live)))) << live;
  }
  // Every entry of the command table has its command now; only the undo
  // is greyed while there is nothing to undo.
  for (const MenuCommand& command : menu_commands()) {
    EXPECT_TRUE(command.present()) << command.widget;
    const bool greyed = std::strcmp(command.widget, "undo_move_to_trash") == 0;
    EXPECT_EQ(gtk_widget_get_sensitive(GTK_WIDGET(g_main.widget(command.widget))), !greyed)
        << command.widget;
  }
}

// A list command's row names its menu entry and accelerator; the window's
// table takes them from there.
TEST(MenuCommands, EveryListCommandWithAnEntryIsInTheWindowsTable) {
  int entries = 0;
  for (const ListCommand* command : list_commands::all()) {
    if (command->widget == nullptr) continue;
    ++entries;
    const MenuCommand* entry = find_menu_command(command->widget);
    ASSERT_NE(entry, nullptr) << command->widget;
    EXPECT_EQ(entry->list_command, command) << command->widget;
    EXPECT_EQ(entry->accelerator, command->accelerator) << command->widget;
  }
  EXPECT_EQ(entries, 16);
  // The tool bar's Delete runs the Delete key's command.
  const MenuCommand* button = find_menu_command("button28");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->list_command, &list_commands::DELETE_FILE);
}

TEST_F(MainWindowTest, AcceleratorsWorkFromTheWindow) {
  gui::press_key(GTK_WIDGET(g_main.window), GDK_KEY_F1);  // Read Help
  GtkWidget* help = gui::wait_for_window("TheWinHelp");
  ASSERT_NE(help, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(help)), "Help on Basics (PeltoMarvish)");
  gui::click(help, "ButtonDismiss");
  gui::flush_events();

  test::InDirectory in(dir.path());
  gui::press_key(GTK_WIDGET(g_main.window), GDK_KEY_Delete, GDK_SHIFT_MASK);  // the log
  GtkWidget* log = gui::wait_for_window("TheWinText");
  ASSERT_NE(log, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(log)), "Deleted Log (PeltoMarvish)");
  EXPECT_EQ(gui::text_view_text(log, "TheText"), "Error 2 opening file deleted.log\n");
  gui::click(log, "ButtonDismiss");
  gui::flush_events();
}

TEST_F(MainWindowTest, RealScanFillsTheListAndEndsWithTheNotice) {
  test::write_file(dir / "one", "");
  mkdir((dir / "a").c_str(), 0755);
  mkdir((dir / "b").c_str(), 0755);
  test::write_file(dir / "a/same.txt", "abc");
  test::write_file(dir / "b/same.txt", "abc");
  g_block->settings.beep_on_stop = 0;
  scan(dir.path());
  ASSERT_TRUE(wait_scan_completed());

  ASSERT_EQ(row_count(), 7);
  EXPECT_EQ(row_text(0, 1), "Sorted List");
  EXPECT_EQ(row_text(1, 1), "Group 1 ");
  EXPECT_EQ(row_text(1, 2), "(1 - 2)");
  EXPECT_EQ(row_text(2, 4), "352441C2");
  EXPECT_EQ(row_text(4, 1), "End Of List");
  EXPECT_EQ(row_text(6, 1), "Scan Time ");
  for (int row : {0, 1, 4, 5, 6}) EXPECT_TRUE(row_has_comment_colour(row)) << row;
  for (int row : {2, 3}) EXPECT_FALSE(row_has_comment_colour(row)) << row;
  EXPECT_EQ(g_block->row_count.load(), 7);
  EXPECT_FALSE(g_main.rows().frozen());

  GtkWidget* notice = gui::find_window("TheWinAskOK");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(g_object_get_data(G_OBJECT(notice), "Msg1"))),
               "You May Now Want To Save The List Box Contents\n"
               "[Menu: FILE->ListBox->SaveContents]\nOr Use The Find / Tag Function.\n");
  EXPECT_EQ(launcher_.shell_lines, std::vector<std::string>{helper_command("pmstop")});
  EXPECT_NE(std::string(gtk_label_get_text(g_main.msg2)).find(" Files, 1  Duplicates"),
            std::string::npos);
  EXPECT_EQ(std::string(gtk_label_get_text(g_main.msg1)).rfind("0 Files Tagged (0 bytes)", 0), 0u);
  EXPECT_DOUBLE_EQ(gtk_progress_bar_get_fraction(g_main.progress), 1.0);
  close_notices();
  EXPECT_EQ(g_block->list_busy.load(), 0);
  EXPECT_EQ(g_block->status.load(), SCANNER_IDLE);
}

// The notice's second line names what was compared, from the settings the
// scan ran with, and says when the stop limit cut the list and where to
// change it.
TEST_F(MainWindowTest, ScanCompletedNamesWhatWasComparedAndWhatCutTheList) {
  for (const char* name : {"a1", "a2", "b1", "b2"}) {
    test::write_file(dir / name, std::string(name[0] == 'a' ? 3 : 5, name[0]));
  }
  SettingsRecord& s = g_block->settings;
  const SettingsRecord saved = s;
  s.beep_on_stop = 0;
  struct Case {
    const char* what;
    std::int32_t same_name, same_crc, stop_after;
    const char* line2;
  };
  const Case cases[] = {
      {"factory compare", 0, 1, 1000, "Compared: size, CRC-32"},
      {"size only, cut at one duplicate", 0, 0, 1,
       "Compared: size\nThe Stop Limit Cut The List: Settings, Stop Page"},
      {"size only under the limit", 0, 0, 1000, "Compared: size"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    s.same_name = c.same_name;
    s.same_crc = c.same_crc;
    s.stop_after = c.stop_after;
    scan(dir.path());
    ASSERT_TRUE(wait_scan_completed());
    GtkWidget* notice = gui::find_window("TheWinAskOK");
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(gui::label_text(notice, "Msg2"), c.line2);
    close_notices();
  }
  s = saved;
}

// The window's scan keeps the content cache as the Operation page says: on
// (the bit clear), the scan writes ContentCache; off, it neither reads nor
// writes it.
TEST_F(MainWindowTest, TheWindowsScanRemembersContentsOnlyWhenTheSettingSaysSo) {
  test::write_file(dir / "a", "same");
  test::write_file(dir / "b", "same");
  const std::string cache = std::string(std::getenv("HOME")) + "/.PeltoMarvish/ContentCache";
  g_block->settings.beep_on_stop = 0;
  for (bool remember : {true, false}) {
    SCOPED_TRACE(remember ? "on" : "off");
    unlink(cache.c_str());
    if (remember) {
      g_block->settings.reserved &= ~RESERVED_NO_CONTENT_CACHE;
    } else {
      g_block->settings.reserved |= RESERVED_NO_CONTENT_CACHE;
    }
    scan(dir.path());
    ASSERT_TRUE(wait_scan_completed());
    close_notices();
    EXPECT_EQ(row_text(2, 4), row_text(3, 4)) << "the two files grouped";
    EXPECT_EQ(access(cache.c_str(), F_OK) == 0, remember);
  }
  g_block->settings.reserved &= ~RESERVED_NO_CONTENT_CACHE;
}

TEST_F(MainWindowTest, StartScanWhileBusyGivesTheBusyNotice) {
  scan(dir.path());
  start_scan(*g_block, g_main);  // the first one holds the list
  GtkWidget* busy = gui::find_window("TheWinAskOK");
  ASSERT_NE(busy, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(busy)), "List Box Busy");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(g_object_get_data(G_OBJECT(busy), "Msg1"))),
               "Start Scan");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(g_object_get_data(G_OBJECT(busy), "Msg2"))),
               "Try after operation is complete");
  EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(g_main.window)));
  ASSERT_TRUE(wait_scan_completed());
  close_notices();
  EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(g_main.window)));
}

// Scan, then Stop from the tool bar in the same tick, before the scanner took
// the Scan (easy while a large list is being cleared): the list is given back
// every time, by the Stop or by the end of the scan the scanner did take. It
// stayed busy for good before.
TEST_F(MainWindowTest, ScanThenStopInOneTickNeverLeavesTheListBusy) {
  test::write_file(dir / "a", "same");
  test::write_file(dir / "b", "same");
  g_block->settings.beep_on_stop = 0;
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(gui::iterate_until([] { return g_block->status.load() == SCANNER_IDLE; }, 5000));
    // Every other round the scanner is held, so that the Stop surely comes
    // before it took the Scan; in the others the two race.
    const bool held = round % 2 == 0;
    if (held) {
      ASSERT_TRUE(hold_scanner());
    }
    scan(dir.path());
    ASSERT_EQ(g_block->list_busy.load(), 1);
    gui::click(GTK_WIDGET(g_main.window), "button22");  // Stop
    if (held) kill(scanner_, SIGCONT);
    const bool given_back =
        gui::iterate_until([] { return g_block->list_busy.load() == 0; }, 10000);
    EXPECT_TRUE(given_back) << "the list stayed busy";
    if (!given_back) {
      g_block->list_busy.store(0);  // for the tests after this one
      break;
    }
    close_notices();  // "Scan Completed", when the scanner had taken it
  }
  // Then a whole scan runs as ever, with no "List Box Busy" on the way.
  ASSERT_TRUE(gui::iterate_until([] { return g_block->status.load() == SCANNER_IDLE; }, 5000));
  scan(dir.path());
  ASSERT_TRUE(wait_scan_completed());
  for (GtkWidget* box : gui::find_windows("TheWinAskOK")) {
    EXPECT_STRNE(gtk_window_get_title(GTK_WINDOW(box)), "List Box Busy");
  }
  close_notices();
  EXPECT_EQ(row_text(2, 4), row_text(3, 4)) << "the two files grouped";
  EXPECT_EQ(g_block->list_busy.load(), 0);
}

// Clicks rows with the real mouse of the X server, so GTK sees the double
// and triple presses exactly as a user makes them: for each (row, presses),
// the pointer moves to the row and presses that many times.
void click_rows(const std::vector<std::pair<int, int>>& clicks) {
  int x, y;
  gdk_window_get_origin(gtk_tree_view_get_bin_window(g_main.view), &x, &y);
  std::string command = "xdotool";
  for (auto [row, presses] : clicks) {
    GdkRectangle area;
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_view_get_cell_area(g_main.view, path, gtk_tree_view_get_column(g_main.view, 1), &area);
    gtk_tree_path_free(path);
    command += " mousemove " + std::to_string(x + area.x + 5) + " " +
               std::to_string(y + area.y + area.height / 2) + " click --repeat " +
               std::to_string(presses) + " --delay 60 1";
  }
  gchar* argv[] = {const_cast<gchar*>("/bin/sh"), const_cast<gchar*>("-c"), command.data(),
                   nullptr};
  GPid pid;
  ASSERT_TRUE(g_spawn_async(nullptr, argv, nullptr, GSpawnFlags(G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
                            nullptr, &pid, nullptr));
  bool done = false;
  g_child_watch_add(
      pid,
      [](GPid p, gint, gpointer d) {
        *static_cast<bool*>(d) = true;
        g_spawn_close_pid(p);
      },
      &done);
  ASSERT_TRUE(gui::iterate_until([&] { return done; }, 10000));
}

void click_row(int row, int presses) { click_rows({{row, presses}}); }

// A list of a comment row and `rows` - 1 file rows, as the intake leaves it.
void fill_list(int rows) {
  g_main.clear_list();
  for (int i = 0; i < rows; ++i) {
    const char* const row[] = {i == 0 ? "/*" : " ", "d", "t", "1", "", "", "/x"};
    g_main.append_row(RowTexts{{row[0], row[1], row[2], row[3], row[4], row[5], row[6]}});
  }
  g_block->row_count.store(rows);
}

// A comment row, a group header and one file row for each of `files` (made
// with one byte each), with the identities the scan would have read.
void fill_group(const std::vector<std::string>& files) {
  g_main.clear_list();
  g_main.append_row(RowTexts{{"/*", "Sorted List", "*/", "", "", "", ""}});
  g_main.append_row(RowTexts{{"/*", "Group 1 ", "(1 - 3)", "*/", "", "", ""}});
  for (const std::string& file : files) {
    test::write_file(file, "x");
    struct stat st;
    lstat(file.c_str(), &st);
    FileIdentity id = identity_of(st);
    g_main.append_row(RowTexts{{" ", "d", "t", "1", "", "", file.c_str()}, &id});
  }
  g_block->row_count.store(g_main.rows().size());
  g_block->tagged_count.store(0);
  g_block->tagged_bytes.store(0);
}

std::string marks() {
  std::string m;
  for (int row = 2; row < row_count(); ++row) m += row_text(row, 0);
  return m;
}

TEST_F(MainWindowTest, DoubleAndTripleClicksRunTheirActionsOnce) {
  SettingsRecord& s = g_block->settings;
  s.confirm_delete = 0;
  s.deleted_mode = DELETED_MARK;
  auto after_dispatch = [] { gui::iterate_for(800); };
  test::InDirectory in(dir.path());  // the deletion log goes here

  struct Case {
    int presses;
    ClickAction on_double, on_triple;
    int row;
    std::string marks;  // of the three file rows afterwards
  };
  const Case cases[] = {
      {2, ACTION_TOGGLE_TAG, ACTION_NONE, 2, "*  "},         // tagged once, not twice
      {3, ACTION_TOGGLE_TAG, ACTION_DELETE_FILE, 3, " D "},  // the triple action only
      {1, ACTION_TOGGLE_TAG, ACTION_TOGGLE_TAG, 2, "   "},
      {2, ACTION_NONE, ACTION_TOGGLE_TAG, 2, "   "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.presses);
    fill_group({dir / "a", dir / "b", dir / "c"});
    gui::flush_events();
    s.double_click_action = c.on_double;
    s.triple_click_action = c.on_triple;
    click_row(c.row, c.presses);
    gint64 clicked = g_get_monotonic_time();
    EXPECT_TRUE(gui::iterate_until([&] { return selected_row() == c.row; }, 3000));
    if (g_get_monotonic_time() - clicked < 300000) {
      EXPECT_EQ(marks(), "   ") << "the action waits half a second";
    }
    after_dispatch();
    EXPECT_EQ(marks(), c.marks);
    EXPECT_EQ(access((dir / "b").c_str(), F_OK) == 0, c.marks[1] != 'D');
    EXPECT_EQ(g_main.click_kind, 0);
  }
  EXPECT_NE(test::read_file(dir / "deleted.log").find("Bytes Deleted \"" + dir / "b\"\n"),
            std::string::npos);
  s.double_click_action = s.triple_click_action = ACTION_NONE;
  g_block->deleted_count.store(0);
  g_block->deleted_bytes.store(0);

  // A click on another row while the action waits for a third press: the
  // action is still for the row double-clicked.
  s.double_click_action = ACTION_DELETE_FILE;
  fill_group({dir / "a", dir / "b", dir / "c"});
  gui::flush_events();
  click_rows({{3, 2}, {4, 1}});
  EXPECT_TRUE(gui::iterate_until([&] { return selected_row() == 4; }, 3000));
  after_dispatch();
  EXPECT_EQ(marks(), " D ");
  EXPECT_NE(access((dir / "b").c_str(), F_OK), 0);
  EXPECT_EQ(access((dir / "c").c_str(), F_OK), 0);
  EXPECT_EQ(selected_row(), 3) << "the action's row";
  s.double_click_action = s.triple_click_action = ACTION_NONE;
  g_block->deleted_count.store(0);
  g_block->deleted_bytes.store(0);

  // Unselecting leaves no selected row; a column title click never sorts.
  gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(g_main.view));
  EXPECT_EQ(selected_row(), -1);
  gtk_tree_view_column_clicked(gtk_tree_view_get_column(g_main.view, 6));
  gtk_tree_view_column_clicked(gtk_tree_view_get_column(g_main.view, 3));
  EXPECT_EQ(row_text(0, 0), "/*");
  EXPECT_EQ(row_text(3, 0), "D");
  EXPECT_EQ(row_text(4, 0), " ");
}

// The per-file commands and Print, from their menu entries, start what they
// run through the window's launcher, and show what it gives back.
TEST_F(MainWindowTest, FileCommandsAndPrintRunThroughTheWindowsLauncher) {
  test::InDirectory in(dir.path());  // the print file goes here
  const std::string a = dir / "it's a.txt";
  fill_group({a, dir / "b"});
  g_main.rows().select(2);
  auto click = [](const char* entry) { gui::click(GTK_WIDGET(g_main.window), entry); };

  click("menuitem57");  // Open Folder
  click("menuitem60");  // View File
  EXPECT_EQ(
      launcher_.shell_lines,
      (std::vector<std::string>{open_folder_command(a), helper_file_command("pmview", a, 'A', 1)}));

  click("menuitem59");  // User Function
  ASSERT_EQ(launcher_.runs.size(), 1u);
  EXPECT_EQ(launcher_.runs[0].argv,
            (std::vector<std::string>{"/bin/sh", "-c", helper_file_command("pmuser", a, 'A', 1)}));
  EXPECT_EQ(launcher_.runs[0].limits.out_bytes, 8192u);
  GtkWidget* output = gui::find_window("TheWinPMuser");
  ASSERT_NE(output, nullptr);
  EXPECT_TRUE(launcher_.finish(0, test::RecordingLauncher::exited(0, "what pmuser said")));
  GtkTextBuffer* buffer =
      gtk_text_view_get_buffer(GTK_TEXT_VIEW(gui::named_child(output, "TheText")));
  GtkTextIter from, to;
  gtk_text_buffer_get_bounds(buffer, &from, &to);
  gchar* shown = gtk_text_buffer_get_text(buffer, &from, &to, FALSE);
  EXPECT_STREQ(shown, "what pmuser said");
  g_free(shown);
  gui::click(output, "ButtonDismiss");
  gui::flush_events();

  // Closed before the helper ended: the run is stopped, nothing is shown.
  click("menuitem59");
  ASSERT_EQ(launcher_.runs.size(), 2u);
  gui::click(gui::find_window("TheWinPMuser"), "ButtonDismiss");
  gui::flush_events();
  EXPECT_TRUE(launcher_.runs[1].run->stopped);
  EXPECT_FALSE(launcher_.finish(1, test::RecordingLauncher::exited(0, "too late")));

  click("menuitem58");  // Info...
  ASSERT_EQ(launcher_.runs.size(), 3u);
  EXPECT_EQ(launcher_.runs[2].argv, (std::vector<std::string>{"file", "-b", "--", a}));
  EXPECT_EQ(launcher_.runs[2].limits.out_bytes, 256u);
  EXPECT_EQ(launcher_.runs[2].time_limit_ms, FILE_TYPE_TIME_LIMIT_MS);
  GtkWidget* info = gui::find_window("TheWinInfo");
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(launcher_.finish(2, test::RecordingLauncher::timed_out()));
  EXPECT_NE(gui::label_text(info, "TheInfoText").find("Magic file type : Unknown\n"),
            std::string::npos);
  gui::click(info, "ButView");  // the described file, through the same launcher
  EXPECT_EQ(launcher_.shell_lines.back(), helper_file_command("pmview", a, 'A', 1));
  gui::click(info, "ButOK");
  gui::flush_events();

  click("print_listbox");
  ASSERT_EQ(launcher_.runs.size(), 4u);
  const std::vector<std::string>& lpr = launcher_.runs[3].argv;
  ASSERT_EQ(lpr.size(), 2u);
  EXPECT_EQ(lpr[0], "lpr");
  EXPECT_EQ(test::read_file(dir / lpr[1]), print_text(g_main.rows()));
  EXPECT_EQ(launcher_.runs[3].limits.out_bytes, 1024u);
  EXPECT_EQ(launcher_.runs[3].limits.err, ErrorOutput::READ);
  EXPECT_EQ(launcher_.runs[3].limits.err_bytes, 1024u);
  EXPECT_TRUE(launcher_.finish(3, test::RecordingLauncher::exited(0, "request id is lp-7 ")));
  GtkWidget* notice = gui::find_window("TheWinAskOK");
  ASSERT_NE(notice, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(notice)), "Print Started");
  EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(g_object_get_data(G_OBJECT(notice), "Msg1")))),
            "request id is lp-7 " + lpr[1]);
  EXPECT_NE(access((dir / lpr[1]).c_str(), F_OK), 0) << "the print file is removed";
  close_notices();
  EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(g_main.window)));
}

TEST_F(MainWindowTest, HomeKeyGoesToTheFirstEntry) {
  fill_list(5);
  gtk_widget_grab_focus(GTK_WIDGET(g_main.view));
  GtkTreePath* last = gtk_tree_path_new_from_indices(4, -1);
  gtk_tree_view_set_cursor(g_main.view, last, nullptr, FALSE);
  gtk_tree_path_free(last);
  EXPECT_EQ(selected_row(), 4);

  gui::press_key(GTK_WIDGET(g_main.window), GDK_KEY_Home);
  EXPECT_EQ(selected_row(), 1);
}

}  // namespace

namespace {

// Answers the questions as they come, one step each: the kind of question
// window expected and the button to press. What each question said is kept
// as "title|line 1|line 2". A question that does not come in time fails the
// test and every modal window is closed, so nothing hangs.
class Answers {
 public:
  struct Step {
    const char* window;
    const char* button;
  };
  Answers(std::initializer_list<Step> steps, int timeout_ms = 5000)
      : steps_(steps), deadline_(g_get_monotonic_time() + gint64{timeout_ms} * 1000) {
    source_ = g_timeout_add(20, &Answers::tick, this);
  }
  Answers(const Answers&) = delete;
  Answers& operator=(const Answers&) = delete;
  ~Answers() {
    if (source_) g_source_remove(source_);
    EXPECT_EQ(next_, steps_.size()) << "questions left unasked";
  }
  std::vector<std::string> asked;

 private:
  static gboolean tick(gpointer self) { return static_cast<Answers*>(self)->step(); }
  gboolean step() {
    for (const char* name : {"TheWinAskYesNo", "TheWinAskYesNoAll", "TheWinAskYesNoNone"}) {
      GtkWidget* window = gui::find_window(name);
      if (!window) continue;
      auto line = [&](const char* label) {
        return std::string(
            gtk_label_get_text(GTK_LABEL(g_object_get_data(G_OBJECT(window), label))));
      };
      asked.push_back(std::string(gtk_window_get_title(GTK_WINDOW(window))) + "|" + line("Msg1") +
                      "|" + line("Msg2"));
      if (next_ >= steps_.size() || std::string(steps_[next_].window) != name) {
        ADD_FAILURE() << "unexpected question " << asked.back();
        gui::click(window, "ButtonNo");
      } else {
        gui::click(window, steps_[next_++].button);
      }
      return G_SOURCE_CONTINUE;
    }
    if (next_ < steps_.size() && g_get_monotonic_time() > deadline_) {
      ADD_FAILURE() << "question " << next_ << " was not asked";
      gui::destroy_windows({"TheWinAskYesNo", "TheWinAskYesNoAll", "TheWinAskYesNoNone"});
      next_ = steps_.size();
    }
    return G_SOURCE_CONTINUE;
  }
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  gint64 deadline_;
  guint source_ = 0;
};

std::string msg1() { return gtk_label_get_text(g_main.msg1); }

TEST_F(MainWindowTest, TagMenuEntriesAndKeysReachTheirCommands) {
  fill_group({dir / "a", dir / "b", dir / "c"});
  g_main.rows().select(2);
  gui::click(GTK_WIDGET(g_main.window), "menuitem102");  // Toggle Tag On Entry
  EXPECT_EQ(marks(), "*  ");
  EXPECT_EQ(msg1(), "1 File Tagged (1 bytes), 0 Files Deleted (0 bytes)");
  g_main.rows().select(4);
  gui::press_key(GTK_WIDGET(g_main.window), GDK_KEY_z, GDK_CONTROL_MASK);
  EXPECT_EQ(marks(), "* *");
  EXPECT_EQ(msg1(), "2 Files Tagged (2 bytes), 0 Files Deleted (0 bytes)");

  {
    Answers answers{{"TheWinAskYesNoAll", "ButtonAll"}};
    gui::press_key(GTK_WIDGET(g_main.window), GDK_KEY_u, GDK_CONTROL_MASK);  // Untag All
    EXPECT_EQ(answers.asked, std::vector<std::string>{"UNTAG ALL|UNTAG THIS ENTRY?|" + dir / "a"});
  }
  EXPECT_EQ(marks(), "   ");
  EXPECT_EQ(msg1(), "0 Files Tagged (0 bytes), 0 Files Deleted (0 bytes)");
  EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(g_main.window)));
  EXPECT_EQ(g_block->list_busy.load(), 0);

  gui::click(GTK_WIDGET(g_main.window), "menuitem96");  // Goto Entry #1
  EXPECT_EQ(selected_row(), 1);
}

TEST_F(MainWindowTest, EditMenuRemovesRowsAfterItsQuestions) {
  fill_group({dir / "a", dir / "b", dir / "c"});
  g_main.rows().select(3);
  gui::click(GTK_WIDGET(g_main.window), "menuitem83");  // Remove Line/Group
  EXPECT_EQ(row_count(), 4);
  g_main.rows().select(2);
  gui::press_key(GTK_WIDGET(g_main.window), GDK_KEY_z, GDK_CONTROL_MASK);  // tag /a
  {
    Answers answers{{"TheWinAskYesNo", "ButtonYes"}, {"TheWinAskYesNoAll", "ButtonYes"}};
    gui::press_key(GTK_WIDGET(g_main.window), GDK_KEY_r, GDK_CONTROL_MASK);  // Remove All tagged
    EXPECT_EQ(
        answers.asked,
        (std::vector<std::string>{
            "Remove All Tagged Entries|REMOVE ALL TAGGED ENTRIES FROM LISTBOX?|1 Tagged Entries",
            "REMOVE ALL TAGGED ENTRIES|REMOVE THIS ENTRY?|" + dir / "a"}));
  }
  EXPECT_EQ(row_count(), 3);
  EXPECT_EQ(row_text(2, 6), dir / "c");
  EXPECT_TRUE(g_main.rows().frozen() == false);
  EXPECT_EQ(gtk_tree_view_get_model(g_main.view), GTK_TREE_MODEL(g_main.rows().store()));
  EXPECT_EQ(access((dir / "a").c_str(), F_OK), 0) << "removing a row never touches the file";
}

TEST_F(MainWindowTest, DeleteKeyAndToolBarDeleteOnceAfterTheQuestion) {
  test::InDirectory in(dir.path());
  SettingsRecord& s = g_block->settings;
  s.confirm_delete = 1;
  s.deleted_mode = DELETED_MARK;
  g_block->deleted_count.store(0);
  g_block->deleted_bytes.store(0);
  fill_group({dir / "a", dir / "b", dir / "c"});
  g_main.rows().select(2);
  gtk_widget_grab_focus(GTK_WIDGET(g_main.view));
  {
    Answers answers{{"TheWinAskYesNo", "ButtonNo"}};
    gui::press_key(GTK_WIDGET(g_main.window), GDK_KEY_Delete);
    EXPECT_EQ(answers.asked, std::vector<std::string>{"DELETE|DELETE THIS FILE?|" + dir / "a"});
  }
  EXPECT_EQ(access((dir / "a").c_str(), F_OK), 0);
  {
    Answers answers{{"TheWinAskYesNo", "ButtonYes"}};
    gui::click(GTK_WIDGET(g_main.window), "button28");  // the tool bar's Delete
  }
  EXPECT_NE(access((dir / "a").c_str(), F_OK), 0);
  EXPECT_EQ(marks(), "D  ");
  EXPECT_EQ(msg1(), "0 Files Tagged (0 bytes), 1 File Deleted (1 bytes)");
  std::string log = test::read_file(dir / "deleted.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 7) << "the header, a blank line, one entry";
  s.confirm_delete = 0;
  g_block->deleted_count.store(0);
  g_block->deleted_bytes.store(0);
}

// In both walks, "No To All" at the first LAST COPY question keeps every
// last copy of the walk without another question.
// "Tag Copies By Rule..." (Ctrl+K) in the Tag menu, and its help page in
// the Help menu.
TEST_F(MainWindowTest, TagCopiesByRuleOpensFromItsEntryAndKey) {
  fill_group({dir / "a", dir / "b"});
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(g_main.widget("tag_by_rule"))),
               "Tag Copies By Rule...");
  gui::press_key(GTK_WIDGET(g_main.window), GDK_KEY_k, GDK_CONTROL_MASK);
  GtkWidget* window = gui::wait_for_window("TheWinTagRule");
  ASSERT_NE(window, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Pelto Marvish Tag By Rule");
  gui::click(window, "ButtonCancel");
  gui::flush_events();
  gui::click(GTK_WIDGET(g_main.window), "help_tag_by_rule");
  GtkWidget* help = gui::wait_for_window("TheWinHelp");
  ASSERT_NE(help, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(help)), "Help on TagByRule (PeltoMarvish)");
  gui::destroy_windows({"TheWinHelp"});
}

TEST_F(MainWindowTest, NoToAllKeepsEveryLastCopyInBothWalks) {
  test::InDirectory in(dir.path());
  for (bool tagged : {true, false}) {
    SCOPED_TRACE(tagged ? "Delete All Tagged Files" : "Delete All NON-Tagged Files");
    g_main.clear_list();
    g_main.append_row(RowTexts{{"/*", "Sorted List", "*/", "", "", "", ""}});
    for (const char* name : {"one", "two"}) {
      g_main.append_row(RowTexts{{"/*", "Group 1 ", "(1 - 1)", "*/", "", "", ""}});
      std::string file = dir / name;
      test::write_file(file, name);
      struct stat st;
      lstat(file.c_str(), &st);
      FileIdentity id = identity_of(st);
      g_main.append_row(RowTexts{{" ", "d", "t", "3", "", "", file.c_str()}, &id});
    }
    g_block->row_count.store(g_main.rows().size());
    g_block->tagged_count.store(0);
    g_block->tagged_bytes.store(0);
    if (tagged) {
      g_main.rows().tag(2);
      g_main.rows().tag(4);
    }
    {
      Answers answers{{"TheWinAskYesNo", "ButtonYes"},
                      {"TheWinAskYesNoAll", "ButtonAll"},
                      {"TheWinAskYesNoNone", "ButtonNoToAll"}};
      gui::click(GTK_WIDGET(g_main.window), tagged ? "menuitem91" : "menuitem92");
      ASSERT_EQ(answers.asked.size(), 3u);
      EXPECT_EQ(answers.asked[2],
                "LAST COPY|THIS IS THE LAST COPY OF THIS GROUP, DELETE IT?|" + dir / "one");
    }
    EXPECT_EQ(access((dir / "one").c_str(), F_OK), 0);
    EXPECT_EQ(access((dir / "two").c_str(), F_OK), 0) << "kept without a question";
    // One notice ends the walk, counting what it kept.
    GtkWidget* notice = gui::find_window("TheWinAskOK");
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(gui::label_text(notice, "Msg1"), "0 Files Deleted (0 bytes freed)");
    EXPECT_EQ(gui::label_text(notice, "Msg2"), "2 Skipped: 2 Last Copy Kept");
    close_notices();
  }
  g_block->tagged_count.store(0);
  g_block->tagged_bytes.store(0);
}

TEST_F(MainWindowTest, DeleteAllAsksTheLastCopyEvenAfterYesToAll) {
  test::InDirectory in(dir.path());
  g_block->settings.deleted_mode = DELETED_REMOVE;
  fill_group({dir / "a", dir / "b", dir / "c"});
  {
    Answers answers{{"TheWinAskYesNo", "ButtonYes"},
                    {"TheWinAskYesNoAll", "ButtonAll"},
                    {"TheWinAskYesNoNone", "ButtonNo"}};
    gui::click(GTK_WIDGET(g_main.window), "menuitem92");  // Delete All NON-Tagged Files
    EXPECT_EQ(answers.asked,
              (std::vector<std::string>{
                  "Delete All NON-Tagged Entries|DELETE ALL NON-TAGGED FILES FROM LISTBOX?|",
                  "DELETE ALL NON-TAGGED|DELETE THIS FILE?|" + dir / "a",
                  "LAST COPY|THIS IS THE LAST COPY OF THIS GROUP, DELETE IT?|" + dir / "c"}));
  }
  EXPECT_EQ(marks(), " ") << "the kept copy";
  EXPECT_EQ(access((dir / "c").c_str(), F_OK), 0);
  GtkWidget* notice = gui::find_window("TheWinAskOK");
  ASSERT_NE(notice, nullptr) << "the walk's end notice";
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(notice)), "Delete All NON-Tagged Entries");
  EXPECT_EQ(gui::label_text(notice, "Msg2"), "1 Skipped: 1 Last Copy Kept");
  close_notices();
  EXPECT_EQ(gtk_tree_view_get_model(g_main.view), GTK_TREE_MODEL(g_main.rows().store()))
      << "the list is shown again after the walk";
  g_block->settings.deleted_mode = DELETED_MARK;
  g_block->deleted_count.store(0);
  g_block->deleted_bytes.store(0);
}

TEST_F(MainWindowTest, HardLinkAllTaggedReplacesTheCopiesFromTheDeleteMenu) {
  test::InDirectory in(dir.path());  // the deletion log goes here
  fill_group({dir / "a", dir / "b", dir / "c"});
  g_main.rows().tag(3);
  g_main.rows().tag(4);
  {
    Answers answers{{"TheWinAskYesNo", "ButtonYes"}, {"TheWinAskYesNoAll", "ButtonAll"}};
    gui::click(GTK_WIDGET(g_main.window), "hard_link_tagged");
    EXPECT_EQ(answers.asked,
              (std::vector<std::string>{
                  "Hard-Link All Tagged Files|REPLACE ALL TAGGED FILES BY "
                  "HARD LINKS TO THEIR KEPT COPIES?|2 Tagged Entries",
                  "HARD-LINK ALL TAGGED|REPLACE THIS FILE BY A HARD LINK?|" + dir / "b"}));
  }
  GtkWidget* notice = gui::wait_for_window("TheWinAskOK");
  ASSERT_NE(notice, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(notice)), "Hard-Link All Tagged Files");
  close_notices();
  struct stat a, b, c;
  lstat((dir / "a").c_str(), &a);
  lstat((dir / "b").c_str(), &b);
  lstat((dir / "c").c_str(), &c);
  EXPECT_EQ(b.st_ino, a.st_ino);
  EXPECT_EQ(c.st_ino, a.st_ino);
  EXPECT_EQ(marks(), "   ");
  EXPECT_EQ(g_block->tagged_count.load(), 0);
  EXPECT_NE(g_main.rows().tooltip_markup(3).find("Hard link of: "), std::string::npos);

  // Nothing went to the trash: the undo is greyed whenever the menu opens.
  GtkWidget* undo = GTK_WIDGET(g_main.widget("undo_move_to_trash"));
  gtk_widget_set_sensitive(undo, TRUE);
  GtkWidget* menu = GTK_WIDGET(g_main.widget("menuitem89_menu"));
  gtk_widget_show(menu);
  EXPECT_FALSE(gtk_widget_get_sensitive(undo));
  gtk_widget_hide(menu);
}

// A second name of an inode already in its group is drawn in italics in
// every column, with the first name as its tooltip; a new group starts over.
TEST_F(MainWindowTest, HardLinksAreDrawnInItalicsWithTheirFirstName) {
  std::string first = dir / "first", link = dir / "link", other = dir / "other";
  test::write_file(first, "x");
  ASSERT_EQ(::link(first.c_str(), link.c_str()), 0);
  fill_group({first, other, link});
  struct stat st;
  lstat(first.c_str(), &st);
  FileIdentity id = identity_of(st);
  g_main.append_row(RowTexts{{"/*", "Group 2 ", "(6 - 6)", "*/", "", "", ""}});
  g_main.append_row(RowTexts{{" ", "d", "t", "1", "", "", link.c_str()}, &id});
  gui::iterate_for(100);  // drawn

  GtkTreeModel* model = GTK_TREE_MODEL(g_main.rows().store());
  const int italic_rows[] = {4};
  for (int row = 0; row < row_count(); ++row) {
    SCOPED_TRACE(row);
    bool italic =
        std::find(std::begin(italic_rows), std::end(italic_rows), row) != std::end(italic_rows);
    GtkTreeIter iter;
    ASSERT_TRUE(gtk_tree_model_iter_nth_child(model, &iter, nullptr, row));
    for (int column = 0; column <= COL_PATH; ++column) {
      GtkTreeViewColumn* view_column = gtk_tree_view_get_column(g_main.view, column);
      gtk_tree_view_column_cell_set_cell_data(view_column, model, &iter, FALSE, FALSE);
      GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(view_column));
      PangoStyle style;
      g_object_get(cells->data, "style", &style, nullptr);
      g_list_free(cells);
      EXPECT_EQ(style, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL) << column;
    }
    const std::string path = g_main.rows().path(row);
    std::string tooltip = path.empty() ? "" : path;  // no tooltip for headers and comments
    if (italic) tooltip += "\nHard link of: " + first;
    EXPECT_EQ(g_main.rows().tooltip_markup(row), tooltip);
  }
}

// The tooltip of the row under the cursor, as markup ("" when the view
// shows none): the view is asked as GTK asks it for a keyboard tooltip.
std::string cursor_row_tooltip(int row) {
  GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
  gtk_tree_view_set_cursor(g_main.view, path, nullptr, FALSE);
  gtk_tree_path_free(path);
  GtkTooltip* tooltip = GTK_TOOLTIP(g_object_new(GTK_TYPE_TOOLTIP, nullptr));
  gboolean shown = FALSE;
  g_signal_emit_by_name(g_main.view, "query-tooltip", 0, 0, TRUE, tooltip, &shown);
  g_object_unref(tooltip);
  return shown ? g_main.rows().tooltip_markup(row) : "";
}

// A long path shows its end: the directory is elided in its middle, the file
// name is whole at the end of the column, and the whole path (markup-escaped)
// is the row's tooltip.
TEST_F(MainWindowTest, LongPathsKeepTheirFileNameInViewAndShowWholeAsTooltip) {
  const std::string directory =
      "/home/ann/Downloads/install media/debian/releases/bookworm/amd64 & <friends>/";
  const std::string names[] = {"debian-12.5.0-amd64-netinst.iso",
                               "debian-12.5.0-amd64-netinst.iso.part"};
  g_main.clear_list();
  g_main.append_row(RowTexts{{"/*", "Group 1 ", "(1 - 2)", "*/", "", "", ""}});
  for (const std::string& name : names) {
    const std::string path = directory + name;
    g_main.append_row(RowTexts{{" ", "d", "t", "1", "", "", path.c_str()}});
  }
  g_block->row_count.store(3);
  gui::iterate_for(100);  // laid out and drawn

  GtkTreeViewColumn* column = gtk_tree_view_get_column(g_main.view, COL_PATH);
  EXPECT_TRUE(gtk_tree_view_column_get_expand(column));
  GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column));
  ASSERT_EQ(g_list_length(cells), 1u);
  GtkCellRenderer* cell = GTK_CELL_RENDERER(cells->data);
  g_list_free(cells);
  PangoEllipsizeMode ellipsize;
  g_object_get(cell, "ellipsize", &ellipsize, nullptr);
  EXPECT_EQ(ellipsize, PANGO_ELLIPSIZE_MIDDLE);
  gint xpad;
  gtk_cell_renderer_get_padding(cell, &xpad, nullptr);

  GtkTreeModel* model = GTK_TREE_MODEL(g_main.rows().store());
  for (int row = 1; row <= 2; ++row) {
    SCOPED_TRACE(row);
    GtkTreeIter iter;
    ASSERT_TRUE(gtk_tree_model_iter_nth_child(model, &iter, nullptr, row));
    gtk_tree_view_column_cell_set_cell_data(column, model, &iter, FALSE, FALSE);
    // The room the renderer has for text in this row.
    GdkRectangle area;
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_view_get_cell_area(g_main.view, path, column, &area);
    gtk_tree_path_free(path);
    const int room = area.width - 2 * xpad;
    ASSERT_GT(room, 100);
    gchar* text = nullptr;
    g_object_get(cell, "text", &text, nullptr);
    const std::string shown = text != nullptr ? text : "";
    g_free(text);
    const std::string tail = "\xE2\x80\xA6/" + names[row - 1];  // "…/NAME" at least
    EXPECT_EQ(shown.rfind("/home/", 0), 0u) << shown;
    EXPECT_NE(shown.find("\xE2\x80\xA6"), std::string::npos) << shown;
    EXPECT_EQ(shown.substr(shown.size() - names[row - 1].size() - 1), "/" + names[row - 1])
        << shown;
    PangoLayout* layout = gtk_widget_create_pango_layout(GTK_WIDGET(g_main.view), shown.c_str());
    int width;
    pango_layout_get_pixel_size(layout, &width, nullptr);
    g_object_unref(layout);
    EXPECT_LE(width, room) << shown << " fits the column, so no further ellipsis cuts the name";
    EXPECT_GT(shown.size(), tail.size() + 10) << "as much of the directory as fits";

    gchar* escaped = g_markup_escape_text((directory + names[row - 1]).c_str(), -1);
    EXPECT_EQ(cursor_row_tooltip(row), escaped);
    g_free(escaped);
  }
  EXPECT_EQ(cursor_row_tooltip(0), "") << "a header has none";
}

TEST_F(MainWindowTest, FileNamesShowAsOneLineOfValidTextWithoutWarnings) {
  EXPECT_EQ(gtk_widget_get_sensitive(GTK_WIDGET(g_main.window)), TRUE);
  int width, height;
  gtk_widget_get_size_request(GTK_WIDGET(g_main.window), &width, &height);
  EXPECT_EQ(width, 647);
  EXPECT_EQ(height, 400);

  gui::take_warnings();
  g_main.clear_list();
  std::string odd = "/tmp/caf\xE9\nline\tx";
  FileIdentity id{1, 2, 3, 4, 5, S_IFREG};
  g_main.append_row(RowTexts{{"/*", "Sorted List", "*/", "", "", "", ""}});
  g_main.append_row(RowTexts{{" ", "d", "t", "3", "", "", odd.c_str()}, &id});
  g_main.show_status("Access Denied to /tmp/caf\xE9");
  gui::iterate_for(200);  // drawn
  EXPECT_EQ(row_text(1, 6), "/tmp/caf\xEF\xBF\xBD\\nline\\tx");
  EXPECT_EQ(g_main.rows().path(1), odd);
  EXPECT_EQ(msg1(), "Access Denied to /tmp/caf\xEF\xBF\xBD");
  EXPECT_EQ(gui::take_warnings(), std::vector<std::string>{});
}

}  // namespace

namespace {

int settings_page() {
  GtkWidget* window = settings_window();
  if (!window) return -2;
  return gtk_notebook_get_current_page(GTK_NOTEBOOK(gui::named_child(window, "Notebook")));
}

void cancel_settings() {
  gui::click(settings_window(), "buttonCancel");
  gui::flush_events();
}

TEST_F(MainWindowTest, SettingsWindowOpensFromEveryCallerOnItsPage) {
  const std::pair<const char*, int> callers[] = {
      {"menuitem70", 0}, {"menuitem71", 1}, {"menuitem72", 2},           {"menuitem73", 3},
      {"menuitem74", 4}, {"menuitem75", 5}, {"exclude_directories1", 6}, {"menuitem76", 7},
      {"menuitem77", 8}, {"menuitem78", 9}, {"menuitem79", 10}};
  for (const auto& [entry, page] : callers) {
    gui::click(GTK_WIDGET(g_main.window), entry);
    gui::flush_events();
    EXPECT_EQ(settings_page(), page) << entry;
    EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(g_main.window)));
    cancel_settings();
  }
  gui::click(GTK_WIDGET(g_main.window), "menuitem76");  // Compare Logic, closed there
  gui::flush_events();
  cancel_settings();
  gui::press_key(GTK_WIDGET(g_main.window), GDK_KEY_F2);  // Settings Notebook: the last page
  gui::flush_events();
  EXPECT_EQ(settings_page(), 7);
  cancel_settings();
  gui::click(GTK_WIDGET(g_main.window), "button20");  // the tool bar's Settings
  gui::flush_events();
  EXPECT_EQ(settings_page(), 7);
  cancel_settings();
  EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(g_main.window)));
}

TEST_F(MainWindowTest, AFirstStartOpensTheSettingsOnPageZero) {
  g_settings_defaulted = true;
  EXPECT_TRUE(gui::iterate_until([] { return settings_window() != nullptr; }));
  EXPECT_EQ(settings_page(), 0);
  EXPECT_FALSE(g_settings_defaulted);
  cancel_settings();
}

}  // namespace

namespace {

GtkWidget* find_entry(const char* name) { return gui::named_child(find_window(), name); }

TEST_F(MainWindowTest, FindWindowFindsNextAndTagsWithItsHistories) {
  fill_group({dir / "a", dir / "b", dir / "c"});
  std::strcpy(g_state.find_has_history[0], "*/b");
  std::strcpy(g_state.find_has_history[1], "older");
  g_state.find_has_history[2][0] = '\0';
  g_state.find_not_history[0][0] = '\0';
  g_main.rows().unselect();

  gui::click(GTK_WIDGET(g_main.window), "menuitem97");  // Find / Tag...
  ASSERT_NE(find_window(), nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(find_window())), "Find");
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(find_entry("entry1"))), "*/b");
  GtkTreeModel* items = gtk_combo_box_get_model(GTK_COMBO_BOX(find_entry("TheFindKey")));
  EXPECT_EQ(gtk_tree_model_iter_n_children(items, nullptr), 1) << "the older text";
  EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(g_main.window)));

  gui::click(find_window(), "ButFindNext");
  EXPECT_EQ(selected_row(), 3);
  EXPECT_STREQ(g_state.find_has_history[0], "*/b");
  EXPECT_STREQ(g_state.find_has_history[1], "*/b");
  EXPECT_STREQ(g_state.find_has_history[2], "older");
  EXPECT_NE(find_window(), nullptr) << "Find Next leaves the window open";
  EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(g_main.window))) << "the found row shows";

  gtk_entry_set_text(GTK_ENTRY(find_entry("entry1")), "*/[ac]");
  gui::click(find_window(), "ButTag");
  gui::flush_events();
  EXPECT_EQ(find_window(), nullptr);
  EXPECT_EQ(marks(), "* *");
  EXPECT_EQ(std::string(gtk_label_get_text(g_main.msg1)),
            "2 Files Tagged (2 bytes), 0 Files Deleted (0 bytes)");
  EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(g_main.window)));
}

TEST_F(MainWindowTest, FindIsRefusedOnAShortOrBusyList) {
  fill_list(2);
  gui::click(GTK_WIDGET(g_main.window), "menuitem97");
  EXPECT_EQ(find_window(), nullptr);
  fill_group({dir / "a", dir / "b"});
  g_block->list_busy.store(1);
  gui::click(GTK_WIDGET(g_main.window), "button23");  // Find, with the busy test
  EXPECT_EQ(find_window(), nullptr);
  GtkWidget* busy = gui::find_window("TheWinAskOK");
  ASSERT_NE(busy, nullptr);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(g_object_get_data(G_OBJECT(busy), "Msg1"))),
               "Find/Tag Files");
  close_notices();
  gui::click(GTK_WIDGET(g_main.window), "menuitem97");  // without it
  EXPECT_NE(find_window(), nullptr);
  gui::click(find_window(), "ButCancel");
  gui::flush_events();
  EXPECT_EQ(find_window(), nullptr);
  g_block->list_busy.store(0);
  EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(g_main.window)));
}

}  // namespace

namespace {

TEST_F(MainWindowTest, SaveAndRestoreContentsFromTheListBoxMenu) {
  test::InDirectory in(dir.path());
  fill_group({dir / "a", dir / "b", dir / "c"});
  g_main.rows().select(3);
  gui::press_key(GTK_WIDGET(g_main.window), GDK_KEY_z, GDK_CONTROL_MASK);
  gui::click(GTK_WIDGET(g_main.window), "menuitem64");  // Save Contents
  EXPECT_EQ(test::read_file(dir / "Contents").rfind("5\n", 0), 0u);
  g_main.clear_list();
  g_block->row_count.store(0);
  gui::click(GTK_WIDGET(g_main.window), "menuitem65");  // Restore Contents
  gui::flush_events();
  EXPECT_EQ(row_count(), 5);
  EXPECT_EQ(marks(), " * ");
  EXPECT_EQ(std::string(gtk_label_get_text(g_main.msg1)),
            "1 File Tagged (1 bytes), 0 Files Deleted (0 bytes)");
  EXPECT_EQ(gtk_tree_view_get_model(g_main.view), GTK_TREE_MODEL(g_main.rows().store()));
}

}  // namespace

namespace {

TEST_F(MainWindowTest, WriteScriptOpensFromTheMenuAndTheToolBar) {
  fill_group({dir / "a", dir / "b"});
  for (const char* caller : {"menuitem61", "button27"}) {
    gui::click(GTK_WIDGET(g_main.window), caller);
    gui::flush_events();
    ASSERT_NE(script_window(), nullptr) << caller;
    gui::click(script_window(), "ButtonCancel");
    gui::flush_events();
    EXPECT_EQ(script_window(), nullptr);
  }
  EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(g_main.window)));
}

}  // namespace

namespace {

// A comment row, then `groups` groups of `per_group` file rows each (no
// identities: nothing here touches a file). The file rows are named
// /data/gG/fF.txt; `name_at` renames the file row at that index.
void fill_groups(int groups, int per_group, int name_at = -1, const char* name = "") {
  g_main.clear_list();
  g_main.append_row(RowTexts{{"/*", "Sorted List", "*/", "", "", "", ""}});
  for (int g = 1; g <= groups; ++g) {
    std::string title = "Group " + std::to_string(g) + " ";
    g_main.append_row(RowTexts{{"/*", title.c_str(), "(1 - 2)", "*/", "", "", ""}});
    for (int f = 0; f < per_group; ++f) {
      std::string path = "/data/g" + std::to_string(g) + "/f" + std::to_string(f) + ".txt";
      if (g_main.rows().size() == name_at) path = name;
      g_main.append_row(RowTexts{{" ", "d", "t", "1", "", "", path.c_str()}});
    }
  }
  g_block->row_count.store(g_main.rows().size());
  g_block->tagged_count.store(0);
  g_block->tagged_bytes.store(0);
}

// The first and last rows the list shows (partly shown ones count), or
// {-1, -1}.
std::pair<int, int> visible_rows() {
  GtkTreePath *start = nullptr, *end = nullptr;
  if (!gtk_tree_view_get_visible_range(g_main.view, &start, &end)) return {-1, -1};
  std::pair<int, int> range{gtk_tree_path_get_indices(start)[0], gtk_tree_path_get_indices(end)[0]};
  gtk_tree_path_free(start);
  gtk_tree_path_free(end);
  return range;
}

// Whether the list comes to show every row of [first, last] once it has been
// laid out and drawn.
bool comes_into_view(int first, int last) {
  return gui::iterate_until(
      [&] {
        auto [top, bottom] = visible_rows();
        return top >= 0 && top <= first && last <= bottom;
      },
      2000);
}

std::string shown_range() {
  auto [top, bottom] = visible_rows();
  return "rows " + std::to_string(top) + " to " + std::to_string(bottom) + " shown, row " +
         std::to_string(selected_row()) + " selected";
}

// Scrolls the list to its top or its end, as the scroll bar would.
void scroll_list_to(bool end) {
  GtkAdjustment* v = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(g_main.view));
  gtk_adjustment_set_value(
      v, end ? gtk_adjustment_get_upper(v) - gtk_adjustment_get_page_size(v) : 0.0);
  gui::iterate_for(50);
}

// Every command that selects a row for the user scrolls the list so that
// the row shows: Find Next, Goto Entry #1, a restored list.
TEST_F(MainWindowTest, ARowSelectedForTheUserIsScrolledIntoView) {
  test::InDirectory in(dir.path());
  fill_groups(40, 5, 152, "/data/My Favourites/list.txt");
  ASSERT_EQ(row_count(), 241);
  gui::flush_events();
  g_main.rows().select(3);
  ASSERT_TRUE(comes_into_view(3, 3)) << shown_range();

  std::strcpy(g_state.find_has_history[0], "*Favourites*");
  g_state.find_not_history[0][0] = '\0';
  gui::click(GTK_WIDGET(g_main.window), "menuitem97");  // Find / Tag...
  ASSERT_NE(find_window(), nullptr);
  gui::click(find_window(), "ButFindNext");
  EXPECT_EQ(selected_row(), 152);
  EXPECT_TRUE(comes_into_view(152, 152)) << "Find Next: " << shown_range();
  gui::click(find_window(), "ButCancel");
  gui::flush_events();

  scroll_list_to(true);
  gui::click(GTK_WIDGET(g_main.window), "menuitem96");  // Goto Entry #1
  EXPECT_EQ(selected_row(), 1);
  EXPECT_TRUE(comes_into_view(1, 1)) << "Goto Entry #1: " << shown_range();

  g_main.rows().select(200);
  EXPECT_TRUE(comes_into_view(200, 200)) << "select: " << shown_range();
  gui::click(GTK_WIDGET(g_main.window), "menuitem64");  // Save Contents
  g_main.clear_list();
  g_block->row_count.store(0);
  gui::iterate_for(50);
  gui::click(GTK_WIDGET(g_main.window), "menuitem65");  // Restore Contents
  ASSERT_EQ(row_count(), 241);
  EXPECT_EQ(selected_row(), 235) << "the last group header, as saved";
  EXPECT_TRUE(comes_into_view(235, 235)) << "Restore Contents: " << shown_range();
}

// While a walk asks about a row, the row shows with its group header above
// it when the group fits in the list, else a few rows below the top edge.
TEST_F(MainWindowTest, AQuestionAboutARowShowsItWithItsGroup) {
  struct Case {
    const char* name;
    int groups, per_group;
    int tagged;  // the row asked about
    bool header_shows;
  };
  const Case cases[] = {
      {"a small group far down", 40, 5, 171, true},  // group 29: rows 169 to 174
      {"the last row of a small group", 40, 5, 174, true},
      {"a group longer than the list", 2, 150, 260, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fill_groups(c.groups, c.per_group);
    g_main.rows().tag(c.tagged);
    gui::flush_events();
    scroll_list_to(false);
    int first, last;
    g_main.rows().group_span(c.tagged, first, last);
    ASSERT_EQ(g_main.rows().classify_row(first), ROW_GROUP);

    bool header_and_row = false, row_below_top = false;
    std::string seen;
    gui::WhenShown answer("TheWinAskYesNoAll", [&](GtkWidget* question) {
      header_and_row = comes_into_view(first, c.tagged);
      row_below_top = comes_into_view(c.tagged - 2, c.tagged);
      seen = shown_range();
      gui::click(question, "buttonCancel");
    });
    gui::click(GTK_WIDGET(g_main.window), "menuitem100");  // Untag All
    EXPECT_TRUE(answer.acted());
    EXPECT_EQ(header_and_row, c.header_shows) << seen;
    EXPECT_TRUE(row_below_top) << seen;
    g_block->tagged_count.store(0);
    g_block->tagged_bytes.store(0);
  }
}

}  // namespace

namespace {

// The list's background and text colours, as its theme draws them.
std::pair<GdkRGBA, GdkRGBA> view_colours() {
  GtkStyleContext* style = gtk_widget_get_style_context(GTK_WIDGET(g_main.view));
  GdkRGBA* background = nullptr;
  GdkRGBA* text = nullptr;
  gtk_style_context_get(style, gtk_style_context_get_state(style), "background-color", &background,
                        "color", &text, nullptr);
  std::pair<GdkRGBA, GdkRGBA> colours{*background, *text};
  gdk_rgba_free(background);
  gdk_rgba_free(text);
  return colours;
}

// A colour column of a row (alpha 0 when unset).
GdkRGBA row_colour(int row, int column) {
  GtkTreeModel* store = GTK_TREE_MODEL(g_main.rows().store());
  GtkTreeIter iter;
  gtk_tree_model_iter_nth_child(store, &iter, nullptr, row);
  GdkRGBA* colour = nullptr;
  gtk_tree_model_get(store, &iter, column, &colour, -1);
  GdkRGBA value = colour != nullptr ? *colour : GdkRGBA{0, 0, 0, 0};
  if (colour != nullptr) gdk_rgba_free(colour);
  return value;
}

std::string describe(const GdkRGBA& colour) {
  gchar* text = gdk_rgba_to_string(&colour);
  std::string described = text;
  g_free(text);
  return described;
}

void set_dark_theme(bool dark) {
  g_object_set(gtk_settings_get_default(), "gtk-theme-name", "Adwaita",
               "gtk-application-prefer-dark-theme", dark ? TRUE : FALSE, nullptr);
  gui::iterate_for(100);
}

// Under Adwaita's dark variant the group headers, comment rows and tagged
// rows are drawn in lighter or darker variants of their hues that read at
// 4.5:1 or better; back on the light theme they are the usual colours.
TEST_F(MainWindowTest, HeadersAndTaggedRowsReadOnADarkTheme) {
  fill_group({dir / "a", dir / "b", dir / "c"});
  g_main.rows().tag(2);
  g_main.rows().tag(3);
  g_main.rows().untag(3);
  set_dark_theme(true);
  auto [background, text] = view_colours();
  ASSERT_LT(relative_luminance(background), 0.1) << describe(background) << ": a dark list";

  for (int row : {0, 1}) {  // the comment row, the group header
    const GdkRGBA shown = row_colour(row, COL_FOREGROUND);
    EXPECT_GE(contrast_ratio(shown, background), READABLE_CONTRAST) << describe(shown);
    EXPECT_GT(shown.blue, shown.red + 0.1) << "still blue: " << describe(shown);
    EXPECT_NEAR(shown.red, shown.green, 0.02) << describe(shown);
  }
  const GdkRGBA tagged = row_colour(2, COL_BACKGROUND);
  EXPECT_GE(contrast_ratio(tagged, text), READABLE_CONTRAST) << describe(tagged);
  EXPECT_GT(tagged.red, tagged.green) << "still the tag's hue: " << describe(tagged);
  EXPECT_GT(tagged.green, tagged.blue) << describe(tagged);
  EXPECT_GE(contrast_ratio(tagged, background), 1.2) << "a tagged row stands out";
  const GdkRGBA untagged = row_colour(3, COL_BACKGROUND);
  EXPECT_GE(contrast_ratio(untagged, text), READABLE_CONTRAST) << describe(untagged);
  g_main.rows().tag(4);  // tagged while dark
  const GdkRGBA tagged_now = row_colour(4, COL_BACKGROUND);
  EXPECT_TRUE(gdk_rgba_equal(&tagged, &tagged_now)) << describe(tagged_now);

  set_dark_theme(false);
  EXPECT_TRUE(row_has_comment_colour(0));
  EXPECT_TRUE(row_has_comment_colour(1));
  for (int row : {2, 4}) {
    const GdkRGBA light = row_colour(row, COL_BACKGROUND);
    EXPECT_TRUE(gdk_rgba_equal(&light, &TAG_COLOUR)) << describe(light);
  }
  const GdkRGBA plain = row_colour(3, COL_BACKGROUND);
  EXPECT_TRUE(gdk_rgba_equal(&plain, &PLAIN_COLOUR)) << describe(plain);
}

}  // namespace
