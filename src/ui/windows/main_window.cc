#include "ui/windows/main_window.h"

#include <cstring>
#include <string>

#include "core/glib_ptr.h"
#include "core/process.h"
#include "core/scan_end_text.h"
#include "core/version.h"
#include "list_text/list_rows.h"
#include "ui/dialogs/dialogs.h"
#include "ui/list/list_colours.h"
#include "ui/windows/menu_commands.h"
#include "ui/windows/resources.h"
#include "ui/windows/settings_window.h"

namespace {

constexpr const char* UI_RESOURCE = "/org/peltomarvish/main_window.ui";
constexpr guint CLICK_DISPATCH_DELAY_MS = 500;

// The window's look beyond the .ui: the progress bar drawn as a bar, not a
// hairline.
constexpr const char* WINDOW_CSS = "#ThepBar trough, #ThepBar progress { min-height: 12px; }";

constexpr const char* WINDOW_KEY = "pm-main-window";  // on each command widget

MainWindow& window_of(GtkWidget* widget) {
  return *static_cast<MainWindow*>(g_object_get_data(G_OBJECT(widget), WINDOW_KEY));
}

void run_command(GtkWidget* widget, gpointer command) {
  run_menu_command(*static_cast<const MenuCommand*>(command), window_of(widget));
}

gboolean window_delete_event(GtkWidget*, GdkEvent*, gpointer) {
  exit_program();  // never returns
}

void list_selection_changed(GtkTreeSelection*, gpointer window) {
  static_cast<MainWindow*>(window)->rows().selection_changed_in_view();
}

void set_row_reference(GtkTreeRowReference*& slot, GtkTreeRowReference* value) {
  if (slot != nullptr) gtk_tree_row_reference_free(slot);
  slot = value;
}

// The row at the pointer, as a reference that follows it.
GtkTreeRowReference* row_at(GtkTreeView* view, const GdkEventButton* event) {
  GtkTreePath* path = nullptr;
  if (!gtk_tree_view_get_path_at_pos(view, static_cast<gint>(event->x), static_cast<gint>(event->y),
                                     &path, nullptr, nullptr, nullptr)) {
    return nullptr;
  }
  GtkTreeRowReference* row = gtk_tree_row_reference_new(gtk_tree_view_get_model(view), path);
  gtk_tree_path_free(path);
  return row;
}

GtkTreeRowReference* copy_reference(GtkTreeRowReference* row) {
  return row != nullptr ? gtk_tree_row_reference_copy(row) : nullptr;
}

// A double click is two presses, then the double press; a triple one
// adds a third press and the triple press. The action is for the row of
// the first press: a click on another row before the action runs (it
// waits half a second for a third press) must not move it there.
gboolean list_button_press(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  MainWindow& main = *static_cast<MainWindow*>(data);
  if (event->type == GDK_BUTTON_PRESS) {
    set_row_reference(main.press_rows[0], main.press_rows[1]);
    main.press_rows[1] = row_at(GTK_TREE_VIEW(widget), event);
    return FALSE;
  }
  if (event->type == GDK_2BUTTON_PRESS) {
    main.click_kind = 2;
    set_row_reference(main.click_row, copy_reference(main.press_rows[0]));
    return TRUE;
  }
  if (event->type == GDK_3BUTTON_PRESS) {
    main.click_kind = 3;  // the row stays the double click's first press's
    return TRUE;
  }
  return FALSE;
}

// Every release starts a dispatch half a second later: a third press within
// that time turns a double click into a triple one.
gboolean list_button_release(GtkWidget*, GdkEventButton*, gpointer window) {
  g_timeout_add(CLICK_DISPATCH_DELAY_MS, click_dispatch, window);
  return FALSE;
}

gboolean list_key_press(GtkWidget*, GdkEventKey* event, gpointer data) {
  MainWindow& main = *static_cast<MainWindow*>(data);
  // Delete reaches "Delete File" as the menu accelerator, before the list
  // sees the key; handling it here too would delete twice.
  if (event->keyval == GDK_KEY_Home || event->keyval == GDK_KEY_KP_Home) {
    ListContext ctx = main.list_context();
    run_list_command(list_commands::GOTO_FIRST_ENTRY, ctx);
    return TRUE;
  }
  return FALSE;
}

void column_clicked(GtkTreeViewColumn*, gpointer window) {
  static_cast<MainWindow*>(window)->prompter().error_signal();
}

// The path column's text: the shown path, cut to the column's width by
// eliding the middle of its directory, so that the file name stays whole.
// (The renderer's own middle ellipsis would cut into a long name.)
void set_path_text(GtkTreeViewColumn* column, GtkCellRenderer* cell, GtkTreeModel* model,
                   GtkTreeIter* iter, gpointer) {
  gchar* shown = nullptr;
  gint style = PANGO_STYLE_NORMAL;
  gtk_tree_model_get(model, iter, COL_PATH, &shown, COL_STYLE, &style, -1);
  GCharPtr owned(shown);
  if (shown == nullptr || shown[0] == '\0') {
    g_object_set(cell, "text", "", nullptr);
    return;
  }
  // The room is the renderer's area in the row, less its padding (the
  // column's width less the view's separators, before the rows are laid out).
  GtkTreeView* view = GTK_TREE_VIEW(gtk_tree_view_column_get_tree_view(column));
  GdkRectangle area{0, 0, 0, 0};
  if (GtkTreePath* path = gtk_tree_model_get_path(model, iter)) {
    gtk_tree_view_get_cell_area(view, path, column, &area);
    gtk_tree_path_free(path);
  }
  if (area.width <= 0) {
    gint separator = 0;
    gtk_widget_style_get(GTK_WIDGET(view), "horizontal-separator", &separator, nullptr);
    area.width = gtk_tree_view_column_get_width(column) - separator;
  }
  gint xpad = 0;
  gtk_cell_renderer_get_padding(cell, &xpad, nullptr);
  const int room = area.width - 2 * xpad;
  PangoLayout* layout = gtk_widget_create_pango_layout(GTK_WIDGET(view), nullptr);
  PangoAttrList* attributes = pango_attr_list_new();
  pango_attr_list_insert(attributes, pango_attr_style_new(static_cast<PangoStyle>(style)));
  pango_layout_set_attributes(layout, attributes);
  pango_attr_list_unref(attributes);
  const std::string text = fit_path(shown, [&](std::string_view candidate) {
    pango_layout_set_text(layout, candidate.data(), static_cast<int>(candidate.size()));
    int width;
    pango_layout_get_pixel_size(layout, &width, nullptr);
    return width <= room;
  });
  g_object_unref(layout);
  g_object_set(cell, "text", text.c_str(), nullptr);
}

// The row's tooltip: its whole path, and for a hard link the name it links.
gboolean list_query_tooltip(GtkWidget* widget, gint x, gint y, gboolean keyboard,
                            GtkTooltip* tooltip, gpointer window) {
  GtkTreeView* view = GTK_TREE_VIEW(widget);
  GtkTreePath* path = nullptr;
  if (!gtk_tree_view_get_tooltip_context(view, &x, &y, keyboard, nullptr, &path, nullptr)) {
    return FALSE;
  }
  const std::string markup =
      static_cast<MainWindow*>(window)->rows().tooltip_markup(gtk_tree_path_get_indices(path)[0]);
  if (!markup.empty()) {
    gtk_tooltip_set_markup(tooltip, markup.c_str());
    gtk_tree_view_set_tooltip_row(view, tooltip, path);
  }
  gtk_tree_path_free(path);
  return markup.empty() ? FALSE : TRUE;
}

// The list's colours follow the theme: read from the view's style, they
// are given to the result list whenever the style changes (a dark theme
// chosen, the theme changed while the program runs).
void list_style_updated(GtkWidget* view, gpointer window) {
  GtkStyleContext* style = gtk_widget_get_style_context(view);
  GdkRGBA* background = nullptr;
  GdkRGBA* text = nullptr;
  gtk_style_context_get(style, gtk_style_context_get_state(style), "background-color", &background,
                        "color", &text, nullptr);
  GdkRGBA text_colour = text != nullptr ? *text : GdkRGBA{0.0, 0.0, 0.0, 1.0};
  GdkRGBA background_colour{1.0, 1.0, 1.0, 1.0};
  if (background != nullptr && background->alpha >= 0.5) {
    background_colour = *background;
  } else if (relative_luminance(text_colour) > 0.5) {
    // A theme that leaves the list transparent: light text means a dark list.
    background_colour = GdkRGBA{0.0, 0.0, 0.0, 1.0};
  }
  if (background != nullptr) gdk_rgba_free(background);
  if (text != nullptr) gdk_rgba_free(text);
  static_cast<MainWindow*>(window)->rows().set_colours(
      list_colours(background_colour, text_colour));
}

void set_label_shown(GtkLabel* label, const std::string& bytes) {
  gtk_label_set_text(label, display_text(bytes).c_str());
}

}  // namespace

GObject* MainWindow::widget(const char* name) const {
  return builder != nullptr ? gtk_builder_get_object(builder, name) : nullptr;
}

void MainWindow::build(ScanBlock& block) {
  g_type_ensure(GDK_TYPE_RGBA);
  register_resources();
  builder = gtk_builder_new_from_resource(UI_RESOURCE);
  window = GTK_WINDOW(widget("TheFinder"));
  const std::string title = std::string("Pelto Marvish ") + program_version();
  gtk_window_set_title(window, title.c_str());
  view = GTK_TREE_VIEW(widget("TheClistBox"));
  msg1 = GTK_LABEL(widget("TheMsg1"));
  msg2 = GTK_LABEL(widget("TheMsg2"));
  progress = GTK_PROGRESS_BAR(widget("ThepBar"));
  gtk_widget_set_name(GTK_WIDGET(window), "TheFinder");
  gtk_widget_set_name(GTK_WIDGET(progress), "ThepBar");
  g_main_window = GTK_WIDGET(window);  // the window the notices and questions grey

  rows_ = std::make_unique<ResultList>(block);
  rows_->attach(view, msg1, progress, GTK_WIDGET(window));
  prompter_ = std::make_unique<DialogPrompter>(block.settings);

  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, WINDOW_CSS, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(GTK_WIDGET(window)),
                                            GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);

  // Every entry of the command table: its accelerator (in the window's
  // group, so it works wherever the focus is), its command, or greyed.
  GtkAccelGroup* accelerators = gtk_accel_group_new();
  for (const MenuCommand& command : menu_commands()) {
    GtkWidget* item = GTK_WIDGET(widget(command.widget));
    if (command.accelerator != nullptr) {
      guint key;
      GdkModifierType mods;
      gtk_accelerator_parse(command.accelerator, &key, &mods);
      gtk_widget_add_accelerator(item, "activate", accelerators, key, mods, GTK_ACCEL_VISIBLE);
    }
    gtk_widget_set_sensitive(item, command.present());
    if (command.present()) {
      g_object_set_data(G_OBJECT(item), WINDOW_KEY, this);
      const char* signal = GTK_IS_TOOL_BUTTON(item) ? "clicked" : "activate";
      g_signal_connect(item, signal, G_CALLBACK(run_command), const_cast<MenuCommand*>(&command));
    }
  }
  gtk_window_add_accel_group(window, accelerators);
  g_object_unref(accelerators);
  g_signal_connect_swapped(widget("menuitem89_menu"), "show",
                           G_CALLBACK(+[](MainWindow* w) { w->update_undo_entry(); }), this);
  update_undo_entry();

  g_signal_connect(window, "delete-event", G_CALLBACK(window_delete_event), nullptr);
  g_signal_connect(view, "style-updated", G_CALLBACK(list_style_updated), this);
  list_style_updated(GTK_WIDGET(view), this);
  gtk_widget_set_has_tooltip(GTK_WIDGET(view), TRUE);
  g_signal_connect(view, "query-tooltip", G_CALLBACK(list_query_tooltip), this);
  gtk_tree_view_column_set_cell_data_func(gtk_tree_view_get_column(view, COL_PATH),
                                          GTK_CELL_RENDERER(widget("cell6")), set_path_text,
                                          nullptr, nullptr);
  GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
  gtk_tree_selection_set_mode(selection, GTK_SELECTION_SINGLE);
  g_signal_connect(selection, "changed", G_CALLBACK(list_selection_changed), this);
  g_signal_connect(view, "button-press-event", G_CALLBACK(list_button_press), this);
  g_signal_connect_after(view, "button-release-event", G_CALLBACK(list_button_release), this);
  g_signal_connect(view, "key-press-event", G_CALLBACK(list_key_press), this);
  for (int i = 0; i < COLUMN_COUNT; ++i) {
    GtkTreeViewColumn* column = gtk_tree_view_get_column(view, i);
    gtk_tree_view_column_set_sort_column_id(column, -1);
    g_signal_connect(column, "clicked", G_CALLBACK(column_clicked), this);
  }
}

void MainWindow::update_undo_entry() {
  gtk_widget_set_sensitive(GTK_WIDGET(widget("undo_move_to_trash")), trash_undo_.available(*rows_));
}

int click_dispatch(void* data) {
  MainWindow& main = *static_cast<MainWindow*>(data);
  int action = ACTION_NONE;
  const SettingsRecord& settings = main.rows().settings();
  if (main.click_kind == 2) action = settings.double_click_action;
  if (main.click_kind == 3) action = settings.triple_click_action;
  main.click_kind = 0;
  if (action == ACTION_NONE) return G_SOURCE_REMOVE;
  // The row the click was on, or nothing when that row is gone.
  GtkTreeRowReference* row = main.click_row;
  main.click_row = nullptr;
  GtkTreePath* path = row != nullptr ? gtk_tree_row_reference_get_path(row) : nullptr;
  if (row != nullptr) gtk_tree_row_reference_free(row);
  if (path == nullptr) return G_SOURCE_REMOVE;
  const int index = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  if (main.rows().selected_row() != index) main.rows().select(index);
  run_click_action(main, action);
  return G_SOURCE_REMOVE;
}

// ---- The result intake's view -----------------------------------------------------

void MainWindow::clear_list() { rows_->clear(); }
void MainWindow::freeze_list() { rows_->freeze(); }
void MainWindow::thaw_list() { rows_->thaw(); }
void MainWindow::append_row(const RowTexts& row) { rows_->append(row); }
void MainWindow::show_status(const std::string& text) { set_label_shown(msg1, text); }
void MainWindow::show_message_line(const std::string& text) { set_label_shown(msg2, text); }
void MainWindow::show_progress(double fraction) { rows_->show_progress(fraction); }
void MainWindow::beep() { gdk_display_beep(gdk_display_get_default()); }

void MainWindow::show_scan_completed() {
  // What cut the list is told by the comment rows that close it.
  ListCut cut;
  for (int row = rows_->size() - 1; row >= 0 && rows_->classify_row(row) == ROW_COMMENT; --row) {
    note_list_cut(cut, rows_->text(row, 1), rows_->text(row, 2));
  }
  const std::string detail = scan_completed_detail(rows_->settings(), cut);
  show_message("Scan Completed",
               "You May Now Want To Save The List Box Contents\n"
               "[Menu: FILE->ListBox->SaveContents]\n"
               "Or Use The Find / Tag Function.\n",
               detail.c_str());
}

void MainWindow::notify_busy(const char* operation) { prompter_->notify_busy(operation); }

void MainWindow::open_settings(int page) { open_settings_window(rows_->block().settings, page); }
