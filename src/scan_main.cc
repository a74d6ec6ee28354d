// peltomarvish-scan: runs one scan in this process, through the same engine
// and the same scan block hand-over as the program, and prints the rows.
//
//   peltomarvish-scan [--settings FILE] [--tsv] [DIR ...]
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/scan_channel.h"
#include "scan/headless_scan.h"
#include "scan/summary.h"
#include "settings/record_file.h"
#include "settings/settings_file.h"
#include "ui/list/print_format.h"

namespace {

constexpr char USAGE[] =
    "Usage: peltomarvish-scan [--settings FILE] [--tsv] [DIR ...]\n"
    "Runs one duplicate scan and prints the result list on standard output.\n"
    "\n"
    "  --settings FILE  take the settings from FILE (default: ~/.PeltoMarvish/Settings,\n"
    "                   or the factory settings when that is missing)\n"
    "  --tsv            one row per line, the seven columns separated by tabs\n"
    "                   (tab, line feed and backslash in a text as \\t, \\n, \\\\)\n"
    "  DIR ...          scan these directories and everything below them instead\n"
    "                   of the settings' include directories\n"
    "  --help           show this text\n"
    "\n"
    "Status texts and the summary lines go to standard error. Nothing is written\n"
    "to any file.\n";

int usage_error(const char* problem, const char* what) {
  std::fprintf(stderr, "peltomarvish-scan: %s%s\n%s", problem, what, USAGE);
  return 2;
}

std::string tsv_field(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    switch (*p) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\\': out += "\\\\"; break;
      default: out += *p;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const char* settings_file = nullptr;
  bool tsv = false;
  std::vector<std::string> dirs;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (!options_done && arg == "--help") {
      std::fputs(USAGE, stdout);
      return 0;
    } else if (!options_done && arg == "--tsv") {
      tsv = true;
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
      if (realpath(argv[i], resolved) == nullptr || stat(resolved, &st) != 0 || !S_ISDIR(st.st_mode)) {
        return usage_error("not a directory: ", argv[i]);
      }
      dirs.push_back(resolved);
    }
  }

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
  apply_consistency_rule(settings);

  ScanOptions options = scan_options_from(settings);
  if (!dirs.empty()) {
    options.include_dirs.clear();
    for (const std::string& dir : dirs) include_directory(options, dir);
  }

  HeadlessResult result =
      run_headless_scan(*block, std::move(options), isatty(STDERR_FILENO) != 0);

  std::string out;
  for (const ListRow& r : result.rows) {
    if (tsv) {
      for (int i = 0; i < COLUMN_COUNT; ++i) {
        if (i > 0) out += '\t';
        out += tsv_field(r[i].c_str());
      }
      out += '\n';
    } else {
      RowTexts row{{r[0].c_str(), r[1].c_str(), r[2].c_str(), r[3].c_str(), r[4].c_str(),
                    r[5].c_str(), r[6].c_str()}};
      out += format_print_row(row);
    }
    if (out.size() > (1 << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  std::string counts = summary_counts_line(*block);
  counts.erase(counts.find_last_not_of(' ') + 1);
  std::fprintf(stderr, "%s\n%s\n", counts.c_str(), totals_line(*block).c_str());
  return 0;
}
