// The help dialog and the text dialog share one layout: a read-only text
// view in a scrolled window and a "Dismiss" button under it.
#include "ui/dialogs/help_viewer.h"

#include <gtk/gtk.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/coded_text.h"
#include "core/glib_ptr.h"
#include "core/unique_fd.h"
#include "core/version.h"
#include "ui/dialogs/dialogs.h"

namespace {

constexpr std::size_t HELP_BUFFER_SIZE = 16384;  // a page is at most 16383 characters
constexpr std::size_t TEXT_FILE_LIMIT = 32767;   // the text dialog shows a file's beginning

bool is_help_page(const char* name) {
  for (const char* page : HELP_PAGES) {
    if (std::strcmp(page, name) == 0) return true;
  }
  return false;
}

constexpr const char* HELP_KEY = "pm-help-dialog";  // on the window a help dialog belongs to

// The text view's margins, in pixels: the text never touches the frame.
constexpr int SIDE_MARGIN = 12;
constexpr int END_MARGIN = 8;

void dismiss_clicked(GtkButton*, gpointer dialog) { gtk_widget_destroy(GTK_WIDGET(dialog)); }

// Shows `text` in the view, from its top; bytes that are not UTF-8 (a log
// line carries file names as they are on disk) are mended, as GTK shows
// nothing for text that is not valid.
void set_view_text(GtkTextView* view, const char* text) {
  GCharPtr valid(g_utf8_make_valid(text, -1));
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
  gtk_text_buffer_set_text(buffer, valid.get(), -1);
  GtkTextIter start;
  gtk_text_buffer_get_start_iter(buffer, &start);
  gtk_text_buffer_place_cursor(buffer, &start);
  GtkWidget* scrolled = gtk_widget_get_parent(GTK_WIDGET(view));
  if (GTK_IS_SCROLLED_WINDOW(scrolled)) {
    GtkAdjustment* v = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled));
    gtk_adjustment_set_value(v, gtk_adjustment_get_lower(v));
  }
}

// A page's view asks for the width of its longest line: the text view
// itself knows only the lines it has laid out so far (the first screen).
void size_for_page(GtkTextView* view) {
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  GCharPtr text(gtk_text_buffer_get_text(buffer, &start, &end, FALSE));
  PangoLayout* layout = gtk_widget_create_pango_layout(GTK_WIDGET(view), text.get());
  int width;
  pango_layout_get_pixel_size(layout, &width, nullptr);
  g_object_unref(layout);
  // A few pixels more: the view keeps room for the cursor after a line.
  gtk_widget_set_size_request(GTK_WIDGET(view), width + 2 * SIDE_MARGIN + 4, -1);
}

// Builds the dialog around `text` and shows it; the caller names the
// widgets. `page` (help) keeps lines whole in a fixed-width font and makes
// the dialog as wide as its longest line; otherwise long lines wrap.
// `width` -1: the width the text asks for.
// Returns the dialog; `view_out` and `button_out` get the parts.
GtkWidget* open_text_dialog(const char* title, int width, int height, bool page, const char* text,
                            GtkWidget** view_out, GtkWidget** button_out) {
  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog), title);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_window_set_default_size(GTK_WINDOW(dialog), width, height);

  GtkWidget* view = gtk_text_view_new();
  GtkTextView* text_view = GTK_TEXT_VIEW(view);
  gtk_text_view_set_editable(text_view, FALSE);
  gtk_text_view_set_cursor_visible(text_view, FALSE);
  gtk_text_view_set_left_margin(text_view, SIDE_MARGIN);
  gtk_text_view_set_right_margin(text_view, SIDE_MARGIN);
  gtk_text_view_set_top_margin(text_view, END_MARGIN);
  gtk_text_view_set_bottom_margin(text_view, END_MARGIN);
  gtk_text_view_set_monospace(text_view, page);
  gtk_text_view_set_wrap_mode(text_view, page ? GTK_WRAP_NONE : GTK_WRAP_WORD_CHAR);

  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC,
                                 GTK_POLICY_AUTOMATIC);
  // A page's longest line sets the dialog's width (up to the screen's).
  gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scrolled), page);
  gtk_container_add(GTK_CONTAINER(scrolled), view);
  set_view_text(text_view, text);
  if (page) size_for_page(text_view);
  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_box_pack_start(GTK_BOX(content), scrolled, TRUE, TRUE, 0);

  GtkWidget* button = gtk_dialog_add_button(GTK_DIALOG(dialog), "Dismiss", GTK_RESPONSE_CLOSE);
  // The button spans the action area, 26 pixels in from either side.
  GtkWidget* action_area = gtk_widget_get_parent(button);
  if (GTK_IS_BUTTON_BOX(action_area)) {
    gtk_button_box_set_layout(GTK_BUTTON_BOX(action_area), GTK_BUTTONBOX_EXPAND);
  }
  gtk_widget_set_margin_start(button, 26);
  gtk_widget_set_margin_end(button, 26);
  gtk_widget_set_can_default(button, TRUE);
  g_signal_connect(button, "clicked", G_CALLBACK(dismiss_clicked), dialog);
  // The window manager's close (and Escape) destroy the dialog by GtkDialog's
  // own default.

  *view_out = view;
  *button_out = button;
  return dialog;
}

void show_dialog(GtkWidget* dialog, GtkWidget* button) {
  gtk_widget_show_all(dialog);
  gtk_widget_grab_default(button);
  gtk_widget_grab_focus(button);
}

// The window a help dialog opened now belongs to: the one holding the grab
// (a settings window, the script writer), else the active one, else the
// main window. A help dialog asked from its own window stands for the
// window it belongs to.
GtkWidget* help_owner() {
  GtkWidget* owner = nullptr;
  if (GtkWidget* grab = gtk_grab_get_current()) owner = gtk_widget_get_toplevel(grab);
  if (owner == nullptr || !GTK_IS_WINDOW(owner)) {
    owner = nullptr;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* it = toplevels; it != nullptr && owner == nullptr; it = it->next) {
      if (gtk_window_is_active(GTK_WINDOW(it->data))) owner = GTK_WIDGET(it->data);
    }
    g_list_free(toplevels);
  }
  if (owner != nullptr && g_strcmp0(gtk_widget_get_name(owner), "TheWinHelp") == 0) {
    owner = GTK_WIDGET(gtk_window_get_transient_for(GTK_WINDOW(owner)));
  }
  return owner != nullptr ? owner : g_main_window;
}

// The owner forgets its help dialog when the dialog goes.
void help_destroyed(GtkWidget* dialog, gpointer owner) {
  if (g_object_get_data(G_OBJECT(owner), HELP_KEY) == dialog) {
    g_object_set_data(G_OBJECT(owner), HELP_KEY, nullptr);
  }
}

}  // namespace

void show_help(const char* page_name) {
  if (!page_name || !is_help_page(page_name)) page_name = "Basics";

  char text[HELP_BUFFER_SIZE];
  if (const CodedText* page = find_coded_text(page_name)) {
    decode_text(page->bytes, page->size, text, sizeof text);
  } else {
    std::snprintf(text, sizeof text, "No help page %s.", page_name);
  }
  // Every page ends with the program's name and version.
  const std::size_t used = std::strlen(text);
  std::snprintf(text + used, sizeof text - used, "\n\nPelto Marvish %s\n", program_version());
  GCharPtr title(g_strdup_printf("Help on %s (PeltoMarvish)", page_name));

  GtkWidget* owner = help_owner();
  if (owner != nullptr) {
    if (auto* open = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(owner), HELP_KEY))) {
      gtk_window_set_title(GTK_WINDOW(open), title.get());
      auto* view = GTK_TEXT_VIEW(g_object_get_data(G_OBJECT(open), "TheHelpText"));
      set_view_text(view, text);
      size_for_page(view);
      gtk_window_present(GTK_WINDOW(open));
      return;
    }
  }

  GtkWidget* view;
  GtkWidget* button;
  GtkWidget* dialog = open_text_dialog(title.get(), -1, 452, true, text, &view, &button);
  gtk_widget_set_name(dialog, "TheWinHelp");
  g_object_set_data(G_OBJECT(dialog), "TheHelpText", view);
  g_object_set_data(G_OBJECT(dialog), "ButtonDismiss", button);
  if (owner != nullptr) {
    gtk_window_set_transient_for(GTK_WINDOW(dialog), GTK_WINDOW(owner));
    g_object_set_data(G_OBJECT(owner), HELP_KEY, dialog);
    g_signal_connect(dialog, "destroy", G_CALLBACK(help_destroyed), owner);
    // It goes with its window (the connection ends when the dialog goes).
    g_signal_connect_object(owner, "destroy", G_CALLBACK(gtk_widget_destroy), dialog,
                            G_CONNECT_SWAPPED);
  }
  show_dialog(dialog, button);
  gtk_grab_add(dialog);  // ends with the dialog
}

void show_text_file(const char* title, const char* file_name) {
  std::string text;
  // O_NONBLOCK: a FIFO at the name must never hold the window up; anything
  // but a regular file is refused as a file that cannot be opened.
  UniqueFd fd(open(file_name, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (fd && (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))) {
    fd.reset();
    errno = EINVAL;
  }
  if (fd) {
    text.resize(TEXT_FILE_LIMIT);
    std::size_t got = 0;
    while (got < TEXT_FILE_LIMIT) {
      ssize_t n = read(fd.get(), text.data() + got, TEXT_FILE_LIMIT - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    text.resize(got);
  } else {
    int error = errno;
    GCharPtr line(g_strdup_printf("Error %d opening file %s\n", error, file_name));
    text = line.get();
  }

  GCharPtr full_title(g_strdup_printf("%s (PeltoMarvish)", title));
  GtkWidget* view;
  GtkWidget* button;
  GtkWidget* dialog =
      open_text_dialog(full_title.get(), 460, 440, false, text.c_str(), &view, &button);
  keep_above_main_window(dialog);
  gtk_widget_set_name(dialog, "TheWinText");
  g_object_set_data(G_OBJECT(dialog), "TheText", view);
  g_object_set_data(G_OBJECT(dialog), "ButtonDismiss", button);
  show_dialog(dialog, button);
}
