#include "ui/list/result_list.h"

#include <algorithm>
#include <cmath>

#include "core/glib_ptr.h"

namespace {

// The text to store for `text`: itself when it shows as it is, else its
// display form (kept in `buffer`).
const char* shown(const char* text, std::string& buffer) {
  if (text == nullptr) return "";
  for (const char* p = text; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c >= 0x7F) {
      buffer = display_text(text);
      return buffer.c_str();
    }
  }
  return text;
}

// A string the store handed out, as a std::string; the store's copy is freed.
std::string take_text(gchar* text) {
  GCharPtr owned(text);
  return text != nullptr ? text : "";
}

GtkListStore* new_store() {
  GType types[LIST_COLUMN_COUNT];
  for (int i = 0; i <= COL_PATH; ++i) types[i] = G_TYPE_STRING;
  types[COL_FOREGROUND] = GDK_TYPE_RGBA;
  types[COL_BACKGROUND] = GDK_TYPE_RGBA;
  types[COL_PATH_BYTES] = G_TYPE_STRING;
  types[COL_DEVICE] = G_TYPE_UINT64;
  types[COL_INODE] = G_TYPE_UINT64;
  types[COL_FILE_SIZE] = G_TYPE_INT64;
  types[COL_MTIME_SEC] = G_TYPE_INT64;
  types[COL_MTIME_NSEC] = G_TYPE_INT;
  types[COL_FILE_TYPE] = G_TYPE_UINT;
  types[COL_STYLE] = G_TYPE_INT;
  types[COL_TOOLTIP] = G_TYPE_STRING;
  types[COL_CTIME_SEC] = G_TYPE_INT64;
  types[COL_CTIME_NSEC] = G_TYPE_INT;
  types[COL_GROUP] = G_TYPE_INT64;
  types[COL_RULE_REASON] = G_TYPE_STRING;
  return gtk_list_store_newv(LIST_COLUMN_COUNT, types);
}

}  // namespace

ResultList::ResultList(ScanBlock& block) : block_(block), store_(new_store()) {}

// A view still showing the store holds a reference of its own.
ResultList::~ResultList() {
  if (view_ != nullptr) {
    stop_placing();
    g_signal_handler_disconnect(view_, allocate_handler_);
    g_object_remove_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
  }
  g_object_unref(store_);
}

void ResultList::attach(GtkTreeView* view, GtkLabel* totals, GtkProgressBar* progress,
                        GtkWidget* window) {
  view_ = view;
  totals_ = totals;
  progress_ = progress;
  window_ = window;
  if (view_ == nullptr) return;
  // The view may go before the list does (the window is destroyed).
  g_object_add_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
  allocate_handler_ =
      g_signal_connect_after(view_, "size-allocate", G_CALLBACK(view_allocated), this);
  if (!frozen_) {
    gtk_tree_view_set_model(view_, GTK_TREE_MODEL(store_));
    layout_pending_ = true;
  }
}

// ---- Rows ----------------------------------------------------------------------

int ResultList::size() const {
  return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store_), nullptr);
}

bool ResultList::iter_at(int row, GtkTreeIter& iter) const {
  return row >= 0 && gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store_), &iter, nullptr, row);
}

void ResultList::append(const RowTexts& row) {
  ++generation_;
  std::string buffers[COLUMN_COUNT];
  const char* t[COLUMN_COUNT];
  for (int i = 0; i < COLUMN_COUNT; ++i) t[i] = shown(row.col[i], buffers[i]);
  const char* path_bytes = t[COL_PATH] == row.col[COL_PATH] ? nullptr : row.col[COL_PATH];
  const RowKind kind = classify_texts(row);
  const GdkRGBA* foreground = is_marker_kind(kind) ? &colours_.comment_text : nullptr;
  FileIdentity id = row.identity != nullptr ? *row.identity : FileIdentity{};
  const std::int64_t previous_group = group_serial_;
  if (!is_file_kind(kind)) {
    ++group_serial_;
    last_saved_group_ = 0;
  } else if (row.group != 0) {
    if (last_saved_group_ != 0 && row.group != last_saved_group_) ++group_serial_;
    last_saved_group_ = row.group;
  }
  if (group_serial_ != previous_group) hard_links_.new_group();
  int style = PANGO_STYLE_NORMAL;
  GCharPtr tooltip;
  if (!is_file_kind(kind)) {
    // Headers and comments are never hard links.
  } else if (const std::string* first = hard_links_.earlier_name(id, row.col[COL_PATH])) {
    style = PANGO_STYLE_ITALIC;
    GCharPtr shown_first(g_markup_escape_text(display_text(*first).c_str(), -1));
    tooltip.reset(g_strconcat("Hard link of: ", shown_first.get(), nullptr));
  } else if (const std::string* sharer = hard_links_.earlier_sharer(id, row.col[COL_PATH])) {
    style = PANGO_STYLE_ITALIC;
    GCharPtr shown_sharer(g_markup_escape_text(display_text(*sharer).c_str(), -1));
    tooltip.reset(g_strconcat("Shares all blocks with: ", shown_sharer.get(), nullptr));
  }
  gtk_list_store_insert_with_values(
      store_, nullptr, -1, 0, t[0], 1, t[1], 2, t[2], 3, t[3], 4, t[4], 5, t[5], 6, t[6],
      COL_FOREGROUND, foreground, COL_PATH_BYTES, path_bytes, COL_DEVICE, id.device, COL_INODE,
      id.inode, COL_FILE_SIZE, id.size, COL_MTIME_SEC, id.mtime_sec, COL_MTIME_NSEC,
      static_cast<gint>(id.mtime_nsec), COL_FILE_TYPE, static_cast<guint>(id.type), COL_STYLE,
      style, COL_TOOLTIP, tooltip.get(), COL_CTIME_SEC, id.ctime_sec, COL_CTIME_NSEC,
      static_cast<gint>(id.ctime_nsec), COL_GROUP, group_serial_, -1);
}

void ResultList::clear() {
  ++generation_;
  hard_links_.new_group();
  last_saved_group_ = 0;  // group numbers go on rising: none is ever reused
  syncing_view_ = true;
  gtk_list_store_clear(store_);
  syncing_view_ = false;
  selected_ = -1;
  placing_ = false;
}

std::string ResultList::text(int row, int column) const {
  GtkTreeIter iter;
  if (column < 0 || column > COL_PATH || !iter_at(row, iter)) return "";
  gchar* value = nullptr;
  gtk_tree_model_get(GTK_TREE_MODEL(store_), &iter, column, &value, -1);
  return take_text(value);
}

std::string ResultList::path(int row) const {
  GtkTreeIter iter;
  if (!iter_at(row, iter)) return "";
  gchar* bytes = nullptr;
  gchar* shown_text = nullptr;
  gtk_tree_model_get(GTK_TREE_MODEL(store_), &iter, COL_PATH_BYTES, &bytes, COL_PATH, &shown_text,
                     -1);
  std::string shown_path = take_text(shown_text);
  return bytes != nullptr ? take_text(bytes) : shown_path;
}

std::string ResultList::tooltip_markup(int row) const {
  GtkTreeIter iter;
  if (!is_file_kind(classify_row(row)) || !iter_at(row, iter)) return "";
  gchar* shown_path = nullptr;
  gchar* link = nullptr;
  gchar* rule_reason = nullptr;
  gtk_tree_model_get(GTK_TREE_MODEL(store_), &iter, COL_PATH, &shown_path, COL_TOOLTIP, &link,
                     COL_RULE_REASON, &rule_reason, -1);
  GCharPtr markup(g_markup_escape_text(shown_path != nullptr ? shown_path : "", -1));
  std::string text = markup.get();
  if (link != nullptr) text += std::string("\n") + link;
  if (rule_reason != nullptr) {
    GCharPtr reason(g_markup_escape_text(rule_reason, -1));
    text += std::string("\nTagged by rule: ") + reason.get();
    g_free(rule_reason);
  }
  g_free(shown_path);
  g_free(link);
  return text;
}

FileIdentity ResultList::identity(int row) const {
  GtkTreeIter iter;
  if (!iter_at(row, iter)) return FileIdentity{};
  return identity_in(GTK_TREE_MODEL(store_), iter);
}

FileIdentity ResultList::identity_in(GtkTreeModel* model, GtkTreeIter& iter) {
  FileIdentity id;
  guint64 device, inode;
  gint64 size, mtime_sec, ctime_sec;
  gint mtime_nsec, ctime_nsec;
  guint type;
  gtk_tree_model_get(model, &iter, COL_DEVICE, &device, COL_INODE, &inode, COL_FILE_SIZE, &size,
                     COL_MTIME_SEC, &mtime_sec, COL_MTIME_NSEC, &mtime_nsec, COL_FILE_TYPE, &type,
                     COL_CTIME_SEC, &ctime_sec, COL_CTIME_NSEC, &ctime_nsec, -1);
  id.device = device;
  id.inode = inode;
  id.size = size;
  id.mtime_sec = mtime_sec;
  id.mtime_nsec = mtime_nsec;
  id.type = type;
  id.ctime_sec = ctime_sec;
  id.ctime_nsec = ctime_nsec;
  return id;
}

std::vector<ResultList::RowFacts> ResultList::facts() const {
  std::vector<RowFacts> rows;
  rows.reserve(static_cast<std::size_t>(size()));
  GtkTreeModel* model = GTK_TREE_MODEL(store_);
  GtkTreeIter iter;
  for (bool more = gtk_tree_model_get_iter_first(model, &iter); more;
       more = gtk_tree_model_iter_next(model, &iter)) {
    gchar *mark = nullptr, *date = nullptr, *time = nullptr, *size = nullptr, *shown = nullptr,
          *bytes = nullptr;
    gint64 group;
    gtk_tree_model_get(model, &iter, COL_MARK, &mark, 1, &date, 2, &time, 3, &size, COL_PATH,
                       &shown, COL_PATH_BYTES, &bytes, COL_GROUP, &group, -1);
    RowFacts& f = rows.emplace_back();
    std::string shown_path = take_text(shown);
    f.kind = classify_texts(take_text(mark), date != nullptr ? date : "", shown_path);
    f.date = take_text(date);
    f.time = take_text(time);
    f.size = size_from_text(take_text(size));
    f.path = bytes != nullptr ? take_text(bytes) : std::move(shown_path);
    f.group = group;
    f.identity = identity_in(model, iter);
  }
  return rows;
}

void ResultList::set_identity(int row, const FileIdentity& id) {
  GtkTreeIter iter;
  if (!iter_at(row, iter)) return;
  ++generation_;
  gtk_list_store_set(store_, &iter, COL_DEVICE, id.device, COL_INODE, id.inode, COL_FILE_SIZE,
                     id.size, COL_MTIME_SEC, id.mtime_sec, COL_MTIME_NSEC,
                     static_cast<gint>(id.mtime_nsec), COL_FILE_TYPE, static_cast<guint>(id.type),
                     COL_CTIME_SEC, id.ctime_sec, COL_CTIME_NSEC, static_cast<gint>(id.ctime_nsec),
                     -1);
}

void ResultList::show_as_hard_link_of(int row, int first) {
  show_in_italics(row, "Hard link of: ", first);
}

void ResultList::show_as_sharing_blocks_with(int row, int first) {
  show_in_italics(row, "Shares all blocks with: ", first);
}

void ResultList::show_in_italics(int row, const char* words, int first) {
  GtkTreeIter iter;
  if (!iter_at(row, iter)) return;
  GCharPtr shown_first(g_markup_escape_text(display_text(path(first)).c_str(), -1));
  GCharPtr tooltip(g_strconcat(words, shown_first.get(), nullptr));
  gtk_list_store_set(store_, &iter, COL_STYLE, static_cast<gint>(PANGO_STYLE_ITALIC), COL_TOOLTIP,
                     tooltip.get(), -1);
}

std::vector<ResultList::SavedRow> ResultList::save_rows() const {
  std::vector<SavedRow> rows;
  const int n = size();
  rows.reserve(static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r) {
    SavedRow& saved = rows.emplace_back();
    for (int c = 0; c < COL_PATH; ++c) saved.col[c] = text(r, c);
    saved.col[COL_PATH] = path(r);
    saved.identity = identity(r);
    saved.group = group_of(r);
  }
  return rows;
}

void ResultList::restore_rows(const std::vector<SavedRow>& rows) {
  const int selected = selected_;
  clear();
  std::int32_t tagged = 0;
  std::int64_t tagged_bytes = 0;
  for (const SavedRow& saved : rows) {
    RowTexts row{
        {saved.col[0].c_str(), saved.col[1].c_str(), saved.col[2].c_str(), saved.col[3].c_str(),
         saved.col[4].c_str(), saved.col[5].c_str(), saved.col[6].c_str()},
        saved.identity.known() ? &saved.identity : nullptr,
        saved.group};
    append(row);
    if (classify_texts(row) == ROW_TAGGED) {
      set_background(size() - 1, &TAG_COLOUR);
      ++tagged;
      tagged_bytes += size_from_text(saved.col[3]);
    }
  }
  block_.row_count.store(size());
  block_.tagged_count.store(tagged);
  block_.tagged_bytes.store(tagged_bytes);
  if (selected >= 0) select(selected);
}

std::int64_t ResultList::group_of(int row) const {
  GtkTreeIter iter;
  if (!iter_at(row, iter)) return 0;
  gint64 group = 0;
  gtk_tree_model_get(GTK_TREE_MODEL(store_), &iter, COL_GROUP, &group, -1);
  return group;
}

void ResultList::group_span(int row, int& first, int& last) const {
  const std::int64_t group = group_of(row);
  first = last = row;
  if (group == 0) return;
  while (first > 0 && group_of(first - 1) == group) --first;
  while (group_of(last + 1) == group) ++last;
}

RowKind ResultList::classify_row(int row) const {
  GtkTreeIter iter;
  if (!iter_at(row, iter)) return ROW_NONE;
  gchar* mark = nullptr;
  gchar* first = nullptr;
  gchar* path_text = nullptr;
  gtk_tree_model_get(GTK_TREE_MODEL(store_), &iter, COL_MARK, &mark, 1, &first, COL_PATH,
                     &path_text, -1);
  return classify_texts(take_text(mark), take_text(first), take_text(path_text));
}

std::int64_t ResultList::row_size(int row) const { return size_from_text(text(row, 3)); }

void ResultList::set_mark(int row, const char* mark) {
  ++generation_;
  GtkTreeIter iter;
  // A new mark: the rule's word on the old one goes.
  if (iter_at(row, iter)) {
    gtk_list_store_set(store_, &iter, COL_MARK, mark, COL_RULE_REASON, nullptr, -1);
  }
}

void ResultList::set_rule_reason(int row, const std::string& reason) {
  GtkTreeIter iter;
  if (iter_at(row, iter)) gtk_list_store_set(store_, &iter, COL_RULE_REASON, reason.c_str(), -1);
}

void ResultList::set_background(int row, const GdkRGBA* colour) {
  GtkTreeIter iter;
  if (iter_at(row, iter)) gtk_list_store_set(store_, &iter, COL_BACKGROUND, colour, -1);
}

void ResultList::remove_row(int row) {
  ++generation_;
  GtkTreeIter iter;
  if (!iter_at(row, iter)) return;
  // The selection follows its row, as the view's own does; the view's
  // signals about it are ours, not the user's.
  if (selected_ == row) {
    selected_ = -1;
  } else if (selected_ > row) {
    --selected_;
  }
  syncing_view_ = true;
  gtk_list_store_remove(store_, &iter);
  syncing_view_ = false;
  block_.row_count.fetch_sub(1);
}

bool ResultList::remove_header_of_empty_group(int row) {
  if (row < 1 || classify_row(row - 1) != ROW_GROUP) return false;
  RowKind next = classify_row(row);
  if (next != ROW_GROUP && next != ROW_COMMENT && row < size()) return false;
  remove_row(row - 1);
  return true;
}

void ResultList::set_colours(const ListColours& colours) {
  const ListColours old = colours_;
  colours_ = colours;
  if (gdk_rgba_equal(&old.comment_text, &colours.comment_text) &&
      gdk_rgba_equal(&old.tag_background, &colours.tag_background) &&
      gdk_rgba_equal(&old.plain_background, &colours.plain_background)) {
    return;
  }
  GtkTreeModel* model = GTK_TREE_MODEL(store_);
  GtkTreeIter iter;
  for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more;
       more = gtk_tree_model_iter_next(model, &iter)) {
    GdkRGBA* foreground = nullptr;
    GdkRGBA* background = nullptr;
    gtk_tree_model_get(model, &iter, COL_FOREGROUND, &foreground, COL_BACKGROUND, &background, -1);
    if (foreground != nullptr) {
      gtk_list_store_set(store_, &iter, COL_FOREGROUND, &colours_.comment_text, -1);
    }
    if (background != nullptr && gdk_rgba_equal(background, &old.tag_background)) {
      gtk_list_store_set(store_, &iter, COL_BACKGROUND, &colours_.tag_background, -1);
    } else if (background != nullptr && gdk_rgba_equal(background, &old.plain_background)) {
      gtk_list_store_set(store_, &iter, COL_BACKGROUND, &colours_.plain_background, -1);
    }
    if (foreground != nullptr) gdk_rgba_free(foreground);
    if (background != nullptr) gdk_rgba_free(background);
  }
}

// ---- Tags and totals --------------------------------------------------------------

void ResultList::tag(int row) {
  set_mark(row, "*");
  block_.tagged_count.fetch_add(1);
  block_.tagged_bytes.fetch_add(row_size(row));
  set_background(row, &colours_.tag_background);
}

void ResultList::untag(int row) {
  set_mark(row, " ");
  lower_tagged_totals(row);
  set_background(row, &colours_.plain_background);
}

void ResultList::retag(const std::vector<int>& to_tag, const std::vector<int>& to_untag) {
  ++generation_;
  GtkTreeModel* model = GTK_TREE_MODEL(store_);
  GtkTreeIter iter;
  std::size_t t = 0, u = 0;
  int row = 0;
  for (bool more = gtk_tree_model_get_iter_first(model, &iter);
       more && (t < to_tag.size() || u < to_untag.size());
       more = gtk_tree_model_iter_next(model, &iter), ++row) {
    const bool tag_it = t < to_tag.size() && to_tag[t] == row;
    const bool untag_it = u < to_untag.size() && to_untag[u] == row;
    if (tag_it) ++t;
    if (untag_it) ++u;
    if (!tag_it && !untag_it) continue;
    gchar *mark = nullptr, *first = nullptr, *size = nullptr, *shown_path = nullptr;
    gtk_tree_model_get(model, &iter, COL_MARK, &mark, 1, &first, 3, &size, COL_PATH, &shown_path,
                       -1);
    const RowKind kind = classify_texts(mark != nullptr ? mark : "", first != nullptr ? first : "",
                                        shown_path != nullptr ? shown_path : "");
    const std::int64_t bytes = size_from_text(take_text(size));
    take_text(mark);
    take_text(first);
    take_text(shown_path);
    if (tag_it && kind == ROW_FILE) {
      gtk_list_store_set(store_, &iter, COL_MARK, "*", COL_BACKGROUND, &TAG_COLOUR, COL_RULE_REASON,
                         nullptr, -1);
      block_.tagged_count.fetch_add(1);
      block_.tagged_bytes.fetch_add(bytes);
    } else if (untag_it && kind == ROW_TAGGED) {
      gtk_list_store_set(store_, &iter, COL_MARK, " ", COL_BACKGROUND, &PLAIN_COLOUR,
                         COL_RULE_REASON, nullptr, -1);
      block_.tagged_count.fetch_sub(1);
      block_.tagged_bytes.fetch_sub(bytes);
    }
  }
}

void ResultList::lower_tagged_totals(int row) {
  block_.tagged_count.fetch_sub(1);
  block_.tagged_bytes.fetch_sub(row_size(row));
}

void ResultList::count_deletion(std::int64_t bytes) {
  block_.deleted_count.fetch_add(1);
  block_.deleted_bytes.fetch_add(bytes);
}

std::string ResultList::totals_line() const {
  std::string line = ::totals_line(block_.tagged_count.load(), block_.tagged_bytes.load(),
                                   block_.deleted_count.load(), block_.deleted_bytes.load(),
                                   (block_.settings.reserved & RESERVED_MOVE_TO_TRASH) != 0);
  if (line.size() > TOTALS_LINE_WIDTH) line.resize(TOTALS_LINE_WIDTH);
  return line;
}

void ResultList::show_totals() {
  // A frozen list shows its totals when it is thawed: a bulk command would
  // otherwise lay the label out again for every row.
  if (totals_ != nullptr && !frozen_) gtk_label_set_text(totals_, totals_line().c_str());
}

// ---- Selection ------------------------------------------------------------------

void ResultList::select(int row, Place place) {
  if (row < 0 || row >= size()) return;
  selected_ = row;
  select_place_ = place;
  placing_ = true;
  if (view_ != nullptr && !frozen_) show_selection_in_view();
}

void ResultList::unselect() {
  selected_ = -1;
  placing_ = false;
  if (view_ != nullptr && !frozen_) show_selection_in_view();
}

void ResultList::show_selection_in_view() {
  syncing_view_ = true;
  GtkTreeSelection* selection = gtk_tree_view_get_selection(view_);
  if (selected_ < 0 || selected_ >= size()) {
    gtk_tree_selection_unselect_all(selection);
  } else {
    GtkTreePath* path = gtk_tree_path_new_from_indices(selected_, -1);
    gtk_tree_view_set_cursor(view_, path, nullptr, FALSE);
    gtk_tree_selection_select_path(selection, path);
    gtk_tree_path_free(path);
  }
  syncing_view_ = false;
  // gtk_tree_view_scroll_to_cell is not used: it animates the scroll over
  // the next frames, and the next relayout of the window (the totals line,
  // the window greyed or given back) sets the scroll bar to the row the
  // view had on top, so the animation stops halfway and the row is left
  // out of sight; before the view has laid out new rows (after a thaw or
  // a new model) it scrolls to a range that is not yet the list's. So the
  // row is placed here, without animation, once the layout is current.
  if (placing_ && !place_selection() && frame_callback_ == 0) {
    frame_callback_ = gtk_widget_add_tick_callback(GTK_WIDGET(view_), view_frame, this, nullptr);
  }
}

void ResultList::stop_placing() {
  placing_ = false;
  if (frame_callback_ != 0 && view_ != nullptr) {
    gtk_widget_remove_tick_callback(GTK_WIDGET(view_), frame_callback_);
  }
  frame_callback_ = 0;
}

void ResultList::view_allocated(GtkWidget*, GdkRectangle*, gpointer self) {
  auto* list = static_cast<ResultList*>(self);
  list->layout_pending_ = false;
  if (list->placing_ && list->place_selection()) list->stop_placing();
}

gboolean ResultList::view_frame(GtkWidget*, GdkFrameClock*, gpointer self) {
  auto* list = static_cast<ResultList*>(self);
  if (list->placing_ && !list->place_selection()) return G_SOURCE_CONTINUE;
  list->frame_callback_ = 0;
  list->placing_ = false;
  return G_SOURCE_REMOVE;
}

bool ResultList::place_selection() {
  // Rows above the selected one that show with it when its group does not
  // fit in the view.
  constexpr int ROWS_ABOVE = 3;
  if (view_ == nullptr || frozen_ || selected_ < 0 || selected_ >= size()) {
    placing_ = false;
    return true;
  }
  if (layout_pending_ || !gtk_widget_get_realized(GTK_WIDGET(view_)) ||
      gtk_tree_view_get_model(view_) != GTK_TREE_MODEL(store_)) {
    return false;
  }
  // A row's top and height in the coordinates of the whole list.
  auto row_area = [this](int row, int& top, int& height) {
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    GdkRectangle area;
    gtk_tree_view_get_background_area(view_, path, nullptr, &area);
    gtk_tree_path_free(path);
    int x;
    gtk_tree_view_convert_bin_window_to_tree_coords(view_, 0, area.y, &x, &top);
    height = area.height;
  };
  GtkAdjustment* scroll = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(view_));
  const double page = gtk_adjustment_get_page_size(scroll);
  int top, height;
  row_area(selected_, top, height);
  // Until the view has laid out the rows, the scroll range is not the
  // list's: wait for the layout.
  if (height <= 0 || page <= 0 || top + height > gtk_adjustment_get_upper(scroll)) return false;

  int first_top = top;  // the top of the first row to show with it
  if (select_place_ == Place::WITH_GROUP) {
    int first, last;
    group_span(selected_, first, last);
    int header_top, header_height;
    row_area(first, header_top, header_height);
    if (top + height - header_top <= page) {
      first_top = header_top;
    } else {
      row_area(std::max(first, selected_ - ROWS_ABOVE), first_top, header_height);
    }
  }
  const double value = gtk_adjustment_get_value(scroll);
  if (first_top < value || top + height > value + page) {
    gtk_adjustment_set_value(scroll,
                             select_place_ == Place::BOTTOM ? top + height - page : first_top);
  }
  placing_ = false;
  return true;
}

void ResultList::selection_changed_in_view() {
  if (view_ == nullptr || syncing_view_ || frozen_) return;
  GtkTreeModel* model;
  GtkTreeIter iter;
  if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view_), &model, &iter)) {
    GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
    selected_ = gtk_tree_path_get_indices(path)[0];
    gtk_tree_path_free(path);
  } else {
    selected_ = -1;
  }
}

// ---- Redrawing --------------------------------------------------------------------

void ResultList::freeze() {
  if (frozen_) return;
  frozen_ = true;
  if (view_ == nullptr) return;
  syncing_view_ = true;
  gtk_tree_view_set_model(view_, nullptr);
  syncing_view_ = false;
}

void ResultList::thaw() {
  if (!frozen_) return;
  frozen_ = false;
  if (view_ == nullptr) return;
  syncing_view_ = true;
  gtk_tree_view_set_model(view_, GTK_TREE_MODEL(store_));
  syncing_view_ = false;
  layout_pending_ = true;
  placing_ = selected_ >= 0;
  if (selected_ >= 0) show_selection_in_view();
  show_totals();
}

void ResultList::show_progress(double fraction) {
  if (progress_ == nullptr) return;
  // The bar changes only when it would look different.
  int permille = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 1000));
  if (permille == shown_permille_) return;
  shown_permille_ = permille;
  gtk_progress_bar_set_fraction(progress_, permille / 1000.0);
}

void ResultList::keep_window_alive() {
  constexpr gint64 INTERVAL_US = 50000;
  if (view_ == nullptr) return;
  gint64 now = g_get_monotonic_time();
  if (now - last_breath_us_ < INTERVAL_US) return;
  last_breath_us_ = now;
  // At most one interval's worth: with a frame clock ticking (a row waiting
  // to be scrolled into view) there is always a frame due when drawing one
  // takes longer than the frame time, and the command must go on.
  const gint64 end = now + INTERVAL_US;
  while (gtk_events_pending() && g_get_monotonic_time() < end) gtk_main_iteration_do(FALSE);
}

void ResultList::set_window_sensitive(bool sensitive) {
  if (window_ != nullptr) gtk_widget_set_sensitive(window_, sensitive);
}

// ---- The busy word ------------------------------------------------------------------

ListBusy::ListBusy(ScanBlock& block) : block_(block) {
  std::int32_t free_word = 0;
  held_ = block_.list_busy.compare_exchange_strong(free_word, 1);
}

ListBusy::~ListBusy() {
  if (held_) block_.list_busy.store(0);
}
