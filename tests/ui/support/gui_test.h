// Helpers for driving the program's windows in a real X server: run the
// event loop, find windows and widgets by their names, press buttons and
// keys, close windows the way the window manager does, and answer a modal
// question from inside the loop it runs.
//
//   gui::WhenShown answer("TheWinAskYesNo", [](GtkWidget* w) { gui::click(w, "ButtonYes"); });
//   EXPECT_EQ(ask_yes_no("Title", "a", "b", 'N'), 'Y');
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "ui/dialogs/dialogs.h"

namespace gui {

// ---- The event loop ---------------------------------------------------------

// Handles every event, idle and due timeout that is waiting, then returns;
// at most for `limit_ms`. (A window whose frame clock ticks — a row being
// scrolled into view, an animation — always has something waiting when each
// frame takes longer than the frame time, as under a sanitizer on a slow
// machine: without the limit that never ends.)
inline void flush_events(int limit_ms = 1000) {
  const gint64 end = g_get_monotonic_time() + gint64{limit_ms} * 1000;
  while (gtk_events_pending() && g_get_monotonic_time() < end) gtk_main_iteration();
}

// Runs the loop until `done()` is true or `timeout_ms` have passed; returns
// done(). Use it for anything that takes more than one round trip to X.
inline bool iterate_until(const std::function<bool()>& done, int timeout_ms = 3000) {
  const gint64 end = g_get_monotonic_time() + gint64{timeout_ms} * 1000;
  while (!done()) {
    if (g_get_monotonic_time() >= end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return true;
}

// Runs the loop for `ms` milliseconds.
inline void iterate_for(int ms) {
  iterate_until([] { return false; }, ms);
}

// ---- Finding windows and widgets ---------------------------------------------

// Whether the widget is called `name`: by the name given with
// gtk_widget_set_name or by its GtkBuilder id.
inline bool has_name(GtkWidget* widget, const char* name) {
  if (std::strcmp(gtk_widget_get_name(widget), name) == 0) return true;
  if (!GTK_IS_BUILDABLE(widget)) return false;
  const char* id = gtk_buildable_get_name(GTK_BUILDABLE(widget));
  return id && std::strcmp(id, name) == 0;
}

// A name to tell the widget by in messages.
inline std::string widget_name(GtkWidget* widget) { return gtk_widget_get_name(widget); }

// Every visible top-level window of that name.
inline std::vector<GtkWidget*> find_windows(const char* name) {
  std::vector<GtkWidget*> found;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* it = toplevels; it; it = it->next) {
    GtkWidget* window = GTK_WIDGET(it->data);
    if (gtk_widget_get_visible(window) && has_name(window, name)) found.push_back(window);
  }
  g_list_free(toplevels);
  return found;
}

// The visible top-level window of that name, or null.
inline GtkWidget* find_window(const char* name) {
  std::vector<GtkWidget*> found = find_windows(name);
  return found.empty() ? nullptr : found.front();
}

// Waits for the window to be shown; null if it is not within the time.
inline GtkWidget* wait_for_window(const char* name, int timeout_ms = 3000) {
  GtkWidget* window = nullptr;
  iterate_until([&] { return (window = find_window(name)) != nullptr; }, timeout_ms);
  return window;
}

// Whether that window (by pointer) is still a visible top level; safe to ask
// about a window that has been destroyed.
inline bool is_open(GtkWidget* window) {
  GList* toplevels = gtk_window_list_toplevels();
  bool open = g_list_find(toplevels, window) && gtk_widget_get_visible(window);
  g_list_free(toplevels);
  return open;
}

namespace detail {
inline GtkWidget* find_descendant(GtkWidget* widget, const char* name) {
  if (has_name(widget, name)) return widget;
  if (GTK_IS_MENU_ITEM(widget)) {
    if (GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(widget))) {
      if (GtkWidget* found = find_descendant(submenu, name)) return found;
    }
  }
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  std::pair<const char*, GtkWidget*> search{name, nullptr};
  gtk_container_forall(
      GTK_CONTAINER(widget),
      [](GtkWidget* child, gpointer data) {
        auto* s = static_cast<std::pair<const char*, GtkWidget*>*>(data);
        if (!s->second) s->second = find_descendant(child, s->first);
      },
      &search);
  return search.second;
}
}  // namespace detail

// The widget that `window` names `name`: the object data of that name on the
// window (widgets made in code), else a descendant with that builder id or
// widget name (menus included). Null if there is none.
inline GtkWidget* named_child(GtkWidget* window, const char* name) {
  if (gpointer data = g_object_get_data(G_OBJECT(window), name)) {
    if (GTK_IS_WIDGET(data)) return GTK_WIDGET(data);
  }
  return detail::find_descendant(window, name);
}

// The text of the named label ("" and a test failure if there is none).
inline std::string label_text(GtkWidget* window, const char* name) {
  GtkWidget* label = named_child(window, name);
  if (!label || !GTK_IS_LABEL(label)) {
    ADD_FAILURE() << "no label " << name << " in " << widget_name(window);
    return "";
  }
  return gtk_label_get_text(GTK_LABEL(label));
}

// The text the named text view shows ("" and a test failure if there is none).
inline std::string text_view_text(GtkWidget* window, const char* name) {
  GtkWidget* view = named_child(window, name);
  if (!view || !GTK_IS_TEXT_VIEW(view)) {
    ADD_FAILURE() << "no text view " << name << " in " << widget_name(window);
    return "";
  }
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
  std::string shown = text;
  g_free(text);
  return shown;
}

// ---- Acting on windows ----------------------------------------------------------

// Presses the named button or tool-bar button (or activates the named menu
// item or widget).
inline void click(GtkWidget* window, const char* name) {
  GtkWidget* widget = named_child(window, name);
  if (!widget) {
    ADD_FAILURE() << "no widget " << name << " in " << widget_name(window);
    return;
  }
  if (GTK_IS_BUTTON(widget)) {
    gtk_button_clicked(GTK_BUTTON(widget));
  } else if (GTK_IS_TOOL_BUTTON(widget)) {
    // A tool button is clicked through the button inside it.
    gtk_button_clicked(GTK_BUTTON(gtk_bin_get_child(GTK_BIN(widget))));
  } else if (GTK_IS_MENU_ITEM(widget)) {
    gtk_menu_item_activate(GTK_MENU_ITEM(widget));
  } else {
    gtk_widget_activate(widget);
  }
}

// Sends a key press and its release to the top-level window of `widget`, as
// the X server would deliver them: GTK's own key handling runs (accelerators,
// mnemonics, the focus widget, Return for the default button). `state` holds
// the modifiers held down, e.g. GDK_MOD1_MASK for Alt.
inline void press_key(GtkWidget* widget, guint keyval,
                      GdkModifierType state = static_cast<GdkModifierType>(0)) {
  GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
  GdkWindow* window = gtk_widget_get_window(toplevel);
  if (!window) {
    ADD_FAILURE() << "window " << widget_name(toplevel) << " is not realized";
    return;
  }
  GdkDisplay* display = gdk_window_get_display(window);
  GdkDevice* keyboard = gdk_seat_get_keyboard(gdk_display_get_default_seat(display));

  // Accelerators are matched by hardware key code, so it must be the real one.
  guint16 keycode = 0;
  guint8 group = 0;
  GdkKeymapKey* keys = nullptr;
  gint n_keys = 0;
  if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys,
                                        &n_keys) &&
      n_keys > 0) {
    keycode = static_cast<guint16>(keys[0].keycode);
    group = static_cast<guint8>(keys[0].group);
  } else {
    ADD_FAILURE() << "no key code for " << gdk_keyval_name(keyval);
  }
  g_free(keys);

  g_object_ref(window);  // the press may destroy the widget, not the GdkWindow we hold
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->key.window = GDK_WINDOW(g_object_ref(window));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.state = state;
    event->key.keyval = keyval;
    event->key.hardware_keycode = keycode;
    event->key.group = group;
    gdk_event_set_device(event, keyboard);
    gtk_main_do_event(event);
    gdk_event_free(event);
  }
  g_object_unref(window);
}

// Closes the window as the window manager's close button does: a delete
// event, which the window may refuse.
inline void close_window(GtkWidget* widget) {
  GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
  GdkWindow* window = gtk_widget_get_window(toplevel);
  if (!window) {
    ADD_FAILURE() << "window " << widget_name(toplevel) << " is not realized";
    return;
  }
  GdkEvent* event = gdk_event_new(GDK_DELETE);
  event->any.window = GDK_WINDOW(g_object_ref(window));
  event->any.send_event = TRUE;
  gtk_main_do_event(event);
  gdk_event_free(event);
}

// Destroys every visible top-level window of these names (test clean-up).
inline void destroy_windows(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    for (GtkWidget* window : find_windows(name)) gtk_widget_destroy(window);
  }
  flush_events();
}

// ---- Answering a modal question ------------------------------------------------

// Runs `act` on the window `name` as soon as it is shown, from within the
// loop that is running then: a question's own loop, so the question returns
// whatever `act` answered. Checked every `interval_ms`.
//
// A test must never hang: if the window does not appear within `timeout_ms`,
// or is still open `timeout_ms` after `act` (when `act` should have closed
// it), the test fails and every modal window is destroyed, which ends the
// waiting question with its close answer.
class WhenShown {
 public:
  WhenShown(const char* name, std::function<void(GtkWidget*)> act, int timeout_ms = 5000,
            guint interval_ms = 20)
      : name_(name), act_(std::move(act)), timeout_us_(gint64{timeout_ms} * 1000) {
    deadline_ = g_get_monotonic_time() + timeout_us_;
    source_ = g_timeout_add(interval_ms, &WhenShown::tick, this);
  }
  ~WhenShown() {
    if (source_) g_source_remove(source_);
    if (window_)
      g_object_remove_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
  }
  WhenShown(const WhenShown&) = delete;
  WhenShown& operator=(const WhenShown&) = delete;

  // Whether `act` has run.
  bool acted() const { return acted_; }

 private:
  static gboolean tick(gpointer self) { return static_cast<WhenShown*>(self)->step(); }

  gboolean step() {
    if (!acted_) {
      if (GtkWidget* window = find_window(name_.c_str())) {
        window_ = window;
        g_object_add_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
        acted_ = true;
        act_(window);
        deadline_ = g_get_monotonic_time() + timeout_us_;
      } else if (g_get_monotonic_time() >= deadline_) {
        ADD_FAILURE() << "window " << name_ << " was not shown";
        return finish_by_force();
      }
      return G_SOURCE_CONTINUE;
    }
    if (!window_ || !gtk_widget_get_visible(window_)) return finish();
    if (g_get_monotonic_time() >= deadline_) {
      ADD_FAILURE() << "window " << name_ << " is still open after the action";
      return finish_by_force();
    }
    return G_SOURCE_CONTINUE;
  }

  gboolean finish() {
    source_ = 0;
    return G_SOURCE_REMOVE;
  }

  gboolean finish_by_force() {
    GList* toplevels = gtk_window_list_toplevels();
    g_list_foreach(
        toplevels, [](gpointer w, gpointer) { g_object_ref(w); }, nullptr);
    for (GList* it = toplevels; it; it = it->next) {
      if (gtk_window_get_modal(GTK_WINDOW(it->data))) gtk_widget_destroy(GTK_WIDGET(it->data));
    }
    g_list_free_full(toplevels, g_object_unref);
    return finish();
  }

  std::string name_;
  std::function<void(GtkWidget*)> act_;
  gint64 timeout_us_;
  gint64 deadline_;
  guint source_ = 0;
  bool acted_ = false;
  GtkWidget* window_ = nullptr;  // weak
};

// ---- GTK's complaints ------------------------------------------------------------

// Warnings and criticals logged since the last call (GTK reports misuse this
// way and goes on). Filled once install_log_catcher() has run.
inline std::vector<std::string>& logged_warnings() {
  static std::vector<std::string> warnings;
  return warnings;
}

inline std::vector<std::string> take_warnings() {
  std::vector<std::string> taken;
  taken.swap(logged_warnings());
  return taken;
}

// Keeps every warning and critical for take_warnings() and still prints it.
// Call once, first thing in main.
inline void install_log_catcher() {
  g_log_set_writer_func(
      [](GLogLevelFlags level, const GLogField* fields, gsize n_fields, gpointer) {
        if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) {
          std::string domain, message;
          for (gsize i = 0; i < n_fields; ++i) {
            if (fields[i].length != -1) continue;
            if (std::strcmp(fields[i].key, "GLIB_DOMAIN") == 0) {
              domain = static_cast<const char*>(fields[i].value);
            } else if (std::strcmp(fields[i].key, "MESSAGE") == 0) {
              message = static_cast<const char*>(fields[i].value);
            }
          }
          logged_warnings().push_back(domain + ": " + message);
        }
        return g_log_writer_default(level, fields, n_fields, nullptr);
      },
      nullptr, nullptr);
}

// ---- A stand-in main window ------------------------------------------------------

// A shown top-level window in the main window's place (the other windows
// are made transient for it and hold it insensitive while they need to),
// for the tests of those windows. Complaints logged before it are dropped.
inline GtkWidget* open_stand_in_main_window() {
  take_warnings();
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show(window);
  g_main_window = window;
  return window;
}

// Destroys it, and fails the test for every complaint GTK logged meanwhile.
inline void close_stand_in_main_window(GtkWidget*& window) {
  gtk_widget_destroy(window);
  window = nullptr;
  g_main_window = nullptr;
  flush_events();
  for (const std::string& warning : take_warnings()) ADD_FAILURE() << "GTK complained: " << warning;
}

}  // namespace gui
