// The one notice that ends a clean-up walk (delete, move to the trash, hard
// link, clone): how many files were done and the bytes that freed, and how
// many were skipped, counted by reason in the order the reasons first came.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct WalkSummary {
  int done = 0;
  std::int64_t bytes = 0;
  std::vector<std::pair<std::string, int>> skipped;  // reason, count

  void count_done(std::int64_t size) {
    ++done;
    bytes += size;
  }
  void count_skipped(const std::string& reason);
  int skipped_total() const;
};

// "644 Files Moved To Trash (217,044,879 bytes freed)": `done_words` is what
// happened to them ("Deleted", "Moved To Trash", "Linked", "Cloned").
std::string walk_done_line(const WalkSummary& summary, const char* done_words);

// "3 Skipped: 2 Changed Since The Scan, 1 Contents Differ"; empty when none
// was skipped.
std::string walk_skipped_line(const WalkSummary& summary);
