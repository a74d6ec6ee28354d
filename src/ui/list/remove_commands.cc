// Removing rows from the list; the files stay on disk. A group whose last
// member goes loses its header too.
#include "core/row_texts.h"
#include "ui/list/command_bodies.h"

namespace {

// "N Tagged Entries" and the like.
std::string counted(std::int32_t count, const char* what) { return thousands(count) + what; }

// Removes row `i` and, when that empties its group, the group's header;
// returns the index of the row before the one that followed `i`, so a walk
// that goes on at the returned index + 1 sees that row next.
int remove_row_in_walk(ResultList& list, int i) {
  list.remove_row(i);
  if (list.remove_header_of_empty_group(i)) return i - 2;
  return i - 1;
}

}  // namespace

namespace body {

void remove_line_or_group(ListContext& ctx) {
  ResultList& list = ctx.list;
  Prompter& prompter = ctx.prompter;
  int r = list.selected_row();
  switch (list.classify_row(r)) {
    case ROW_GROUP: {
      int answer;
      {
        ShownList shown(list);
        answer = prompter.ask_yes_no("Remove Group", "REMOVE ALL ENTRIES FROM THIS GROUP?",
                                     list.text(r, 1).c_str(), 'N');
      }
      if (answer != 'Y') return;
      FrozenList frozen(list);
      list.remove_row(r);
      // The group's file rows up to the next header or comment; a "D" row
      // ends the removal too, and it and the rows after it stay.
      for (RowKind kind = list.classify_row(r); kind == ROW_FILE || kind == ROW_TAGGED;
           kind = list.classify_row(r)) {
        if (kind == ROW_TAGGED) {
          list.lower_tagged_totals(r);
          list.show_totals();
        }
        list.remove_row(r);
      }
      list.select(r);
      return;
    }
    case ROW_COMMENT:
    case ROW_DELETED:
      prompter.error_signal();
      return;
    case ROW_TAGGED:
      list.lower_tagged_totals(r);
      list.show_totals();
      list.remove_row(r);
      break;
    case ROW_FILE:
      list.remove_row(r);
      break;
    case ROW_NONE:
      break;
  }
  if (r > 1) list.remove_header_of_empty_group(r);
  if (r >= list.size()) --r;
  if (r < 0) return;
  list.select(r);
}

void remove_all_tagged(ListContext& ctx) {
  ResultList& list = ctx.list;
  Prompter& prompter = ctx.prompter;
  ScanBlock& block = list.block();
  if (block.tagged_count.load() == 0) {
    prompter.error_signal();
    return;
  }
  if (prompter.ask_yes_no("Remove All Tagged Entries", "REMOVE ALL TAGGED ENTRIES FROM LISTBOX?",
                          counted(block.tagged_count.load(), " Tagged Entries").c_str(),
                          'N') != 'Y') {
    return;
  }
  FrozenList frozen(list);
  bool asking = true;
  int i = 0;
  while (block.tagged_count.load() > 0 && i < list.size()) {
    const bool tagged = list.classify_row(i) == ROW_TAGGED;
    int answer = 'Y';
    if (asking && tagged) {
      list.select(i);
      ShownList shown(list);
      answer = prompter.ask_yes_no_all("REMOVE ALL TAGGED ENTRIES", "REMOVE THIS ENTRY?",
                                       list.text(i, COL_PATH).c_str(), 'N');
      if (answer == 'A') asking = false;
      if (answer == 'C') break;
    }
    if ((answer == 'Y' || answer == 'A') && tagged) {
      list.lower_tagged_totals(i);
      i = remove_row_in_walk(list, i);
      list.show_totals();
    }
    ++i;
  }
  list.select(i);
}

void remove_all_non_tagged(ListContext& ctx) {
  ResultList& list = ctx.list;
  Prompter& prompter = ctx.prompter;
  ScanBlock& block = list.block();
  if (prompter.ask_yes_no(
          "Remove All NON Tagged Entries", "REMOVE ALL NON TAGGED ENTRIES FROM LISTBOX?",
          counted(block.tagged_count.load(), " Tagged Entries").c_str(), 'N') != 'Y') {
    return;
  }
  FrozenList frozen(list);
  int i = 0;
  while (i < list.size()) {
    if (list.classify_row(i) == ROW_FILE) i = remove_row_in_walk(list, i);
    ++i;
  }
  list.select(i);
}

void remove_all_deleted(ListContext& ctx) {
  ResultList& list = ctx.list;
  Prompter& prompter = ctx.prompter;
  ScanBlock& block = list.block();
  if (prompter.ask_yes_no("Remove All Deleted Entries", "REMOVE ALL DELETED ENTRIES FROM LISTBOX?",
                          counted(block.deleted_count.load(), " Entries Marked as Deleted").c_str(),
                          'N') != 'Y') {
    return;
  }
  FrozenList frozen(list);
  std::int32_t found = 0;
  std::int64_t total = 0;
  int i = 0;
  while (found < block.deleted_count.load() && i < list.size()) {
    if (list.classify_row(i) == ROW_DELETED) {
      ++found;
      total += list.row_size(i);
      i = remove_row_in_walk(list, i);
      list.show_totals();
    }
    ++i;
  }
  block.deleted_bytes.fetch_sub(total);
  block.deleted_count.fetch_sub(found);
  list.show_totals();
  list.select(i);
}

}  // namespace body
