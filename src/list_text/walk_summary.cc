#include "list_text/walk_summary.h"

#include <algorithm>

#include "core/row_texts.h"

void WalkSummary::count_skipped(const std::string& reason) {
  auto it = std::find_if(skipped.begin(), skipped.end(),
                         [&](const auto& entry) { return entry.first == reason; });
  if (it == skipped.end()) {
    skipped.emplace_back(reason, 1);
  } else {
    ++it->second;
  }
}

int WalkSummary::skipped_total() const {
  int total = 0;
  for (const auto& entry : skipped) total += entry.second;
  return total;
}

std::string walk_done_line(const WalkSummary& summary, const char* done_words) {
  return thousands(summary.done) + " Files " + done_words + " (" + thousands(summary.bytes) +
         " bytes freed)";
}

std::string walk_skipped_line(const WalkSummary& summary) {
  if (summary.skipped.empty()) return "";
  std::string text = thousands(summary.skipped_total()) + " Skipped:";
  bool first = true;
  for (const auto& [reason, count] : summary.skipped) {
    text += first ? " " : ", ";
    text += thousands(count) + " " + reason;
    first = false;
  }
  return text;
}
