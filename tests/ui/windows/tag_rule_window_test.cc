// The window "Tag By Rule" in a real X server: each control and the live
// preview, Tag, Cancel, Help, the busy refusal and the remembered choices.
#include "ui/windows/tag_rule_window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ui/list/support/list_fixture.h"
#include "ui/support/gui_test.h"

namespace {

using Rows = std::vector<std::string>;

class TagRuleWindowTest : public test::ListTest {
 public:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    main_window_ = gui::open_stand_in_main_window();
    comment("Sorted List");
    header(1);
    dated("keep/f", "Mon-Jan 01,2001", "one");
    dated("newer/f", "Tue-Jan 01,2002", "one");
    header(2);
    dated("keep/g", "Tue-Jan 01,2002", "two!");
    dated("newer/g", "Wed-Jan 01,2003", "two!");
    comment("End Of List");
  }
  void TearDown() override {
    gui::destroy_windows({"TheWinTagRule", "TheWinHelp"});
    gui::close_stand_in_main_window(main_window_);
  }
  void dated(const std::string& name, const char* date, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(dir / name).parent_path());
    std::string path = dir / name;
    test::write_file(path, bytes);
    struct stat st;
    lstat(path.c_str(), &st);
    FileIdentity id = identity_of(st);
    std::string size = thousands(st.st_size);
    RowTexts r{{" ", date, "12:00:00PM", size.c_str(), "", "-rw-r--r--", path.c_str()}, &id};
    list.append(r);
    block->row_count.fetch_add(1);
  }

  GtkWidget* open() {
    open_tag_rule_window(ListContext(list, prompter, disk), rules());
    gui::flush_events();
    return tag_rule_window();
  }
  std::string rules() const { return dir / "Rules"; }
  GtkWidget* w(const char* name) { return gui::named_child(tag_rule_window(), name); }
  std::string preview() { return gui::label_text(tag_rule_window(), "ThePreview"); }
  std::string left_alone() { return gui::label_text(tag_rule_window(), "ThePreviewLeftAlone"); }
  void set_text(const char* view, const std::string& text) {
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(w(view))), text.c_str(), -1);
    gui::flush_events();
  }
  void toggle(const char* name, bool on) {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w(name)), on);
    gui::flush_events();
  }

  GtkWidget* main_window_ = nullptr;
};

TEST_F(TagRuleWindowTest, EachChoiceChangesThePreviewAtOnce) {
  list.select(5);  // a row of group 2, for "Selected group only"
  GtkWidget* window = open();
  ASSERT_NE(window, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Pelto Marvish Tag By Rule");
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w("RadioKeepOriginal"))));
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w("CheckLeaveHardLinks"))));
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w("CheckUntagFirst"))));
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w("RadioScopeAll"))));
  EXPECT_FALSE(gtk_widget_get_sensitive(main_window_)) << "the window is modal";
  toggle("RadioKeepNewest", true);  // the newer copies stay: the older ones can be protected

  EXPECT_EQ(preview(), "Will tag 2 files in 2 groups (7 bytes)");
  EXPECT_EQ(left_alone(), "");
  set_text("TheProtectedFolders", dir / "keep\n");  // the older copies are protected
  EXPECT_EQ(preview(), "Will tag 0 files in 0 groups (0 bytes)");
  EXPECT_EQ(left_alone(), "2 groups left alone: 2 with every other copy protected");
  set_text("TheProtectedFolders", "");
  toggle("RadioScopeSelected", true);
  EXPECT_EQ(preview(), "Will tag 1 file in 1 group (4 bytes)");
  toggle("RadioScopeAll", true);
  set_text("ThePreferredFolders", dir / "keep");
  EXPECT_EQ(preview(), "Will tag 2 files in 2 groups (7 bytes)") << "the same sizes the other way";
  toggle("RadioKeepOldest", true);
  set_text("ThePreferredFolders", "");
  EXPECT_EQ(preview(), "Will tag 2 files in 2 groups (7 bytes)");
}

// The folder lines are read as the scanned folders are: the list holds real
// paths, so "/./", "//", "x/..", a link or a relative line (from the home
// directory) name the same folder. A line that is no folder is refused
// before anything is tagged; one no listed file lies below is told.
TEST_F(TagRuleWindowTest, FolderLinesAreResolvedAndWhatIsNoFolderIsRefused) {
  mkdir((dir / "elsewhere").c_str(), 0755);
  ASSERT_EQ(symlink("keep", (dir / "link").c_str()), 0);
  char home[PATH_MAX];
  ASSERT_NE(realpath(g_get_home_dir(), home), nullptr);
  const std::string from_home = std::filesystem::relative(dir / "keep", home).string();
  ASSERT_NE(from_home[0], '/');
  open();
  toggle("RadioKeepNewest", true);  // the newer copies stay: the older ones can be protected
  const std::string all_protected = "2 groups left alone: 2 with every other copy protected";
  for (const std::string& line : {dir / "./keep", dir.path() + "//keep/", dir / "newer/../keep",
                                  dir / "link", from_home, "~/" + from_home}) {
    SCOPED_TRACE(line);
    set_text("TheProtectedFolders", "  " + line + "  \n\n");
    EXPECT_EQ(preview(), "Will tag 0 files in 0 groups (0 bytes)");
    EXPECT_EQ(left_alone(), all_protected);
    EXPECT_EQ(gui::label_text(tag_rule_window(), "TheFolderWarning"), "");
    EXPECT_TRUE(gtk_widget_get_sensitive(w("ButtonTag")));
  }

  // A folder below which nothing is listed: told, and Tag still works.
  set_text("TheProtectedFolders", dir / "keep\n" + dir / "elsewhere/.\n");
  EXPECT_EQ(left_alone(), all_protected);
  EXPECT_EQ(gui::label_text(tag_rule_window(), "TheFolderWarning"),
            "No listed file is below " + dir / "elsewhere/. (" + dir / "elsewhere)");
  EXPECT_TRUE(gtk_widget_get_sensitive(w("ButtonTag")));

  // No such folder, or a file: refused, and Tag tags nothing.
  const std::string file = dir / "keep/f";
  set_text("TheProtectedFolders", dir / "kept\n" + file);
  EXPECT_EQ(preview(), "Cannot tag: no such folder: " + dir / "kept; not a folder: " + file);
  EXPECT_EQ(left_alone(), "");
  EXPECT_FALSE(gtk_widget_get_sensitive(w("ButtonTag")));
  set_text("TheProtectedFolders", "");
  set_text("ThePreferredFolders", "keep");  // relative: from the home directory
  EXPECT_EQ(preview(), "Cannot tag: no such folder: keep");
  gtk_button_clicked(GTK_BUTTON(w("ButtonTag")));  // past the insensitive button
  gui::flush_events();
  EXPECT_NE(tag_rule_window(), nullptr) << "nothing was tagged, the window stays";
  EXPECT_EQ(prompter.error_signals, 1);
  EXPECT_EQ(list.totals_line(), "0 Files Tagged (0 bytes), 0 Files Deleted (0 bytes)");
  EXPECT_EQ(block->list_busy.load(), 0);
  struct stat st;
  EXPECT_NE(stat(rules().c_str(), &st), 0) << "the refused choices are not remembered";

  // Put right, it tags.
  set_text("ThePreferredFolders", dir / "link/");
  EXPECT_TRUE(gtk_widget_get_sensitive(w("ButtonTag")));
  gui::click(tag_rule_window(), "ButtonTag");
  gui::flush_events();
  EXPECT_EQ(tag_rule_window(), nullptr);
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  keep/f", "* newer/f", "/* Group 2 ",
                           "  keep/g", "* newer/g", "/* End Of List"}));
}

TEST_F(TagRuleWindowTest, TagTagsTheSpareCopiesAndRemembersTheChoices) {
  open();
  set_text("ThePreferredFolders", dir / "keep");
  toggle("CheckLeaveHardLinks", false);
  gui::click(tag_rule_window(), "ButtonTag");
  gui::flush_events();
  EXPECT_EQ(tag_rule_window(), nullptr) << "Tag closes the window";
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "  keep/f", "* newer/f", "/* Group 2 ",
                           "  keep/g", "* newer/g", "/* End Of List"}));
  EXPECT_EQ(list.totals_line(), "2 Files Tagged (7 bytes), 0 Files Deleted (0 bytes)");
  EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));
  EXPECT_EQ(block->list_busy.load(), 0);

  // Opened again: the choices it was left with.
  open();
  GtkTextBuffer* b = gtk_text_view_get_buffer(GTK_TEXT_VIEW(w("ThePreferredFolders")));
  GtkTextIter s, e;
  gtk_text_buffer_get_bounds(b, &s, &e);
  gchar* text = gtk_text_buffer_get_text(b, &s, &e, FALSE);
  EXPECT_EQ(std::string(text), dir / "keep");
  g_free(text);
  EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w("CheckLeaveHardLinks"))));
}

// A home folder as a new user has it, each group listed copy first: "cp"
// copies in "Backup" and "Backup 2" (newer), a download saved twice, a
// "Copy of" of the same time. The window's default rule is "Original", and
// Tag keeps every original.
class OriginalRuleWindowTest : public TagRuleWindowTest {
 public:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    main_window_ = gui::open_stand_in_main_window();
    comment("Sorted List");
    header(1);
    dated("Backup 2/Photos/a.jpg", "Wed-Jan 01,2003", "photo");
    dated("Backup/Photos/a.jpg", "Tue-Jan 01,2002", "photo");
    dated("Photos/a.jpg", "Mon-Jan 01,2001", "photo");
    header(2);
    dated("Downloads/report (1).pdf", "Mon-Jan 01,2001", "report");
    dated("Downloads/report.pdf", "Tue-Jan 01,2002", "report");
    header(3);
    dated("Copy of notes.md", "Mon-Jan 01,2001", "notes");
    dated("notes.md", "Mon-Jan 01,2001", "notes");
    comment("End Of List");
  }
};

TEST_F(OriginalRuleWindowTest, TheDefaultRuleKeepsTheOriginals) {
  open();
  ASSERT_NE(tag_rule_window(), nullptr);
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w("RadioKeepOriginal"))));
  EXPECT_EQ(preview(), "Will tag 4 files in 3 groups (21 bytes)");
  gui::click(tag_rule_window(), "ButtonTag");
  gui::flush_events();
  EXPECT_EQ(tag_rule_window(), nullptr);
  EXPECT_EQ(shape(), (Rows{"/* Sorted List", "/* Group 1 ", "* Backup 2/Photos/a.jpg",
                           "* Backup/Photos/a.jpg", "  Photos/a.jpg", "/* Group 2 ",
                           "* Downloads/report (1).pdf", "  Downloads/report.pdf", "/* Group 3 ",
                           "* Copy of notes.md", "  notes.md", "/* End Of List"}));
  EXPECT_EQ(load_tag_rule_choices(rules()).keep, KeepBy::ORIGINAL) << "remembered";
}

// A Rules file that names no rule (written by hand, or by a later version):
// the window says so with the rules there are, and starts on Original.
TEST_F(TagRuleWindowTest, ARememberedRuleThatIsNoneIsToldWithTheRules) {
  test::write_file(rules(), "[Tag By Rule]\nkeep=biggest\n");
  open();
  ASSERT_NE(tag_rule_window(), nullptr);
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w("RadioKeepOriginal"))));
  EXPECT_EQ(gui::label_text(tag_rule_window(), "TheFolderWarning"),
            "The remembered rule \"biggest\" is none of newest, oldest, shortest-path, "
            "longest-path, first or original: original is chosen");
  EXPECT_TRUE(gtk_widget_get_sensitive(w("ButtonTag")));
  gui::click(tag_rule_window(), "ButtonTag");
  gui::flush_events();
  EXPECT_EQ(load_tag_rule_choices(rules()).keep, KeepBy::ORIGINAL);
  EXPECT_EQ(load_tag_rule_choices(rules()).unknown_keep, "") << "written right";
}

TEST_F(TagRuleWindowTest, CancelEscapeAndTheCloseBoxChangeNothing) {
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    open();
    toggle("RadioKeepOldest", true);
    if (way == 0) gui::click(tag_rule_window(), "ButtonCancel");
    if (way == 1) gui::press_key(tag_rule_window(), GDK_KEY_Escape);
    if (way == 2) gui::close_window(tag_rule_window());
    gui::flush_events();
    EXPECT_EQ(tag_rule_window(), nullptr);
    EXPECT_EQ(list.totals_line(), "0 Files Tagged (0 bytes), 0 Files Deleted (0 bytes)");
    EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));
    EXPECT_FALSE(load_tag_rule_choices(rules()).keep == KeepBy::OLDEST) << "not remembered";
  }
}

TEST_F(TagRuleWindowTest, HelpShowsItsPageAndABusyListIsRefused) {
  open();
  gui::click(tag_rule_window(), "ButtonHelp");
  GtkWidget* help = gui::wait_for_window("TheWinHelp");
  ASSERT_NE(help, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(help)), "Help on TagByRule (PeltoMarvish)");
  gui::destroy_windows({"TheWinHelp"});

  // A scan takes the list while the window is open: Tag is refused.
  block->list_busy = 1;
  gui::click(tag_rule_window(), "ButtonTag");
  gui::flush_events();
  EXPECT_EQ(prompter.said,
            std::vector<std::string>{
                "message|List Box Busy|Tag By Rule|Try after operation is complete"});
  EXPECT_NE(tag_rule_window(), nullptr) << "the window stays";
  EXPECT_EQ(list.totals_line(), "0 Files Tagged (0 bytes), 0 Files Deleted (0 bytes)");
  gui::click(tag_rule_window(), "ButtonCancel");
  gui::flush_events();
  // And it does not open while the list is busy.
  prompter.said.clear();
  open_tag_rule_window(ListContext(list, prompter, disk), rules());
  EXPECT_EQ(tag_rule_window(), nullptr);
  EXPECT_EQ(prompter.said,
            std::vector<std::string>{
                "message|List Box Busy|Tag By Rule|Try after operation is complete"});
  block->list_busy = 0;
}

}  // namespace

// "Add Folder..." beside each folder box: the folder chosen becomes a line
// of its own at the end of the box; Cancel adds nothing.
TEST_F(TagRuleWindowTest, AddFolderAddsTheChosenFolderAsALine) {
  const std::string keep = dir / "keep";
  struct Case {
    const char* button;
    const char* view;
  };
  for (Case c : {Case{"ButtonAddPreferred", "ThePreferredFolders"},
                 Case{"ButtonAddProtected", "TheProtectedFolders"}}) {
    SCOPED_TRACE(c.button);
    open();
    set_text(c.view, "/first");  // no line feed at its end
    for (bool accept : {false, true}) {
      gui::click(tag_rule_window(), c.button);
      GtkWidget* chooser = gui::wait_for_window("TheWinAddFolder");
      ASSERT_NE(chooser, nullptr);
      EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(chooser)),
                GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
      EXPECT_FALSE(gtk_widget_get_sensitive(tag_rule_window()));
      gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), keep.c_str());
      ASSERT_TRUE(gui::iterate_until([&] {
        gchar* current = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        bool there = current && keep == current;
        g_free(current);
        return there;
      }));
      gtk_dialog_response(GTK_DIALOG(chooser), accept ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
      EXPECT_TRUE(
          gui::iterate_until([] { return gui::find_window("TheWinAddFolder") == nullptr; }));
      EXPECT_TRUE(gtk_widget_get_sensitive(tag_rule_window()));
      GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(w(c.view)));
      GtkTextIter a, b;
      gtk_text_buffer_get_bounds(buffer, &a, &b);
      gchar* text = gtk_text_buffer_get_text(buffer, &a, &b, FALSE);
      EXPECT_EQ(std::string(text), accept ? "/first\n" + keep + "\n" : "/first");
      g_free(text);
    }
    // "/first" is no folder: the preview says so, so the line was read.
    EXPECT_EQ(preview(), "Cannot tag: no such folder: /first");
    set_text(c.view, "");
    set_text(c.view, keep);
    gui::click(tag_rule_window(), "ButtonCancel");
    gui::flush_events();
    ASSERT_EQ(tag_rule_window(), nullptr);
  }
}

namespace {

// Under the preview line, the groups as Tag will leave them: the copy kept
// and why, the copies tagged; a group left alone and why; at each change.
TEST_F(TagRuleWindowTest, ThePreviewShowsEachGroupsKeptCopyAndWhy) {
  open();
  auto groups = [&] {
    GtkTextBuffer* b = gtk_text_view_get_buffer(GTK_TEXT_VIEW(w("ThePreviewGroups")));
    GtkTextIter s, e;
    gtk_text_buffer_get_bounds(b, &s, &e);
    gchar* text = gtk_text_buffer_get_text(b, &s, &e, FALSE);
    std::string out = text;
    g_free(text);
    return out;
  };
  const std::string kf = dir / "keep/f", nf = dir / "newer/f";
  const std::string kg = dir / "keep/g", ng = dir / "newer/g";
  EXPECT_EQ(groups(), "keep " + kf + " (oldest)\n    tag " + nf + "\nkeep " + kg +
                          " (oldest)\n    tag " + ng + "\n")
      << "Original: the same names, no backup folder: the oldest";
  toggle("RadioKeepNewest", true);
  EXPECT_EQ(groups(), "keep " + nf + " (newest)\n    tag " + kf + "\nkeep " + ng +
                          " (newest)\n    tag " + kg + "\n");
  set_text("ThePreferredFolders", "/./" + dir / "keep");  // shown as typed
  EXPECT_EQ(groups(), "keep " + kf + " (in preferred folder /./" + dir / "keep)\n    tag " + nf +
                          "\nkeep " + kg + " (in preferred folder /./" + dir / "keep)\n    tag " +
                          ng + "\n");
  set_text("ThePreferredFolders", "");
  set_text("TheProtectedFolders", dir / "keep");
  EXPECT_EQ(groups(), "left alone: every other copy protected\n    " + kf + "\n    " + nf +
                          "\nleft alone: every other copy protected\n    " + kg + "\n    " + ng +
                          "\n");
  set_text("TheProtectedFolders", dir / "nowhere");
  EXPECT_EQ(groups(), "") << "nothing is shown that Tag would not do";
}

// After Tag, a row the rule tagged tells in its tooltip which copy was
// kept and why.
TEST_F(TagRuleWindowTest, TheTooltipOfARowTheRuleTaggedSaysWhichCopyWasKeptAndWhy) {
  open();
  toggle("RadioKeepNewest", true);
  gui::click(tag_rule_window(), "ButtonTag");
  gui::flush_events();
  ASSERT_EQ(tag_rule_window(), nullptr);
  EXPECT_EQ(list.tooltip_markup(2),
            dir / "keep/f" + "\nTagged by rule: kept " + dir / "newer/f" + " (newest)");
  EXPECT_EQ(list.tooltip_markup(3), dir / "newer/f");
}

}  // namespace
