#include "list_text/tag_rule_file.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/glib_ptr.h"
#include "settings/record_file.h"

namespace {

constexpr const char* GROUP = "Tag By Rule";

constexpr std::pair<const char*, KeepBy> KEEP_NAMES[] = {{"newest", KeepBy::NEWEST},
                                                         {"oldest", KeepBy::OLDEST},
                                                         {"shortest-path", KeepBy::SHORTEST_PATH},
                                                         {"longest-path", KeepBy::LONGEST_PATH},
                                                         {"first", KeepBy::FIRST},
                                                         {"original", KeepBy::ORIGINAL}};

// The file is small; a larger one is not ours.
constexpr gsize RULE_FILE_LIMIT = 1 << 20;

std::string read_string(GKeyFile* keys, const char* key, const std::string& fallback) {
  GCharPtr value(g_key_file_get_string(keys, GROUP, key, nullptr));
  return value ? std::string(value.get()) : fallback;
}

bool read_bool(GKeyFile* keys, const char* key, bool fallback) {
  GError* error = nullptr;
  gboolean value = g_key_file_get_boolean(keys, GROUP, key, &error);
  GErrorPtr owned(error);
  return error != nullptr ? fallback : value != FALSE;
}

// The lines of a box as a key file list, and back.
std::string lines_from_list(GKeyFile* keys, const char* key) {
  gsize n = 0;
  GStrvPtr list(g_key_file_get_string_list(keys, GROUP, key, &n, nullptr));
  std::string text;
  for (gsize i = 0; list && i < n; ++i) {
    if (i > 0) text += '\n';
    text += list.get()[i];
  }
  return text;
}

void set_lines(GKeyFile* keys, const char* key, const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  std::vector<const char*> pointers;
  for (const std::string& line : lines) pointers.push_back(line.c_str());
  g_key_file_set_string_list(keys, GROUP, key, pointers.data(), pointers.size());
}

}  // namespace

const char* keep_by_name(KeepBy keep) {
  for (auto [name, value] : KEEP_NAMES) {
    if (value == keep) return name;
  }
  return "original";
}

std::string keep_by_names() {
  std::string names;
  const std::size_t count = std::size(KEEP_NAMES);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) names += i + 1 == count ? " or " : ", ";
    names += KEEP_NAMES[i].first;
  }
  return names;
}

bool keep_by_from_name(const std::string& name, KeepBy& keep) {
  for (auto [text, value] : KEEP_NAMES) {
    if (name == text) {
      keep = value;
      return true;
    }
  }
  return false;
}

TagRuleChoices load_tag_rule_choices(const std::string& file) {
  TagRuleChoices choices;
  gchar* bytes = nullptr;
  gsize size = 0;
  // Not followed into anything but a regular file, and never waited on.
  GStatBuf st;
  if (g_lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<gsize>(st.st_size) > RULE_FILE_LIMIT ||
      !g_file_get_contents(file.c_str(), &bytes, &size, nullptr)) {
    return choices;
  }
  GCharPtr owned(bytes);
  GKeyFile* keys = g_key_file_new();
  if (g_key_file_load_from_data(keys, bytes, size, G_KEY_FILE_NONE, nullptr)) {
    KeepBy keep;
    const std::string name = read_string(keys, "keep", keep_by_name(choices.keep));
    if (keep_by_from_name(name, keep)) {
      choices.keep = keep;
    } else {
      choices.unknown_keep = name;
    }
    choices.preferred_text = lines_from_list(keys, "prefer");
    choices.protected_text = lines_from_list(keys, "protect");
    choices.leave_hard_links = read_bool(keys, "leave-hard-links", true);
    choices.selected_group_only = read_bool(keys, "selected-group-only", false);
    choices.untag_first = read_bool(keys, "untag-first", true);
  }
  g_key_file_free(keys);
  return choices;
}

bool save_tag_rule_choices(const std::string& file, const TagRuleChoices& choices) {
  GKeyFile* keys = g_key_file_new();
  g_key_file_set_string(keys, GROUP, "keep", keep_by_name(choices.keep));
  set_lines(keys, "prefer", choices.preferred_text);
  set_lines(keys, "protect", choices.protected_text);
  g_key_file_set_boolean(keys, GROUP, "leave-hard-links", choices.leave_hard_links);
  g_key_file_set_boolean(keys, GROUP, "selected-group-only", choices.selected_group_only);
  g_key_file_set_boolean(keys, GROUP, "untag-first", choices.untag_first);
  gsize size = 0;
  GCharPtr data(g_key_file_to_data(keys, &size, nullptr));
  g_key_file_free(keys);
  return data && write_record_file(file.c_str(), data.get(), size);
}

TagRule tag_rule_of(const TagRuleChoices& choices, const std::string& home) {
  TagRule rule;
  rule.keep = choices.keep;
  rule.preferred = tag_rule_folders(choices.preferred_text, home);
  rule.protected_folders = tag_rule_folders(choices.protected_text, home);
  rule.leave_hard_links = choices.leave_hard_links;
  rule.untag_first = choices.untag_first;
  return rule;
}

ResolvedRule resolved_tag_rule_of(const TagRuleChoices& choices, const std::string& home) {
  ResolvedRule out;
  out.rule = tag_rule_of(choices, home);
  out.rule.preferred.clear();
  out.rule.protected_folders.clear();
  for (bool preferred : {true, false}) {
    for (RuleFolder& folder : resolve_rule_folders(
             preferred ? choices.preferred_text : choices.protected_text, home, home)) {
      if (folder.status == RuleFolder::FOLDER) {
        (preferred ? out.rule.preferred : out.rule.protected_folders).push_back(folder.path);
      } else {
        out.problems.push_back(rule_folder_problem(folder));
      }
      out.folders.push_back(std::move(folder));
    }
  }
  return out;
}
