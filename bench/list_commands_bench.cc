// The bulk list commands on a list of 50,000 rows in 11,000 groups, every
// question answered as a user in a hurry would: "_Yes" to the first one,
// "Yes To _All" to the first per-row one, "_No" to a LAST COPY question.
// The deletes act on real files in WORK_DIR; the time spent in the disk
// (looking, removing, writing the log) is reported apart from the list's.
//
//   list_commands_bench [WORK_DIR]     (default /tmp/pm-listcmd)
//
// With an X display the real main window is built and shown, so the times
// include what the view costs; without one, the list is measured alone.
#include <gtk/gtk.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/row_texts.h"
#include "ui/list/list_commands.h"
#include "ui/list/tag_rule_commands.h"
#include "ui/list/trash_undo.h"
#include "ui/windows/main_window.h"

// The window under test (the program keeps its own in main).
MainWindow g_main;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int GROUPS = 11000;
constexpr int LARGE_GROUPS = 5999;  // of 4 files; the others hold 3: 38,999 files, 50,000 rows

double seconds_since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

class HurriedUser : public Prompter {
 public:
  int questions = 0;
  void message(const char*, const char*, const char*) override {}
  int ask_yes_no(const char* title, const char*, const char*, int) override {
    ++questions;
    return std::strcmp(title, "LAST COPY") == 0 ? 'N' : 'Y';
  }
  int ask_yes_no_all(const char*, const char*, const char*, int) override {
    ++questions;
    return 'A';
  }
  // Keeps every last copy, and says so once for the walk.
  int ask_yes_no_none(const char*, const char*, const char*, int) override {
    ++questions;
    return 'X';
  }
  int ask_file_exists(const char*) override { return 'O'; }
  void error_signal() override {}
};

// The disk, with the time spent in it added up.
class TimedDisk : public FileSystem {
 private:
  template <typename F>
  auto timed(F f) {
    auto start = Clock::now();
    auto result = f();
    seconds += seconds_since(start);
    return result;
  }
  DiskFileSystem disk_;

 public:
  double seconds = 0;
  bool unchanged(const std::string& path, const FileIdentity& seen) override {
    return timed([&] { return disk_.unchanged(path, seen); });
  }
  FileOutcome remove(const std::string& path, const FileIdentity& seen,
                     const StayingCopies& staying) override {
    return timed([&] { return disk_.remove(path, seen, staying); });
  }
  FileOutcome move_to_trash(const std::string& path, const FileIdentity& seen,
                            const StayingCopies& staying) override {
    return timed([&] { return disk_.move_to_trash(path, seen, staying); });
  }
  FileOutcome check_removal(const std::string& path, const FileIdentity& seen,
                            const StayingCopies& staying) override {
    return timed([&] { return disk_.check_removal(path, seen, staying); });
  }
  LogWrite append_to_log(const std::string& file, const std::string& line) override {
    return timed([&] { return disk_.append_to_log(file, line); });
  }
  bool same_contents(const std::string& a, const std::string& b) override {
    return timed([&] { return disk_.same_contents(a, b); });
  }
  bool same_file(const std::string& a, const std::string& b) override {
    return timed([&] { return disk_.same_file(a, b); });
  }
  bool share_blocks(const std::string& a, const std::string& b) override {
    return timed([&] { return disk_.share_blocks(a, b); });
  }
  bool same_access(const std::string& a, const std::string& b) override {
    return timed([&] { return disk_.same_access(a, b); });
  }
  FileOutcome restore_from_trash(const TrashedFile& trashed, const std::string& path) override {
    return timed([&] { return disk_.restore_from_trash(trashed, path); });
  }
  ReplaceOutcome replace_with_copy(const std::string& path, const FileIdentity& seen,
                                   const std::string& kept, const FileIdentity& kept_seen,
                                   Replacement how) override {
    return timed([&] { return disk_.replace_with_copy(path, seen, kept, kept_seen, how); });
  }
};

// Fills the list: a comment row, then the groups. `mark(group, member)`
// gives each file row's mark; with `files`, each row names a real file.
void fill(ResultList& list, ScanBlock& block, const std::string& dir, bool files,
          const std::function<const char*(int, int)>& mark) {
  list.clear();
  block.row_count = 0;
  block.tagged_count = 0;
  block.tagged_bytes = 0;
  FrozenList frozen(list);
  auto add = [&](RowTexts row) {
    list.append(row);
    block.row_count.fetch_add(1);
  };
  add({{"/*", "Sorted List", "*/", "", "", "", ""}});
  char group_text[32], path[256];
  for (int g = 0; g < GROUPS; ++g) {
    std::snprintf(group_text, sizeof group_text, "Group %d ", g + 1);
    add({{"/*", group_text, "(1 - 4)", "*/", "", "", ""}});
    int members = g < LARGE_GROUPS ? 4 : 3;
    if (files) std::filesystem::create_directories(dir + "/g" + std::to_string(g));
    for (int m = 0; m < members; ++m) {
      std::snprintf(path, sizeof path, "%s/g%d/file-%d.dat", dir.c_str(), g, m);
      FileIdentity id;
      if (files) {
        FILE* f = std::fopen(path, "w");
        std::fputs("1234", f);
        std::fclose(f);
        struct stat st;
        lstat(path, &st);
        id = identity_of(st);
      }
      const char* m_text = mark(g, m);
      add({{m_text, "Mon-Dec 25,2000", "12:34:56AM", "4", "9BB7E0FD", "-rw-r--r--", path},
           files ? &id : nullptr});
      if (m_text[0] == '*') {
        block.tagged_count.fetch_add(1);
        block.tagged_bytes.fetch_add(4);
      }
    }
  }
  block.deleted_count = 0;
  block.deleted_bytes = 0;
}

void report(const char* name, double total, double disk, int rows_before, int rows_after,
            int questions) {
  std::printf("%-34s %6.3f s list  %6.3f s disk   %6d -> %6d rows  %5d questions\n", name,
              total - disk, disk, rows_before, rows_after, questions);
}

}  // namespace

int main(int argc, char** argv) {
  std::string work = argc > 1 ? argv[1] : "/tmp/pm-listcmd";
  std::filesystem::remove_all(work);
  std::filesystem::create_directories(work);

  auto block = std::make_unique<ScanBlock>();
  block->settings.confirm_delete = 0;
  bool window = gtk_init_check(&argc, &argv);
  std::unique_ptr<ResultList> own_list;
  ResultList* list;
  if (window) {
    g_main.build(*block);
    gtk_widget_show(GTK_WIDGET(g_main.window));
    while (gtk_events_pending()) gtk_main_iteration();
    list = &g_main.rows();
  } else {
    own_list = std::make_unique<ResultList>(*block);
    list = own_list.get();
  }
  std::printf("%s, %d groups\n", window ? "the real main window" : "the list alone (no display)",
              GROUPS);

  HurriedUser user;
  TimedDisk disk;
  auto every = [](const char* m) { return [m](int, int) { return m; }; };
  auto first_tagged = [](int, int m) { return m == 0 ? "*" : " "; };
  auto settle = [&] {
    while (window && gtk_events_pending()) gtk_main_iteration();
  };

  struct ListCommand {
    const char* name;
    std::function<const char*(int, int)> mark;
    void (*run)(ResultList&, Prompter&);
  };
  const ListCommand list_commands[] = {
      {"Tag All 'D'elected Entries", every("D"), tag_all_deleted},
      {"Untag All", every("*"), untag_all},
      {"Remove All tagged Entries", first_tagged, remove_all_tagged},
      {"Remove All NON-Tagged Entries", first_tagged, remove_all_non_tagged},
      {"Remove All 'D'eleted Entries", every("D"), remove_all_deleted},
  };
  for (const ListCommand& c : list_commands) {
    fill(*list, *block, work, false, c.mark);
    if (std::strcmp(c.name, "Remove All 'D'eleted Entries") == 0) block->deleted_count = 38999;
    settle();
    user.questions = 0;
    int before = list->size();
    auto start = Clock::now();
    c.run(*list, user);
    settle();
    report(c.name, seconds_since(start), 0, before, list->size(), user.questions);
  }

  struct DeleteCommand {
    const char* name;
    DeletedMode mode;
    void (*run)(DeleteContext&);
  };
  const DeleteCommand delete_commands[] = {
      {"Delete All Tagged Files (mark)", DELETED_MARK, delete_all_tagged},
      {"Delete All NON-Tagged Files (mark)", DELETED_MARK, delete_all_non_tagged},
      {"Delete All NON-Tagged Files (remove)", DELETED_REMOVE, delete_all_non_tagged},
      {"Hard-Link All Tagged Files", DELETED_MARK, hard_link_all_tagged},
  };
  for (const DeleteCommand& c : delete_commands) {
    std::string dir = work + "/files";
    std::filesystem::remove_all(dir);
    fill(*list, *block, dir, true, first_tagged);
    block->settings.deleted_mode = c.mode;
    settle();
    user.questions = 0;
    disk.seconds = 0;
    DeleteContext ctx{*list, user, disk, work + "/deleted.log"};
    int before = list->size();
    auto start = Clock::now();
    c.run(ctx);
    settle();
    report(c.name, seconds_since(start), disk.seconds, before, list->size(), user.questions);
  }

  // Undo of a walk that moved every tagged file to the trash: the files
  // put back one by one, then the list as it was.
  {
    std::string dir = work + "/files";
    std::filesystem::remove_all(dir);
    fill(*list, *block, dir, true, first_tagged);
    block->settings.deleted_mode = DELETED_MARK;
    block->settings.reserved |= RESERVED_MOVE_TO_TRASH;
    settle();
    TrashUndo undo;
    DeleteContext ctx{*list, user, disk, work + "/deleted.log"};
    ctx.trash_undo = &undo;
    disk.seconds = 0;
    auto start = Clock::now();
    delete_all_tagged(ctx);
    settle();
    report("Delete All Tagged Files (trash)", seconds_since(start), disk.seconds, list->size(),
           list->size(), user.questions);
    disk.seconds = 0;
    start = Clock::now();
    undo_last_move_to_trash(ctx);
    settle();
    report("Undo Last Move To Trash", seconds_since(start), disk.seconds, list->size(),
           list->size(), 0);
    block->settings.reserved &= ~RESERVED_MOVE_TO_TRASH;
  }

  // Tag by rule over every group, as the window does it: the rows read once
  // when it opens, the preview at each change of a choice, then Tag (each
  // kept copy looked at on disk, the tags set in the list, the list shown).
  {
    std::string dir = work + "/files";
    std::filesystem::remove_all(dir);
    fill(*list, *block, dir, true, every(" "));
    settle();
    auto start = Clock::now();
    auto groups = rule_groups(*list, false);
    double reading = seconds_since(start);
    start = Clock::now();
    RuleSummary preview = preview_rule(TagRule{}, groups);
    double previewing = seconds_since(start);
    TagRule original;
    original.keep = KeepBy::ORIGINAL;
    start = Clock::now();
    RuleSummary original_preview = preview_rule(original, groups);
    double previewing_original = seconds_since(start);
    // The window's preview: the same, and the text of its first 200 groups.
    start = Clock::now();
    RulePreview window_preview = preview_rule_groups(original, groups, {}, 200);
    double previewing_window = seconds_since(start);
    disk.seconds = 0;
    ListContext ctx(*list, user, disk);
    int before = list->size();
    start = Clock::now();
    RuleSummary done = apply_rule(ctx, TagRule{}, groups);
    settle();
    report("Tag Copies By Rule (all groups)", seconds_since(start), disk.seconds, before,
           list->size(), 0);
    std::printf("%-34s %s\n", "", done.preview_line().c_str());
    std::printf("%-34s %6.3f s        reading the rows when the window opens\n", "", reading);
    std::printf("%-34s %6.3f s        the preview at each change (%zu groups)\n", "", previewing,
                preview.groups + preview.single_member);
    std::printf("%-34s %6.3f s        the same with the rule original (%zu groups)\n", "",
                previewing_original, original_preview.groups + original_preview.single_member);
    std::printf("%-34s %6.3f s        the window's preview with its first 200 groups (%zu bytes)\n",
                "", previewing_window, window_preview.groups_text.size());
  }

  // The contents file: save and restore the whole list (rows that name real
  // files, with their identities).
  {
    std::string dir = work + "/files";
    std::filesystem::remove_all(dir);
    fill(*list, *block, dir, true, first_tagged);
    settle();
    std::string file = work + "/Contents";
    auto start = Clock::now();
    save_contents(*list, user, file);
    settle();
    double save = seconds_since(start);
    list->clear();
    start = Clock::now();
    restore_contents(*list, user, file);
    settle();
    double restore = seconds_since(start);
    std::printf("%-34s %6.3f s        (%lld bytes)\n", "Save Contents", save,
                static_cast<long long>(std::filesystem::file_size(file)));
    std::printf("%-34s %6.3f s        %6d rows\n", "Restore Contents", restore, list->size());
  }

  // A question shows the list: the cost of attaching the view to 50,000 rows.
  if (window) {
    fill(*list, *block, work, false, every(" "));
    settle();
    auto start = Clock::now();
    for (int i = 0; i < 10; ++i) {
      list->freeze();
      list->thaw();
    }
    std::printf("showing the frozen list for a question  %6.4f s\n", seconds_since(start) / 10);
  }
  std::filesystem::remove_all(work);
  return 0;
}
