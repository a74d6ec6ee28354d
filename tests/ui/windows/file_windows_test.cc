// The per-file commands' windows, "Info" and "pmuser", and the helpers they
// start, in a real X server with recording helper scripts.
#include <grp.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/launcher.h"
#include "ui/dialogs/dialogs.h"
#include "ui/list/file_commands.h"
#include "ui/list/support/list_fixture.h"
#include "ui/support/gui_test.h"
#include "ui/windows/file_info.h"
#include "ui/windows/user_output.h"

namespace {

// A result list in a temporary data directory, with a stand-in main
// window and helpers that record their arguments (NUL-separated).
class FileWindowsTest : public test::ListTest {
 public:
  void SetUp() override {
    main_window_ = gui::open_stand_in_main_window();
    in_ = std::make_unique<test::InDirectory>(dir.path());
    for (const char* helper : {"pmopen", "pmview"}) {
      helper_script(helper, "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$0.args\"\n");
    }
    block->settings.confirm_delete = 0;
    comment("Sorted List");
    header(1);
  }
  void TearDown() override {
    gui::destroy_windows({"TheWinInfo", "TheWinPMuser", "TheWinAskOK", "TheWinAskYesNo"});
    gui::close_stand_in_main_window(main_window_);
    in_.reset();
    if (!old_path_.empty()) setenv("PATH", old_path_.c_str(), 1);
  }

  // A stand-in for a system command, first on PATH for this test.
  void stand_in(const char* name, const std::string& body) {
    if (old_path_.empty()) {
      old_path_ = std::getenv("PATH");
      mkdir((dir / "bin").c_str(), 0755);
      setenv("PATH", (dir / "bin:" + old_path_).c_str(), 1);
    }
    test::write_file(dir / (std::string("bin/") + name), "#!/bin/sh\n" + body);
    chmod((dir / (std::string("bin/") + name)).c_str(), 0755);
  }

  void helper_script(const char* name, const std::string& body) {
    test::write_file(dir / name, "#!/bin/sh\n" + body);
    chmod((dir / name).c_str(), 0744);
  }
  // The arguments a helper was given, once it has run.
  std::vector<std::string> arguments_of(const char* helper) {
    std::string file = dir / (std::string(helper) + ".args");
    gui::iterate_until([&] { return access(file.c_str(), F_OK) == 0; });
    gui::iterate_for(50);
    std::string recorded = test::read_file(file);
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t nul; (nul = recorded.find('\0', start)) != std::string::npos;
         start = nul + 1) {
      args.push_back(recorded.substr(start, nul - start));
    }
    return args;
  }
  std::string window_text(GtkWidget* window, const char* view) {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(gui::named_child(window, view)));
    GtkTextIter a, b;
    gtk_text_buffer_get_bounds(buffer, &a, &b);
    gchar* text = gtk_text_buffer_get_text(buffer, &a, &b, FALSE);
    std::string s = text;
    g_free(text);
    return s;
  }

  DeleteContext ctx{list, prompter, disk, dir / "deleted.log"};
  SystemLauncher launcher_;
  GtkWidget* main_window_ = nullptr;
  std::unique_ptr<test::InDirectory> in_;
  std::string old_path_;
};

// Ended: gone, or a zombie no longer running (its parent was killed too).
bool ended(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  return line.empty() || line.find(") Z") != std::string::npos;
}

std::string user_name() {
  struct passwd* pw = getpwuid(getuid());
  return pw ? pw->pw_name : std::to_string(getuid());
}

TEST_F(FileWindowsTest, InfoShowsTypeOwnerAndGroupAndItsButtonsAct) {
  std::string notes = file("notes.txt", "plain text\n");
  file("copy.txt", "plain text\n");
  list.select(2);
  show_file_info(ctx, launcher_);
  GtkWidget* box = gui::find_window("TheWinInfo");
  ASSERT_NE(box, nullptr);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(box)), "Info");
  struct stat st;
  lstat(notes.c_str(), &st);
  struct group* gr = getgrgid(st.st_gid);
  auto text_with = [&](const std::string& type) {
    return "\nfile \"" + notes + "\"\n\nMagic file type : " + type + "\n\n\nOwner: " + user_name() +
           " Group: " + (gr ? gr->gr_name : std::to_string(st.st_gid)) + "\n\n";
  };
  // The box is there before `file` has answered; the type comes with it.
  EXPECT_EQ(gui::label_text(box, "TheInfoText"), text_with("..."));
  EXPECT_TRUE(
      gui::iterate_until([&] { return gui::label_text(box, "TheInfoText") != text_with("..."); }));
  EXPECT_EQ(gui::label_text(box, "TheInfoText"), text_with("ASCII text"));
  EXPECT_FALSE(gtk_widget_get_sensitive(main_window_));

  gui::click(box, "ButView");
  EXPECT_EQ(arguments_of("pmview"), (std::vector<std::string>{"1", notes, ".TXT", "A", "11"}));
  gui::click(box, "ButDelete");
  gui::flush_events();
  EXPECT_NE(access(notes.c_str(), F_OK), 0) << "Delete deletes the file";
  EXPECT_EQ(list.text(2, 0), "D");
  EXPECT_TRUE(gui::is_open(box)) << "the box stays open";
  EXPECT_FALSE(gtk_widget_get_sensitive(gui::named_child(box, "ButDelete")));
  EXPECT_FALSE(gtk_widget_get_sensitive(gui::named_child(box, "ButView")));
  gui::click(box, "ButOK");
  gui::flush_events();
  EXPECT_FALSE(gui::is_open(box));
  EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));
}

// The box acts on the file it was opened for, whatever happens to the list
// meanwhile: after that file is deleted (its row gone or marked "D"),
// Delete and View do nothing and are greyed, even though another file's
// row now stands where it stood.
TEST_F(FileWindowsTest, InfoDeletesOnlyTheFileItDescribes) {
  struct Case {
    DeletedMode mode;
    const char* k3_mark;  // "*": a tagged row elsewhere, which the box leaves alone
  };
  for (const Case& c : {Case{DELETED_REMOVE, " "}, Case{DELETED_REMOVE, "*"},
                        Case{DELETED_MARK, " "}, Case{DELETED_MARK, "*"}}) {
    SCOPED_TRACE(std::to_string(c.mode) + c.k3_mark);
    block->settings.deleted_mode = c.mode;
    list.clear();
    block->row_count.store(0);
    block->tagged_count.store(0);
    block->tagged_bytes.store(0);
    comment("Sorted List");
    header(1);
    std::string k1 = file("k1", "same"), k2 = file("k2", "same");
    std::string k3 = file("k3", "same", c.k3_mark);
    const std::string k3_row = std::string(c.k3_mark) + " k3";
    const std::vector<std::string> after =
        c.mode == DELETED_REMOVE
            ? std::vector<std::string>{"/* Sorted List", "/* Group 1 ", "  k2", k3_row}
            : std::vector<std::string>{"/* Sorted List", "/* Group 1 ", "D k1", "  k2", k3_row};
    list.select(2);
    show_file_info(ctx, launcher_);
    GtkWidget* box = gui::find_window("TheWinInfo");
    ASSERT_NE(box, nullptr);
    GtkWidget* delete_button = gui::named_child(box, "ButDelete");
    GtkWidget* view_button = gui::named_child(box, "ButView");
    EXPECT_TRUE(gtk_widget_get_sensitive(delete_button));

    // While the list is busy the delete is refused, as Delete File is.
    prompter.said.clear();
    block->list_busy.store(1);
    gui::click(box, "ButDelete");
    block->list_busy.store(0);
    EXPECT_EQ(prompter.said,
              std::vector<std::string>{
                  "message|List Box Busy|Delete Files|Try after operation is complete"});
    EXPECT_EQ(access(k1.c_str(), F_OK), 0);

    // Only k1 goes; with k3 tagged too, this is not the tagged walk.
    prompter.said.clear();
    gui::click(box, "ButDelete");
    gui::flush_events();
    EXPECT_NE(access(k1.c_str(), F_OK), 0);
    EXPECT_EQ(prompter.said, std::vector<std::string>{});
    EXPECT_EQ(shape(), after);
    EXPECT_EQ(block->tagged_count.load(), c.k3_mark[0] == '*' ? 1 : 0);
    EXPECT_FALSE(gtk_widget_get_sensitive(delete_button));
    EXPECT_FALSE(gtk_widget_get_sensitive(view_button));
    EXPECT_TRUE(gui::is_open(box));

    // Pressed all the same (a greyed button can still be clicked from code):
    // nothing happens to k2, the row now where k1 stood.
    gui::click(box, "ButDelete");
    gui::click(box, "ButView");
    gui::flush_events();
    gui::iterate_for(200);
    EXPECT_EQ(access(k2.c_str(), F_OK), 0);
    EXPECT_EQ(access(k3.c_str(), F_OK), 0);
    EXPECT_EQ(shape(), after);
    EXPECT_NE(access((dir / "pmview.args").c_str(), F_OK), 0) << "View does nothing";
    EXPECT_EQ(prompter.said, std::vector<std::string>{});
    gui::click(box, "ButOK");
    gui::flush_events();
  }
}

// The question of a delete runs its own main loop, in which the box may be
// closed: the delete still ends as answered, and the box goes afterwards.
TEST_F(FileWindowsTest, InfoClosedWhileItsDeleteAsks) {
  block->settings.confirm_delete = 1;
  std::string k1 = file("k1", "same");
  file("k2", "same");
  list.select(2);
  show_file_info(ctx, launcher_);
  GtkWidget* box = gui::find_window("TheWinInfo");
  ASSERT_NE(box, nullptr);
  prompter.answers = {'Y'};
  prompter.before_answer = [&](const std::string&) { gtk_widget_destroy(box); };
  gui::click(box, "ButDelete");
  gui::flush_events();
  EXPECT_EQ(prompter.titles(), std::vector<std::string>{"DELETE"});
  EXPECT_NE(access(k1.c_str(), F_OK), 0);
  EXPECT_EQ(list.text(2, 0), "D");
  EXPECT_EQ(gui::find_window("TheWinInfo"), nullptr);
  EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));
}

// `file` is asked without the window ever waiting for it: the box opens at
// once, and a `file` that never answers, fails, or says too much gives
// "Unknown" or the first 256 bytes.
TEST_F(FileWindowsTest, InfoNeverWaitsForFile) {
  const std::string prefix = "Magic file type : ";
  auto type_shown = [](GtkWidget* box) {
    std::string text = gui::label_text(box, "TheInfoText");
    std::size_t from = text.find("Magic file type : ");
    if (from == std::string::npos) return std::string("?");
    from += std::string("Magic file type : ").size();
    return text.substr(from, text.find('\n', from) - from);
  };
  struct Case {
    const char* name;
    std::string body;
    std::string type;
  };
  const Case cases[] = {
      {"never ends", "echo $$ > \"$0.pid\"\nexec sleep 1000\n", "Unknown"},
      {"fails", "echo $$ > \"$0.pid\"\necho 'half an answer'\nexit 1\n", "Unknown"},
      {"says too much", "echo $$ > \"$0.pid\"\nprintf '%0300d\\n' 0\n", std::string(256, '0')},
  };
  file("a.txt");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    stand_in("file", c.body);
    unlink((dir / "bin/file.pid").c_str());
    list.select(2);
    show_file_info(ctx, launcher_, 300);
    GtkWidget* box = gui::find_window("TheWinInfo");
    ASSERT_NE(box, nullptr) << "the box opens at once";
    EXPECT_EQ(type_shown(box), "...");
    EXPECT_TRUE(gui::iterate_until([&] { return type_shown(box) != "..."; }));
    EXPECT_EQ(type_shown(box), c.type);
    pid_t pid = std::atoi(test::read_file(dir / "bin/file.pid").c_str());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(gui::iterate_until([&] { return ended(pid); }));
    gui::click(box, "ButOK");
    gui::flush_events();
  }

  // Closed before `file` answered: `file` is ended with the box.
  stand_in("file", cases[0].body);
  unlink((dir / "bin/file.pid").c_str());
  show_file_info(ctx, launcher_, 600000);
  GtkWidget* box = gui::find_window("TheWinInfo");
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(gui::iterate_until(
      [&] { return test::read_file(dir / "bin/file.pid").find('\n') != std::string::npos; }));
  pid_t pid = std::atoi(test::read_file(dir / "bin/file.pid").c_str());
  gui::close_window(box);
  gui::flush_events();
  EXPECT_FALSE(gui::is_open(box));
  EXPECT_TRUE(gui::iterate_until([&] { return ended(pid); }));
  EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));
}

TEST_F(FileWindowsTest, InfoShowsTheNumberOfAnUnknownOwner) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to give a file to an unknown user";
  std::string f = file("orphan.bin", std::string("\0\1", 2));
  ASSERT_EQ(chown(f.c_str(), 54321, 54321), 0);
  list.select(2);
  show_file_info(ctx, launcher_);
  GtkWidget* box = gui::find_window("TheWinInfo");
  ASSERT_NE(box, nullptr);
  EXPECT_NE(gui::label_text(box, "TheInfoText").find("Owner: 54321 Group: 54321"),
            std::string::npos);
}

TEST_F(FileWindowsTest, NothingHappensWithoutAFileToActOn) {
  std::string gone = file("gone.txt");
  unlink(gone.c_str());
  list.set_mark(2, "D");
  for (int row : {0, 1, 2}) {
    list.select(row);
    view_entry(list, ctx.prompter, launcher_);
    open_folder(list, ctx.prompter, launcher_);
    if (row != 2) open_folder(list, ctx.prompter, launcher_);
    show_file_info(ctx, launcher_);
    run_user_function(list, launcher_);
  }
  gui::iterate_for(200);
  EXPECT_EQ(gui::find_window("TheWinInfo"), nullptr);
  EXPECT_NE(access((dir / "pmview.args").c_str(), F_OK), 0);
  // Open Folder still works on a "D" row: the folder is there.
  EXPECT_EQ(arguments_of("pmopen"), (std::vector<std::string>{dir.path() + "/", "gone", ".txt"}));
}

TEST_F(FileWindowsTest, UserFunctionShowsWhatTheHelperPrints) {
  helper_script("pmuser", "printf 'got:%s|' \"$@\"; echo; sleep 0.3; echo done\n");
  std::string odd = file("it's \"odd\" $(x).c", "int main;\n");
  list.select(2);
  run_user_function(list, launcher_);
  GtkWidget* window = gui::find_window("TheWinPMuser");
  ASSERT_NE(window, nullptr) << "the window opens at once";
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "pmuser");
  EXPECT_FALSE(gtk_widget_get_sensitive(main_window_));
  std::string expected = "got:1|got:" + odd + "|got:.C|got:A|got:10|\ndone\n";
  EXPECT_TRUE(gui::iterate_until([&] { return window_text(window, "TheText") == expected; }))
      << window_text(window, "TheText");
  gui::click(window, "ButtonDismiss");
  gui::flush_events();
  EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));
}

// A helper that has ended before the window asks anything of it: the
// window shows what it printed, or nothing.
TEST_F(FileWindowsTest, UserFunctionWithAHelperThatEndsAtOnce) {
  struct Case {
    const char* name;
    const char* body;  // null: there is no pmuser
    std::string shown;
  };
  const Case cases[] = {
      {"prints", "printf 'quick'\n", "quick"},
      {"prints nothing", "exit 0\n", ""},
      {"missing", nullptr, ""},
  };
  file("a.txt");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.body != nullptr) {
      helper_script("pmuser", c.body);
    } else {
      unlink((dir / "pmuser").c_str());
    }
    for (int i = 0; i < 5; ++i) {
      list.select(2);
      run_user_function(list, launcher_);
      GtkWidget* window = gui::find_window("TheWinPMuser");
      ASSERT_NE(window, nullptr);
      if (!c.shown.empty()) {
        EXPECT_TRUE(gui::iterate_until([&] { return window_text(window, "TheText") == c.shown; }));
      }
      gui::iterate_for(100);
      EXPECT_EQ(window_text(window, "TheText"), c.shown);
      gui::click(window, "ButtonDismiss");
      gui::flush_events();
      EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));
    }
  }
}

TEST_F(FileWindowsTest, UserFunctionShowsTheFirst8192Bytes) {
  helper_script("pmuser", "i=0; while [ $i -lt 3000 ]; do echo 123456789; i=$((i+1)); done\n");
  file("a.txt");
  list.select(2);
  run_user_function(list, launcher_);
  GtkWidget* window = gui::find_window("TheWinPMuser");
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(gui::iterate_until([&] { return window_text(window, "TheText").size() == 8192; }));
  gui::iterate_for(300);
  EXPECT_EQ(window_text(window, "TheText").size(), 8192u);
}

TEST_F(FileWindowsTest, ClosingTheWindowEndsAHelperThatNeverEnds) {
  helper_script("pmuser", "echo $$ > helper.pid\nsleep 1000 & echo $! > sleeper.pid\nwait\n");
  file("a.txt");
  list.select(2);
  run_user_function(list, launcher_);
  GtkWidget* window = gui::find_window("TheWinPMuser");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(gui::iterate_until(
      [&] { return test::read_file(dir / "sleeper.pid").find('\n') != std::string::npos; }));
  pid_t helper = std::stoi(test::read_file(dir / "helper.pid"));
  pid_t sleeper = std::stoi(test::read_file(dir / "sleeper.pid"));
  gui::close_window(window);
  gui::flush_events();
  EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));
  EXPECT_TRUE(gui::iterate_until([&] { return ended(helper); }));
  EXPECT_TRUE(gui::iterate_until([&] { return ended(sleeper); }));
}

}  // namespace
