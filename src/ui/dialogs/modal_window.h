// The one life of the program's modal windows (Find/Tag, Info, pmuser, the
// script writer, the settings): built from a .ui, kept above the main
// window, the main window held insensitive and the grab on the window while
// it is open; and whichever way it goes (a button, the close box, Escape,
// the program), the grab goes, the main window is given back once, the
// window's object is freed once, and the slot that points at the open
// window is cleared.
//
// A window's object derives from ModalWindow and is made with new; it
// deletes itself when its window goes. Of each kind one is open at most:
// open_or_present brings the open one to the front or makes one. A button's action whose questions
// run nested main loops holds an Action, so that the object outlives a close made meanwhile until
// the action is over.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

class ModalWindow {
 public:
  ModalWindow(const ModalWindow&) = delete;
  ModalWindow& operator=(const ModalWindow&) = delete;

  GtkWidget* window() const { return window_; }
  // A widget of the window by its .ui id, and the builder that holds them.
  GObject* object(const char* name) const { return gtk_builder_get_object(builder_, name); }
  GtkBuilder* builder() const { return builder_; }

  // Opens a window of the kind whose slot is `open`: brings the one open to
  // the front, or, when none is, makes one with `make` (which registers
  // what it needs and news the window's object).
  static void open_or_present(ModalWindow* open, const std::function<void()>& make);
  // The window of the kind whose slot is `open`, or null when none is open.
  static GtkWidget* window_of(const ModalWindow* open) {
    return open != nullptr ? open->window() : nullptr;
  }

  // A file chooser over this window ("Add Folder", "Save Script As"): the
  // chooser `name`d so, modal, this window insensitive while it is open and
  // sensitive again when it goes; it goes with this window. `prepare` sets
  // it up before it shows (its folder, a name); `chosen` gets the file (its
  // bytes) when the user accepts, while this window is still open.
  struct FileChoice {
    const char* title;
    const char* name;
    GtkFileChooserAction action;
    const char* accept_label;
    std::function<void(GtkFileChooser*)> prepare;
    std::function<void(const std::string&)> chosen;
  };
  void choose_file(FileChoice choice);

  // Closes the window, as its close box does.
  void close();
  // Whether the window has gone (inside an Action, the object outlives it).
  bool closed() const { return closed_; }
  // Gives the main window back before the window closes (the window stays
  // open but no longer holds the main window insensitive).
  void let_main_window_go();

  // While one lives, the object is not freed; a close made meanwhile takes
  // effect when the last one ends.
  class Action {
   public:
    explicit Action(ModalWindow& owner) : owner_(owner) { ++owner_.actions_; }
    ~Action();
    Action(const Action&) = delete;
    Action& operator=(const Action&) = delete;

   private:
    ModalWindow& owner_;
  };

 protected:
  // Takes `builder` (made from the window's .ui) and its window
  // `window_name`, which gets that name. `open_slot`, when given, points at
  // this object while it lives.
  ModalWindow(GtkBuilder* builder, const char* window_name, ModalWindow** open_slot = nullptr);
  virtual ~ModalWindow();

  // Shows the window over the held main window and puts the grab on it.
  void show();
  // Runs once, when the window goes, before the object is freed: stop what
  // runs for the window.
  virtual void on_close() {}

 private:
  static void destroyed(GtkWidget* window, gpointer self);
  void free_when_done();

  GtkBuilder* builder_;
  GtkWidget* window_;
  ModalWindow** open_slot_;
  bool holding_ = false;  // the main window is held insensitive for this window
  bool closed_ = false;
  int actions_ = 0;
};
