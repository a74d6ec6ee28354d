// The settings window, driven in a real X server over a record of its own.
#include "ui/windows/settings_window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "settings/settings_rules.h"
#include "support/temp_dir.h"
#include "ui/dialogs/dialogs.h"
#include "ui/support/gui_test.h"
#include "ui/windows/settings_binding.h"

namespace {

class SettingsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main_window_ = gui::open_stand_in_main_window();
    default_settings(*record);
    gui::flush_events();
  }
  void TearDown() override {
    gui::destroy_windows({"TheWinSetting", "TheWinAskOK", "TheWinHelp"});
    gui::close_stand_in_main_window(main_window_);
  }

  GtkWidget* open(int page) {
    open_settings_window(*record, page);
    gui::flush_events();
    GtkWidget* window = settings_window();
    EXPECT_NE(window, nullptr);
    return window;
  }

 public:  // table-driven cases check widgets through lambdas
  GtkWidget* w(const char* name) {
    GtkWidget* window = settings_window();
    GtkWidget* widget = window ? gui::named_child(window, name) : nullptr;
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  int page() { return gtk_notebook_get_current_page(GTK_NOTEBOOK(w("Notebook"))); }
  void show_page(int p) {
    gtk_notebook_set_current_page(GTK_NOTEBOOK(w("Notebook")), p);
    gui::flush_events();
  }
  void click(const char* name) {
    gui::click(settings_window(), name);
    gui::flush_events();
  }
  bool active(const char* name) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w(name))); }
  void set_active(const char* name, bool on) {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w(name)), on);
  }
  bool sensitive(const char* name) { return gtk_widget_get_sensitive(w(name)); }
  int spin(const char* name) { return gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(w(name))); }
  void set_spin(const char* name, int value) {
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(w(name)), value);
  }
  std::string text(const char* view) {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(w(view)));
    GtkTextIter a, b;
    gtk_text_buffer_get_bounds(buffer, &a, &b);
    gchar* t = gtk_text_buffer_get_text(buffer, &a, &b, FALSE);
    std::string s = t;
    g_free(t);
    return s;
  }
  void set_text(const char* view, const std::string& t) {
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(w(view))), t.c_str(), -1);
  }
  CalendarDate calendar(const char* name) {
    guint y, m, d;
    gtk_calendar_get_date(GTK_CALENDAR(w(name)), &y, &m, &d);
    return {static_cast<int>(y), static_cast<int>(m) + 1, static_cast<int>(d)};
  }
  std::string notice(const char* line) {
    GtkWidget* box = gui::find_window("TheWinAskOK");
    if (!box) return "";
    return gtk_label_get_text(GTK_LABEL(g_object_get_data(G_OBJECT(box), line)));
  }

  std::unique_ptr<SettingsRecord> record = std::make_unique<SettingsRecord>();

 protected:
  GtkWidget* main_window_ = nullptr;
};

// A record with every field away from the usual: the window shows each
// value, and applying it unchanged gives back the very same bytes.
TEST_F(SettingsWindowTest, FillsFromTheRecordAndAppliesItBackUnchanged) {
  SettingsRecord& r = *record;
  std::memset(r.include_file_masks, 0, sizeof(MaskList));
  std::strcpy(r.include_file_masks[0], "/* sources */");
  std::strcpy(r.include_file_masks[1], std::string(64, 'x').c_str());
  std::strcpy(r.include_dirs[0], "/home/caf\xE9");  // not UTF-8: kept as it is
  std::strcpy(r.include_dirs[1], "/srv/*");
  r.include_dirs[2][0] = '\0';
  r.attr_set_mask = 0400 | 01;
  r.attr_care_mask = 0400 | 020 | 01;
  r.min_year = 2000, r.min_month = 2, r.min_day = 29;
  r.max_year = 9999, r.max_month = 12, r.max_day = 31;
  r.time_kind = TIME_ACCESSED;
  r.min_file_size = 7, r.max_file_size = 1000000000;
  r.same_name = 0, r.same_crc = 1, r.same_size = 1, r.display_crc = 1;
  r.same_time = 1, r.same_date = 0, r.same_owner = 1, r.same_group = 1;
  r.group_min = 5, r.group_max = 77777, r.stop_after = 12345, r.beep_on_stop = 0;
  r.double_click_action = ACTION_OPEN_FOLDER, r.triple_click_action = ACTION_DELETE_FILE;
  r.confirm_delete = 1, r.deleted_mode = DELETED_REMOVE, r.error_beep = 0;
  // A bit this version does not know stays.
  r.reserved =
      RESERVED_MOVE_TO_TRASH | RESERVED_NO_CONTENT_CACHE | RESERVED_REMOVE_EMPTY_FOLDERS | 0x100;
  const SettingsRecord before = r;

  open(0);
  EXPECT_EQ(text("IncludeFileMask"), "/* sources */\n" + std::string(64, 'x') + "\n");
  EXPECT_EQ(text("IncludeDir"), "/home/caf\\xE9\n/srv/*\n") << "the byte shows as an escape";
  for (const char* on : {"RadioORon", "RadioGWoff", "RadioXon", "RadioOWany", "RadioGRany"}) {
    EXPECT_TRUE(active(on)) << on;
  }
  EXPECT_EQ(spin("SpinMinDate"), 29) << "29 February 2000 is not cut while the window fills";
  EXPECT_EQ(calendar("CalendarMin"), (CalendarDate{2000, 2, 29}));
  EXPECT_EQ(calendar("CalendarMax"), (CalendarDate{9999, 12, 31}));
  EXPECT_TRUE(active("RadioLastAccess"));
  EXPECT_EQ(spin("SpinMaxFileSize"), 1000000000);
  EXPECT_FALSE(active("CheckSameName"));
  EXPECT_TRUE(active("CheckSameCRC"));
  EXPECT_FALSE(sensitive("CheckSameSize")) << "greyed while CRC is on";
  EXPECT_FALSE(sensitive("CheckDisplayCRC"));
  EXPECT_EQ(spin("SpinGroupMax"), 77777);
  EXPECT_EQ(spin("SpinStopMaxDuplicates"), 12345);
  EXPECT_TRUE(active("RadioDoubleClickOpen"));
  EXPECT_TRUE(active("RadioTripleClickDelete"));
  EXPECT_TRUE(active("RadioRemoveDeleted"));
  EXPECT_TRUE(active("CheckTrash"));
  EXPECT_TRUE(active("CheckRemoveEmptyFolders"));
  EXPECT_FALSE(active("CheckContentCache")) << "its bit set means: do not remember";
  EXPECT_FALSE(active("CheckErrorBeep"));

  click("buttonApply");
  EXPECT_EQ(settings_window(), nullptr) << "Apply closes the window";
  EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0)
      << "applying an untouched window changes nothing";
  EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));
}

TEST_F(SettingsWindowTest, OkSaveAppliesAndWritesTheFileByteForByte) {
  test::TempDir dir;
  test::InDirectory in(dir.path());
  open(3);
  set_spin("SpinMinFileSize", 1234);
  show_page(10);
  set_active("CheckTrash", true);
  set_active("CheckRemoveEmptyFolders", true);
  set_active("CheckContentCache", false);
  set_active("RadioDoubleClickDelete", true);
  show_page(5);
  set_text("IncludeDir", "/data/*\n\n   \n/\n/more/ \n");
  click("buttonOKsave");
  EXPECT_EQ(settings_window(), nullptr);
  EXPECT_EQ(record->min_file_size, 1234);
  EXPECT_EQ(record->reserved & RESERVED_MOVE_TO_TRASH, RESERVED_MOVE_TO_TRASH);
  EXPECT_EQ(record->reserved & RESERVED_NO_CONTENT_CACHE, RESERVED_NO_CONTENT_CACHE);
  EXPECT_EQ(record->reserved & RESERVED_REMOVE_EMPTY_FOLDERS, RESERVED_REMOVE_EMPTY_FOLDERS);
  EXPECT_EQ(record->double_click_action, ACTION_DELETE_FILE);
  EXPECT_STREQ(record->include_dirs[0], "/data/*");
  EXPECT_STREQ(record->include_dirs[1], "/more") << "a blank line loses nothing after it";
  EXPECT_EQ(record->include_dirs[2][0], '\0');
  std::string file = test::read_file(dir / "Settings");
  ASSERT_EQ(file.size(), sizeof(SettingsRecord));
  EXPECT_EQ(std::memcmp(file.data(), record.get(), file.size()), 0);
  EXPECT_EQ(last_settings_page(), 5);
}

// The notice names the file that failed: the temporary file when it cannot
// be made, the settings file when it cannot be replaced.
TEST_F(SettingsWindowTest, OkSaveThatCannotWriteSaysSoAndStillApplies) {
  struct Case {
    const char* planted;  // a directory stands there
    const char* reason;
    const char* named;
  };
  for (Case c : {Case{"Settings.new", "File exists", "Settings.new"},
                 Case{"Settings", "Is a directory", "Settings"}}) {
    SCOPED_TRACE(c.planted);
    test::TempDir dir;
    test::InDirectory in(dir.path());
    ASSERT_EQ(mkdir((dir / c.planted).c_str(), 0755), 0);
    open(8);
    set_spin("SpinGroupMin", 9);
    click("buttonOKsave");
    EXPECT_EQ(record->group_min, 9);
    GtkWidget* box = gui::find_window("TheWinAskOK");
    ASSERT_NE(box, nullptr);
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(box)), "Settings Not Saved");
    EXPECT_EQ(notice("Msg1"), c.reason);
    EXPECT_EQ(notice("Msg2"), dir / c.named);
    gui::destroy_windows({"TheWinAskOK"});
    record->group_min = 2;
  }
}

TEST_F(SettingsWindowTest, MasksThatDoNotFitAreRefusedAndNothingIsApplied) {
  const SettingsRecord before = *record;
  open(0);
  set_spin("SpinGroupMin", 9);  // another page's edit: not applied either
  show_page(6);
  set_text("ExcludeDir", "/ok\n" + std::string(65, 'd') + "\n");
  show_page(0);
  click("buttonApply");
  ASSERT_NE(settings_window(), nullptr) << "the window stays open";
  EXPECT_EQ(page(), 6) << "on the page at fault";
  EXPECT_EQ(notice("Msg1"), "Masks Can Hold At Most 64 Bytes");
  EXPECT_EQ(notice("Msg2"), std::string(65, 'd'));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(gui::find_window("TheWinAskOK"))), "Mask Too Long");
  EXPECT_EQ(std::memcmp(record.get(), &before, sizeof before), 0);
  gui::destroy_windows({"TheWinAskOK"});
  EXPECT_FALSE(gtk_widget_get_sensitive(main_window_)) << "the settings window still holds it";

  // 33 letters of two bytes each: 66 bytes.
  std::string e_acute;
  for (int i = 0; i < 33; ++i) e_acute += "\xC3\xA9";
  set_text("ExcludeDir", "/" + e_acute + "\n");
  click("buttonApply");
  EXPECT_EQ(notice("Msg1"), "Masks Can Hold At Most 64 Bytes");
  EXPECT_EQ(notice("Msg2"), "/" + e_acute);
  EXPECT_EQ(std::memcmp(record.get(), &before, sizeof before), 0);
  gui::destroy_windows({"TheWinAskOK"});

  std::string many;
  for (int i = 0; i < 101; ++i) many += "/m" + std::to_string(i) + "\n";
  set_text("ExcludeDir", "");
  show_page(4);
  set_text("ExcludeFileMask", many);
  click("buttonOKsave");
  EXPECT_EQ(notice("Msg1"), "At Most 100 Masks Per Page");
  EXPECT_EQ(notice("Msg2"), "/m100");
  EXPECT_EQ(std::memcmp(record.get(), &before, sizeof before), 0);
  EXPECT_NE(settings_window(), nullptr);
}

TEST_F(SettingsWindowTest, CancelTheCloseBoxAndEscapeDropEdits) {
  const SettingsRecord before = *record;
  for (const char* way : {"Cancel", "close box", "Escape"}) {
    SCOPED_TRACE(way);
    open(9);
    set_spin("SpinStopMaxDuplicates", 4321);
    show_page(7);
    if (std::string(way) == "close box") {
      gui::close_window(settings_window());
      gui::flush_events();
    } else if (std::string(way) == "Escape") {
      gui::press_key(settings_window(), GDK_KEY_Escape);
      gui::flush_events();
    } else {
      click("buttonCancel");
    }
    EXPECT_EQ(settings_window(), nullptr);
    EXPECT_EQ(std::memcmp(record.get(), &before, sizeof before), 0);
    EXPECT_EQ(last_settings_page(), 7);
    EXPECT_TRUE(gtk_widget_get_sensitive(main_window_));
  }
  open(-1);
  EXPECT_EQ(page(), 7) << "the page shown last";
}

TEST_F(SettingsWindowTest, CompareLogicKeepsNameOrCrc) {
  open(7);
  // Factory: Name, CRC, Size, Display on; Size and Display greyed.
  set_active("CheckSameName", false);
  set_active("CheckSameCRC", false);  // CRC off with Name off: Name comes back
  EXPECT_TRUE(active("CheckSameName"));
  EXPECT_TRUE(sensitive("CheckSameSize"));
  EXPECT_TRUE(active("CheckSameSize")) << "keeps its tick";
  set_active("CheckDisplayCRC", false);
  set_active("CheckSameSize", false);
  set_active("CheckSameName", false);  // Name off with CRC off: CRC comes on
  EXPECT_TRUE(active("CheckSameCRC"));
  EXPECT_TRUE(active("CheckSameSize"));
  EXPECT_TRUE(active("CheckDisplayCRC"));
  EXPECT_FALSE(sensitive("CheckSameSize"));
  EXPECT_FALSE(sensitive("CheckDisplayCRC"));
  click("buttonApply");
  EXPECT_EQ(record->same_name, 0);
  EXPECT_EQ(record->same_crc, 1);
  EXPECT_EQ(record->same_size, 1);
  EXPECT_EQ(record->display_crc, 1);
}

TEST_F(SettingsWindowTest, DatesAreClampedAndCarriedAndTheCalendarsFollow) {
  open(2);
  struct Case {
    int year;
    int expected_day;
  };
  for (Case c : {Case{1900, 28}, Case{2000, 29}, Case{2004, 29}}) {
    set_spin("SpinMinYear", c.year);
    set_spin("SpinMinMonth", 2);
    set_spin("SpinMinDate", 31);
    EXPECT_EQ(spin("SpinMinDate"), c.expected_day) << c.year;
    EXPECT_EQ(calendar("CalendarMin"), (CalendarDate{c.year, 2, c.expected_day}));
  }
  // The min (29 February 2004) passes the max (31 December 2999): the max
  // comes along, the min's day clamped to February 3000.
  set_spin("SpinMinYear", 3000);
  EXPECT_EQ(spin("SpinMinDate"), 28);
  EXPECT_EQ(spin("SpinMaxYear"), 3000);
  EXPECT_EQ(spin("SpinMaxMonth"), 2);
  EXPECT_EQ(spin("SpinMaxDate"), 28);
  EXPECT_EQ(calendar("CalendarMax"), (CalendarDate{3000, 2, 28}));
  set_spin("SpinMaxYear", 1999);  // the max before the min: the min comes along
  EXPECT_EQ(spin("SpinMinYear"), 1999);
  EXPECT_EQ(spin("SpinMinMonth"), 2);
  EXPECT_EQ(calendar("CalendarMin"), (CalendarDate{1999, 2, 28}));
}

TEST_F(SettingsWindowTest, CalendarDoubleClickSetsTheRecordAtOnceEvenAfterCancel) {
  open(2);
  set_spin("SpinGroupMin", 50);
  GtkCalendar* cal = GTK_CALENDAR(w("CalendarMax"));
  gtk_calendar_select_month(cal, 6, 2020);  // July
  gtk_calendar_select_day(cal, 14);
  g_signal_emit_by_name(cal, "day-selected-double-click");
  gui::flush_events();
  EXPECT_EQ(spin("SpinMaxMonth"), 7);
  EXPECT_EQ(spin("SpinMaxDate"), 14);
  EXPECT_EQ(spin("SpinMaxYear"), 2020);
  click("buttonCancel");
  EXPECT_EQ(record->max_year, 2020);
  EXPECT_EQ(record->max_month, 7);
  EXPECT_EQ(record->max_day, 14);
  EXPECT_EQ(record->group_min, 2) << "the other edits are dropped";
}

TEST_F(SettingsWindowTest, TodayShowsTodayInTheCalendarOnly) {
  open(2);
  click("buttonTodayMin");
  std::time_t now = std::time(nullptr);
  std::tm today{};
  localtime_r(&now, &today);
  EXPECT_EQ(calendar("CalendarMin"),
            (CalendarDate{today.tm_year + 1900, today.tm_mon + 1, today.tm_mday}));
  EXPECT_EQ(spin("SpinMinYear"), 1901) << "the spins stay";
  click("buttonApply");
  EXPECT_EQ(record->min_year, 1901);
}

TEST_F(SettingsWindowTest, AttributeButtonsSetEveryRow) {
  open(1);
  click("buttonAttrOn");
  EXPECT_TRUE(active("RadioORon"));
  EXPECT_TRUE(active("RadioXon"));
  click("buttonAttrOf");
  EXPECT_TRUE(active("RadioGWoff"));
  click("buttonApply");
  EXPECT_EQ(record->attr_set_mask, 0);
  EXPECT_EQ(record->attr_care_mask, 0777);
}

TEST_F(SettingsWindowTest, EachPagesDefaultResetsThatPageOnly) {
  struct Case {
    int page;
    std::function<void(SettingsWindowTest&)> check;
  };
  const Case cases[] = {
      {0,
       [](SettingsWindowTest& t) { EXPECT_EQ(t.text("IncludeFileMask"), page_default_text(0)); }},
      {1, [](SettingsWindowTest& t) { EXPECT_TRUE(t.active("RadioORany")); }},
      {2,
       [](SettingsWindowTest& t) {
         EXPECT_EQ(t.spin("SpinMinYear"), 1900);
         EXPECT_EQ(t.calendar("CalendarMax"), (CalendarDate{2999, 12, 31}));
         EXPECT_TRUE(t.active("RadioCreation"));
       }},
      {3, [](SettingsWindowTest& t) { EXPECT_EQ(t.spin("SpinMinFileSize"), 0); }},
      {4,
       [](SettingsWindowTest& t) { EXPECT_EQ(t.text("ExcludeFileMask"), page_default_text(4)); }},
      {5, [](SettingsWindowTest& t) { EXPECT_EQ(t.text("IncludeDir"), page_default_text(5)); }},
      {6, [](SettingsWindowTest& t) { EXPECT_EQ(t.text("ExcludeDir"), page_default_text(6)); }},
      {7,
       [](SettingsWindowTest& t) {
         EXPECT_TRUE(t.active("CheckSameName"));
         EXPECT_FALSE(t.active("CheckSameCRC"));
         EXPECT_FALSE(t.active("CheckDisplayCRC"));
         EXPECT_TRUE(t.active("CheckSameSize"));
         EXPECT_TRUE(t.sensitive("CheckSameSize"));
       }},
      {8, [](SettingsWindowTest& t) { EXPECT_EQ(t.spin("SpinGroupMax"), 99999); }},
      {9,
       [](SettingsWindowTest& t) {
         EXPECT_EQ(t.spin("SpinStopMaxDuplicates"), 1000);
         EXPECT_TRUE(t.active("CheckBeepOnStop"));
       }},
      {10,
       [](SettingsWindowTest& t) {
         EXPECT_TRUE(t.active("RadioDoubleClickTag"));
         EXPECT_TRUE(t.active("RadioTripleClickInfo"));
         EXPECT_TRUE(t.active("CheckConfirmDelete"));
         EXPECT_TRUE(t.active("RadioMarkDeleted"));
         EXPECT_TRUE(t.active("CheckErrorBeep"));
         EXPECT_FALSE(t.active("CheckTrash"));
         EXPECT_FALSE(t.active("CheckRemoveEmptyFolders"));
         EXPECT_TRUE(t.active("CheckContentCache"));
       }},
  };
  record->min_file_size = 99;
  record->reserved =
      RESERVED_MOVE_TO_TRASH | RESERVED_NO_CONTENT_CACHE | RESERVED_REMOVE_EMPTY_FOLDERS;
  record->same_crc = 1;
  record->stop_after = 5;
  record->attr_care_mask = 0777;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    open(c.page);
    click("buttonDefault");
    c.check(*this);
    EXPECT_EQ(last_settings_page(), c.page);
    if (c.page != 3) {
      EXPECT_EQ(spin("SpinMinFileSize"), 99) << "other pages stay";
    }
    click("buttonCancel");
  }
  EXPECT_EQ(record->min_file_size, 99) << "Default changes the window, not the record";
}

TEST_F(SettingsWindowTest, EachPagesHelpShowsItsTopic) {
  for (int p = 0; p < SETTINGS_PAGES; ++p) {
    open(p);
    click("buttonHelp");
    GtkWidget* help = gui::find_window("TheWinHelp");
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(gtk_window_get_title(GTK_WINDOW(help)),
              std::string("Help on ") + page_help_topic(p) + " (PeltoMarvish)");
    EXPECT_EQ(last_settings_page(), p);
    gui::destroy_windows({"TheWinHelp"});
    click("buttonCancel");
  }
}

TEST_F(SettingsWindowTest, WidgetsAreNamedAndSpinsHaveTheirRanges) {
  GtkWidget* window = open(0);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Pelto Marvish Settings");
  EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(window)));
  EXPECT_FALSE(gtk_widget_get_sensitive(main_window_));
  EXPECT_STREQ(gtk_widget_get_tooltip_text(w("buttonDefault")), "Defaults for this page");
  EXPECT_TRUE(gtk_widget_has_focus(w("buttonOKsave")));
  struct Range {
    const char* spin;
    double lower, upper, step, page;
    bool numeric;
  };
  const Range ranges[] = {
      {"SpinMinMonth", 1, 12, 1, 3, false},
      {"SpinMaxMonth", 1, 12, 1, 3, false},
      {"SpinMinDate", 1, 31, 1, 10, true},
      {"SpinMaxDate", 1, 31, 1, 10, true},
      {"SpinMinYear", 1900, 9999, 1, 10, true},
      {"SpinMaxYear", 1900, 9999, 1, 10, true},
      {"SpinMinFileSize", 0, 1e9, 1, 100, false},
      {"SpinMaxFileSize", 0, 1e9, 1, 10, false},
      {"SpinGroupMin", 2, 100, 1, 10, true},
      {"SpinGroupMax", 3, 99999, 1, 10, true},
      {"SpinStopMaxDuplicates", 2, 99999, 1, 10, true},
  };
  for (const Range& r : ranges) {
    GtkSpinButton* spin = GTK_SPIN_BUTTON(w(r.spin));
    GtkAdjustment* a = gtk_spin_button_get_adjustment(spin);
    EXPECT_EQ(gtk_adjustment_get_lower(a), r.lower) << r.spin;
    EXPECT_EQ(gtk_adjustment_get_upper(a), r.upper) << r.spin;
    EXPECT_EQ(gtk_adjustment_get_step_increment(a), r.step) << r.spin;
    EXPECT_EQ(gtk_adjustment_get_page_increment(a), r.page) << r.spin;
    EXPECT_EQ(gtk_spin_button_get_numeric(spin), r.numeric) << r.spin;
    EXPECT_EQ(gtk_spin_button_get_digits(spin), 0u) << r.spin;
  }
  const char* tabs[] = {"File \nMasks",
                        "Attributes\nrwx",
                        "Date\nRanges",
                        "File\nSizes",
                        "Exclude\nFiles",
                        "Include \nDirectories",
                        "Exclude\nDirectories",
                        "Compare\nLogic",
                        "Group\nSizes",
                        "Stop",
                        "Operation"};
  GtkNotebook* notebook = GTK_NOTEBOOK(w("Notebook"));
  ASSERT_EQ(gtk_notebook_get_n_pages(notebook), SETTINGS_PAGES);
  for (int p = 0; p < SETTINGS_PAGES; ++p) {
    GtkWidget* tab = gtk_notebook_get_tab_label(notebook, gtk_notebook_get_nth_page(notebook, p));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(tab)), tabs[p]);
  }
  open_settings_window(*record, 3);  // while open: only shown on that page
  EXPECT_EQ(settings_window(), window);
  EXPECT_EQ(page(), 3);
}

// Each widget of the binding table, and each attribute button, lies on
// the notebook page its row names.
TEST_F(SettingsWindowTest, EachBoundWidgetIsOnThePageItsRowNames) {
  open(PAGE_FILE_MASKS);
  GtkNotebook* notebook = GTK_NOTEBOOK(w("Notebook"));
  auto on_page = [&](const char* name, int p) {
    EXPECT_TRUE(gtk_widget_is_ancestor(w(name), gtk_notebook_get_nth_page(notebook, p)))
        << name << " is not on page " << p;
  };
  for (const SettingsBinding& b : settings_bindings()) on_page(b.widget, b.page);
  for (const AttributeRow& row : attribute_rows()) {
    for (const char* name : {row.on, row.off, row.any}) on_page(name, PAGE_ATTRIBUTES);
  }
}

// A mask box shows each stored byte that is not UTF-8 as an escape: typing
// into it, or into another line, keeps every byte the user did not touch.
TEST_F(SettingsWindowTest, EditingAMaskBoxChangesNoByteNobodyTyped) {
  SettingsRecord& r = *record;
  const std::string masks[] = {"caf\xE9*.tx", "lit\\x41", "\\*star\\\\", "/* old */ "};
  for (int i = 0; i < 4; ++i) std::strcpy(r.include_dirs[i], masks[i].c_str());
  r.include_dirs[4][0] = '\0';
  open(5);
  EXPECT_EQ(text("IncludeDir"), "caf\\xE9*.tx\nlit\\\\x41\n\\*star\\\\\n/* old */\\x20\n");

  // One key typed at the end of the first line.
  GtkTextView* view = GTK_TEXT_VIEW(w("IncludeDir"));
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
  GtkTextIter at;
  gtk_text_buffer_get_iter_at_line(buffer, &at, 0);
  gtk_text_iter_forward_to_line_end(&at);
  gtk_text_buffer_place_cursor(buffer, &at);
  gtk_widget_grab_focus(GTK_WIDGET(view));
  gui::press_key(GTK_WIDGET(view), GDK_KEY_t);
  gui::flush_events();
  ASSERT_EQ(text("IncludeDir"), "caf\\xE9*.txt\nlit\\\\x41\n\\*star\\\\\n/* old */\\x20\n");
  click("buttonApply");
  ASSERT_EQ(settings_window(), nullptr);
  EXPECT_EQ(std::string(r.include_dirs[0]), "caf\xE9*.txt");
  for (int i = 1; i < 4; ++i) EXPECT_EQ(std::string(r.include_dirs[i]), masks[i]) << i;
  EXPECT_EQ(r.include_dirs[4][0], '\0');

  // Another line added: the first stays as it is.
  open(5);
  GtkTextIter end;
  buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(w("IncludeDir")));
  gtk_text_buffer_get_end_iter(buffer, &end);
  gtk_text_buffer_insert(buffer, &end, "/srv/*\n", -1);
  click("buttonApply");
  EXPECT_EQ(std::string(r.include_dirs[0]), "caf\xE9*.txt");
  for (int i = 1; i < 4; ++i) EXPECT_EQ(std::string(r.include_dirs[i]), masks[i]) << i;
  EXPECT_STREQ(r.include_dirs[4], "/srv/*");
}

TEST_F(SettingsWindowTest, ForgetRememberedContentsRemovesTheCacheFile) {
  test::TempDir home;
  const std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", home.path().c_str(), 1);
  mkdir((home / ".PeltoMarvish").c_str(), 0744);
  const std::string cache = home / ".PeltoMarvish/ContentCache";
  for (bool there : {true, false}) {
    SCOPED_TRACE(there ? "a cache file" : "none");
    if (there) test::write_file(cache, "remembered");
    open(10);
    click("ButtonForgetContents");
    GtkWidget* notice = gui::wait_for_window("TheWinAskOK");
    ASSERT_NE(notice, nullptr);
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(notice)), "Remembered Contents Forgotten");
    gui::click(notice, "butOK");
    gui::flush_events();
    EXPECT_NE(access(cache.c_str(), F_OK), 0);
    click("buttonCancel");
  }
  setenv("HOME", old_home.c_str(), 1);
}

// "Add Folder..." adds the folder chosen and everything below it, with the
// folder's own bytes.
TEST_F(SettingsWindowTest, AddFolderAddsTheFolderAndAllBelowIt) {
  test::TempDir dir;
  const std::string folder = dir / "caf\xE9";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  const std::string shown = dir.path() + "/caf\\xE9";  // as the box shows that byte
  struct Case {
    const char* button;
    const char* view;
    int page;
    MaskList SettingsRecord::*masks;
  };
  for (Case c : {Case{"ButtonAddIncludeDir", "IncludeDir", 5, &SettingsRecord::include_dirs},
                 Case{"ButtonAddExcludeDir", "ExcludeDir", 6, &SettingsRecord::exclude_dirs}}) {
    SCOPED_TRACE(c.button);
    open(c.page);
    set_text(c.view, "/first");  // no line feed at its end
    for (bool accept : {false, true}) {
      click(c.button);
      GtkWidget* chooser = gui::wait_for_window("TheWinAddFolder");
      ASSERT_NE(chooser, nullptr);
      EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(chooser)),
                GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
      EXPECT_FALSE(gtk_widget_get_sensitive(settings_window()));
      // The chooser goes to a folder in the background.
      gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder.c_str());
      ASSERT_TRUE(gui::iterate_until([&] {
        gchar* current = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        bool there = current && folder == current;
        g_free(current);
        return there;
      }));
      gtk_dialog_response(GTK_DIALOG(chooser), accept ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
      EXPECT_TRUE(
          gui::iterate_until([] { return gui::find_window("TheWinAddFolder") == nullptr; }));
      EXPECT_TRUE(gtk_widget_get_sensitive(settings_window()));
      EXPECT_EQ(text(c.view), accept ? "/first\n" + shown + "\n" + shown + "/*\n" : "/first");
    }
    click("buttonApply");
    const MaskList& list = record.get()->*c.masks;
    EXPECT_STREQ(list[0], "/first");
    EXPECT_EQ(std::string(list[1]), folder);
    EXPECT_EQ(std::string(list[2]), folder + "/*");
    EXPECT_EQ(list[3][0], '\0');
  }
}

TEST_F(SettingsWindowTest, TheIncludeWarningFollowsTheText) {
  test::TempDir dir;
  auto warning = [] { return gui::label_text(settings_window(), "LabelIncludeDirWarning"); };
  std::strcpy(record->include_dirs[0], dir.path().c_str());
  record->include_dirs[1][0] = '\0';
  open(5);
  EXPECT_EQ(warning(), "Files below " + dir.path() + " are not searched: add " + dir.path() + "/*");
  set_text("IncludeDir", dir.path() + "\n" + dir.path() + "/*\n");
  EXPECT_EQ(warning(), "");
  set_text("IncludeDir", "/home/*\n~/Pictures/*\n");
  EXPECT_EQ(warning(), std::string("~ is not expanded: write ") + g_get_home_dir() + " instead");
  click("buttonDefault");
  EXPECT_EQ(warning(), "") << "the page's defaults";
  set_text("IncludeDir", "~/Pictures/*\n");
  click("buttonApply");
  EXPECT_STREQ(record->include_dirs[0], "~/Pictures/*") << "a mask is stored as written";
}

}  // namespace
