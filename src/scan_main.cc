// peltomarvish-scan: runs one scan in this process, through the same engine
// and the same scan block hand-over as the program, and prints the rows as
// they come.
//
//   peltomarvish-scan [--settings FILE] [--tsv [--links] | --json] [--list-limit N]
//                     [--keep RULE] [--prefer DIR]... [--protect DIR]... [--tag-hard-links]
//                     [--apply ACTION [--dry-run] [--remove-empty-folders]]
//                     [--no-cache] [DIR ...]
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/data_dir.h"
#include "core/hard_links.h"
#include "core/scan_channel.h"
#include "core/version.h"
#include "disk/emptied_folders.h"
#include "disk/file_system.h"
#include "disk/headless_cleanup.h"
#include "list_text/print_format.h"
#include "list_text/rule_stream.h"
#include "list_text/tag_rule.h"
#include "list_text/tag_rule_file.h"
#include "scan/content_cache.h"
#include "scan/headless_scan.h"
#include "scan/match_mask.h"
#include "scan/scan_output.h"
#include "scan/summary.h"
#include "settings/record_file.h"
#include "settings/settings_file.h"

namespace {

constexpr char USAGE[] =
    "Usage: peltomarvish-scan [--settings FILE] [--tsv [--links] | --json] [--list-limit N]\n"
    "                         [--keep RULE] [--prefer DIR]... [--protect DIR]...\n"
    "                         [--tag-hard-links] [--apply ACTION [--dry-run]\n"
    "                         [--remove-empty-folders]] [--no-cache]\n"
    "                         [DIR ...]\n"
    "Runs one duplicate scan and prints the result list on standard output.\n"
    "\n"
    "  --settings FILE  take the settings from FILE (default: ~/.PeltoMarvish/Settings,\n"
    "                   or the factory settings when that is missing)\n"
    "  --tsv            one row per line, the seven columns separated by tabs\n"
    "                   (tab, line feed, carriage return and backslash in a text as\n"
    "                   \\t, \\n, \\r, \\\\, any other control byte as \\xHH)\n"
    "  --links          with --tsv: an eighth column, for a file that is a hard link\n"
    "                   of an earlier file of its group, that file's path\n"
    "  --json           the whole result as one JSON document\n"
    "  --list-limit N   list at most N rows, as the window does with 50000 (a\n"
    "                   \"List Box Is Full\" row says where the list was cut);\n"
    "                   default: every group\n"
    "\n"
    "Tagging by rule (any of these turns it on; without --apply nothing is deleted):\n"
    "one copy is kept and the others are tagged, marked \"*\" in the first column\n"
    "(\"tagged\": true in JSON).\n"
    "  --keep RULE      the copy to keep: original (the default), newest, oldest,\n"
    "                   shortest-path, longest-path or first (the first listed).\n"
    "                   original: the copy whose name carries no copy marker\n"
    "                   (\" (1)\", \"Copy of \", \" - Copy\", \" copy 2\", \"~\", \".bak\" ...)\n"
    "                   when another copy's name is that name with markers, then\n"
    "                   one below no backup-like folder (Backup, Backup 2, Copy,\n"
    "                   Old, Archive ...), then the oldest, the shortest path,\n"
    "                   the first listed\n"
    "  --prefer DIR     keep a copy below DIR before any other (repeatable: an\n"
    "                   earlier DIR wins over a later one)\n"
    "  --protect DIR    never tag a file below DIR (repeatable)\n"
    "                   A rule DIR is read as a scanned DIR is: relative to the\n"
    "                   working directory, its symbolic links, \".\" and \"..\"\n"
    "                   resolved; one that is no folder is a usage error, one\n"
    "                   below no scanned folder is warned about\n"
    "  --tag-hard-links tag the other names of the kept file too (by default they\n"
    "                   stay untagged: deleting them frees nothing)\n"
    "\n"
    "Cleaning up (needs a rule option): the tagged files are acted on as each group\n"
    "ends, and one line per file is printed instead of the list.\n"
    "  --apply ACTION   delete, trash (the desktop trash), hardlink or clone\n"
    "                   (copy-on-write): a link or a clone replaces the tagged file\n"
    "                   by the group's first untagged copy, once the two are found\n"
    "                   to hold the same bytes. A file changed since the scan, the\n"
    "                   last copy of a group, a link across file systems are never\n"
    "                   acted on. Lines: \"deleted PATH\", \"trashed PATH\",\n"
    "                   \"linked PATH -> KEPT\", \"cloned PATH -> KEPT\",\n"
    "                   \"skipped PATH: REASON\" (a path's ':' and '>' escaped as\n"
    "                   \\: and \\>); each file acted on is logged in\n"
    "                   ~/.PeltoMarvish/deleted.log\n"
    "  --dry-run        with --apply: print what it would do (\"would delete PATH\",\n"
    "                   ...), change nothing\n"
    "  --remove-empty-folders\n"
    "                   with --apply delete or trash: afterwards remove the folders\n"
    "                   the clean-up left empty (never a DIR or include directory\n"
    "                   itself, nor a folder that was empty before), one line each:\n"
    "                   \"removed folder PATH\"\n"
    "\n"
    "  DIR ...          scan these directories and everything below them instead\n"
    "                   of the settings' include directories\n"
    "  --no-cache       neither read nor write ~/.PeltoMarvish/ContentCache (what\n"
    "                   earlier scans read of unchanged files): read every file\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "\n"
    "Status texts, \"Access Denied to ...\" lines and the summary lines go to\n"
    "standard error. Without --apply nothing is written but the content cache.\n"
    "\n"
    "Exit status: 0 done; 1 with --apply, when a tagged file was skipped or could\n"
    "not be acted on (each is listed); 2 a usage error.\n";

int usage_error(const char* problem, const char* what) {
  std::fprintf(stderr, "peltomarvish-scan: %s%s\n%s", problem, what, USAGE);
  return 2;
}

// Output buffered in 64 KiB pieces.
class Output {
 public:
  void add(const std::string& text) {
    buffer_ += text;
    if (buffer_.size() > (1 << 16)) flush();
  }
  void flush() {
    std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
    buffer_.clear();
  }

 private:
  std::string buffer_;
};

// Whether the scan can list a file below the (real) folder: an include
// mask takes the folder itself or a path below it, or it is above where the
// masks lead. The walk's own test, so "/home/*" meets /home/me and
// /home, and misses /mnt.
bool scan_meets(const ScanOptions& options, const std::string& folder) {
  const std::string below = folder == "/" ? folder : folder + "/";
  for (const std::string& mask : options.include_dirs) {
    if (match_mask(mask.c_str(), folder.c_str()) == MASK_MATCH ||
        mask_can_match_prefix(mask.c_str(), below.c_str())) {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const char* settings_file = nullptr;
  bool tsv = false, links = false, json = false;
  const char* home_env = std::getenv("HOME");
  const std::string home = home_env != nullptr ? home_env : "";
  bool rule_on = false;
  TagRule rule;
  rule.keep = KeepBy::ORIGINAL;  // when --prefer, --protect ... come without --keep
  // The rule folders as typed beside their real paths, read as the DIR
  // arguments are: relative to the working directory, links followed.
  std::vector<std::pair<std::string, std::string>> rule_folders;
  long list_limit = 0;
  bool apply = false, dry_run = false, remove_empty_folders = false;
  bool no_cache = false;
  CleanupAction action = CleanupAction::DELETE;
  std::vector<std::string> dirs;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (!options_done && arg == "--help") {
      std::fputs(USAGE, stdout);
      return 0;
    } else if (!options_done && arg == "--version") {
      std::printf("peltomarvish-scan (Pelto Marvish) %s\n", program_version());
      return 0;
    } else if (!options_done && arg == "--tsv") {
      tsv = true;
    } else if (!options_done && arg == "--links") {
      links = true;
    } else if (!options_done && arg == "--json") {
      json = true;
    } else if (!options_done && arg == "--list-limit") {
      if (++i == argc) return usage_error("--list-limit needs a number", "");
      char* end = nullptr;
      list_limit = std::strtol(argv[i], &end, 10);
      if (*argv[i] == '\0' || *end != '\0' || list_limit < 1 || list_limit > INT_MAX) {
        return usage_error("--list-limit needs a number above 0: ", argv[i]);
      }
    } else if (!options_done && arg == "--keep") {
      if (++i == argc || !keep_by_from_name(argv[i], rule.keep)) {
        return usage_error(("--keep needs " + keep_by_names()).c_str(),
                           i == argc ? "" : (std::string(": not ") + argv[i]).c_str());
      }
      rule_on = true;
    } else if (!options_done && (arg == "--prefer" || arg == "--protect")) {
      if (++i == argc || argv[i][0] == '\0') return usage_error(argv[i - 1], " needs a folder");
      const RuleFolder folder = resolve_rule_folder(argv[i], home, ".");
      if (folder.status != RuleFolder::FOLDER) {
        return usage_error((arg + ": " + rule_folder_problem(folder)).c_str(), "");
      }
      (arg == "--prefer" ? rule.preferred : rule.protected_folders).push_back(folder.path);
      rule_folders.emplace_back(arg + " " + argv[i], folder.path);
      rule_on = true;
    } else if (!options_done && arg == "--tag-hard-links") {
      rule.leave_hard_links = false;
      rule_on = true;
    } else if (!options_done && arg == "--apply") {
      if (++i == argc || !cleanup_action_from_name(argv[i], action)) {
        return usage_error("--apply needs delete, trash, hardlink or clone", "");
      }
      apply = true;
    } else if (!options_done && arg == "--dry-run") {
      dry_run = true;
    } else if (!options_done && arg == "--remove-empty-folders") {
      remove_empty_folders = true;
    } else if (!options_done && arg == "--no-cache") {
      no_cache = true;
    } else if (!options_done && arg == "--settings") {
      if (++i == argc) return usage_error("--settings needs a file", "");
      settings_file = argv[i];
    } else if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      return usage_error("unknown option ", argv[i]);
    } else {
      char resolved[PATH_MAX];
      struct stat st;
      if (realpath(argv[i], resolved) == nullptr || stat(resolved, &st) != 0 ||
          !S_ISDIR(st.st_mode)) {
        return usage_error("not a directory: ", argv[i]);
      }
      dirs.push_back(resolved);
    }
  }
  if (json && tsv) return usage_error("--json and --tsv do not go together", "");
  if (links && !tsv) return usage_error("--links goes with --tsv", "");
  if (dry_run && !apply) return usage_error("--dry-run goes with --apply", "");
  // A link or a clone leaves every name in place: it empties no folder.
  if (remove_empty_folders &&
      (!apply || (action != CleanupAction::DELETE && action != CleanupAction::TRASH))) {
    return usage_error("--remove-empty-folders goes with --apply delete or --apply trash", "");
  }
  if (apply && !rule_on) {
    return usage_error("--apply needs a rule: --keep, --prefer, --protect or --tag-hard-links", "");
  }
  if (apply && (tsv || json))
    return usage_error("--apply prints its own lines, not --tsv or --json", "");

  auto block = std::make_unique<ScanBlock>();
  SettingsRecord& settings = block->settings;
  if (settings_file != nullptr) {
    if (!read_record_file(settings_file, &settings, sizeof settings)) {
      return usage_error("cannot read, or not a Pelto Marvish settings file: ", settings_file);
    }
  } else {
    const char* home = std::getenv("HOME");
    std::string path = std::string(home ? home : ".") + "/.PeltoMarvish/Settings";
    if (!read_record_file(path.c_str(), &settings, sizeof settings)) default_settings(settings);
  }
  end_mask_slots(settings);
  apply_consistency_rule(settings);

  ScanOptions options = scan_options_from(settings);
  options.list_limit = static_cast<std::int32_t>(list_limit);
  if (no_cache) options.content_cache.clear();
  if (!dirs.empty()) {
    options.include_dirs.clear();
    for (const std::string& dir : dirs) include_directory(options, dir);
  }
  // A rule folder the scan never reaches matches nothing: most likely a
  // typing slip, told, but no reason to refuse the scan.
  for (const auto& [typed, folder] : rule_folders) {
    if (!scan_meets(options, folder)) {
      std::fprintf(stderr,
                   "peltomarvish-scan: warning: %s: %s is below no scanned folder; it matches "
                   "no file\n",
                   typed.c_str(), folder.c_str());
    }
  }

  Output out;
  HardLinkTracker tracker;
  std::unique_ptr<JsonWriter> json_writer;
  if (json) json_writer = std::make_unique<JsonWriter>(stdout, options, rule_on);
  std::string stopped;  // the row that says the "Stop After" limit ended the scan
  auto note_stopped = [&](const RowTexts& row) {
    if (classify_texts(row) == ROW_COMMENT && std::strncmp(row.col[1], "Stopped ", 8) == 0) {
      stopped = std::string(row.col[1]) + " " + row.col[2];
    }
  };
  auto print_row = [&](const RowTexts& row) {
    note_stopped(row);
    if (json_writer) {
      json_writer->row(row);
    } else if (tsv) {
      out.add(tsv_line(row, links, tracker));
    } else {
      out.add(format_print_row(row));
    }
  };
  // With a rule, each group is held until its end and passed on marked.
  // With --apply, the tagged groups go to the clean-up instead of the output;
  // it logs in the data directory, entered once the settings are read.
  DiskFileSystem files;
  std::unique_ptr<HeadlessCleanup> cleanup;
  if (apply) {
    enter_data_directory();
    cleanup = std::make_unique<HeadlessCleanup>(
        files, action, dry_run, "deleted.log", [&](const std::string& line) {
          out.add(line + "\n");
          if (dry_run) return;
          out.flush();  // what was done is on record at once
          std::fflush(stdout);
        });
    // Only a folder whose parent the scan takes may go: never a scanned
    // top folder, nor anything above or beside one.
    if (remove_empty_folders) {
      cleanup->remove_emptied_folders(
          std::make_unique<EmptiedFolders>([&options](const std::string& folder) {
            for (const std::string& mask : options.include_dirs)
              if (match_mask(mask.c_str(), folder.c_str()) == MASK_MATCH) return true;
            return false;
          }));
    }
  }
  RuleStream rule_stream(rule, [&](const RowTexts& row) {
    if (cleanup) {
      note_stopped(row);
      cleanup->row(row);
    } else {
      print_row(row);
    }
  });
  if (cleanup) {
    rule_stream.set_kept_sink(
        [&](const std::string& path, KeepReason reason, const std::string& folder) {
          cleanup->kept(path, reason, folder);
        });
  }
  HeadlessSink sink;
  sink.row = [&](const RowTexts& row) {
    if (rule_on) {
      rule_stream.row(row);
    } else {
      print_row(row);
    }
  };
  run_headless_scan(*block, options, isatty(STDERR_FILENO) != 0, sink);
  rule_stream.finish();
  if (cleanup) {
    cleanup->finish();
    // Files whose bytes turned out other than their copy's: the cache's
    // word on them (written by this very scan) goes.
    if (!options.content_cache.empty())
      ContentCache::forget_files(options.content_cache, cleanup->differing());
  }
  out.flush();
  if (json_writer) json_writer->finish(*block);
  std::fflush(stdout);
  std::string counts = summary_counts_line(*block);
  counts.erase(counts.find_last_not_of(' ') + 1);
  std::fprintf(stderr, "%s\n%s\n", counts.c_str(), totals_line(*block).c_str());
  if (rule_on) {
    const RuleSummary& tagged = rule_stream.summary();
    std::fprintf(stderr, "Tagged %s (%s bytes) in %s\n",
                 (thousands(static_cast<std::int64_t>(tagged.files)) +
                  (tagged.files == 1 ? " file" : " files"))
                     .c_str(),
                 thousands(tagged.bytes).c_str(),
                 (thousands(static_cast<std::int64_t>(tagged.groups)) +
                  (tagged.groups == 1 ? " group" : " groups"))
                     .c_str());
    std::string alone = tagged.left_alone_line();
    if (!alone.empty()) std::fprintf(stderr, "%s\n", alone.c_str());
  }
  if (!stopped.empty()) {
    std::fprintf(stderr, "%s: the \"Stop After\" limit ended the scan; the list is not complete\n",
                 stopped.c_str());
  }
  if (cleanup) {
    if (!cleanup->log_problem().empty()) {
      std::fprintf(stderr, "peltomarvish-scan: %s\n", cleanup->log_problem().c_str());
    }
    std::fprintf(stderr, "%s\n", cleanup->summary().c_str());
    return cleanup->skipped() > 0 ? 1 : 0;
  }
  return 0;
}
