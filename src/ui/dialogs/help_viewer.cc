// The help dialog and the text dialog share one layout: a left-justified
// label in a scrolled window and a "Dismiss" button under it.
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

void dismiss_clicked(GtkButton*, gpointer dialog) { gtk_widget_destroy(GTK_WIDGET(dialog)); }

// Builds the dialog around `text` and shows it; the caller names the
// widgets. Returns the dialog; `label_out` and `button_out` get the parts.
GtkWidget* open_text_dialog(const char* title, int width, int height, const char* text,
                            GtkWidget** label_out, GtkWidget** button_out) {
  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog), title);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_widget_set_size_request(dialog, width, height);
  keep_above_main_window(dialog);

  // Log lines carry file names as they are on disk, which need not be UTF-8;
  // GTK shows nothing at all for text that is not, so mend the odd bytes.
  GCharPtr valid(g_utf8_make_valid(text, -1));
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_label_set_text(GTK_LABEL(label), valid.get());
  gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_LEFT);
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_yalign(GTK_LABEL(label), 0.0f);

  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC,
                                 GTK_POLICY_AUTOMATIC);
  GtkWidget* viewport = gtk_viewport_new(nullptr, nullptr);
  gtk_container_add(GTK_CONTAINER(viewport), label);
  gtk_container_add(GTK_CONTAINER(scrolled), viewport);
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

  gtk_widget_show_all(dialog);
  gtk_widget_grab_default(button);
  gtk_widget_grab_focus(button);
  *label_out = label;
  *button_out = button;
  return dialog;
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

  GCharPtr title(g_strdup_printf("Help on %s (PeltoMarvish)", page_name));
  GtkWidget* label;
  GtkWidget* button;
  GtkWidget* dialog = open_text_dialog(title.get(), 412, 452, text, &label, &button);
  gtk_widget_set_name(dialog, "TheWinHelp");
  g_object_set_data(G_OBJECT(dialog), "TheHelpText", label);
  g_object_set_data(G_OBJECT(dialog), "ButtonDismiss", button);
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
  GtkWidget* label;
  GtkWidget* button;
  GtkWidget* dialog = open_text_dialog(full_title.get(), 460, 440, text.c_str(), &label, &button);
  gtk_widget_set_name(dialog, "TheWinText");
  g_object_set_data(G_OBJECT(dialog), "TheText", label);
  g_object_set_data(G_OBJECT(dialog), "ButtonDismiss", button);
}
