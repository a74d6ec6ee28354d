// The help dialog and the text dialog, driven in a real X server.
#include "ui/dialogs/help_viewer.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "core/coded_text.h"
#include "core/version.h"
#include "ui/dialogs/dialogs.h"
#include "ui/support/gui_test.h"

namespace {

namespace fs = std::filesystem;

// What the help dialog should show for a page held in the program.
std::string page_text(const char* page) {
  const CodedText* coded = find_coded_text(page);
  if (!coded) return std::string("No help page ") + page + ".";
  std::vector<char> text(16384);
  decode_text(coded->bytes, coded->size, text.data(), text.size());
  return text.data();
}

class HelpViewerTest : public testing::Test {
 protected:
  void SetUp() override {
    main_window_ = gui::open_stand_in_main_window();

    // The text dialog reads relative to the working directory (the data
    // directory, in the program).
    old_dir_ = fs::current_path();
    gchar* dir = g_dir_make_tmp("pm-help-XXXXXX", nullptr);
    ASSERT_NE(dir, nullptr);
    dir_ = dir;
    g_free(dir);
    fs::current_path(dir_);
    gui::flush_events();
  }

  void TearDown() override {
    gui::destroy_windows({"TheWinHelp", "TheWinText"});
    gui::close_stand_in_main_window(main_window_);
    fs::current_path(old_dir_);
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  void write_file(const char* name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }

  // Opens the log the way "View Deleted Log File" does and returns its dialog.
  GtkWidget* view_deleted_log() {
    show_text_file("Deleted Log", "deleted.log");
    return gui::find_window("TheWinText");
  }

  GtkWidget* main_window_ = nullptr;
  fs::path old_dir_;
  fs::path dir_;
};

// ---- Help pages ------------------------------------------------------------------

struct PageCase {
  const char* asked;
  const char* shown;
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.asked; }

class HelpPages : public HelpViewerTest, public testing::WithParamInterface<PageCase> {};

TEST_P(HelpPages, ShowsThePageInAGrabbingDialogThatDismissCloses) {
  show_help(GetParam().asked);

  GtkWidget* help = gui::find_window("TheWinHelp");
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(gtk_window_get_title(GTK_WINDOW(help)),
            std::string("Help on ") + GetParam().shown + " (PeltoMarvish)");
  // Every page ends with the program's name and version.
  EXPECT_EQ(gui::text_view_text(help, "TheHelpText"),
            page_text(GetParam().shown) + "\n\nPelto Marvish " + program_version() + "\n");
  EXPECT_EQ(gtk_grab_get_current(), help);
  EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));

  gui::click(help, "ButtonDismiss");
  gui::flush_events();
  EXPECT_EQ(gui::find_window("TheWinHelp"), nullptr);
  EXPECT_EQ(gtk_grab_get_current(), nullptr) << "the grab ends with the dialog";
}

const PageCase kPageCases[] = {
    {"CompareLogic", "CompareLogic"},  // the settings window's page 7
    {"Basics", "Basics"},
    {"Operation", "Operation"},
    {"NoSuchPage", "Basics"},
    {"pmopen", "Basics"},  // a helper-script default is not a help page
};

INSTANTIATE_TEST_SUITE_P(Pages, HelpPages, testing::ValuesIn(kPageCases),
                         [](const testing::TestParamInfo<PageCase>& info) {
                           return std::string(info.param.asked);
                         });

// ---- Closing either dialog -------------------------------------------------------

enum class Closer { kDismiss, kReturn, kEscape, kWindowManager };

struct CloseCase {
  const char* name;
  bool help;  // the help dialog, else the text dialog
  Closer closer;
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class DialogCloses : public HelpViewerTest, public testing::WithParamInterface<CloseCase> {};

TEST_P(DialogCloses, DialogGoesAway) {
  const CloseCase& c = GetParam();
  const char* window_name = c.help ? "TheWinHelp" : "TheWinText";
  if (c.help) {
    show_help("Stop");
  } else {
    show_text_file("Deleted Log", "deleted.log");
  }
  GtkWidget* dialog = gui::find_window(window_name);
  ASSERT_NE(dialog, nullptr);

  switch (c.closer) {
    case Closer::kDismiss:
      gui::click(dialog, "ButtonDismiss");
      break;
    case Closer::kReturn:
      gui::press_key(dialog, GDK_KEY_Return);
      break;
    case Closer::kEscape:
      gui::press_key(dialog, GDK_KEY_Escape);
      break;
    case Closer::kWindowManager:
      gui::close_window(dialog);
      break;
  }
  gui::flush_events();
  EXPECT_EQ(gui::find_window(window_name), nullptr);
}

const CloseCase kCloseCases[] = {
    {"Help_Dismiss", true, Closer::kDismiss},
    {"Help_Return", true, Closer::kReturn},
    {"Help_Escape", true, Closer::kEscape},
    {"Help_WindowManager", true, Closer::kWindowManager},
    {"Text_Dismiss", false, Closer::kDismiss},
    {"Text_Return", false, Closer::kReturn},
    {"Text_WindowManager", false, Closer::kWindowManager},
};

INSTANTIATE_TEST_SUITE_P(EveryWay, DialogCloses, testing::ValuesIn(kCloseCases),
                         [](const testing::TestParamInfo<CloseCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- The text dialog -------------------------------------------------------------

TEST_F(HelpViewerTest, MissingLogShowsTheErrorLineAndLeavesTheMainWindowUsable) {
  GtkWidget* log = view_deleted_log();

  ASSERT_NE(log, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(log)), "Deleted Log (PeltoMarvish)");
  EXPECT_EQ(gui::text_view_text(log, "TheText"), "Error 2 opening file deleted.log\n");
  EXPECT_EQ(gtk_grab_get_current(), nullptr);
  EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));
}

// A pipe or a directory at the log's name is refused at once as "Invalid
// argument" (22): nothing waits on a pipe no one writes to.
TEST_F(HelpViewerTest, ALogThatIsNotARegularFileIsRefusedWithoutWaiting) {
  for (bool fifo : {true, false}) {
    SCOPED_TRACE(fifo ? "pipe" : "directory");
    fs::remove(dir_ / "deleted.log");
    ASSERT_EQ(fifo ? mkfifo((dir_ / "deleted.log").c_str(), 0644)
                   : mkdir((dir_ / "deleted.log").c_str(), 0755),
              0);
    GtkWidget* log = view_deleted_log();
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(gui::text_view_text(log, "TheText"), "Error 22 opening file deleted.log\n");
    gtk_widget_destroy(log);
  }
}

struct LogCase {
  const char* name;
  std::string content;
  std::string shown;
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

std::string pattern(std::size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line) {
    text += "deleted /home/user/photos/IMG_" + std::to_string(line) + ".jpg\n";
  }
  text.resize(size);
  return text;
}

class LogContents : public HelpViewerTest, public testing::WithParamInterface<LogCase> {};

TEST_P(LogContents, ShowsTheLogsBeginning) {
  write_file("deleted.log", GetParam().content);
  GtkWidget* log = view_deleted_log();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(gui::text_view_text(log, "TheText"), GetParam().shown);
}

const LogCase kLogCases[] = {
    {"Empty", "", ""},
    {"Short", "deleted /a/b\ndeleted /a/c\n", "deleted /a/b\ndeleted /a/c\n"},
    {"ExactlyTheLimit", pattern(32767), pattern(32767)},
    {"LongerThanTheLimit", pattern(40000), pattern(32767)},
};

INSTANTIATE_TEST_SUITE_P(Logs, LogContents, testing::ValuesIn(kLogCases),
                         [](const testing::TestParamInfo<LogCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(HelpViewerTest, LogWithNamesThatAreNotUtf8IsShownMended) {
  write_file("deleted.log", "deleted /tmp/caf\xe9.txt\ndeleted /tmp/\xff\xfe\n");
  GtkWidget* log = view_deleted_log();
  ASSERT_NE(log, nullptr);

  std::string shown = gui::text_view_text(log, "TheText");
  EXPECT_TRUE(g_utf8_validate(shown.c_str(), -1, nullptr));
  EXPECT_EQ(shown.rfind("deleted /tmp/caf", 0), 0u) << shown;
  EXPECT_NE(shown.find(".txt\ndeleted /tmp/"), std::string::npos) << shown;
}

// ---- One help dialog per window ---------------------------------------------------

// A modal window in the place of the settings window or the script writer:
// shown, holding the grab.
GtkWidget* open_grabbing_window() {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_transient_for(GTK_WINDOW(window), GTK_WINDOW(g_main_window));
  gtk_widget_show(window);
  gtk_grab_add(window);
  return window;
}

TEST_F(HelpViewerTest, HelpAskedAgainFromItsWindowShowsTheNewPageInTheOpenDialog) {
  GtkWidget* settings = open_grabbing_window();
  show_help("FileMasks");
  GtkWidget* help = gui::find_window("TheWinHelp");
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(help)), GTK_WINDOW(settings));

  show_help("Stop");  // asked from the same window: the grab is the help's now
  gui::flush_events();
  ASSERT_EQ(gui::find_windows("TheWinHelp").size(), 1u);
  EXPECT_EQ(gui::find_window("TheWinHelp"), help);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(help)), "Help on Stop (PeltoMarvish)");
  EXPECT_EQ(gui::text_view_text(help, "TheHelpText"),
            page_text("Stop") + "\n\nPelto Marvish " + program_version() + "\n");

  gtk_widget_destroy(settings);  // its window goes: so does its help
  gui::flush_events();
  EXPECT_TRUE(gui::find_windows("TheWinHelp").empty());
  EXPECT_EQ(gtk_grab_get_current(), nullptr);
}

TEST_F(HelpViewerTest, EachWindowHasItsOwnHelpThatGoesWithIt) {
  show_help("Basics");  // from the main window (no grab)
  GtkWidget* main_help = gui::find_window("TheWinHelp");
  ASSERT_NE(main_help, nullptr);
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(main_help)), GTK_WINDOW(main_window_));
  gtk_grab_remove(main_help);  // as if the user had gone on in another window

  GtkWidget* writer = open_grabbing_window();
  show_help("Scripts");
  std::vector<GtkWidget*> helps = gui::find_windows("TheWinHelp");
  ASSERT_EQ(helps.size(), 2u);
  GtkWidget* writer_help = helps[0] == main_help ? helps[1] : helps[0];
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(writer_help)), GTK_WINDOW(writer));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(main_help)), "Help on Basics (PeltoMarvish)");

  gui::click(writer_help, "ButtonDismiss");  // dismissed: the next Help opens a new one
  gui::flush_events();
  gtk_grab_add(writer);
  show_help("Scripts");
  ASSERT_EQ(gui::find_windows("TheWinHelp").size(), 2u);

  gtk_widget_destroy(writer);
  gui::flush_events();
  EXPECT_EQ(gui::find_windows("TheWinHelp"), std::vector<GtkWidget*>{main_help});
}

// ---- How a page looks ----------------------------------------------------------------

// A page has margins on every side; scrolled to its end, its last line
// shows whole; the dialog is as wide as the page's longest line; the
// columns of its tables line up.
TEST_F(HelpViewerTest, APageHasMarginsItsLastLineAndAlignedTables) {
  show_help("Basics");
  GtkWidget* help = gui::find_window("TheWinHelp");
  ASSERT_NE(help, nullptr);
  GtkTextView* view = GTK_TEXT_VIEW(gui::named_child(help, "TheHelpText"));
  ASSERT_NE(view, nullptr);
  gui::iterate_for(100);  // laid out
  EXPECT_GE(gtk_text_view_get_left_margin(view), 6);
  EXPECT_GE(gtk_text_view_get_right_margin(view), 6);
  EXPECT_GE(gtk_text_view_get_top_margin(view), 4);
  EXPECT_GE(gtk_text_view_get_bottom_margin(view), 4);

  GtkAdjustment* h = gtk_scrollable_get_hadjustment(GTK_SCROLLABLE(view));
  EXPECT_LE(gtk_adjustment_get_upper(h), gtk_adjustment_get_page_size(h))
      << "every line fits the width";
  // The view lays a long page out a piece at a time while idle, and its
  // height grows as it goes (a slow machine, or the sanitizers, take a
  // while): scrolled to the end again until the end stays where it is.
  GtkAdjustment* v = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(view));
  double upper = -1;
  gui::iterate_until(
      [&] {
        const double now = gtk_adjustment_get_upper(v);
        const bool settled = now == upper;
        upper = now;
        gtk_adjustment_set_value(v, now - gtk_adjustment_get_page_size(v));
        gui::iterate_for(50);
        return settled && gtk_adjustment_get_upper(v) == now;
      },
      10000);
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
  GtkTextIter last;
  gtk_text_buffer_get_end_iter(buffer, &last);
  gtk_text_iter_backward_char(&last);  // the last character, before the final line feed
  GdkRectangle visible, line;
  gtk_text_view_get_visible_rect(view, &visible);
  gtk_text_view_get_iter_location(view, &last, &line);
  EXPECT_GE(line.y, visible.y);
  EXPECT_LE(line.y + line.height + gtk_text_view_get_bottom_margin(view),
            visible.y + visible.height)
      << "the last line and the margin under it show";

  // "  Settings  the settings window (F2)" and "  Scan      start a scan
  // (F5)": the second column starts at one place.
  auto column_x = [&](const char* line_text, const char* column_text) {
    GtkTextIter start, found, end;
    gtk_text_buffer_get_start_iter(buffer, &start);
    if (!gtk_text_iter_forward_search(&start, line_text, GTK_TEXT_SEARCH_TEXT_ONLY, &found, &end,
                                      nullptr) ||
        !gtk_text_iter_forward_search(&found, column_text, GTK_TEXT_SEARCH_TEXT_ONLY, &found, &end,
                                      nullptr)) {
      ADD_FAILURE() << "no line " << line_text;
      return -1;
    }
    GdkRectangle where;
    gtk_text_view_get_iter_location(view, &found, &where);
    return where.x;
  };
  EXPECT_EQ(column_x("  Settings  the settings", "the settings"),
            column_x("  Scan      start a scan", "start a scan"));
  EXPECT_EQ(column_x("  Open Folder      F7", "F7"), column_x("  Info...          F8", "F8"));
}

// A log line longer than the dialog is wrapped: nothing lies beyond the
// right edge.
TEST_F(HelpViewerTest, LongLogLinesWrap) {
  std::string line = "deleted /home/ann";
  while (line.size() < 600) line += "/a-rather-long-directory-name";
  write_file("deleted.log", line + "\n");
  GtkWidget* log = view_deleted_log();
  ASSERT_NE(log, nullptr);
  gui::iterate_for(100);
  GtkWidget* view = gui::named_child(log, "TheText");
  ASSERT_TRUE(view != nullptr && GTK_IS_TEXT_VIEW(view));
  GtkAdjustment* h = gtk_scrollable_get_hadjustment(GTK_SCROLLABLE(view));
  EXPECT_LE(gtk_adjustment_get_upper(h), gtk_adjustment_get_page_size(h));
  EXPECT_LE(gtk_widget_get_allocated_width(log), 700);
  GtkTextIter start;
  gtk_text_buffer_get_start_iter(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), &start);
  EXPECT_FALSE(gtk_text_view_starts_display_line(GTK_TEXT_VIEW(view), &start) &&
               gtk_text_view_forward_display_line_end(GTK_TEXT_VIEW(view), &start) &&
               gtk_text_iter_ends_line(&start))
      << "the line is shown on several display lines";
}

}  // namespace
