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
  EXPECT_EQ(gui::label_text(help, "TheHelpText"), page_text(GetParam().shown));
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
  EXPECT_EQ(gui::label_text(log, "TheText"), "Error 2 opening file deleted.log\n");
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
    EXPECT_EQ(gui::label_text(log, "TheText"), "Error 22 opening file deleted.log\n");
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
  EXPECT_EQ(gui::label_text(log, "TheText"), GetParam().shown);
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

  std::string shown = gui::label_text(log, "TheText");
  EXPECT_TRUE(g_utf8_validate(shown.c_str(), -1, nullptr));
  EXPECT_EQ(shown.rfind("deleted /tmp/caf", 0), 0u) << shown;
  EXPECT_NE(shown.find(".txt\ndeleted /tmp/"), std::string::npos) << shown;
}

}  // namespace
