// The settings window: one binding table (settings_binding.cc) fills and
// applies the widgets; the rules that tie widgets together (compare logic,
// dates) are plain functions (settings_rules.cc) applied here to the
// widgets. While the program sets widgets itself the rules wait, and run
// once afterwards, so a stored date is never altered half-way through
// filling (a 29 February before its year is set, say).
#include "ui/windows/settings_window.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>

#include "core/glib_ptr.h"
#include "scan/content_cache.h"
#include "scan/match_mask.h"
#include "settings/include_warning.h"
#include "settings/mask_text.h"
#include "settings/record_file.h"
#include "settings/settings_file.h"
#include "settings/settings_rules.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/help_viewer.h"
#include "ui/dialogs/modal_window.h"
#include "ui/windows/resources.h"
#include "ui/windows/settings_binding.h"

namespace {

constexpr const char* UI_RESOURCE = "/org/peltomarvish/settings_window.ui";

int g_last_page = PAGE_FILE_MASKS;

class SettingsWindow : public ModalWindow {
 public:
  SettingsWindow(SettingsRecord& record, int page);

  void show_page(int page) { gtk_notebook_set_current_page(notebook_, page); }

  static ModalWindow* g_open;
  static SettingsWindow* open_window() { return static_cast<SettingsWindow*>(g_open); }

 private:
  GObject* obj(const char* name) const { return object(name); }
  GtkToggleButton* toggle(const char* name) const { return GTK_TOGGLE_BUTTON(obj(name)); }
  GtkSpinButton* spin(const char* name) const { return GTK_SPIN_BUTTON(obj(name)); }
  int current_page() const { return gtk_notebook_get_current_page(notebook_); }

  void connect_signals();
  void fill();
  void settle_rules();

  std::string text_of(const char* view) const;
  void set_text(const char* view, const std::string& text);
  void show_include_warning();
  void choose_folder(const char* view);
  void add_folder(const char* view, const std::string& dir);

  CompareChoice read_compare() const;
  void write_compare(const CompareChoice& c);
  DateRange read_range() const;
  void write_range(const DateRange& range);
  void show_dates_in_calendars();
  void date_edited(bool min_side);
  void calendar_double_clicked(bool min_side);
  void show_today(bool min_side);
  void set_attribute_column(int column);

  bool apply();
  void ok_save();
  void close_on_its_page();  // Cancel, the close box: the page shown is remembered
  void page_defaults();
  void page_help();

  static SettingsWindow* of(gpointer data) { return static_cast<SettingsWindow*>(data); }

  SettingsRecord& record_;
  GtkNotebook* notebook_;
  // The text each mask box was filled with: a box left as it was keeps its
  // list exactly as stored, bytes that are not UTF-8 included.
  std::map<std::string, std::string> filled_text_;
  bool quiet_ = false;  // the program is setting widgets: the rules wait
};

ModalWindow* SettingsWindow::g_open = nullptr;

SettingsWindow::SettingsWindow(SettingsRecord& record, int page)
    : ModalWindow(gtk_builder_new_from_resource(UI_RESOURCE), "TheWinSetting", &g_open),
      record_(record) {
  notebook_ = GTK_NOTEBOOK(obj("Notebook"));
  connect_signals();
  show_page(page);
  g_last_page = page;
  fill();

  show();
  GtkWidget* ok = GTK_WIDGET(obj("buttonOKsave"));
  gtk_widget_grab_default(ok);
  gtk_widget_grab_focus(ok);
}

// "Forget Remembered Contents": the content cache goes; the next scan reads
// every file again.
static void forget_remembered_contents() {
  const std::string file = content_cache_file();
  if (unlink(file.c_str()) == 0 || errno == ENOENT) {
    show_message("Remembered Contents Forgotten", "The Next Scan Reads Every File", "");
  } else {
    show_message("Remembered Contents Not Forgotten", std::strerror(errno), file.c_str());
  }
}

void SettingsWindow::connect_signals() {
  g_signal_connect(window(), "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                     of(self)->close_on_its_page();
                     return TRUE;
                   }),
                   this);

  auto clicked = [this](const char* name, void (*handler)(GtkButton*, gpointer)) {
    g_signal_connect(obj(name), "clicked", G_CALLBACK(handler), this);
  };
  clicked("buttonOKsave", [](GtkButton*, gpointer self) { of(self)->ok_save(); });
  clicked("buttonApply", [](GtkButton*, gpointer self) { of(self)->apply(); });
  clicked("buttonCancel", [](GtkButton*, gpointer self) { of(self)->close_on_its_page(); });
  clicked("buttonDefault", [](GtkButton*, gpointer self) { of(self)->page_defaults(); });
  clicked("buttonHelp", [](GtkButton*, gpointer self) { of(self)->page_help(); });
  clicked("buttonAttrOn", [](GtkButton*, gpointer self) { of(self)->set_attribute_column(0); });
  clicked("buttonAttrOf", [](GtkButton*, gpointer self) { of(self)->set_attribute_column(1); });
  clicked("buttonAttrAny", [](GtkButton*, gpointer self) { of(self)->set_attribute_column(2); });
  clicked("buttonTodayMin", [](GtkButton*, gpointer self) { of(self)->show_today(true); });
  clicked("buttonTodayMax", [](GtkButton*, gpointer self) { of(self)->show_today(false); });
  clicked("ButtonAddIncludeDir",
          [](GtkButton*, gpointer self) { of(self)->choose_folder("IncludeDir"); });
  clicked("ButtonAddExcludeDir",
          [](GtkButton*, gpointer self) { of(self)->choose_folder("ExcludeDir"); });
  clicked("ButtonForgetContents", [](GtkButton*, gpointer) { forget_remembered_contents(); });

  // Escape is Cancel.
  g_signal_connect(window(), "key-press-event",
                   G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer self) -> gboolean {
                     if (event->keyval != GDK_KEY_Escape) return FALSE;
                     of(self)->close_on_its_page();
                     return TRUE;
                   }),
                   this);
  g_signal_connect(
      gtk_text_view_get_buffer(GTK_TEXT_VIEW(obj("IncludeDir"))), "changed",
      G_CALLBACK(+[](GtkTextBuffer*, gpointer self) { of(self)->show_include_warning(); }), this);

  for (const char* name : {"SpinMinMonth", "SpinMinDate", "SpinMinYear"}) {
    g_signal_connect(
        obj(name), "value-changed",
        G_CALLBACK(+[](GtkSpinButton*, gpointer self) { of(self)->date_edited(true); }), this);
  }
  for (const char* name : {"SpinMaxMonth", "SpinMaxDate", "SpinMaxYear"}) {
    g_signal_connect(
        obj(name), "value-changed",
        G_CALLBACK(+[](GtkSpinButton*, gpointer self) { of(self)->date_edited(false); }), this);
  }
  g_signal_connect(
      obj("CalendarMin"), "day-selected-double-click",
      G_CALLBACK(+[](GtkCalendar*, gpointer self) { of(self)->calendar_double_clicked(true); }),
      this);
  g_signal_connect(
      obj("CalendarMax"), "day-selected-double-click",
      G_CALLBACK(+[](GtkCalendar*, gpointer self) { of(self)->calendar_double_clicked(false); }),
      this);
  g_signal_connect(obj("CheckSameCRC"), "toggled", G_CALLBACK(+[](GtkToggleButton*, gpointer self) {
                     SettingsWindow* w = of(self);
                     if (!w->quiet_) w->write_compare(crc_toggled(w->read_compare()));
                   }),
                   this);
  g_signal_connect(obj("CheckSameName"), "toggled",
                   G_CALLBACK(+[](GtkToggleButton*, gpointer self) {
                     SettingsWindow* w = of(self);
                     if (!w->quiet_) w->write_compare(name_toggled(w->read_compare()));
                   }),
                   this);
}

// ---- Filling ----------------------------------------------------------------------

std::string SettingsWindow::text_of(const char* view) const {
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(obj(view)));
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  GCharPtr text(gtk_text_buffer_get_text(buffer, &start, &end, FALSE));
  return text.get();
}

// `text` is UTF-8: a mask list's display form (mask_text.h), whose bytes
// that are not UTF-8 show as escapes that read back to them.
void SettingsWindow::set_text(const char* view, const std::string& text) {
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(obj(view)));
  gtk_text_buffer_set_text(buffer, text.c_str(), static_cast<gint>(text.size()));
  GtkTextIter start;
  gtk_text_buffer_get_start_iter(buffer, &start);
  gtk_text_buffer_place_cursor(buffer, &start);
}

void SettingsWindow::fill() {
  quiet_ = true;
  for (const SettingsBinding& b : settings_bindings()) {
    if (b.kind != BindingKind::MASK_TEXT) continue;
    set_text(b.widget, mask_list_text(record_.*b.masks));
    filled_text_[b.widget] = text_of(b.widget);
  }
  fill_bindings(builder(), record_, PAGE_SHOWN_LAST);  // every page
  quiet_ = false;
  settle_rules();
}

// ---- Include and exclude directories -------------------------------------------

void SettingsWindow::show_include_warning() {
  IncludeDirLookup lookup;
  lookup.can_match_prefix = mask_can_match_prefix;
  // The walk never follows a link to a directory: only a directory itself
  // can be searched below.
  lookup.is_directory = [](const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  };
  lookup.home = g_get_home_dir();
  std::string warning = include_dir_warning(text_of("IncludeDir"), lookup);
  gtk_label_set_text(GTK_LABEL(obj("LabelIncludeDirWarning")), warning.c_str());
}

// "Add Folder...": a folder chooser over the window; the folder chosen is
// added to the box `view` as two lines, the folder and all below it.
void SettingsWindow::choose_folder(const char* view) {
  choose_file({"Add Folder", "TheWinAddFolder", GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Add",
               [](GtkFileChooser* chooser) {
                 gtk_file_chooser_set_current_folder(chooser, g_get_home_dir());
               },
               [this, view](const std::string& dir) { add_folder(view, dir); }});
}

// `dir` is the folder's path as bytes: its lines match exactly it, and all
// below it ("/" needs only the second).
void SettingsWindow::add_folder(const char* view, const std::string& dir) {
  const std::string mask = mask_for_path(dir);
  std::string lines;
  if (dir != "/") lines += mask_display_text(mask) + "\n";
  lines += mask_display_text(dir == "/" ? "/*" : mask + "/*") + "\n";
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(obj(view)));
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buffer, &end);
  GtkTextIter last = end;
  if (gtk_text_iter_backward_char(&last) && gtk_text_iter_get_char(&last) != '\n') {
    lines.insert(0, "\n");
  }
  gtk_text_buffer_insert(buffer, &end, lines.c_str(), static_cast<gint>(lines.size()));
}

// The rules once over the values just set: CRC greys what it implies, the
// dates are clamped and ordered, the calendars show them.
void SettingsWindow::settle_rules() {
  // The CRC rule states the whole tie between the four boxes.
  write_compare(crc_toggled(read_compare()));
  date_edited(true);
  date_edited(false);
}

// ---- Compare logic ------------------------------------------------------------------

CompareChoice SettingsWindow::read_compare() const {
  CompareChoice c{};
  c.name = gtk_toggle_button_get_active(toggle("CheckSameName"));
  c.crc = gtk_toggle_button_get_active(toggle("CheckSameCRC"));
  c.size = gtk_toggle_button_get_active(toggle("CheckSameSize"));
  c.display_crc = gtk_toggle_button_get_active(toggle("CheckDisplayCRC"));
  c.size_sensitive = gtk_widget_get_sensitive(GTK_WIDGET(toggle("CheckSameSize")));
  c.display_sensitive = gtk_widget_get_sensitive(GTK_WIDGET(toggle("CheckDisplayCRC")));
  return c;
}

void SettingsWindow::write_compare(const CompareChoice& c) {
  bool was_quiet = quiet_;
  quiet_ = true;
  gtk_toggle_button_set_active(toggle("CheckSameName"), c.name);
  gtk_toggle_button_set_active(toggle("CheckSameCRC"), c.crc);
  gtk_toggle_button_set_active(toggle("CheckSameSize"), c.size);
  gtk_toggle_button_set_active(toggle("CheckDisplayCRC"), c.display_crc);
  gtk_widget_set_sensitive(GTK_WIDGET(toggle("CheckSameSize")), c.size_sensitive);
  gtk_widget_set_sensitive(GTK_WIDGET(toggle("CheckDisplayCRC")), c.display_sensitive);
  quiet_ = was_quiet;
}

// ---- Dates ----------------------------------------------------------------------------

DateRange SettingsWindow::read_range() const {
  auto value = [this](const char* name) { return gtk_spin_button_get_value_as_int(spin(name)); };
  return {{value("SpinMinYear"), value("SpinMinMonth"), value("SpinMinDate")},
          {value("SpinMaxYear"), value("SpinMaxMonth"), value("SpinMaxDate")}};
}

void SettingsWindow::write_range(const DateRange& r) {
  bool was_quiet = quiet_;
  quiet_ = true;
  gtk_spin_button_set_value(spin("SpinMinYear"), r.min.year);
  gtk_spin_button_set_value(spin("SpinMinMonth"), r.min.month);
  gtk_spin_button_set_value(spin("SpinMinDate"), r.min.day);
  gtk_spin_button_set_value(spin("SpinMaxYear"), r.max.year);
  gtk_spin_button_set_value(spin("SpinMaxMonth"), r.max.month);
  gtk_spin_button_set_value(spin("SpinMaxDate"), r.max.day);
  quiet_ = was_quiet;
}

// The day is unselected while the month changes: a day the new month lacks
// (the 31st, say) must never stay selected across the change.
void show_in_calendar(GtkCalendar* calendar, const CalendarDate& date) {
  gtk_calendar_select_day(calendar, 0);
  gtk_calendar_select_month(calendar, static_cast<guint>(date.month - 1),
                            static_cast<guint>(date.year));
  gtk_calendar_select_day(calendar, static_cast<guint>(date.day));
}

void SettingsWindow::show_dates_in_calendars() {
  DateRange r = read_range();
  for (auto [name, date] : {std::pair{"CalendarMin", r.min}, std::pair{"CalendarMax", r.max}}) {
    show_in_calendar(GTK_CALENDAR(obj(name)), date);
  }
}

// The min-date rule (or, for the other side, the max-date rule).
void SettingsWindow::date_edited(bool min_side) {
  if (quiet_) return;
  DateRange r = read_range();
  write_range(min_side ? min_date_edited(r) : max_date_edited(r));
  show_dates_in_calendars();
}

// The calendar's date becomes the record's date at once, and the spins'.
void SettingsWindow::calendar_double_clicked(bool min_side) {
  guint year, month, day;
  gtk_calendar_get_date(GTK_CALENDAR(obj(min_side ? "CalendarMin" : "CalendarMax")), &year, &month,
                        &day);
  CalendarDate date{static_cast<int>(year), static_cast<int>(month) + 1, static_cast<int>(day)};
  if (min_side) {
    record_.min_year = date.year;
    record_.min_month = date.month;
    record_.min_day = date.day;
  } else {
    record_.max_year = date.year;
    record_.max_month = date.month;
    record_.max_day = date.day;
  }
  DateRange r = read_range();
  (min_side ? r.min : r.max) = date;
  write_range(r);
  date_edited(min_side);
}

// Today is shown in the calendar; the spins and the record stay.
void SettingsWindow::show_today(bool min_side) {
  std::time_t now = std::time(nullptr);
  std::tm today{};
  localtime_r(&now, &today);
  show_in_calendar(GTK_CALENDAR(obj(min_side ? "CalendarMin" : "CalendarMax")),
                   {today.tm_year + 1900, today.tm_mon + 1, today.tm_mday});
}

void SettingsWindow::set_attribute_column(int column) {
  for (const AttributeRow& row : attribute_rows()) {
    const char* name = column == 0 ? row.on : column == 1 ? row.off : row.any;
    gtk_toggle_button_set_active(toggle(name), TRUE);
  }
}

// ---- The buttons ------------------------------------------------------------------

bool SettingsWindow::apply() {
  // Every mask box that was edited must fit its list whole: nothing is
  // applied otherwise, and the page at fault is shown with the reason.
  for (const SettingsBinding& b : settings_bindings()) {
    if (b.kind != BindingKind::MASK_TEXT) continue;
    std::string text = text_of(b.widget);
    if (text == filled_text_[b.widget]) continue;
    std::string line;
    MaskProblem problem = check_mask_text(text, line);
    if (problem == MaskProblem::NONE) continue;
    show_page(b.page);
    if (problem == MaskProblem::TOO_LONG) {
      show_message("Mask Too Long", "Masks Can Hold At Most 64 Bytes", line.c_str());
    } else {
      show_message("Too Many Masks", "At Most 100 Masks Per Page", line.c_str());
    }
    return false;
  }
  for (const SettingsBinding& b : settings_bindings()) {
    if (b.kind != BindingKind::MASK_TEXT) continue;
    std::string text = text_of(b.widget);
    if (text != filled_text_[b.widget]) read_mask_text(text, record_.*b.masks);
  }
  apply_bindings(builder(), record_);
  apply_consistency_rule(record_);
  close_on_its_page();
  return true;
}

void SettingsWindow::ok_save() {
  SettingsRecord& record = record_;  // the window is gone after apply()
  if (!apply()) return;
  RecordWriteStep failed = RecordWriteStep::NONE;
  if (!save_settings(record, &failed)) {
    int error = errno;
    // The file that failed: the temporary file, or the settings file itself
    // (the file a link at its name leads to).
    char target[PATH_MAX];
    std::string name =
        record_file_target(SETTINGS_FILE_NAME, target, sizeof target) ? target : SETTINGS_FILE_NAME;
    if (failed == RecordWriteStep::TEMPORARY) name += ".new";
    GCharPtr here(g_get_current_dir());
    GCharPtr path(g_path_is_absolute(name.c_str())
                      ? g_strdup(name.c_str())
                      : g_build_filename(here.get(), name.c_str(), nullptr));
    show_message("Settings Not Saved", std::strerror(error), path.get());
  }
}

void SettingsWindow::close_on_its_page() {
  g_last_page = current_page();
  close();
}

void SettingsWindow::page_defaults() {
  const int page = current_page();
  g_last_page = page;
  if (const char* text = page_default_text(page)) {
    for (const SettingsBinding& b : settings_bindings()) {
      if (b.kind == BindingKind::MASK_TEXT && b.page == page) set_text(b.widget, text);
    }
    return;
  }
  auto defaults = std::make_unique<SettingsRecord>();
  apply_page_defaults(page, *defaults);
  quiet_ = true;
  fill_bindings(builder(), *defaults, page);
  quiet_ = false;
  settle_rules();
}

void SettingsWindow::page_help() {
  const int page = current_page();
  g_last_page = page;
  show_help(page_help_topic(page));
}

}  // namespace

void open_settings_window(SettingsRecord& record, int page) {
  if (page < 0) page = g_last_page;  // PAGE_SHOWN_LAST
  if (page >= SETTINGS_PAGES) page = PAGE_FILE_MASKS;
  if (SettingsWindow* open = SettingsWindow::open_window()) open->show_page(page);
  ModalWindow::open_or_present(SettingsWindow::g_open, [&] {
    register_resources();
    new SettingsWindow(record, page);
  });
}

int last_settings_page() { return g_last_page; }

GtkWidget* settings_window() { return ModalWindow::window_of(SettingsWindow::g_open); }
