// The result list: the rows of the scan and everything done to them. It owns
// the GtkListStore behind the main window's list (a list store needs no
// display, so all of this runs in tests without an X server) and, when the
// window is there, shows itself in its view, the totals line and the bar.
//
// Each row holds its seven texts as shown (a display form of the bytes),
// its colours, and for a file row the path's own bytes and the identity of
// the file the scan saw. Commands act on the bytes, never on the shown text.
//
// The counters (row_count, the tag and deletion totals, the busy word) live
// in the shared scan block, where the scanner sees them too.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/hard_links.h"
#include "core/row_texts.h"
#include "core/scan_block.h"
#include "list_text/list_rows.h"
#include "ui/list/list_colours.h"

// Columns of the list store: the seven texts, the text and background
// colours (unset: the theme's), then hidden ones.
enum ListColumn {
  COL_MARK = 0,
  COL_PATH = 6,
  COL_FOREGROUND = 7,
  COL_BACKGROUND = 8,
  COL_PATH_BYTES = 9,  // the path's bytes when they differ from its shown text, else unset
  COL_DEVICE = 10,
  COL_INODE = 11,
  COL_FILE_SIZE = 12,
  COL_MTIME_SEC = 13,
  COL_MTIME_NSEC = 14,
  COL_FILE_TYPE = 15,  // 0: no identity known
  COL_STYLE = 16,      // PangoStyle: italic for a hard link of (or a file sharing all its
                       // blocks with) an earlier row of its group
  COL_TOOLTIP = 17,    // markup: "Hard link of: PATH", else unset (see tooltip_markup)
  COL_CTIME_SEC = 18,
  COL_CTIME_NSEC = 19,
  COL_GROUP = 20,        // the group the row was listed in (see group_of)
  COL_RULE_REASON = 21,  // for a row tagged by a rule: "kept PATH (REASON)", else unset
  LIST_COLUMN_COUNT = 22
};

// Background of a tagged row, and of a row that was untagged.
inline constexpr GdkRGBA TAG_COLOUR = {0xAFFF / 65535.0, 0xA000 / 65535.0, 0x8000 / 65535.0, 1.0};
inline constexpr GdkRGBA PLAIN_COLOUR = {1.0, 1.0, 1.0, 1.0};
// Text colour of comment rows and group headers.
inline constexpr GdkRGBA COMMENT_COLOUR = {0.0, 0.0, 0xAFFF / 65535.0, 1.0};

// The totals line is cut to this many characters.
inline constexpr std::size_t TOTALS_LINE_WIDTH = 76;

class ResultList {
 public:
  explicit ResultList(ScanBlock& block);
  ~ResultList();
  ResultList(const ResultList&) = delete;
  ResultList& operator=(const ResultList&) = delete;

  ScanBlock& block() { return block_; }
  const SettingsRecord& settings() const { return block_.settings; }
  GtkListStore* store() const { return store_; }

  // The widgets the list shows itself in; any may be null. The view gets
  // the store as its model.
  void attach(GtkTreeView* view, GtkLabel* totals, GtkProgressBar* progress, GtkWidget* window);

  // ---- Rows ------------------------------------------------------------------

  int size() const;
  // A file row that names the same file (device and inode) as an earlier
  // row of its group is drawn in italics, with the tooltip "Hard link of:
  // PATH" naming the first such row.
  //
  // Each row is given the group it belongs to when it is appended: a group
  // header (or a comment row) starts a new group, and the file rows after it
  // belong to it. A row that says which group it was saved in (RowTexts::
  // group, from a contents file) starts a new group when that differs from
  // the previous file row's. Group numbers are never reused, so the rows of
  // one group always stand together.
  void append(const RowTexts& row);
  // Removes every row; no row is selected afterwards.
  void clear();

  // A column's shown text ("" outside the list).
  std::string text(int row, int column) const;
  // The path's bytes (column 6 as the scan gave it).
  std::string path(int row) const;
  // The row's tooltip, as Pango markup: a file row's whole path as shown,
  // then for a hard link the line "Hard link of: PATH", and for a row tagged
  // by a rule "Tagged by rule: kept PATH (REASON)"; "" for other rows.
  std::string tooltip_markup(int row) const;
  // The identity of the row's file as the scan saw it (type 0: unknown).
  FileIdentity identity(int row) const;

  // The file a row names, as it is now (after it was replaced by a link or
  // a clone, or put back from the trash).
  void set_identity(int row, const FileIdentity& id);
  // Draws the row as a hard link of the row `first` (italics, "Hard link
  // of: PATH"), as the scan draws one.
  void show_as_hard_link_of(int row, int first);
  // Draws the row as a file sharing all its blocks with the row `first`
  // (italics, "Shares all blocks with: PATH"), as the scan draws one.
  void show_as_sharing_blocks_with(int row, int first);

  // The whole list, to put it back as it was (texts, marks, identities,
  // groups); putting it back recounts the row count and the tagged totals.
  struct SavedRow {
    std::string col[COLUMN_COUNT];  // column 6 as the path's bytes
    FileIdentity identity;
    std::int64_t group;
  };
  std::vector<SavedRow> save_rows() const;
  void restore_rows(const std::vector<SavedRow>& rows);

  // A number that changes with every change of the rows (not of the
  // selection): what was true of the list at one number is true as long as
  // it stays.
  std::uint64_t generation() const { return generation_; }

  // The group the row was listed in: it stays the row's whatever is later
  // removed around it (a group header among others). 0 outside the list.
  std::int64_t group_of(int row) const;
  // The rows of the group of `row`: [first, last], a header included.
  void group_span(int row, int& first, int& last) const;

  RowKind classify_row(int row) const;

  // What the rules and the bulk readers need of every row, read in one pass
  // (one look at the store per row).
  struct RowFacts {
    RowKind kind;
    std::int64_t group;
    std::string date, time;  // columns 1 and 2 as shown
    std::string path;        // the path's bytes
    std::int64_t size;       // from the size column
    FileIdentity identity;   // the file as the row holds it
  };
  std::vector<RowFacts> facts() const;
  // The size column as a number (64-bit).
  std::int64_t row_size(int row) const;

  void set_mark(int row, const char* mark);
  void set_background(int row, const GdkRGBA* colour);

  // Takes the row out of the list and lowers row_count. The totals are the
  // caller's (see lower_tagged_totals).
  void remove_row(int row);

  // The empty-group rule, after a row at `row` was removed: when the row
  // before is a group header and the row now at `row` is a group header, a
  // comment row or the end of the list, the group is empty and its header
  // goes too. Returns whether it did.
  bool remove_header_of_empty_group(int row);

  // The colours rows are given: COMMENT_COLOUR, TAG_COLOUR and PLAIN_COLOUR
  // until the window gives the ones that read on its theme. Rows already in
  // the list take the new ones.
  const ListColours& colours() const { return colours_; }
  void set_colours(const ListColours& colours);

  // ---- Tags and totals --------------------------------------------------------

  // Marks the row "*", counts it in the tagged totals, the tag background.
  void tag(int row);
  // For a row just tagged by a rule: why ("kept PATH (oldest)"), told in its
  // tooltip until its mark changes again.
  void set_rule_reason(int row, const std::string& reason);
  // Marks the row " ", takes it out of the tagged totals, the plain
  // background.
  void untag(int row);
  // Many rows at once, in one pass over the list: the plain file rows of
  // `to_tag` are tagged and the tagged rows of `to_untag` untagged, as tag()
  // and untag() do one by one. Both are sorted, smallest first.
  void retag(const std::vector<int>& to_tag, const std::vector<int>& to_untag);
  // The tagged totals without the row (for a tagged row that goes).
  void lower_tagged_totals(int row);
  // A deletion counted in the deleted totals.
  void count_deletion(std::int64_t bytes);

  // The totals line from the four counters, cut to 76 characters.
  std::string totals_line() const;
  // Shows it in the totals label (once the list is thawed, when frozen).
  void show_totals();

  // ---- Selection ----------------------------------------------------------------

  // Where a selected row is brought into view, when it is not in view
  // already.
  enum class Place {
    // With the rows above it in its group: its group header at the top of
    // the view when header and row fit, else the row a few rows below the
    // top.
    WITH_GROUP,
    // At the bottom edge (Find Next walks down the list).
    BOTTOM
  };

  int selected_row() const { return selected_; }
  // Selects the row and scrolls the view so that it shows, placed as
  // `place` says; an index outside the list does nothing. The scrolling is
  // done once the view has laid the rows out (at once when it has, else
  // when it next does: after a thaw, a new model, new rows).
  void select(int row, Place place = Place::WITH_GROUP);
  // No row is selected.
  void unselect();
  // The view's own selection changed (a click, the keyboard).
  void selection_changed_in_view();

  // ---- Redrawing ----------------------------------------------------------------

  // While frozen, the view is detached from the store: many changes cost no
  // redraw each. Thawing attaches it again and shows the selected row and
  // the totals.
  void freeze();
  void thaw();
  bool frozen() const { return frozen_; }

  void show_progress(double fraction);
  void set_window_sensitive(bool sensitive);
  // During a long command: lets the window redraw and answer, at most every
  // 50 ms (nothing without a view).
  void keep_window_alive();

 private:
  bool iter_at(int row, GtkTreeIter& iter) const;
  static FileIdentity identity_in(GtkTreeModel* model, GtkTreeIter& iter);
  // Italics, and the tooltip `words` followed by the path of row `first`.
  void show_in_italics(int row, const char* words, int first);
  void show_selection_in_view();
  // Scrolls the selected row into view when the view's layout is current;
  // returns false while it is not (the row is placed later).
  bool place_selection();
  void stop_placing();
  static void view_allocated(GtkWidget*, GdkRectangle*, gpointer self);
  static gboolean view_frame(GtkWidget*, GdkFrameClock*, gpointer self);
  Place select_place_ = Place::WITH_GROUP;
  bool placing_ = false;         // the selected row still waits to be scrolled into view
  bool layout_pending_ = false;  // the view was given the store and has not laid it out since
  guint frame_callback_ = 0;
  gulong allocate_handler_ = 0;

  ScanBlock& block_;
  GtkListStore* store_;
  ListColours colours_{COMMENT_COLOUR, TAG_COLOUR, PLAIN_COLOUR};
  HardLinkTracker hard_links_;
  std::uint64_t generation_ = 0;
  std::int64_t group_serial_ = 0;      // the group of the last row appended
  std::int64_t last_saved_group_ = 0;  // the saved group of the last file row appended
  GtkTreeView* view_ = nullptr;
  GtkLabel* totals_ = nullptr;
  GtkProgressBar* progress_ = nullptr;
  GtkWidget* window_ = nullptr;
  int selected_ = -1;
  bool frozen_ = false;
  bool syncing_view_ = false;  // our own changes to the view's selection
  int shown_permille_ = -1;
  gint64 last_breath_us_ = 0;
};

// The busy word as a scope: taken when it was free, given back when the
// scope ends, however it ends (questions run nested main loops, and
// commands return early).
class ListBusy {
 public:
  explicit ListBusy(ScanBlock& block);
  ~ListBusy();
  ListBusy(const ListBusy&) = delete;
  ListBusy& operator=(const ListBusy&) = delete;
  bool held() const { return held_; }

 private:
  ScanBlock& block_;
  bool held_;
};

// A bulk command's run: the list is frozen for it and thawed at its end.
class FrozenList {
 public:
  explicit FrozenList(ResultList& list) : list_(list), was_frozen_(list.frozen()) { list.freeze(); }
  ~FrozenList() {
    if (!was_frozen_) list_.thaw();
  }
  FrozenList(const FrozenList&) = delete;
  FrozenList& operator=(const FrozenList&) = delete;

 private:
  ResultList& list_;
  bool was_frozen_;
};

// A question about a row is asked with the list in sight: a frozen list is
// attached to its view for the question (the selected row shown) and frozen
// again afterwards.
class ShownList {
 public:
  explicit ShownList(ResultList& list) : list_(list), was_frozen_(list.frozen()) { list.thaw(); }
  ~ShownList() {
    if (was_frozen_) list_.freeze();
  }
  ShownList(const ShownList&) = delete;
  ShownList& operator=(const ShownList&) = delete;

 private:
  ResultList& list_;
  bool was_frozen_;
};
