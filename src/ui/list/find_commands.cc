// Finding rows by wildcard patterns, and tagging all that match.
#include <cstring>
#include <vector>

#include "scan/match_mask.h"
#include "ui/list/list_commands.h"

namespace {

bool matches(const std::string& mask, const std::string& text) {
  return match_mask(mask.c_str(), text.c_str()) == MASK_MATCH;
}

// Cut to at most `limit` bytes, never inside a UTF-8 character.
std::string cut(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

}  // namespace

void remember_pattern(PatternHistory& h, const std::string& text, int last_compared) {
  const std::string newest = cut(text, PATTERN_SLOT_SIZE - 1);
  // The older texts without the copies of the newest one (the later ones
  // move up, the list is filled up with empty slots), behind the newest.
  std::vector<std::string> older;
  for (int i = 1; i < PATTERN_HISTORY_SLOTS; ++i) {
    if (i <= last_compared && newest == h[i]) continue;
    older.emplace_back(h[i]);
  }
  older.resize(PATTERN_HISTORY_SLOTS - 1);
  std::memcpy(h[0], newest.c_str(), newest.size() + 1);
  std::memcpy(h[1], newest.c_str(), newest.size() + 1);
  for (int i = 2; i < PATTERN_HISTORY_SLOTS; ++i) {
    std::memcpy(h[i], older[i - 2].c_str(), older[i - 2].size() + 1);
  }
}

bool row_matches(const ResultList& list, int row, const std::string& has,
                 const std::string& not_has) {
  for (int column = 0; column < COLUMN_COUNT; ++column) {
    std::string text = column == COL_PATH ? list.path(row) : list.text(row, column);
    if (!not_has.empty() && matches(not_has, text)) return false;
    if (matches(has, text)) return true;
  }
  return false;
}

bool find_next(ResultList& list, Prompter& prompter, const std::string& has,
               const std::string& not_has) {
  const int n = list.size();
  for (int i = list.selected_row() + 1; i < n; ++i) {
    list.show_progress(static_cast<double>(i) / n);
    if (row_matches(list, i, has, not_has)) {
      list.select(i, ResultList::Place::BOTTOM);
      return true;
    }
  }
  prompter.error_signal();
  return false;
}

void tag_matching(ResultList& list, Prompter&, const std::string& has, const std::string& not_has) {
  {
    FrozenList frozen(list);
    const int n = list.size();
    for (int i = 0; i < n; ++i) {
      list.show_progress(static_cast<double>(i) / n);
      std::string mark = list.text(i, COL_MARK);
      if (mark.empty() || mark[0] != ' ') continue;  // tagged, "D", headers, comments
      if (row_matches(list, i, has, not_has)) list.tag(i);
    }
  }
  list.show_totals();
}
