// Tagging rows: one at a time, all deleted rows, or untagging all.
#include "ui/list/command_bodies.h"

namespace {

// Tag All 'D'elected Entries and Untag All are one procedure.
struct Retag {
  char acts_on;  // the mark of the rows it acts on
  const char* title;
  const char* question;
  bool tag;  // tag the row, or untag it
};

void retag_all(ResultList& list, Prompter& prompter, const Retag& how) {
  list.set_window_sensitive(false);
  {
    FrozenList frozen(list);
    const int n = list.size();
    bool asking = true;
    for (int i = 0; i < n; ++i) {
      list.show_progress(static_cast<double>(i) / n);
      std::string mark = list.text(i, COL_MARK);
      if (mark.empty() || mark[0] != how.acts_on) continue;
      int answer = 'Y';
      if (asking) {
        list.select(i);  // the row asked about is the one in sight
        ShownList shown(list);
        answer =
            prompter.ask_yes_no_all(how.title, how.question, list.text(i, COL_PATH).c_str(), 'N');
      }
      if (answer == 'A') asking = false;
      if (answer == 'C') break;
      if (answer == 'Y' || answer == 'A') {
        if (how.tag) {
          list.tag(i);
        } else {
          list.untag(i);
        }
        list.show_totals();
      }
    }
  }
  list.show_totals();
  list.set_window_sensitive(true);
}

}  // namespace

namespace body {

void toggle_tag(ListContext& ctx) {
  ResultList& list = ctx.list;
  const int r = list.selected_row();
  if (list.size() <= 2 || r <= 0) {
    ctx.prompter.error_signal();
    return;
  }
  std::string mark = list.text(r, COL_MARK);
  if (!mark.empty() && mark[0] == '*') {
    list.untag(r);
  } else if (!mark.empty() && mark[0] == ' ') {
    list.tag(r);
  } else {
    ctx.prompter.error_signal();  // a header, a comment, a "D" row
  }
  list.show_totals();
}

void tag_all_deleted(ListContext& ctx) {
  retag_all(ctx.list, ctx.prompter, {'D', "TAG ALL DELETED", "TAG THIS ENTRY?", true});
}

void untag_all(ListContext& ctx) {
  retag_all(ctx.list, ctx.prompter, {'*', "UNTAG ALL", "UNTAG THIS ENTRY?", false});
}

void goto_first_entry(ListContext& ctx) {
  if (ctx.list.size() <= 2) {
    ctx.prompter.error_signal();
    return;
  }
  ctx.list.select(1);
}

}  // namespace body
