// Test helpers for the list commands, without a display: a prompter that
// answers from a script and records what it was asked, a disk that can
// refuse, and a fixture that builds a result list row by row and shows it
// back as short texts.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/row_texts.h"
#include "core/scan_block.h"
#include "disk/file_system.h"
#include "support/temp_dir.h"
#include "ui/dialogs/prompter.h"
#include "ui/list/list_commands.h"
#include "ui/list/result_list.h"

namespace test {

// Answers questions from `answers`, in order; a question with no answer
// left fails the test and is answered 'N'. Everything asked or said is
// kept in `said`, one text per box: "kind|title|line1|line2".
class ScriptedPrompter : public Prompter {
 public:
  std::deque<int> answers;
  std::vector<std::string> said;
  int error_signals = 0;
  // Runs before each question is answered (to change a file meanwhile).
  std::function<void(const std::string& title)> before_answer;

  void message(const char* title, const char* line1, const char* line2) override {
    said.push_back(std::string("message|") + title + "|" + line1 + "|" + line2);
  }
  int ask_yes_no(const char* title, const char* line1, const char* line2,
                 int default_answer) override {
    EXPECT_EQ(default_answer, 'N') << title;
    return answer("yes_no", title, line1, line2);
  }
  int ask_yes_no_all(const char* title, const char* line1, const char* line2,
                     int default_answer) override {
    EXPECT_EQ(default_answer, 'N') << title;
    return answer("yes_no_all", title, line1, line2);
  }
  int ask_yes_no_none(const char* title, const char* line1, const char* line2,
                      int default_answer) override {
    EXPECT_EQ(default_answer, 'N') << title;
    return answer("yes_no_none", title, line1, line2);
  }
  int ask_file_exists(const char* path) override {
    return answer("file_exists", "File Exists", path, "");
  }
  void error_signal() override { ++error_signals; }

  // The titles of everything said, in order.
  std::vector<std::string> titles() const {
    std::vector<std::string> t;
    for (const std::string& s : said) {
      std::size_t a = s.find('|');
      t.push_back(s.substr(a + 1, s.find('|', a + 1) - a - 1));
    }
    return t;
  }

 private:
  int answer(const char* kind, const char* title, const char* line1, const char* line2) {
    said.push_back(std::string(kind) + "|" + title + "|" + line1 + "|" + line2);
    if (before_answer) before_answer(title);
    if (answers.empty()) {
      ADD_FAILURE() << "no answer left for " << said.back();
      return 'N';
    }
    int a = answers.front();
    answers.pop_front();
    return a;
  }
};

// The disk, except where a test says otherwise: a path in `refuse` is not
// removed (nor moved to the trash) and fails with that reason.
class ScriptedDisk : public FileSystem {
 public:
  std::map<std::string, std::string> refuse;
  std::vector<std::string> removed;  // paths removed or moved to the trash, in order

  bool unchanged(const std::string& path, const FileIdentity& seen) override {
    return disk_.unchanged(path, seen);
  }
  FileOutcome remove(const std::string& path, const FileIdentity& seen,
                     const StayingCopies& staying) override {
    return act(path, seen, staying, false);
  }
  FileOutcome move_to_trash(const std::string& path, const FileIdentity& seen,
                            const StayingCopies& staying) override {
    return act(path, seen, staying, true);
  }
  FileOutcome check_removal(const std::string& path, const FileIdentity& seen,
                            const StayingCopies& staying) override {
    return disk_.check_removal(path, seen, staying);
  }
  LogWrite append_to_log(const std::string& log_file, const std::string& line) override {
    return disk_.append_to_log(log_file, line);
  }
  bool same_file(const std::string& a, const std::string& b) override {
    return disk_.same_file(a, b);
  }
  bool same_contents(const std::string& a, const std::string& b) override {
    ++contents_compared;
    return disk_.same_contents(a, b);
  }
  int contents_compared = 0;  // calls of same_contents
  bool share_blocks(const std::string& a, const std::string& b) override {
    return disk_.share_blocks(a, b);
  }
  bool same_access(const std::string& a, const std::string& b) override {
    return disk_.same_access(a, b);
  }
  FileOutcome restore_from_trash(const TrashedFile& trashed, const std::string& path) override {
    return disk_.restore_from_trash(trashed, path);
  }
  // A path in `refuse` is left as it was, the system's refusal its reason.
  ReplaceOutcome replace_with_copy(const std::string& path, const FileIdentity& seen,
                                   const std::string& kept, const FileIdentity& kept_seen,
                                   Replacement how) override {
    if (auto it = refuse.find(path); it != refuse.end()) {
      return {ReplaceOutcome::FAILED, it->second};
    }
    ReplaceOutcome outcome = disk_.replace_with_copy(path, seen, kept, kept_seen, how);
    if (outcome.kind == ReplaceOutcome::DONE) replaced.push_back(path);
    return outcome;
  }
  std::vector<std::string> replaced;  // paths replaced by a link or a clone, in order
  DiskFileSystem& real() { return disk_; }

 private:
  FileOutcome act(const std::string& path, const FileIdentity& seen, const StayingCopies& staying,
                  bool trash) {
    if (auto it = refuse.find(path); it != refuse.end()) return {FileOutcome::FAILED, it->second};
    FileOutcome outcome =
        trash ? disk_.move_to_trash(path, seen, staying) : disk_.remove(path, seen, staying);
    if (outcome.kind == FileOutcome::DONE) removed.push_back(path);
    return outcome;
  }
  DiskFileSystem disk_;
};

// A result list over a block of its own, with rows added as a scan would
// add them, and files made on demand in a temporary directory.
class ListTest : public ::testing::Test {
  // Public: table-driven cases build lists through lambdas.
 public:
  std::unique_ptr<ScanBlock> block = std::make_unique<ScanBlock>();
  ResultList list{*block};
  ScriptedPrompter prompter;
  ScriptedDisk disk;
  TempDir dir;

  void comment(const char* text) { add({"/*", text, "*/", "", "", "", ""}); }
  void header(int group) {
    std::string text = "Group " + std::to_string(group) + " ";
    add({"/*", text.c_str(), "(1 - 2)", "*/", "", "", ""});
  }
  // A file row for `path` showing `size` bytes; no identity (no file).
  void row(const std::string& path, std::int64_t size, const char* mark = " ") {
    std::string size_text = thousands(size);
    add({mark, "Mon-Dec 25,2000", "12:34:56AM", size_text.c_str(), "352441C2", "-rw-r--r--",
         path.c_str()});
    if (mark[0] == '*') {
      block->tagged_count.fetch_add(1);
      block->tagged_bytes.fetch_add(size);
    }
  }
  // A real file `name` under the temporary directory with `bytes` as its
  // contents, and its row with the identity the scan would have read.
  std::string file(const std::string& name, const std::string& bytes = "abc",
                   const char* mark = " ") {
    std::string path = dir / name;
    write_file(path, bytes);
    struct stat st;
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    FileIdentity id = identity_of(st);
    std::string size_text = thousands(st.st_size);
    add({mark, "Mon-Dec 25,2000", "12:34:56AM", size_text.c_str(), "352441C2", "-rw-r--r--",
         path.c_str()},
        &id);
    if (mark[0] == '*') {
      block->tagged_count.fetch_add(1);
      block->tagged_bytes.fetch_add(st.st_size);
    }
    return path;
  }

  // The list as short texts: the mark, then the first text of a header or
  // comment, or the path of a file (with the temporary directory left out).
  std::vector<std::string> shape() const {
    std::vector<std::string> rows;
    for (int i = 0; i < list.size(); ++i) {
      std::string mark = list.text(i, 0);
      std::string text = mark == "/*" ? list.text(i, 1) : list.path(i);
      if (text.rfind(dir.path() + "/", 0) == 0) text = text.substr(dir.path().size() + 1);
      rows.push_back(mark + " " + text);
    }
    return rows;
  }

  void expect_counters_match_rows() {
    EXPECT_EQ(block->row_count.load(), list.size());
    std::int32_t tagged = 0;
    std::int64_t bytes = 0;
    for (int i = 0; i < list.size(); ++i) {
      if (list.classify_row(i) == ROW_TAGGED) {
        ++tagged;
        bytes += list.row_size(i);
      }
    }
    EXPECT_EQ(block->tagged_count.load(), tagged);
    EXPECT_EQ(block->tagged_bytes.load(), bytes);
  }

 private:
  void add(std::vector<const char*> texts, const FileIdentity* id = nullptr) {
    RowTexts r{{texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6]}, id};
    list.append(r);
    block->row_count.fetch_add(1);
  }
};

// The file commands of a list, with the deletion log in the temporary
// directory and a fixed clock for its lines.
class FileCommandTest : public ListTest {
 public:
  static constexpr std::time_t ACTION_TIME = 1700000000;  // Tue Nov 14 22:13:20 2023 UTC
  static std::time_t action_time() { return ACTION_TIME; }

  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    block->settings.confirm_delete = 0;
    block->settings.deleted_mode = DELETED_MARK;
    comment("Sorted List");
  }

  DeleteContext ctx{list, prompter, disk, dir / "deleted.log", action_time};

  std::string log() const { return read_file(dir / "deleted.log"); }
  // A line of the log at action_time().
  std::string logged(std::int64_t size, const std::string& path,
                     const char* verb = "Deleted") const {
    char head[64];
    std::snprintf(head, sizeof head, "Tue Nov 14 22:13:20 2023 %13s Bytes %s \"",
                  thousands(size).c_str(), verb);
    return head + path + "\"\n";
  }
};

}  // namespace test
