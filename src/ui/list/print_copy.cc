#include "ui/list/print_copy.h"

#include <fcntl.h>
#include <gtk/gtk.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/glib_ptr.h"
#include "core/unique_fd.h"
#include "list_text/list_rows.h"
#include "list_text/print_format.h"

namespace {

// Of each of lpr's outputs, what a notice shows: the rest is never kept.
constexpr std::size_t LPR_OUTPUT_LIMIT = 1024;

// lpr's answer decides the notice; then the print file goes.
void lpr_ended(Prompter& prompter, const std::string& file, const std::string& command,
               const RunResult& lpr) {
  if (lpr.succeeded()) {
    prompter.message("Print Started", (lpr.out + file).c_str(), command.c_str());
  } else {
    std::string said = lpr.err;
    if (said.empty()) {
      if (!lpr.started) {
        said = lpr.error;
      } else if (lpr.end_signal() != 0) {
        said = "lpr ended by signal " + std::to_string(lpr.end_signal());
      } else {
        said = "lpr ended with status " + std::to_string(lpr.exit_status());
      }
    }
    prompter.message("Print Failed", said.c_str(), command.c_str());
  }
  unlink(file.c_str());
}

// One clipboard's copy of the path.
struct ClipText {
  std::string bytes;
};

void give_clip(GtkClipboard*, GtkSelectionData* selection, guint info, gpointer data) {
  const std::string& path = static_cast<ClipText*>(data)->bytes;
  if (info == 1) {
    // A list of file names: the one way to hand over any path's exact bytes.
    GCharPtr uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
    std::string list = uri ? std::string(uri.get()) + "\r\n" : "";
    gtk_selection_data_set(selection, gtk_selection_data_get_target(selection), 8,
                           reinterpret_cast<const guchar*>(list.data()),
                           static_cast<gint>(list.size()));
    return;
  }
  // The text names the file exactly where it is pasted: a name that is not
  // valid text comes in the shell's $'...' quoting.
  gtk_selection_data_set_text(selection, pasted_path_text(path).c_str(), -1);
}

void drop_clip(GtkClipboard*, gpointer data) { delete static_cast<ClipText*>(data); }

}  // namespace

std::string print_text(const ResultList& list) {
  std::string text;
  for (int r = 0; r < list.size(); ++r) {
    std::string cols[COLUMN_COUNT];
    for (int c = 0; c < COL_PATH; ++c) cols[c] = list.text(r, c);
    cols[COL_PATH] = list.path(r);  // the path's own bytes
    RowTexts row{{cols[0].c_str(), cols[1].c_str(), cols[2].c_str(), cols[3].c_str(),
                  cols[4].c_str(), cols[5].c_str(), cols[6].c_str()}};
    text += format_print_row(row);
  }
  return text;
}

void print_list(ResultList& list, Prompter& prompter, Launcher& launcher) {
  if (list.size() <= 0) {
    prompter.error_signal();
    return;
  }
  char name[] = "print-XXXXXX.Temp";
  UniqueFd fd(mkostemps(name, 5, O_CLOEXEC));
  if (!fd) {
    prompter.error_signal();
    return;
  }
  list.show_progress(0.0);
  std::string text = print_text(list);
  list.show_progress(1.0);
  if (!write_all(fd.get(), text.data(), text.size()) || !fd.close()) {
    unlink(name);
    prompter.message("Print Failed", std::strerror(errno), name);
    return;
  }

  std::string file = name;
  std::string command = "lpr " + file;
  launcher.start_reading({"lpr", file}, {LPR_OUTPUT_LIMIT, ErrorOutput::READ, LPR_OUTPUT_LIMIT},
                         [&prompter, file, command](const RunResult& lpr) {
                           lpr_ended(prompter, file, command, lpr);
                         });
}

void copy_path(ResultList& list, Prompter& prompter) {
  const int r = list.selected_row();
  if (r < 1) {
    prompter.error_signal();
    return;
  }
  const std::string path = list.path(r);
  static const GtkTargetEntry TARGETS[] = {
      {const_cast<gchar*>("UTF8_STRING"), 0, 0},
      {const_cast<gchar*>("STRING"), 0, 0},
      {const_cast<gchar*>("TEXT"), 0, 0},
      {const_cast<gchar*>("COMPOUND_TEXT"), 0, 0},
      {const_cast<gchar*>("text/plain;charset=utf-8"), 0, 0},
      {const_cast<gchar*>("text/plain"), 0, 0},
      {const_cast<gchar*>("text/uri-list"), 0, 1},
  };
  const int target_count = path.empty() ? G_N_ELEMENTS(TARGETS) - 1 : G_N_ELEMENTS(TARGETS);
  for (GdkAtom which : {GDK_SELECTION_CLIPBOARD, GDK_SELECTION_PRIMARY}) {
    GtkClipboard* clipboard = gtk_clipboard_get(which);
    gtk_clipboard_set_with_data(clipboard, TARGETS, target_count, give_clip, drop_clip,
                                new ClipText{path});
    // A clipboard manager may keep it after the program has ended.
    if (which == GDK_SELECTION_CLIPBOARD) gtk_clipboard_set_can_store(clipboard, nullptr, 0);
  }
}
