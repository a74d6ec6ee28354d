// The notice and the three questions. All four boxes are built by one
// function from a table of buttons; what differs is the window name, the
// lines and the buttons.
//
// How an answer travels: every button carries its answer; "clicked" stores it
// on the window and destroys the window, and the window manager's close
// destroys the window with the close answer already stored there. The
// window's "destroy" handler is the one place that hands the answer to the
// waiting question (through a pointer to the question's own variable, so a
// notice opened meanwhile cannot disturb it) and gives the main window back.
#include "ui/dialogs/dialogs.h"

#include "core/glib_ptr.h"

GtkWidget* g_main_window = nullptr;

namespace {

constexpr int NO_ANSWER = -1;
constexpr int LINE_WIDTH_CHARS = 64;  // a line of a box wraps after about this many characters

// Object data keys of our own, beside the widget names.
constexpr const char* ANSWER_KEY = "pm-answer";            // on a button, and on the window
constexpr const char* ANSWER_SLOT_KEY = "pm-answer-slot";  // on a question window

// Modal windows open right now. The main window is insensitive while any is
// open, so closing a notice that popped up over a question leaves the main
// window insensitive until the question is answered too.
int g_modal_windows = 0;

struct ButtonSpec {
  const char* name;   // object data name on the window
  const char* label;  // with the mnemonic underscore, or a plain text
  guint alt_key;      // 0: no Alt accelerator
  int answer;
};

struct BoxLayout {
  const char* window_name;
  const char* title;
  const char* line1;
  const char* line2;       // null: no Msg2 (the file-exists box has label1 instead)
  const char* fixed_text;  // label1 of the file-exists box, or null
  const ButtonSpec* buttons;
  int button_count;
  int close_answer;
  // Padding of the two lines and border width of the question buttons.
  guint line_padding;
  guint button_border;
};

void set_label_text(GtkWidget* label, const char* text) {
  // A line may carry a file name that is not valid UTF-8; GTK would refuse it.
  if (g_utf8_validate(text, -1, nullptr)) {
    gtk_label_set_text(GTK_LABEL(label), text);
    return;
  }
  GCharPtr valid(g_utf8_make_valid(text, -1));
  gtk_label_set_text(GTK_LABEL(label), valid.get());
}

GtkWidget* make_label(GtkWidget* window, const char* name, const char* text) {
  GtkWidget* label = gtk_label_new(nullptr);
  set_label_text(label, text ? text : "");
  // A line may quote a long path: it wraps, between any two characters
  // where there is no blank, at a width that keeps the box readable.
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
  gtk_label_set_max_width_chars(GTK_LABEL(label), LINE_WIDTH_CHARS);
  gtk_widget_show(label);
  g_object_set_data(G_OBJECT(window), name, label);
  return label;
}

void button_clicked(GtkButton* button, gpointer window) {
  g_object_set_data(G_OBJECT(window), ANSWER_KEY, g_object_get_data(G_OBJECT(button), ANSWER_KEY));
  gtk_widget_destroy(GTK_WIDGET(window));
}

gboolean window_delete_event(GtkWidget* window, GdkEvent*, gpointer) {
  // The close answer is already stored on the window.
  gtk_widget_destroy(window);
  return TRUE;
}

void window_destroy(GtkWidget* window, gpointer) {
  gtk_grab_remove(window);
  release_main_window();
  if (auto* slot = static_cast<int*>(g_object_get_data(G_OBJECT(window), ANSWER_SLOT_KEY))) {
    *slot = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(window), ANSWER_KEY));
  }
}

// Builds, names and shows the box; `answer_slot` is null for the notice.
GtkWidget* open_box(const BoxLayout& layout, int* answer_slot) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(window, layout.window_name);
  gtk_window_set_title(GTK_WINDOW(window), layout.title);
  gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_widget_set_size_request(window, 450, 175);
  gtk_container_set_border_width(GTK_CONTAINER(window), 2);
  gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_MOUSE);
  gtk_window_set_modal(GTK_WINDOW(window), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(window), TRUE);
  keep_above_main_window(window);

  GtkAccelGroup* accel_group = gtk_accel_group_new();
  gtk_window_add_accel_group(GTK_WINDOW(window), accel_group);
  g_object_unref(accel_group);  // the window holds it

  GtkWidget* vbox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_widget_show(vbox);
  gtk_container_add(GTK_CONTAINER(window), vbox);
  g_object_set_data(G_OBJECT(window), "vbox1", vbox);

  GtkWidget* msg1 = make_label(window, "Msg1", layout.line1);
  gtk_label_set_xalign(GTK_LABEL(msg1), 0.0f);
  gtk_box_pack_start(GTK_BOX(vbox), msg1, TRUE, TRUE, layout.line_padding);
  if (layout.fixed_text) {
    gtk_box_pack_start(GTK_BOX(vbox), make_label(window, "label1", layout.fixed_text), TRUE, TRUE,
                       layout.line_padding);
  } else {
    gtk_box_pack_start(GTK_BOX(vbox), make_label(window, "Msg2", layout.line2), TRUE, TRUE,
                       layout.line_padding);
  }

  GtkWidget* hbox = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  gtk_widget_show(hbox);
  gtk_box_pack_start(GTK_BOX(vbox), hbox, TRUE, TRUE, 0);
  g_object_set_data(G_OBJECT(window), "hbox1", hbox);

  for (int i = 0; i < layout.button_count; ++i) {
    const ButtonSpec& b = layout.buttons[i];
    GtkWidget* button =
        b.alt_key ? gtk_button_new_with_mnemonic(b.label) : gtk_button_new_with_label(b.label);
    gtk_widget_show(button);
    g_object_set_data(G_OBJECT(window), b.name, button);
    g_object_set_data(G_OBJECT(button), ANSWER_KEY, GINT_TO_POINTER(b.answer));
    g_signal_connect(button, "clicked", G_CALLBACK(button_clicked), window);
    if (b.alt_key) {
      gtk_widget_add_accelerator(button, "clicked", accel_group, b.alt_key, GDK_MOD1_MASK,
                                 GTK_ACCEL_VISIBLE);
    }
    gtk_container_set_border_width(GTK_CONTAINER(button), layout.button_border);
    if (layout.button_count == 1) {
      // The notice's lone OK button sits in the middle of its row.
      gtk_widget_set_size_request(button, 110, 19);
      gtk_widget_set_valign(button, GTK_ALIGN_CENTER);
      gtk_box_set_center_widget(GTK_BOX(hbox), button);
    } else {
      gtk_box_pack_start(GTK_BOX(hbox), button, TRUE, TRUE, 0);
    }
  }

  g_object_set_data(G_OBJECT(window), ANSWER_KEY, GINT_TO_POINTER(layout.close_answer));
  g_object_set_data(G_OBJECT(window), ANSWER_SLOT_KEY, answer_slot);
  g_signal_connect(window, "delete-event", G_CALLBACK(window_delete_event), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(window_destroy), nullptr);

  hold_main_window();
  gtk_widget_show(window);
  gtk_grab_add(window);  // after show: GTK asks the realized window its type
  return window;
}

GtkWidget* named(GtkWidget* window, const char* name) {
  return GTK_WIDGET(g_object_get_data(G_OBJECT(window), name));
}

// Return presses `button`, and the keyboard focus is on it.
void make_default(GtkWidget* button) {
  gtk_widget_set_can_default(button, TRUE);
  gtk_widget_grab_default(button);
  gtk_widget_grab_focus(button);
}

// Runs the main loop until the question's window has handed over its answer.
int wait_for_answer(const int& answer) {
  while (answer == NO_ANSWER) gtk_main_iteration();
  return answer;
}

}  // namespace

void keep_above_main_window(GtkWidget* window) {
  if (g_main_window && GTK_IS_WINDOW(g_main_window)) {
    gtk_window_set_transient_for(GTK_WINDOW(window), GTK_WINDOW(g_main_window));
  }
}

void hold_main_window() {
  ++g_modal_windows;
  if (g_main_window) gtk_widget_set_sensitive(g_main_window, FALSE);
}

void release_main_window() {
  if (--g_modal_windows == 0 && g_main_window) gtk_widget_set_sensitive(g_main_window, TRUE);
}

void show_message(const char* title, const char* line1, const char* line2) {
  static constexpr ButtonSpec buttons[] = {{"butOK", "OK", 0, ANSWER_YES}};
  BoxLayout layout{"TheWinAskOK", title, line1, line2, nullptr, buttons, 1, ANSWER_NO, 0, 1};
  GtkWidget* window = open_box(layout, nullptr);
  make_default(named(window, "butOK"));
}

int ask_yes_no(const char* title, const char* line1, const char* line2, int default_answer) {
  static constexpr ButtonSpec buttons[] = {{"ButtonYes", "_Yes", GDK_KEY_y, ANSWER_YES},
                                           {"ButtonNo", "_No", GDK_KEY_n, ANSWER_NO}};
  int answer = NO_ANSWER;
  BoxLayout layout{"TheWinAskYesNo", title, line1, line2, nullptr, buttons, 2, ANSWER_NO, 2, 8};
  GtkWidget* window = open_box(layout, &answer);
  gtk_widget_set_can_default(named(window, "ButtonYes"), TRUE);
  if (default_answer == ANSWER_YES) make_default(named(window, "ButtonYes"));
  if (default_answer == ANSWER_NO) make_default(named(window, "ButtonNo"));
  return wait_for_answer(answer);
}

int ask_yes_no_all(const char* title, const char* line1, const char* line2, int default_answer) {
  static constexpr ButtonSpec buttons[] = {{"ButtonYes", "_Yes", GDK_KEY_y, ANSWER_YES},
                                           {"ButtonAll", "Yes To _All", GDK_KEY_a, ANSWER_ALL},
                                           {"ButtonNo", "_No", GDK_KEY_n, ANSWER_NO},
                                           {"buttonCancel", "_Cancel", GDK_KEY_c, ANSWER_CANCEL}};
  int answer = NO_ANSWER;
  BoxLayout layout{"TheWinAskYesNoAll", title, line1, line2, nullptr, buttons, 4, ANSWER_NO, 2, 8};
  GtkWidget* window = open_box(layout, &answer);
  gtk_widget_set_can_default(named(window, "ButtonYes"), TRUE);
  gtk_widget_set_can_default(named(window, "buttonCancel"), TRUE);
  if (default_answer == ANSWER_YES) make_default(named(window, "ButtonYes"));
  if (default_answer == ANSWER_NO) make_default(named(window, "ButtonNo"));
  if (default_answer == ANSWER_ALL) gtk_widget_grab_focus(named(window, "ButtonAll"));
  return wait_for_answer(answer);
}

int ask_yes_no_none(const char* title, const char* line1, const char* line2, int default_answer) {
  static constexpr ButtonSpec buttons[] = {
      {"ButtonYes", "_Yes", GDK_KEY_y, ANSWER_YES},
      {"ButtonNo", "_No", GDK_KEY_n, ANSWER_NO},
      {"ButtonNoToAll", "No To _All", GDK_KEY_a, ANSWER_NO_TO_ALL}};
  int answer = NO_ANSWER;
  BoxLayout layout{"TheWinAskYesNoNone", title, line1, line2, nullptr, buttons, 3, ANSWER_NO, 2, 8};
  GtkWidget* window = open_box(layout, &answer);
  gtk_widget_set_can_default(named(window, "ButtonYes"), TRUE);
  if (default_answer == ANSWER_YES) make_default(named(window, "ButtonYes"));
  if (default_answer == ANSWER_NO) make_default(named(window, "ButtonNo"));
  return wait_for_answer(answer);
}

int ask_file_exists(const char* path) {
  static constexpr ButtonSpec buttons[] = {{"button1", "_Append", GDK_KEY_a, ANSWER_ALL},
                                           {"button2", "_Overwrite", GDK_KEY_o, ANSWER_OVERWRITE},
                                           {"button3", "_Leave-As-Is", GDK_KEY_l, ANSWER_LEAVE}};
  int answer = NO_ANSWER;
  BoxLayout layout{"TheWinAskAO",
                   "File Exists",
                   path,
                   nullptr,
                   "File Exists, You may APPEND to it, OVERWRITE it, or LEAVE it as-is.",
                   buttons,
                   3,
                   ANSWER_LEAVE,
                   0,
                   0};
  GtkWidget* window = open_box(layout, &answer);
  make_default(named(window, "button3"));
  return wait_for_answer(answer);
}
