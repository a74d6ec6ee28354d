#include "list_text/tag_rule.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/hard_links.h"
#include "core/row_texts.h"

namespace {

// The lines of a folder box that are not blank, without the blanks around
// them (those are the box's, not the folder's).
std::vector<std::string> box_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    start = end + 1;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
      line.pop_back();
    }
    std::size_t lead = line.find_first_not_of(" \t");
    if (lead == std::string::npos) continue;
    lines.push_back(line.substr(lead));
  }
  return lines;
}

}  // namespace

std::vector<std::string> tag_rule_folders(std::string_view text, std::string_view home) {
  std::vector<std::string> folders;
  for (std::string line : box_lines(text)) {
    if (line == "~" || line.rfind("~/", 0) == 0) line = std::string(home) + line.substr(1);
    while (line.size() > 1 && line.back() == '/') line.pop_back();
    if (!line.empty()) folders.push_back(line);
  }
  return folders;
}

RuleFolder resolve_rule_folder(std::string_view folder, std::string_view home,
                               std::string_view base) {
  RuleFolder out;
  out.typed = std::string(folder);
  std::string name(folder);
  if (name == "~" || name.rfind("~/", 0) == 0) name = std::string(home) + name.substr(1);
  if (name.empty() || name[0] != '/') name = std::string(base) + "/" + name;
  char real[PATH_MAX];
  struct stat st;
  if (realpath(name.c_str(), real) == nullptr) {
    out.error = errno;
    out.status = out.error == ENOTDIR ? RuleFolder::NOT_A_FOLDER : RuleFolder::MISSING;
  } else if (stat(real, &st) != 0) {
    out.error = errno;
  } else if (!S_ISDIR(st.st_mode)) {
    out.status = RuleFolder::NOT_A_FOLDER;
  } else {
    out.status = RuleFolder::FOLDER;
    out.path = real;
  }
  return out;
}

std::vector<RuleFolder> resolve_rule_folders(std::string_view text, std::string_view home,
                                             std::string_view base) {
  std::vector<RuleFolder> folders;
  for (const std::string& line : box_lines(text)) {
    folders.push_back(resolve_rule_folder(line, home, base));
  }
  return folders;
}

std::string rule_folder_problem(const RuleFolder& folder) {
  switch (folder.status) {
    case RuleFolder::FOLDER:
      return "";
    case RuleFolder::NOT_A_FOLDER:
      return "not a folder: " + folder.typed;
    case RuleFolder::MISSING:
      break;
  }
  if (folder.error == ENOENT || folder.error == 0) return "no such folder: " + folder.typed;
  return "cannot read folder " + folder.typed + ": " + std::strerror(folder.error);
}

bool is_below(std::string_view path, std::string_view folder) {
  if (folder.empty()) return false;
  if (folder == "/") return path.size() > 1 && path[0] == '/';
  return path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
         path[folder.size()] == '/';
}

namespace {

// The index of the first preferred folder the path lies below; past the
// last when it lies below none.
std::size_t preference(const TagRule& rule, std::string_view path) {
  for (std::size_t i = 0; i < rule.preferred.size(); ++i) {
    if (is_below(path, rule.preferred[i])) return i;
  }
  return rule.preferred.size();
}

bool is_protected(const TagRule& rule, std::string_view path) {
  return std::any_of(rule.protected_folders.begin(), rule.protected_folders.end(),
                     [&](const std::string& folder) { return is_below(path, folder); });
}

// Whether `a` is a better keeper than `b` by the criterion (not counting
// ties: equal means neither is better).
bool better_by_criterion(KeepBy keep, const RuleMember& a, const RuleMember& b) {
  switch (keep) {
    case KeepBy::NEWEST:
      return a.time > b.time;
    case KeepBy::OLDEST:
      // A time not known never wins for being old.
      if (a.time == UNKNOWN_TIME || b.time == UNKNOWN_TIME)
        return b.time == UNKNOWN_TIME && a.time != UNKNOWN_TIME;
      return a.time < b.time;
    case KeepBy::SHORTEST_PATH:
      return a.path.size() < b.path.size();
    case KeepBy::LONGEST_PATH:
      return a.path.size() > b.path.size();
    case KeepBy::FIRST:
      return false;
  }
  return false;
}

bool same_file(const RuleMember& a, const RuleMember& b) {
  return one_file(a.identity, b.identity);
}

}  // namespace

GroupPlan plan_group(const TagRule& rule, const std::vector<RuleMember>& members,
                     const KeepCheck& may_keep) {
  GroupPlan plan;
  if (members.size() < 2) {
    plan.outcome = GroupPlan::SINGLE_MEMBER;
    return plan;
  }
  // Adding to the tags: only an untagged member can be the one that stays.
  const bool only_untagged = !rule.untag_first;
  if (only_untagged &&
      std::all_of(members.begin(), members.end(), [](const RuleMember& m) { return m.tagged; })) {
    plan.outcome = GroupPlan::ALL_TAGGED;
    return plan;
  }
  // The best member by the rule; when the caller may not keep it, the next
  // best, and so on (the caller's check may look at the disk: it is asked
  // only of the members that would be kept).
  std::vector<const RuleMember*> refused;
  const RuleMember* kept = nullptr;
  for (;;) {
    kept = nullptr;
    std::size_t kept_preference = 0;
    for (const RuleMember& m : members) {  // in list order: the first listed wins ties
      if (only_untagged && m.tagged) continue;
      if (std::find(refused.begin(), refused.end(), &m) != refused.end()) continue;
      const std::size_t p = preference(rule, m.path);
      if (kept == nullptr || p < kept_preference ||
          (p == kept_preference && better_by_criterion(rule.keep, m, *kept))) {
        kept = &m;
        kept_preference = p;
      }
    }
    if (kept == nullptr || !may_keep || may_keep(*kept)) break;
    refused.push_back(kept);
  }
  if (kept == nullptr) {
    plan.outcome = GroupPlan::NONE_USABLE;
    return plan;
  }
  plan.kept = kept->row;

  bool protected_seen = false;
  bool tagged_seen = false;
  for (const RuleMember& m : members) {
    if (&m == kept) continue;
    if (only_untagged && m.tagged) {
      tagged_seen = true;  // the user's tag stays as it is
      continue;
    }
    if (is_protected(rule, m.path)) {
      protected_seen = true;
      continue;
    }
    if (rule.leave_hard_links && same_file(m, *kept)) continue;
    plan.tag.push_back(m.row);
  }
  if (plan.tag.empty()) {
    plan.outcome = protected_seen ? GroupPlan::ALL_PROTECTED
                   : tagged_seen  ? GroupPlan::ALL_TAGGED
                                  : GroupPlan::LINKS_ONLY;
    return plan;
  }
  plan.outcome = GroupPlan::TAGGED;
  if (rule.untag_first) {
    for (const RuleMember& m : members) {
      if (m.tagged && std::find(plan.tag.begin(), plan.tag.end(), m.row) == plan.tag.end()) {
        plan.untag.push_back(m.row);
      }
    }
  }
  return plan;
}

void RuleSummary::add(const GroupPlan& plan, const std::vector<RuleMember>& members) {
  switch (plan.outcome) {
    case GroupPlan::TAGGED:
      ++groups;
      files += plan.tag.size();
      for (const RuleMember& m : members) {
        if (std::find(plan.tag.begin(), plan.tag.end(), m.row) != plan.tag.end()) bytes += m.size;
      }
      break;
    case GroupPlan::ALL_PROTECTED:
      ++all_protected;
      break;
    case GroupPlan::LINKS_ONLY:
      ++links_only;
      break;
    case GroupPlan::SINGLE_MEMBER:
      ++single_member;
      break;
    case GroupPlan::ALL_TAGGED:
      ++all_tagged;
      break;
    case GroupPlan::NONE_USABLE:
      ++none_usable;
      break;
  }
}

std::string RuleSummary::preview_line() const {
  return "Will tag " + thousands(static_cast<std::int64_t>(files)) +
         (files == 1 ? " file in " : " files in ") + thousands(static_cast<std::int64_t>(groups)) +
         (groups == 1 ? " group (" : " groups (") + thousands(bytes) + " bytes)";
}

std::string RuleSummary::left_alone_line() const {
  struct Reason {
    std::size_t count;
    const char* why;
  };
  const Reason reasons[] = {
      {all_protected, "every other copy protected"},
      {links_only, "only hard links of the kept file"},
      {single_member, "a single copy left"},
      {all_tagged, "every copy tagged already"},
      {none_usable, "no copy on disk as scanned"},
  };
  std::size_t total = 0;
  std::string why;
  for (const Reason& r : reasons) {
    if (r.count == 0) continue;
    total += r.count;
    if (!why.empty()) why += ", ";
    why += thousands(static_cast<std::int64_t>(r.count)) + " with " + r.why;
  }
  if (total == 0) return "";
  return thousands(static_cast<std::int64_t>(total)) + (total == 1 ? " group" : " groups") +
         " left alone: " + why;
}

namespace {

// The decimal number of `text` (digits only), -1 when it holds anything else.
std::int64_t number_of(std::string_view text) {
  if (text.empty() || text.size() > 9) return -1;
  std::int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

std::int64_t shown_time(std::string_view date, std::string_view time_of_day) {
  // "Www-Mmm dd,yyyy": the C locale's names, as the scanner writes them.
  static constexpr std::string_view MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (date.size() < 12 || date[3] != '-' || date[7] != ' ') return UNKNOWN_TIME;
  std::size_t comma = date.find(',', 8);
  if (comma == std::string_view::npos) return UNKNOWN_TIME;
  int month = 0;
  while (month < 12 && MONTHS[month] != date.substr(4, 3)) ++month;
  const std::int64_t day = number_of(date.substr(8, comma - 8));
  const std::int64_t year = number_of(date.substr(comma + 1));
  // "hh:mm:ssAM"
  if (time_of_day.size() != 10 || time_of_day[2] != ':' || time_of_day[5] != ':') {
    return UNKNOWN_TIME;
  }
  std::int64_t hour = number_of(time_of_day.substr(0, 2));
  const std::int64_t minute = number_of(time_of_day.substr(3, 2));
  const std::int64_t second = number_of(time_of_day.substr(6, 2));
  const std::string_view half = time_of_day.substr(8, 2);
  if (month == 12 || day < 1 || day > 31 || year < 0 || hour < 1 || hour > 12 || minute < 0 ||
      minute > 59 || second < 0 || second > 60 || (half != "AM" && half != "PM")) {
    return UNKNOWN_TIME;
  }
  hour = hour % 12 + (half == "PM" ? 12 : 0);
  return ((((year * 100 + month + 1) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}
