#include "list_text/tag_rule.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <optional>
#include <set>

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
    case KeepBy::ORIGINAL:  // its own chain of tests: see keep_original
      return false;
  }
  return false;
}

// Copy markers, in one table. In a pattern "#" stands for one or more
// digits; letters match whatever their ASCII case.
struct CopyMarker {
  enum Place {
    FRONT,       // at the start of the name
    BEFORE_DOT,  // at the end of the name, or just before one of its last two dots
    END,         // at the very end of the name, extension and all
  };
  Place place;
  const char* pattern;
};
constexpr CopyMarker COPY_MARKERS[] = {
    {CopyMarker::FRONT, "Copy of "},              // Windows XP
    {CopyMarker::FRONT, "Copy (#) of "},          // Windows XP
    {CopyMarker::BEFORE_DOT, " (#)"},             // browsers, desktops: "report (1).pdf"
    {CopyMarker::BEFORE_DOT, " - Copy"},          // Windows
    {CopyMarker::BEFORE_DOT, " - Copy (#)"},      // Windows
    {CopyMarker::BEFORE_DOT, " copy"},            // macOS
    {CopyMarker::BEFORE_DOT, " copy #"},          // macOS
    {CopyMarker::BEFORE_DOT, " (copy)"},          // GNOME
    {CopyMarker::BEFORE_DOT, " (copy #)"},        // GNOME
    {CopyMarker::BEFORE_DOT, " (another copy)"},  // GNOME
    {CopyMarker::BEFORE_DOT, "-copy"},
    {CopyMarker::BEFORE_DOT, "_copy"},
    {CopyMarker::END, "~"},  // editors
    {CopyMarker::END, ".bak"},
    {CopyMarker::END, ".backup"},
    {CopyMarker::END, ".orig"},
    {CopyMarker::END, ".old"},
};

// Folder names of backups, in one table, matched on a whole component
// ("#" and letters as in COPY_MARKERS).
constexpr const char* BACKUP_FOLDERS[] = {
    "backup", "backups", "backup #", "backup-#", "backup_#", "backup#",
    "copy",   "copies",  "old",      "archive",  "archives", "bak",
};

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Where `pattern` ends when matched at `at` in `text`; npos when it does not.
std::size_t match_end(std::string_view pattern, std::string_view text, std::size_t at) {
  for (char p : pattern) {
    if (p == '#') {
      const std::size_t start = at;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
      if (at == start) return std::string_view::npos;
    } else {
      if (at >= text.size() || ascii_lower(text[at]) != ascii_lower(p)) {
        return std::string_view::npos;
      }
      ++at;
    }
  }
  return at;
}

// Whether `pattern` matches the end of `text` with something left before
// it; where it begins then. Matched backwards: a "#" takes every digit
// before it (no pattern has a digit just before a "#").
std::size_t match_at_end(std::string_view pattern, std::string_view text) {
  std::size_t at = text.size();
  for (std::size_t k = pattern.size(); k-- > 0;) {
    if (pattern[k] == '#') {
      const std::size_t end = at;
      while (at > 0 && text[at - 1] >= '0' && text[at - 1] <= '9') --at;
      if (at == end) return std::string_view::npos;
    } else {
      if (at == 0 || ascii_lower(text[at - 1]) != ascii_lower(pattern[k])) {
        return std::string_view::npos;
      }
      --at;
    }
  }
  return at >= 1 ? at : std::string_view::npos;
}

// `name` with one copy marker removed; false when it carries none.
bool strip_one_marker(std::string& name) {
  for (const CopyMarker& m : COPY_MARKERS) {
    if (m.place == CopyMarker::FRONT) {
      const std::size_t end = match_end(m.pattern, name, 0);
      if (end != std::string_view::npos && end < name.size()) {
        name.erase(0, end);
        return true;
      }
    } else if (m.place == CopyMarker::END) {
      const std::size_t start = match_at_end(m.pattern, name);
      if (start != std::string_view::npos) {
        name.erase(start);
        return true;
      }
    } else {
      // The end of the stem: the end of the name or one of its last two dots
      // ("a (1).pdf", "a (1).tar.gz"); a leading dot starts no extension.
      std::size_t ends[3] = {name.size(), std::string::npos, std::string::npos};
      const std::size_t last = name.rfind('.');
      if (last != std::string::npos && last > 0) {
        ends[1] = last;
        const std::size_t before = name.rfind('.', last - 1);
        if (before != std::string::npos && before > 0) ends[2] = before;
      }
      for (std::size_t stem_end : ends) {
        if (stem_end == std::string::npos) continue;
        const std::size_t start =
            match_at_end(m.pattern, std::string_view(name).substr(0, stem_end));
        if (start != std::string_view::npos) {
          name.erase(start, stem_end - start);
          return true;
        }
      }
    }
  }
  return false;
}

std::string_view last_component(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Keeps those of `candidates` whose score is the lowest; whether any went.
template <typename Score>
bool keep_lowest(std::vector<const RuleMember*>& candidates, Score score) {
  if (candidates.size() < 2) return false;
  std::vector<decltype(score(*candidates[0]))> scores;
  for (const RuleMember* m : candidates) scores.push_back(score(*m));
  const auto best = *std::min_element(scores.begin(), scores.end());
  std::size_t out = 0;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (!(best < scores[i])) candidates[out++] = candidates[i];
  }
  const bool narrowed = out < candidates.size();
  candidates.resize(out);
  return narrowed;
}

// The original among `candidates` (in list order, all of one preference),
// `members` being the whole group (see KeepBy::ORIGINAL); `reason` is set to
// the first test that set some candidate aside.
const RuleMember* keep_original(std::vector<const RuleMember*> candidates,
                                const std::vector<RuleMember>& members, KeepReason& reason) {
  std::optional<KeepReason> why;
  auto step = [&](bool narrowed, KeepReason r) {
    if (narrowed && !why) why = r;
  };
  // a. the name: the bare names of the members whose names carry a marker
  // (one pass over the group, however large).
  std::set<std::string, std::less<>> bare_names_of_copies;
  for (const RuleMember& m : members) {
    const std::string_view name = last_component(m.path);
    std::string bare = name_without_copy_markers(name);
    if (bare != name) bare_names_of_copies.insert(std::move(bare));
  }
  if (!bare_names_of_copies.empty()) {
    std::vector<bool> marked;
    bool original_seen = false;
    for (const RuleMember* m : candidates) {
      const std::string_view name = last_component(m->path);
      marked.push_back(name_without_copy_markers(name) != name);
      original_seen |= !marked.back() && bare_names_of_copies.count(name) != 0;
    }
    if (original_seen) {
      std::size_t out = 0;
      for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (!marked[i]) candidates[out++] = candidates[i];
      }
      step(out < candidates.size(), KeepReason::OTHERS_LOOK_LIKE_COPIES);
      candidates.resize(out);
    }
  }
  // b. the folders.
  std::vector<std::string_view> paths;
  for (const RuleMember& m : members) paths.push_back(m.path);
  const std::string root = common_folder(paths);
  step(keep_lowest(candidates,
                   [&](const RuleMember& m) { return below_backup_folder(m.path, root) ? 1 : 0; }),
       KeepReason::OTHERS_IN_BACKUP_FOLDERS);
  // c. the oldest time; one not known counts as the newest.
  step(keep_lowest(candidates,
                   [](const RuleMember& m) {
                     return m.time == UNKNOWN_TIME ? std::numeric_limits<std::int64_t>::max()
                                                   : m.time;
                   }),
       KeepReason::OLDEST);
  // d. the shortest path; e. the first listed.
  step(keep_lowest(candidates, [](const RuleMember& m) { return m.path.size(); }),
       KeepReason::SHORTEST_PATH);
  reason = why.value_or(KeepReason::FIRST_LISTED);
  return candidates.empty() ? nullptr : candidates.front();
}

KeepReason criterion_reason(KeepBy keep) {
  switch (keep) {
    case KeepBy::NEWEST:
      return KeepReason::NEWEST;
    case KeepBy::OLDEST:
      return KeepReason::OLDEST;
    case KeepBy::SHORTEST_PATH:
      return KeepReason::SHORTEST_PATH;
    case KeepBy::LONGEST_PATH:
      return KeepReason::LONGEST_PATH;
    case KeepBy::FIRST:
    case KeepBy::ORIGINAL:
      break;
  }
  return KeepReason::FIRST_LISTED;
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
    if (rule.keep == KeepBy::ORIGINAL) {
      std::vector<const RuleMember*> candidates;
      for (const RuleMember& m : members) {
        if (only_untagged && m.tagged) continue;
        if (std::find(refused.begin(), refused.end(), &m) != refused.end()) continue;
        candidates.push_back(&m);
      }
      const bool preferred =
          keep_lowest(candidates, [&](const RuleMember& m) { return preference(rule, m.path); });
      kept = keep_original(std::move(candidates), members, plan.reason);
      if (preferred) plan.reason = KeepReason::PREFERRED_FOLDER;
      if (kept == nullptr || !may_keep || may_keep(*kept)) break;
      refused.push_back(kept);
      continue;
    }
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
    if (kept == nullptr || !may_keep || may_keep(*kept)) {
      // Why: what set it above the first other member still in the running.
      plan.reason = KeepReason::FIRST_LISTED;
      for (const RuleMember& m : members) {
        if (kept == nullptr || &m == kept || (only_untagged && m.tagged)) continue;
        if (std::find(refused.begin(), refused.end(), &m) != refused.end()) continue;
        if (preference(rule, m.path) > kept_preference) {
          plan.reason = KeepReason::PREFERRED_FOLDER;
          break;
        }
        if (better_by_criterion(rule.keep, *kept, m)) plan.reason = criterion_reason(rule.keep);
      }
      break;
    }
    refused.push_back(kept);
  }
  if (kept == nullptr) {
    plan.outcome = GroupPlan::NONE_USABLE;
    return plan;
  }
  plan.kept = kept->row;
  if (plan.reason == KeepReason::PREFERRED_FOLDER) plan.preferred = preference(rule, kept->path);

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

std::string name_without_copy_markers(std::string_view name) {
  std::string out(name);
  while (strip_one_marker(out)) {
  }
  return out;
}

bool is_backup_folder_name(std::string_view component) {
  return std::any_of(std::begin(BACKUP_FOLDERS), std::end(BACKUP_FOLDERS),
                     [&](const char* p) { return match_end(p, component, 0) == component.size(); });
}

std::string common_folder(const std::vector<std::string_view>& paths) {
  if (paths.empty()) return "";
  // The folder of the first path, cut back until every path lies below it.
  std::string_view folder =
      paths[0].substr(0, paths[0].rfind('/') == std::string_view::npos ? 0 : paths[0].rfind('/'));
  for (std::string_view p : paths) {
    while (!folder.empty() && !is_below(p, folder)) {
      folder = folder.substr(0, folder.rfind('/'));
    }
  }
  return folder.empty() ? std::string("/") : std::string(folder);
}

bool below_backup_folder(std::string_view path, std::string_view root) {
  std::size_t start = is_below(path, root) ? (root == "/" ? 1 : root.size() + 1) : 0;
  for (;;) {
    const std::size_t slash = path.find('/', start);
    if (slash == std::string_view::npos) return false;  // the rest is the file's own name
    if (is_backup_folder_name(path.substr(start, slash - start))) return true;
    start = slash + 1;
  }
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

std::string keep_reason_text(KeepReason reason, std::string_view folder) {
  switch (reason) {
    case KeepReason::PREFERRED_FOLDER:
      return "in preferred folder " + std::string(folder);
    case KeepReason::OTHERS_LOOK_LIKE_COPIES:
      return "the others look like copies";
    case KeepReason::OTHERS_IN_BACKUP_FOLDERS:
      return "the others are in backup folders";
    case KeepReason::OLDEST:
      return "oldest";
    case KeepReason::NEWEST:
      return "newest";
    case KeepReason::SHORTEST_PATH:
      return "shortest path";
    case KeepReason::LONGEST_PATH:
      return "longest path";
    case KeepReason::FIRST_LISTED:
      break;
  }
  return "first listed";
}

std::string left_alone_text(GroupPlan::Outcome outcome) {
  switch (outcome) {
    case GroupPlan::ALL_PROTECTED:
      return "every other copy protected";
    case GroupPlan::LINKS_ONLY:
      return "only hard links of the kept file";
    case GroupPlan::SINGLE_MEMBER:
      return "a single copy left";
    case GroupPlan::ALL_TAGGED:
      return "every copy tagged already";
    case GroupPlan::NONE_USABLE:
      return "no copy on disk as scanned";
    case GroupPlan::TAGGED:
      break;
  }
  return "";
}

std::string RuleSummary::left_alone_line() const {
  struct Reason {
    std::size_t count;
    std::string why;
  };
  const Reason reasons[] = {
      {all_protected, left_alone_text(GroupPlan::ALL_PROTECTED)},
      {links_only, left_alone_text(GroupPlan::LINKS_ONLY)},
      {single_member, left_alone_text(GroupPlan::SINGLE_MEMBER)},
      {all_tagged, left_alone_text(GroupPlan::ALL_TAGGED)},
      {none_usable, left_alone_text(GroupPlan::NONE_USABLE)},
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
