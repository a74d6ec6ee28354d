// The one life of a modal window: shown over the held main window with the
// grab, and whichever way it goes, the main window given back, the grab
// gone, the object freed once and the open slot cleared.
#include "ui/dialogs/modal_window.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/glib_ptr.h"

#include "ui/dialogs/dialogs.h"
#include "ui/support/gui_test.h"

namespace {

constexpr const char* TEST_UI = R"(<interface>
  <object class="GtkWindow" id="TheWinTest">
    <child><object class="GtkButton" id="ButtonClose"><property name="label">Close</property></object></child>
  </object>
</interface>)";

int g_freed = 0;
int g_closes_seen = 0;
ModalWindow* g_open = nullptr;

class TestWindow : public ModalWindow {
 public:
  TestWindow() : ModalWindow(gtk_builder_new_from_string(TEST_UI, -1), "TheWinTest", &g_open) {
    g_signal_connect_swapped(object("ButtonClose"), "clicked",
                             G_CALLBACK(+[](TestWindow* w) { w->close(); }), this);
    show();
  }
  using ModalWindow::Action;

 private:
  ~TestWindow() override { ++g_freed; }
  void on_close() override { ++g_closes_seen; }
};

class ModalWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main_ = gui::open_stand_in_main_window();
    g_freed = g_closes_seen = 0;
  }
  void TearDown() override { gui::close_stand_in_main_window(main_); }

  // Opens a window, checks it holds the main window, ends it with `end`,
  // and checks everything is given back exactly once.
  void open_and_end(const std::function<void(TestWindow*)>& end) {
    auto* window = new TestWindow;
    gui::flush_events();
    EXPECT_EQ(g_open, window);
    EXPECT_FALSE(gtk_widget_get_sensitive(main_));
    EXPECT_EQ(gtk_grab_get_current(), window->window());
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(window->window())), GTK_WINDOW(main_));
    end(window);
    gui::flush_events();
    EXPECT_EQ(g_freed, 1);
    EXPECT_EQ(g_closes_seen, 1);
    EXPECT_EQ(g_open, nullptr);
    EXPECT_TRUE(gtk_widget_get_sensitive(main_));
    EXPECT_EQ(gtk_grab_get_current(), nullptr);
  }

  GtkWidget* main_ = nullptr;
};

TEST_F(ModalWindowTest, EveryWayOutGivesEverythingBackOnce) {
  struct Way {
    const char* name;
    std::function<void(TestWindow*)> end;
  };
  const Way ways[] = {
      {"its button", [](TestWindow* w) { gui::click(w->window(), "ButtonClose"); }},
      {"the close box", [](TestWindow* w) { gui::close_window(w->window()); }},
      {"the program destroys it", [](TestWindow* w) { gtk_widget_destroy(w->window()); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    g_freed = g_closes_seen = 0;
    open_and_end(way.end);
  }
}

// An action whose question runs a nested loop may see its window closed:
// the object lives until the action is over, and is freed once then.
TEST_F(ModalWindowTest, AWindowClosedDuringAnActionIsFreedWhenTheActionEnds) {
  open_and_end([](TestWindow* w) {
    {
      TestWindow::Action action(*w);
      gui::close_window(w->window());
      gui::flush_events();
      EXPECT_TRUE(w->closed());
      EXPECT_EQ(g_freed, 0) << "still in use";
      EXPECT_EQ(g_open, nullptr) << "a new one may open meanwhile";
    }
  });
}

// Letting the main window go early gives it back once, not twice: a hold
// of another window stays in force until that one lets go.
TEST_F(ModalWindowTest, TheMainWindowIsGivenBackOnceWhenLetGoEarly) {
  hold_main_window();  // another window's hold
  auto* window = new TestWindow;
  window->let_main_window_go();
  window->let_main_window_go();
  EXPECT_FALSE(gtk_widget_get_sensitive(main_)) << "the other hold stays";
  window->close();
  gui::flush_events();
  EXPECT_EQ(g_freed, 1);
  EXPECT_FALSE(gtk_widget_get_sensitive(main_)) << "the other hold still stays";
  release_main_window();
  EXPECT_TRUE(gtk_widget_get_sensitive(main_));
}

// Of a kind, one window is open at most: opening it again brings that one
// to the front and makes no other.
TEST_F(ModalWindowTest, OpenOrPresentMakesOneWindowOfAKind) {
  int made = 0;
  auto make = [&] {
    ++made;
    new TestWindow;
  };
  ModalWindow::open_or_present(g_open, make);
  gui::flush_events();
  ASSERT_NE(g_open, nullptr);
  GtkWidget* first = ModalWindow::window_of(g_open);
  EXPECT_EQ(first, g_open->window());
  ModalWindow::open_or_present(g_open, make);
  gui::flush_events();
  EXPECT_EQ(made, 1);
  EXPECT_EQ(ModalWindow::window_of(g_open), first);
  EXPECT_EQ(gui::find_windows("TheWinTest").size(), 1u);
  g_open->close();
  gui::flush_events();
  EXPECT_EQ(ModalWindow::window_of(g_open), nullptr);
  ModalWindow::open_or_present(g_open, make);
  EXPECT_EQ(made, 2) << "none open: a new one";
  g_open->close();
  gui::flush_events();
  EXPECT_EQ(g_freed, 2);
}

// A chooser holds its window insensitive while it is open, gives the chosen
// file on Accept (nothing on Cancel), and goes with its window.
TEST_F(ModalWindowTest, AChooserGivesItsChoiceAndItsWindowBack) {
  struct Case {
    const char* what;
    int response;  // 0: the window closes while the chooser is open
    bool gives_choice;
  };
  const Case cases[] = {{"Accept", GTK_RESPONSE_ACCEPT, true},
                        {"Cancel", GTK_RESPONSE_CANCEL, false},
                        {"the window closes", 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_freed = 0;
    auto* window = new TestWindow;
    std::vector<std::string> chosen;
    window->choose_file(
        {"Pick", "TheWinPick", GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Pick",
         [](GtkFileChooser* chooser) { gtk_file_chooser_set_filename(chooser, "/tmp"); },
         [&](const std::string& file) { chosen.push_back(file); }});
    GtkWidget* chooser = gui::wait_for_window("TheWinPick");
    ASSERT_NE(chooser, nullptr);
    EXPECT_FALSE(gtk_widget_get_sensitive(window->window()));
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(chooser)), GTK_WINDOW(window->window()));
    std::string shown;  // what the chooser would give
    if (c.response != 0) {
      gui::iterate_until([&] {
        GCharPtr file(gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser)));
        if (file) shown = file.get();
        return file != nullptr;
      });
      gtk_dialog_response(GTK_DIALOG(chooser), c.response);
      gui::flush_events();
      EXPECT_EQ(gui::find_window("TheWinPick"), nullptr);
      EXPECT_TRUE(gtk_widget_get_sensitive(window->window()));
      window->close();
    } else {
      window->close();
      gui::flush_events();
      EXPECT_EQ(gui::find_window("TheWinPick"), nullptr) << "gone with its window";
    }
    gui::flush_events();
    EXPECT_EQ(g_freed, 1);
    EXPECT_EQ(chosen,
              c.gives_choice ? std::vector<std::string>{shown} : std::vector<std::string>{});
  }
}

}  // namespace
