// A temporary tree to scan, and a scan of it run through the real engine
// and the real scan block hand-over.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scan/headless_scan.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

namespace test {

struct ScanRun {
  HeadlessResult result;
  std::unique_ptr<ScanBlock> block;

  const std::vector<ListRow>& rows() const { return result.rows; }

  // Column 6 of the file rows, in list order.
  std::vector<std::string> paths() const {
    std::vector<std::string> out;
    for (const ListRow& r : rows()) {
      if (r[0] == " ") out.push_back(r[6]);
    }
    return out;
  }

  // The rows shortened to "mark|date|time|size" for headers and comments,
  // and to the path (relative to `root`) for file rows.
  std::vector<std::string> outline(const std::string& root) const {
    std::vector<std::string> out;
    for (const ListRow& r : rows()) {
      if (r[0] == " ") {
        out.push_back(r[6].rfind(root + "/", 0) == 0 ? r[6].substr(root.size() + 1) : r[6]);
      } else if (r[1] == "Scan Finished" || r[1] == "Scan Time ") {
        out.push_back(r[1]);  // their times vary
      } else {
        out.push_back(r[1] + "|" + r[2] + "|" + r[3] + "|" + r[4]);
      }
    }
    return out;
  }
};

class ScanTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("TZ", "UTC", 1);
    tzset();
  }

  ScanTest() {
    auto record = std::make_unique<SettingsRecord>();
    default_settings(*record);
    options = scan_options_from(*record);
    options.include_dirs.clear();
    options.exclude_dirs.clear();
    include_directory(options, dir.path());
    options.content_cache.clear();  // a case that wants the cache names its file
  }

  std::string path(const std::string& rel) const { return dir / rel; }

  void make_dirs(const std::string& rel) {
    std::string so_far = dir.path();
    std::size_t start = 0;
    while (start < rel.size()) {
      std::size_t slash = rel.find('/', start);
      if (slash == std::string::npos) slash = rel.size();
      so_far += "/" + rel.substr(start, slash - start);
      mkdir(so_far.c_str(), 0755);
      start = slash + 1;
    }
  }

  // Writes a file, making its directories; returns its absolute path.
  std::string make_file(const std::string& rel, const std::string& content) {
    std::size_t slash = rel.rfind('/');
    if (slash != std::string::npos) make_dirs(rel.substr(0, slash));
    write_file(path(rel), content);
    return path(rel);
  }

  // A file `levels` directories named `level` below the new directory
  // `top`, made one level at a time (the whole path may be longer than any
  // call takes).
  void make_deep_file(const std::string& top, const std::string& level, int levels,
                      const std::string& content) {
    make_dirs(top);
    int fd = open(path(top).c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < levels; ++i) {
      ASSERT_EQ(mkdirat(fd, level.c_str(), 0755), 0);
      int next = openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
      close(fd);
      fd = next;
    }
    int f = openat(fd, "deep.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(write(f, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(f);
    close(fd);
  }

  void set_mtime(const std::string& rel, time_t t) {
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path(rel).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
  }

  // A scan of the options; `before` sees the block before the scan starts
  // (to watch it from another thread).
  ScanRun scan(const std::function<void(ScanBlock&)>& before = {}) {
    ScanRun run;
    run.block = std::make_unique<ScanBlock>();
    if (before) before(*run.block);
    run.result = run_headless_scan(*run.block, options, false);
    return run;
  }

  TempDir dir;
  ScanOptions options;
};

}  // namespace test
