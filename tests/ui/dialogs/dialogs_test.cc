// The notice and the questions, driven in a real X server: every way of
// answering each question, what the main window does meanwhile, and notices
// that stack up.
#include "ui/dialogs/dialogs.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <ostream>
#include <string>
#include <vector>

#include "ui/support/gui_test.h"

namespace {

class DialogsTest : public testing::Test {
 protected:
  void SetUp() override {
    main_window_ = gui::open_stand_in_main_window();
    gtk_widget_set_name(main_window_, "TheFinder");
    gui::flush_events();
  }

  void TearDown() override {
    gui::destroy_windows({"TheWinAskOK", "TheWinAskYesNo", "TheWinAskYesNoAll",
                          "TheWinAskYesNoNone", "TheWinAskAO"});
    gui::close_stand_in_main_window(main_window_);
  }

  bool main_sensitive() const { return gtk_widget_get_sensitive(main_window_); }

  GtkWidget* main_window_ = nullptr;
};

// One way of answering a box.
struct Action {
  enum Kind { kClick, kKey, kClose } kind;
  const char* button = nullptr;
  guint keyval = 0;
  GdkModifierType state = static_cast<GdkModifierType>(0);
};

Action click(const char* button) { return {Action::kClick, button}; }
Action alt(guint keyval) { return {Action::kKey, nullptr, keyval, GDK_MOD1_MASK}; }
Action key(guint keyval) { return {Action::kKey, nullptr, keyval}; }
Action wm_close() { return {Action::kClose}; }

void perform(GtkWidget* window, const Action& action) {
  switch (action.kind) {
    case Action::kClick:
      gui::click(window, action.button);
      break;
    case Action::kKey:
      gui::press_key(window, action.keyval, action.state);
      break;
    case Action::kClose:
      gui::close_window(window);
      break;
  }
}

// ---- Questions ---------------------------------------------------------------

enum class Question { kYesNo, kYesNoAll, kYesNoNone, kFileExists };

struct QuestionCase {
  const char* name;
  Question question;
  int default_answer;  // unused by the file-exists question
  Action action;
  char expected;
};

void PrintTo(const QuestionCase& c, std::ostream* os) { *os << c.name; }

const char* window_name(Question q) {
  switch (q) {
    case Question::kYesNo:
      return "TheWinAskYesNo";
    case Question::kYesNoAll:
      return "TheWinAskYesNoAll";
    case Question::kYesNoNone:
      return "TheWinAskYesNoNone";
    case Question::kFileExists:
      return "TheWinAskAO";
  }
  return "";
}

int ask(Question q, int default_answer) {
  switch (q) {
    case Question::kYesNo:
      return ask_yes_no("Delete", "DELETE THIS FILE?", "/tmp/a/b.txt", default_answer);
    case Question::kYesNoAll:
      return ask_yes_no_all("Remove", "REMOVE ALL ENTRIES FROM THIS GROUP?", "group 3",
                            default_answer);
    case Question::kYesNoNone:
      return ask_yes_no_none("LAST COPY", "THIS IS THE LAST COPY OF THIS GROUP, DELETE IT?",
                             "/tmp/only", default_answer);
    case Question::kFileExists:
      return ask_file_exists("/tmp/scripts/delete.sh");
  }
  return 0;
}

class QuestionAnswers : public DialogsTest, public testing::WithParamInterface<QuestionCase> {};

TEST_P(QuestionAnswers, AnswerIsTheButtonsAndTheMainWindowWaitsMeanwhile) {
  const QuestionCase& c = GetParam();
  struct {
    bool main_sensitive = true;
    bool grabbed = false;
    std::string title, line1, line2;
  } seen;
  gui::WhenShown answer(window_name(c.question), [&](GtkWidget* window) {
    seen.main_sensitive = main_sensitive();
    seen.grabbed = gtk_grab_get_current() == window;
    seen.title = gtk_window_get_title(GTK_WINDOW(window));
    seen.line1 = gui::label_text(window, "Msg1");
    seen.line2 = gui::label_text(window, c.question == Question::kFileExists ? "label1" : "Msg2");
    perform(window, c.action);
  });

  EXPECT_EQ(static_cast<char>(ask(c.question, c.default_answer)), c.expected);

  ASSERT_TRUE(answer.acted());
  EXPECT_FALSE(seen.main_sensitive) << "the main window must wait for the answer";
  EXPECT_TRUE(seen.grabbed);
  EXPECT_TRUE(main_sensitive()) << "the main window must be usable again";
  EXPECT_EQ(gui::find_window(window_name(c.question)), nullptr);
  switch (c.question) {
    case Question::kYesNo:
      EXPECT_EQ(seen.title, "Delete");
      EXPECT_EQ(seen.line1, "DELETE THIS FILE?");
      EXPECT_EQ(seen.line2, "/tmp/a/b.txt");
      break;
    case Question::kYesNoAll:
      EXPECT_EQ(seen.title, "Remove");
      EXPECT_EQ(seen.line1, "REMOVE ALL ENTRIES FROM THIS GROUP?");
      EXPECT_EQ(seen.line2, "group 3");
      break;
    case Question::kYesNoNone:
      EXPECT_EQ(seen.title, "LAST COPY");
      EXPECT_EQ(seen.line1, "THIS IS THE LAST COPY OF THIS GROUP, DELETE IT?");
      EXPECT_EQ(seen.line2, "/tmp/only");
      break;
    case Question::kFileExists:
      EXPECT_EQ(seen.title, "File Exists");
      EXPECT_EQ(seen.line1, "/tmp/scripts/delete.sh");
      EXPECT_EQ(seen.line2, "File Exists, You may APPEND to it, OVERWRITE it, or LEAVE it as-is.");
      break;
  }
}

using Q = Question;
const QuestionCase kQuestionCases[] = {
    {"YesNo_ClickYes", Q::kYesNo, 'N', click("ButtonYes"), 'Y'},
    {"YesNo_ClickNo", Q::kYesNo, 'N', click("ButtonNo"), 'N'},
    {"YesNo_AltY", Q::kYesNo, 'N', alt(GDK_KEY_y), 'Y'},
    {"YesNo_AltN", Q::kYesNo, 'Y', alt(GDK_KEY_n), 'N'},
    {"YesNo_ReturnGivesDefaultNo", Q::kYesNo, 'N', key(GDK_KEY_Return), 'N'},
    {"YesNo_ReturnGivesDefaultYes", Q::kYesNo, 'Y', key(GDK_KEY_Return), 'Y'},
    {"YesNo_WindowManagerClose", Q::kYesNo, 'Y', wm_close(), 'N'},

    {"YesNoAll_ClickYes", Q::kYesNoAll, 'N', click("ButtonYes"), 'Y'},
    {"YesNoAll_ClickAll", Q::kYesNoAll, 'N', click("ButtonAll"), 'A'},
    {"YesNoAll_ClickNo", Q::kYesNoAll, 'N', click("ButtonNo"), 'N'},
    {"YesNoAll_ClickCancel", Q::kYesNoAll, 'N', click("buttonCancel"), 'C'},
    {"YesNoAll_AltY", Q::kYesNoAll, 'N', alt(GDK_KEY_y), 'Y'},
    {"YesNoAll_AltA", Q::kYesNoAll, 'N', alt(GDK_KEY_a), 'A'},
    {"YesNoAll_AltN", Q::kYesNoAll, 'Y', alt(GDK_KEY_n), 'N'},
    {"YesNoAll_AltC", Q::kYesNoAll, 'N', alt(GDK_KEY_c), 'C'},
    {"YesNoAll_ReturnGivesDefaultNo", Q::kYesNoAll, 'N', key(GDK_KEY_Return), 'N'},
    {"YesNoAll_ReturnGivesFocusedAll", Q::kYesNoAll, 'A', key(GDK_KEY_Return), 'A'},
    {"YesNoAll_WindowManagerClose", Q::kYesNoAll, 'Y', wm_close(), 'N'},

    {"YesNoNone_ClickYes", Q::kYesNoNone, 'N', click("ButtonYes"), 'Y'},
    {"YesNoNone_ClickNo", Q::kYesNoNone, 'N', click("ButtonNo"), 'N'},
    {"YesNoNone_ClickNoToAll", Q::kYesNoNone, 'N', click("ButtonNoToAll"), 'X'},
    {"YesNoNone_AltA", Q::kYesNoNone, 'N', alt(GDK_KEY_a), 'X'},
    {"YesNoNone_ReturnGivesDefaultNo", Q::kYesNoNone, 'N', key(GDK_KEY_Return), 'N'},
    {"YesNoNone_WindowManagerClose", Q::kYesNoNone, 'N', wm_close(), 'N'},

    {"FileExists_ClickAppend", Q::kFileExists, 0, click("button1"), 'A'},
    {"FileExists_ClickOverwrite", Q::kFileExists, 0, click("button2"), 'O'},
    {"FileExists_ClickLeave", Q::kFileExists, 0, click("button3"), 'L'},
    {"FileExists_AltA", Q::kFileExists, 0, alt(GDK_KEY_a), 'A'},
    {"FileExists_AltO", Q::kFileExists, 0, alt(GDK_KEY_o), 'O'},
    {"FileExists_AltL", Q::kFileExists, 0, alt(GDK_KEY_l), 'L'},
    {"FileExists_ReturnLeaves", Q::kFileExists, 0, key(GDK_KEY_Return), 'L'},
    {"FileExists_WindowManagerCloseLeaves", Q::kFileExists, 0, wm_close(), 'L'},
};

INSTANTIATE_TEST_SUITE_P(EveryWay, QuestionAnswers, testing::ValuesIn(kQuestionCases),
                         [](const testing::TestParamInfo<QuestionCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(DialogsTest, NoticeRaisedWhileAQuestionWaitsLeavesTheAnswerAlone) {
  struct {
    bool notice_shown = false;
    bool question_open_after_notice = false;
    bool main_sensitive_after_notice = true;
  } seen;
  gui::WhenShown answer("TheWinAskYesNo", [&](GtkWidget* question) {
    // As the result intake does when a scan ends under a waiting question.
    show_message("Notification", "Scan Completed", "");
    GtkWidget* notice = gui::find_window("TheWinAskOK");
    seen.notice_shown = notice != nullptr;
    if (notice) gui::press_key(notice, GDK_KEY_Return);
    seen.question_open_after_notice = gui::is_open(question);
    seen.main_sensitive_after_notice = main_sensitive();
    gui::click(question, "ButtonYes");
  });

  EXPECT_EQ(ask_yes_no("Delete", "DELETE THIS FILE?", "/tmp/x", 'N'), 'Y');
  EXPECT_TRUE(seen.notice_shown);
  EXPECT_TRUE(seen.question_open_after_notice);
  EXPECT_FALSE(seen.main_sensitive_after_notice) << "the question still waits";
  EXPECT_TRUE(main_sensitive());
}

TEST_F(DialogsTest, LineThatIsNotUtf8IsShownMended) {
  std::string line1;
  gui::WhenShown answer("TheWinAskAO", [&](GtkWidget* window) {
    line1 = gui::label_text(window, "Msg1");
    gui::click(window, "button3");
  });
  EXPECT_EQ(ask_file_exists("/tmp/caf\xe9/list\xff.txt"), 'L');
  EXPECT_TRUE(g_utf8_validate(line1.c_str(), -1, nullptr));
  EXPECT_EQ(line1.rfind("/tmp/caf", 0), 0u) << line1;
  EXPECT_NE(line1.find("list"), std::string::npos) << line1;
}

// ---- The notice ------------------------------------------------------------------

struct NoticeCase {
  const char* name;
  Action action;
};

void PrintTo(const NoticeCase& c, std::ostream* os) { *os << c.name; }

class NoticeCloses : public DialogsTest, public testing::WithParamInterface<NoticeCase> {};

TEST_P(NoticeCloses, NoticeReturnsAtOnceAndClosesItself) {
  show_message("Notification", "File Written", "/tmp/scripts/delete.sh");

  GtkWidget* notice = gui::find_window("TheWinAskOK");
  ASSERT_NE(notice, nullptr) << "the notice is shown before show_message returns";
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(notice)), "Notification");
  EXPECT_EQ(gui::label_text(notice, "Msg1"), "File Written");
  EXPECT_EQ(gui::label_text(notice, "Msg2"), "/tmp/scripts/delete.sh");
  EXPECT_FALSE(main_sensitive());

  perform(notice, GetParam().action);
  gui::flush_events();

  EXPECT_EQ(gui::find_window("TheWinAskOK"), nullptr);
  EXPECT_TRUE(main_sensitive());
}

const NoticeCase kNoticeCases[] = {
    {"ClickOK", click("butOK")},
    {"Return", key(GDK_KEY_Return)},
    {"WindowManagerClose", wm_close()},
};

INSTANTIATE_TEST_SUITE_P(EveryWay, NoticeCloses, testing::ValuesIn(kNoticeCases),
                         [](const testing::TestParamInfo<NoticeCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(DialogsTest, TwoNoticesBothShowAndCloseOneByOne) {
  show_message("First", "one", "");
  show_message("Second", "two", "");

  std::vector<GtkWidget*> notices = gui::find_windows("TheWinAskOK");
  ASSERT_EQ(notices.size(), 2u);
  GtkWidget* first = nullptr;
  for (GtkWidget* notice : notices) {
    if (std::string(gtk_window_get_title(GTK_WINDOW(notice))) == "First") first = notice;
  }
  ASSERT_NE(first, nullptr);

  gui::click(first, "butOK");
  gui::flush_events();

  notices = gui::find_windows("TheWinAskOK");
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(notices[0])), "Second");
  EXPECT_EQ(gui::label_text(notices[0], "Msg1"), "two");
  EXPECT_FALSE(main_sensitive()) << "a notice is still open";

  gui::close_window(notices[0]);
  gui::flush_events();
  EXPECT_TRUE(gui::find_windows("TheWinAskOK").empty());
  EXPECT_TRUE(main_sensitive());
}

// A long path in a notice or a question is wrapped, never cut: the box
// stays a sensible width and the label shows every character on several
// lines.
TEST_F(DialogsTest, ALongPathIsWrappedInTheBox) {
  std::string path = "/home/ann";
  while (path.size() < 400) path += "/Downloads-and-older-downloads";
  path += "/debian-12.5.0-amd64-netinst.iso";

  auto check = [&](GtkWidget* window, const char* label_name) {
    gui::iterate_for(100);  // laid out
    GtkLabel* label = GTK_LABEL(gui::named_child(window, label_name));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(gtk_label_get_text(label), path);
    EXPECT_EQ(gtk_label_get_ellipsize(label), PANGO_ELLIPSIZE_NONE);
    PangoLayout* layout = gtk_label_get_layout(label);
    EXPECT_GE(pango_layout_get_line_count(layout), 3);
    int text_width;
    pango_layout_get_pixel_size(layout, &text_width, nullptr);
    EXPECT_LE(text_width, gtk_widget_get_allocated_width(GTK_WIDGET(label)))
        << "every line inside the label";
    EXPECT_LE(gtk_widget_get_allocated_width(window), 700) << "a sensible width";
  };

  show_message("Print Failed", path.c_str(), "");
  GtkWidget* notice = gui::find_window("TheWinAskOK");
  ASSERT_NE(notice, nullptr);
  check(notice, "Msg1");
  gui::click(notice, "butOK");

  gui::WhenShown answer("TheWinAskYesNoAll", [&](GtkWidget* question) {
    check(question, "Msg2");
    gui::click(question, "ButtonNo");
  });
  EXPECT_EQ(ask_yes_no_all("DELETE ALL TAGGED", "DELETE THIS FILE?", path.c_str(), 'N'), 'N');
  EXPECT_TRUE(answer.acted());
}

}  // namespace
