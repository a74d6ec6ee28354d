// The script writer's window in a real X server: styles, Overwrite, Append
// and Leave, Default, Help, the file chooser, and its refusals.
#include "ui/windows/script_writer.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstring>
#include <string>

#include "settings/state_file.h"
#include "ui/dialogs/dialogs.h"
#include "ui/list/support/list_fixture.h"
#include "ui/support/gui_test.h"

namespace {

class ScriptWriterTest : public test::ListTest {
 public:
  void SetUp() override {
    main_window_ = gui::open_stand_in_main_window();
    in_ = std::make_unique<test::InDirectory>(dir.path());
    state = std::make_unique<StateRecord>();
    default_state(*state);
    comment("Sorted List");
    header(1);
    row("/home/ann/it's here.txt", 1234);
    row("/home/ann/b.txt", 1234, "*");
    comment("End Of List");
  }
  void TearDown() override {
    gui::destroy_windows({"TheWinScript", "TheWinFiles", "TheWinHelp"});
    gui::close_stand_in_main_window(main_window_);
    in_.reset();
  }

  GtkWidget* open() {
    open_script_window(list, prompter, *state);
    gui::flush_events();
    return script_window();
  }
  GtkWidget* w(const char* name) { return gui::named_child(script_window(), name); }
  void click(const char* name) {
    gui::click(script_window(), name);
    gui::flush_events();
  }
  void set_name(const std::string& name) {
    gtk_entry_set_text(GTK_ENTRY(w("EntryFileName")), name.c_str());
  }
  std::string template_text() {
    GtkTextBuffer* b = gtk_text_view_get_buffer(GTK_TEXT_VIEW(w("Script")));
    GtkTextIter s, e;
    gtk_text_buffer_get_bounds(b, &s, &e);
    gchar* t = gtk_text_buffer_get_text(b, &s, &e, FALSE);
    std::string text = t;
    g_free(t);
    return text;
  }
  // The script as written, with its date line made known.
  std::string expected(CommentStyle style, const std::string& file, bool only_tagged = false) {
    std::string written = test::read_file(file);
    std::size_t at = written.find("** Date: ");
    std::string date = written.substr(at + 9, written.find('\n', at) - at - 9);
    ScriptText script = script_text(list, {state->script_template, style, only_tagged}, date);
    EXPECT_FALSE(script.refusal);
    return script.text;
  }

  std::unique_ptr<StateRecord> state;
  GtkWidget* main_window_ = nullptr;
  std::unique_ptr<test::InDirectory> in_;
};

TEST_F(ScriptWriterTest, OpensWithTheStoredChoicesAndTheHelpText) {
  GtkWidget* window = open();
  ASSERT_NE(window, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Pelto Marvish Write Script");
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(w("EntryFileName"))), "PeltoMarvishScript.sh");
  EXPECT_EQ(template_text(), "# %D %T %S %C\n'%P%F%E'\n\n");
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w("RadioCommentPound"))));
  EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w("CheckOnlyTagged"))));
  EXPECT_EQ(gui::label_text(window, "label2"),
            "\nMon-Dec 25,2000 12:34:56AM 1,234   98765432   /Sub/Gifts.txt\n"
            "%D                       %T             %S    %C           %P %F %E\n\n"
            "%D Expands to \"25-Mon-Dec 25,2000\"\n"
            "%T Time is \"12:34:56AM\"      %S Size 1234  \n"
            "%C CRC is 98765432           %P Path \"/Sub/\"\n"
            "%F File Name \"Gifts\"            %E Extension \".txt\"\n");
  EXPECT_FALSE(gtk_widget_get_sensitive(main_window_));
  click("ButtonCancel");
  EXPECT_EQ(script_window(), nullptr);
  EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));
}

TEST_F(ScriptWriterTest, EachCommentStyleWritesItsScriptAndIsRemembered) {
  const std::pair<const char*, CommentStyle> styles[] = {{"RadioCommentPound", CommentStyle::POUND},
                                                         {"RadioCommentC", CommentStyle::C},
                                                         {"RadioCommentBlank", CommentStyle::BLANK},
                                                         {"RadioCommentNone", CommentStyle::NONE}};
  int n = 0;
  for (const auto& [radio, style] : styles) {
    SCOPED_TRACE(radio);
    std::string file = "script" + std::to_string(n++) + ".sh";
    open();
    set_name(file);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w(radio)), TRUE);
    click("ButtonOKWrite");
    EXPECT_EQ(script_window(), nullptr) << "written: the window closes";
    EXPECT_EQ(test::read_file(dir / file), expected(style, dir / file));
    EXPECT_EQ(prompter.said.back(), "message|Notification|File Written|" + file);
    EXPECT_STREQ(state->script_name, file.c_str());
    int words[] = {state->comment_pound, state->comment_c, state->comment_blank,
                   state->comment_none};
    EXPECT_EQ(std::count(std::begin(words), std::end(words), 1), 1);
    EXPECT_EQ(words[static_cast<int>(style)], 1);
  }
  EXPECT_EQ(block->list_busy.load(), 0);

  // Only the tagged file rows.
  open();
  set_name("tagged.sh");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w("CheckOnlyTagged")), TRUE);
  click("ButtonOKWrite");
  std::string written = test::read_file(dir / "tagged.sh");
  EXPECT_EQ(written, expected(CommentStyle::NONE, dir / "tagged.sh", true));
  EXPECT_NE(written.find("'/home/ann/b.txt'"), std::string::npos);
  EXPECT_EQ(written.find("here.txt"), std::string::npos);
  EXPECT_EQ(state->only_tagged, 1);
}

TEST_F(ScriptWriterTest, AnExistingFileIsOverwrittenAppendedToOrLeft) {
  test::write_file(dir / "PeltoMarvishScript.sh", "old\n");
  open();
  prompter.answers = {'L'};
  click("ButtonOKWrite");
  EXPECT_EQ(test::read_file(dir / "PeltoMarvishScript.sh"), "old\n");
  ASSERT_NE(script_window(), nullptr) << "left as it is: the window stays";
  EXPECT_EQ(prompter.said.back(), "file_exists|File Exists|PeltoMarvishScript.sh|");

  prompter.answers = {'A'};
  click("ButtonOKWrite");
  std::string appended = test::read_file(dir / "PeltoMarvishScript.sh");
  EXPECT_EQ(appended.rfind("old\n# \n", 0), 0u) << "a second header after the old content";

  open();
  prompter.answers = {'O'};
  click("ButtonOKWrite");
  EXPECT_EQ(test::read_file(dir / "PeltoMarvishScript.sh").rfind("# \n", 0), 0u);
}

TEST_F(ScriptWriterTest, DefaultResetsTheNameAndTemplateOnly) {
  open();
  set_name("other.sh");
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(w("Script"))), "rm %P", -1);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w("CheckOnlyTagged")), TRUE);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w("RadioCommentC")), TRUE);
  click("ButtonDefault");
  EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(w("EntryFileName"))), "PeltoMarvishScript.sh");
  EXPECT_EQ(template_text(), "# %D %T %S %C\n'%P%F%E'\n\n");
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w("CheckOnlyTagged"))));
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w("RadioCommentC"))));

  click("ButtonHelp");
  GtkWidget* help = gui::find_window("TheWinHelp");
  ASSERT_NE(help, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(help)), "Help on Scripts (PeltoMarvish)");
}

TEST_F(ScriptWriterTest, TheFileChooserFillsInTheName) {
  open();
  click("ButtonFiles");
  GtkWidget* chooser = gui::find_window("TheWinFiles");
  ASSERT_NE(chooser, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(chooser)), "Save Script As");
  EXPECT_FALSE(gtk_widget_get_sensitive(script_window()));
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), "chosen.sh");
  // The chooser checks the folder of a name to save before it answers.
  gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
  EXPECT_TRUE(gui::iterate_until([] { return gui::find_window("TheWinFiles") == nullptr; }));
  EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(w("EntryFileName")))), dir / "chosen.sh");
  EXPECT_TRUE(gtk_widget_get_sensitive(script_window()));

  click("ButtonFiles");
  chooser = gui::find_window("TheWinFiles");
  ASSERT_NE(chooser, nullptr);
  gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
  gui::flush_events();
  EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(w("EntryFileName")))), dir / "chosen.sh");
}

TEST_F(ScriptWriterTest, TypingStartsInTheFileNameAndEnterWrites) {
  GtkWidget* window = open();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(gui::iterate_until(
      [&] { return gtk_window_get_focus(GTK_WINDOW(window)) == w("EntryFileName"); }));
  set_name("entered.sh");
  gui::press_key(w("EntryFileName"), GDK_KEY_Return);
  // A button pressed from the keyboard is clicked when its press has shown.
  EXPECT_TRUE(gui::iterate_until([] { return script_window() == nullptr; }))
      << "written: the window closes";
  EXPECT_EQ(gui::find_window("TheWinFiles"), nullptr) << "Enter opens no file chooser";
  ASSERT_FALSE(prompter.said.empty());
  EXPECT_EQ(prompter.said.back(), "message|Notification|File Written|entered.sh");
  EXPECT_EQ(test::read_file(dir / "entered.sh"), expected(CommentStyle::POUND, dir / "entered.sh"));
}

// A file name that no quoting can keep in its place: the script is not
// written, an existing file stays as it was, and the window stays open.
TEST_F(ScriptWriterTest, ATemplateWhereANameCannotBeQuotedWritesNothing) {
  row("/home/ann/a\nEOF\nb.txt", 10);
  test::write_file(dir / "PeltoMarvishScript.sh", "old\n");
  const std::pair<const char*, const char*> cases[] = {
      {"cat >> list <<EOF\n%P%F%E\nEOF", "%P%F%E"},
      {"echo one\n  echo \"${x:-%P}\"", "  echo \"${x:-%P}\""},
  };
  int n = 0;
  for (const auto& [text, line] : cases) {
    SCOPED_TRACE(text);
    open();
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(w("Script"))), text, -1);
    for (const char* name : {"PeltoMarvishScript.sh", "new.sh"}) {
      set_name(name);
      click("ButtonOKWrite");
      EXPECT_EQ(
          prompter.said.back(),
          std::string("message|Script Not Written|A File Name Cannot Be Quoted Safely Here|") +
              line);
      EXPECT_EQ(prompter.error_signals, ++n);
      ASSERT_NE(script_window(), nullptr) << "the window stays open";
    }
    EXPECT_EQ(test::read_file(dir / "PeltoMarvishScript.sh"), "old\n");
    EXPECT_NE(access((dir / "new.sh").c_str(), F_OK), 0) << "no file is made";
    EXPECT_EQ(std::count(prompter.said.begin(), prompter.said.end(),
                         "file_exists|File Exists|PeltoMarvishScript.sh|"),
              0)
        << "nothing is asked about a file that will not be written";
    click("ButtonCancel");
  }
  EXPECT_EQ(block->list_busy.load(), 0);
}

TEST_F(ScriptWriterTest, RefusalsLeaveTheWindowOpenAndSaySo) {
  open();
  block->list_busy = 1;  // a scan owns the list
  click("ButtonOKWrite");
  EXPECT_EQ(prompter.said.back(),
            "message|List Box Busy|Write Script|Try after operation is complete");
  EXPECT_EQ(block->list_busy.load(), 1) << "the scan's flag stays";
  EXPECT_NE(access((dir / "PeltoMarvishScript.sh").c_str(), F_OK), 0);
  block->list_busy = 0;

  set_name(dir / "no such directory/x.sh");
  click("ButtonOKWrite");
  EXPECT_EQ(prompter.said.back(),
            "message|Error|Can Not Open File|" + dir / "no such directory/x.sh");
  ASSERT_NE(script_window(), nullptr);

  set_name("/dev/full");  // opens, but nothing can be written to it
  prompter.answers = {'O'};
  click("ButtonOKWrite");
  EXPECT_EQ(prompter.said.back(), "message|Error|Can Not Write File|/dev/full");
  EXPECT_NE(script_window(), nullptr);
  EXPECT_EQ(prompter.error_signals, 2);
  EXPECT_EQ(block->list_busy.load(), 0);
}

}  // namespace
