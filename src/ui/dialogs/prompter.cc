#include "ui/dialogs/prompter.h"

#include <gtk/gtk.h>

#include "ui/dialogs/dialogs.h"

void DialogPrompter::message(const char* title, const char* line1, const char* line2) {
  show_message(title, line1, line2);
}

int DialogPrompter::ask_yes_no(const char* title, const char* line1, const char* line2,
                               int default_answer) {
  return ::ask_yes_no(title, line1, line2, default_answer);
}

int DialogPrompter::ask_yes_no_all(const char* title, const char* line1, const char* line2,
                                   int default_answer) {
  return ::ask_yes_no_all(title, line1, line2, default_answer);
}

int DialogPrompter::ask_yes_no_none(const char* title, const char* line1, const char* line2,
                                    int default_answer) {
  return ::ask_yes_no_none(title, line1, line2, default_answer);
}

int DialogPrompter::ask_file_exists(const char* path) { return ::ask_file_exists(path); }

void DialogPrompter::error_signal() {
  if (settings_.error_beep == 0) return;
  for (int i = 0; i < 3; ++i) gdk_display_beep(gdk_display_get_default());
}
