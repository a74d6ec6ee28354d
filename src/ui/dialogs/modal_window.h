// The one life of the program's modal windows (Find/Tag, Info, pmuser, the
// script writer, the settings): built from a .ui, kept above the main
// window, the main window held insensitive and the grab on the window while
// it is open; and whichever way it goes (a button, the close box, Escape,
// the program), the grab goes, the main window is given back once, the
// window's object is freed once, and the slot that points at the open
// window is cleared.
//
// A window's object derives from ModalWindow and is made with new; it
// deletes itself when its window goes. A button's action whose questions run
// nested main loops holds an Action, so that the object outlives a close
// made meanwhile until the action is over.
#pragma once

#include <gtk/gtk.h>

class ModalWindow {
 public:
  ModalWindow(const ModalWindow&) = delete;
  ModalWindow& operator=(const ModalWindow&) = delete;

  GtkWidget* window() const { return window_; }
  // A widget of the window by its .ui id, and the builder that holds them.
  GObject* object(const char* name) const { return gtk_builder_get_object(builder_, name); }
  GtkBuilder* builder() const { return builder_; }

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
