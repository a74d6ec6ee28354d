// Tag by rule: which copy of each group stays, by every criterion and its
// tie-breakers, the preferred and protected folders, hard links, tags that
// were there before, and the promise that one live copy of every group it
// touches stays untagged.
#include "list_text/tag_rule.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include "support/temp_dir.h"

namespace {

RuleMember member(std::size_t row, std::string path, std::int64_t time = 0, std::uint64_t inode = 0,
                  bool tagged = false, std::int64_t size = 10) {
  RuleMember m;
  m.row = row;
  m.path = std::move(path);
  m.time = time;
  if (inode != 0) {
    m.identity.device = 1;
    m.identity.inode = inode;
    m.identity.size = size;
    m.identity.type = S_IFREG;
  }
  m.tagged = tagged;
  m.size = size;
  return m;
}

TagRule rule_keeping(KeepBy keep) {
  TagRule rule;
  rule.keep = keep;
  return rule;
}

TEST(TagRule, EachCriterionKeepsItsMemberAndTheFirstListedBreaksTies) {
  const std::vector<RuleMember> group = {
      member(1, "/a/mid/x", 200), member(2, "/a/x", 100),        member(3, "/a/very/long/x", 300),
      member(4, "/b/new/x", 300), member(5, "/c/oldest/y", 100),
  };
  struct Case {
    KeepBy keep;
    std::size_t kept;
  };
  const Case cases[] = {
      {KeepBy::NEWEST, 3},         // 3 and 4 tie at 300: the first listed
      {KeepBy::OLDEST, 2},         // 2 and 5 tie at 100
      {KeepBy::SHORTEST_PATH, 2},  // "/a/x"
      {KeepBy::LONGEST_PATH, 3},   // "/a/very/long/x"
      {KeepBy::FIRST, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.keep));
    GroupPlan plan = plan_group(rule_keeping(c.keep), group);
    EXPECT_EQ(plan.outcome, GroupPlan::TAGGED);
    EXPECT_EQ(plan.kept, c.kept);
    std::vector<std::size_t> others;
    for (const RuleMember& m : group) {
      if (m.row != c.kept) others.push_back(m.row);
    }
    EXPECT_EQ(plan.tag, others);
  }
}

TEST(TagRule, CopyMarkersAreStrippedFromANameBeforeItsExtension) {
  struct Case {
    const char* name;
    const char* stripped;
  };
  const Case cases[] = {
      {"report.pdf", "report.pdf"},
      {"report (1).pdf", "report.pdf"},
      {"report (12).pdf", "report.pdf"},
      {"Copy of notes.md", "notes.md"},
      {"copy of notes.md", "notes.md"},
      {"Copy (2) of notes.md", "notes.md"},
      {"notes - Copy.md", "notes.md"},
      {"notes - Copy (3).md", "notes.md"},
      {"notes copy.md", "notes.md"},
      {"notes copy 2.md", "notes.md"},
      {"notes (copy).md", "notes.md"},
      {"notes (another copy).md", "notes.md"},
      {"notes-copy.md", "notes.md"},
      {"notes_copy.md", "notes.md"},
      {"notes.md~", "notes.md"},
      {"notes.md.bak", "notes.md"},
      {"notes.md.orig", "notes.md"},
      {"notes.md.old", "notes.md"},
      {"notes.md.backup", "notes.md"},
      {"archive (1).tar.gz", "archive.tar.gz"},
      {"Copy of report (1).pdf~", "report.pdf"},  // markers on markers
      {"Makefile (2)", "Makefile"},               // no extension
      {".bashrc (1)", ".bashrc"},                 // a leading dot starts no extension
      {".bak", ".bak"},                           // nothing would be left
      {"~", "~"},
      {" (1)", " (1)"},
      {"Copy of ", "Copy of "},
      {"report(1).pdf", "report(1).pdf"},  // no blank: not a marker
      {"report (a).pdf", "report (a).pdf"},
      {"report ().pdf", "report ().pdf"},
      {"copyright.txt", "copyright.txt"},
      {"oldies.txt", "oldies.txt"},
      {"caf\xe9 (1).txt", "caf\xe9.txt"},  // not UTF-8: bytes
      {"\xff\xfe - Copy", "\xff\xfe"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(name_without_copy_markers(c.name), c.stripped) << c.name;
  }
}

TEST(TagRule, BackupFoldersAreWholeComponentsBelowTheSharedFolder) {
  struct Name {
    const char* component;
    bool backup;
  };
  const Name names[] = {
      {"Backup", true},    {"backups", true},    {"BACKUP 2", true},     {"backup-3", true},
      {"Backup_10", true}, {"backup2", true},    {"Copy", true},         {"Copies", true},
      {"old", true},       {"Old", true},        {"Archive", true},      {"archives", true},
      {"bak", true},       {"Backup 2b", false}, {"Backupfiles", false}, {"my backup", false},
      {"older", false},    {"Photos", false},    {"backup ", false},     {"", false},
  };
  for (const Name& n : names)
    EXPECT_EQ(is_backup_folder_name(n.component), n.backup) << n.component;

  struct Root {
    std::vector<std::string_view> paths;
    const char* root;
  };
  const Root roots[] = {
      {{"/home/me/Photos/a.jpg", "/home/me/Backup/Photos/a.jpg"}, "/home/me"},
      {{"/home/me/a", "/home/me/ab/a"}, "/home/me"},  // whole components
      {{"/a/x", "/b/x"}, "/"},
      {{"/a/b/x", "/a/b/y"}, "/a/b"},
      {{"/a/b/x"}, "/a/b"},
  };
  for (const Root& r : roots) EXPECT_EQ(common_folder(r.paths), r.root) << r.root;

  struct Below {
    const char* path;
    const char* root;
    bool backup;
  };
  const Below below[] = {
      {"/home/me/Backup/Photos/a.jpg", "/home/me", true},
      {"/home/me/Photos/Old/a.jpg", "/home/me", true},
      {"/home/me/Photos/a.jpg", "/home/me", false},
      {"/backup/me/Photos/a.jpg", "/backup/me", false},  // the shared folder does not count
      {"/home/me/Photos/backup", "/home/me", false},     // the file's own name does not
      {"/home/me/old", "/", false},
      {"/old/a", "/", true},
  };
  for (const Below& b : below) {
    EXPECT_EQ(below_backup_folder(b.path, b.root), b.backup) << b.path << " below " << b.root;
  }
}

// "original": each test narrows the members still in the running, and the
// next test decides only among those.
TEST(TagRule, TheOriginalIsFoundByNameThenFolderThenAgeThenPathThenListOrder) {
  struct Case {
    const char* what;
    std::vector<RuleMember> group;
    std::size_t kept;
  };
  const Case cases[] = {
      {"the name beats a newer time and a backup folder",
       {member(1, "/h/Downloads/report (1).pdf", 100), member(2, "/h/Backup/report.pdf", 300)},
       2},
      {"Copy of beats nothing",
       {member(1, "/h/Copy of notes-593.md", 100), member(2, "/h/notes-593.md", 100)},
       2},
      {"markers counted only where the bare name is there too: folders decide",
       {member(1, "/h/Backup 2/IMG (1).jpg", 100), member(2, "/h/Photos/IMG (2).jpg", 200)},
       2},
      {"a name without a marker that is no other's bare name is not the original by name",
       {member(1, "/h/Backup/a.txt", 100), member(2, "/h/Docs/b (1).txt", 200)},
       2},
      {"an unmarked name stays in the running beside the original by name",
       {member(1, "/h/b.txt", 200), member(2, "/h/a (1).txt", 50), member(3, "/h/a.txt", 300)},
       1},
      {"the backup folder: any component below the shared folder",
       {member(1, "/h/Backup 2/Music/s.mp3", 100), member(2, "/h/backup/Music/s.mp3", 100),
        member(3, "/h/Music/s.mp3", 300)},
       3},
      {"the shared folder's own name does not count",
       {member(1, "/Backup/b/s.mp3", 300), member(2, "/Backup/a/s.mp3", 100)},
       2},
      {"the oldest among those left",
       {member(1, "/h/Photos/a.jpg", 300), member(2, "/h/Pictures/a.jpg", 100)},
       2},
      {"a time not known never wins for being old",
       {member(1, "/h/x/a.jpg", UNKNOWN_TIME), member(2, "/h/y/a.jpg", 100)},
       2},
      {"the shortest path",
       {member(1, "/h/Photos/2020/a.jpg", 100), member(2, "/h/Photos/a.jpg", 100)},
       2},
      {"the first listed",
       {member(1, "/h/Photos/a.jpg", 100), member(2, "/h/Picture/a.jpg", 100)},
       1},
  };
  for (const Case& c : cases) {
    GroupPlan plan = plan_group(rule_keeping(KeepBy::ORIGINAL), c.group);
    EXPECT_EQ(plan.outcome, GroupPlan::TAGGED) << c.what;
    EXPECT_EQ(plan.kept, c.kept) << c.what;
  }

  // The preferred folders come before every test.
  TagRule rule = rule_keeping(KeepBy::ORIGINAL);
  rule.preferred = {"/h/Backup"};
  const std::vector<RuleMember> group = {member(1, "/h/report.pdf", 100),
                                         member(2, "/h/Backup/report (1).pdf", 300),
                                         member(3, "/h/Backup/report.pdf", 300)};
  EXPECT_EQ(plan_group(rule, group).kept, 3u) << "the name decides within the preferred folder";
  // A member the caller may not keep: the next best by the same tests.
  EXPECT_EQ(plan_group(rule, group, [](const RuleMember& m) { return m.row != 3; }).kept, 2u);
  EXPECT_EQ(plan_group(rule_keeping(KeepBy::ORIGINAL), group,
                       [](const RuleMember& m) { return m.row != 1; })
                .kept,
            3u);
  // Hard links only: left alone, as by any rule.
  const std::vector<RuleMember> links = {member(1, "/h/a (1).txt", 100, 7),
                                         member(2, "/h/a.txt", 100, 7)};
  EXPECT_EQ(plan_group(rule_keeping(KeepBy::ORIGINAL), links).outcome, GroupPlan::LINKS_ONLY);
}

TEST(TagRule, UnknownTimesNeverWin) {
  const std::vector<RuleMember> group = {member(1, "/a", UNKNOWN_TIME), member(2, "/b", 50)};
  EXPECT_EQ(plan_group(rule_keeping(KeepBy::NEWEST), group).kept, 2u);
  EXPECT_EQ(plan_group(rule_keeping(KeepBy::OLDEST), group).kept, 2u);
}

TEST(TagRule, PreferredFoldersComeFirstInTheirOrderOnWholeComponents) {
  TagRule rule;
  rule.keep = KeepBy::NEWEST;
  rule.preferred = tag_rule_folders("/home/ab/\n\n  /home/a  \n~/keep\n", "/home/me");
  ASSERT_EQ(rule.preferred, (std::vector<std::string>{"/home/ab", "/home/a", "/home/me/keep"}));
  struct Case {
    const char* name;
    std::vector<RuleMember> group;
    std::size_t kept;
  };
  const Case cases[] = {
      {"an earlier line wins over newer files",
       {member(1, "/home/a/x", 900), member(2, "/home/ab/x", 100), member(3, "/tmp/x", 999)},
       2},
      {"a later line wins over none",
       {member(1, "/tmp/x", 900), member(2, "/home/a/deep/er/x", 100)},
       2},
      {"whole components: /home/abc is below neither",
       {member(1, "/home/abc/x", 900), member(2, "/home/a/x", 100)},
       2},
      {"the folder itself is not below itself",
       {member(1, "/home/a", 900), member(2, "/home/me/keep/x", 100)},
       2},
      {"~ is the home directory", {member(1, "/srv/x", 900), member(2, "/home/me/keep/y", 1)}, 2},
      {"in one folder, the criterion decides",
       {member(1, "/home/a/old", 100), member(2, "/home/a/new", 200)},
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(plan_group(rule, c.group).kept, c.kept);
  }
  // Raw bytes: a folder that is not UTF-8 still matches byte for byte.
  rule.preferred = tag_rule_folders("/caf\xE9", "/home/me");
  EXPECT_EQ(plan_group(rule, {member(1, "/cafe/x", 900), member(2, "/caf\xE9/x", 1)}).kept, 2u);
  EXPECT_TRUE(is_below("/x", "/"));
  EXPECT_FALSE(is_below("/", "/"));
  EXPECT_FALSE(is_below("", "/"));
  EXPECT_FALSE(is_below("/home/a", "/home/a"));
}

// A tree to resolve folders in: R/t2/keep, R/t2/file, R/link -> t2/keep,
// R/dangling -> nowhere, R/caf\xE9, R/work/here (the working directory
// R/work), R/h/keep (the home directory R/h).
class RuleFolderTree : public ::testing::Test {
 protected:
  void SetUp() override {
    char real[PATH_MAX];
    ASSERT_NE(realpath(dir.path().c_str(), real), nullptr);
    root = real;
    for (const char* d : {"t2", "t2/keep", "caf\xE9", "work", "work/here", "h", "h/keep"}) {
      ASSERT_EQ(mkdir((root + "/" + d).c_str(), 0755), 0) << d;
    }
    test::write_file(root + "/t2/file", "x");
    ASSERT_EQ(symlink("t2/keep", (root + "/link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (root + "/dangling").c_str()), 0);
  }
  RuleFolder resolve(const std::string& typed) const {
    return resolve_rule_folder(typed, root + "/h", root + "/work");
  }
  test::TempDir dir;
  std::string root;  // the real path of the temporary directory
};

TEST_F(RuleFolderTree, FoldersAreResolvedAsTheScannedFoldersAre) {
  const std::string R = root;
  struct Case {
    std::string typed;
    RuleFolder::Status status;
    std::string path;  // the real path, for a FOLDER
  };
  const Case cases[] = {
      {R + "/t2/keep", RuleFolder::FOLDER, R + "/t2/keep"},
      {R + "/./t2/./keep", RuleFolder::FOLDER, R + "/t2/keep"},
      {R + "//t2//keep", RuleFolder::FOLDER, R + "/t2/keep"},
      {R + "/work/../t2/keep", RuleFolder::FOLDER, R + "/t2/keep"},
      {R + "/t2/keep/", RuleFolder::FOLDER, R + "/t2/keep"},
      {R + "/link", RuleFolder::FOLDER, R + "/t2/keep"},
      {R + "/link/", RuleFolder::FOLDER, R + "/t2/keep"},
      {"here", RuleFolder::FOLDER, R + "/work/here"},
      {"./here/", RuleFolder::FOLDER, R + "/work/here"},
      {"../t2/keep", RuleFolder::FOLDER, R + "/t2/keep"},
      {".", RuleFolder::FOLDER, R + "/work"},
      {"~", RuleFolder::FOLDER, R + "/h"},
      {"~/keep", RuleFolder::FOLDER, R + "/h/keep"},
      {R + "/caf\xE9", RuleFolder::FOLDER, R + "/caf\xE9"},
      {"/", RuleFolder::FOLDER, "/"},
      {R + "/missing", RuleFolder::MISSING, ""},
      {"missing", RuleFolder::MISSING, ""},
      {R + "/dangling", RuleFolder::MISSING, ""},
      {R + "/t2/missing/../keep", RuleFolder::MISSING, ""},
      {R + "/t2/file", RuleFolder::NOT_A_FOLDER, ""},
      {R + "/t2/file/", RuleFolder::NOT_A_FOLDER, ""},
      {R + "/t2/file/below", RuleFolder::NOT_A_FOLDER, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const RuleFolder f = resolve(c.typed);
    EXPECT_EQ(f.typed, c.typed);
    EXPECT_EQ(f.status, c.status);
    EXPECT_EQ(f.path, c.path);
    EXPECT_EQ(rule_folder_problem(f).empty(), c.status == RuleFolder::FOLDER);
  }
  EXPECT_EQ(rule_folder_problem(resolve("missing")), "no such folder: missing");
  EXPECT_EQ(rule_folder_problem(resolve(R + "/t2/file")), "not a folder: " + R + "/t2/file");
}

TEST_F(RuleFolderTree, ABoxIsReadLineByLineAndItsFoldersMatchTheListedPaths) {
  const std::vector<RuleFolder> folders = resolve_rule_folders(
      "  ./../t2/keep/  \n\n\t\n" + root + "/link\nnone\n", root + "/h", root + "/work");
  ASSERT_EQ(folders.size(), 3u);
  EXPECT_EQ(folders[0].typed, "./../t2/keep/") << "the blanks are the box's";
  EXPECT_EQ(folders[0].path, root + "/t2/keep");
  EXPECT_EQ(folders[1].path, root + "/t2/keep");
  EXPECT_EQ(folders[2].status, RuleFolder::MISSING);

  // The scan lists real paths: the resolved folder protects what the typed
  // one missed.
  TagRule rule;
  rule.keep = KeepBy::FIRST;
  const std::vector<RuleMember> group = {member(1, root + "/t2/a"), member(2, root + "/t2/keep/a")};
  rule.protected_folders = tag_rule_folders("./../t2/keep/", "/h");
  EXPECT_EQ(plan_group(rule, group).tag, std::vector<std::size_t>{2}) << "the fault of old";
  rule.protected_folders = {folders[0].path};
  EXPECT_EQ(plan_group(rule, group).outcome, GroupPlan::ALL_PROTECTED);
}

TEST(TagRule, ProtectedFoldersAndHardLinksAreNeverTagged) {
  TagRule rule;
  rule.keep = KeepBy::FIRST;
  rule.protected_folders = tag_rule_folders("/backup\n", "/home/me");
  const std::vector<RuleMember> group = {member(1, "/a/x", 0, 7), member(2, "/backup/x", 0, 8),
                                         member(3, "/b/x", 0, 7), member(4, "/c/x", 0, 9)};
  GroupPlan plan = plan_group(rule, group);
  EXPECT_EQ(plan.kept, 1u);
  EXPECT_EQ(plan.tag, (std::vector<std::size_t>{4})) << "2 protected, 3 a hard link of 1";
  rule.leave_hard_links = false;
  EXPECT_EQ(plan_group(rule, group).tag, (std::vector<std::size_t>{3, 4}));

  // A protected member may be the kept one; when every other is protected
  // the group is left alone, and so is a group of one file's names.
  rule.leave_hard_links = true;
  EXPECT_EQ(plan_group(rule, {member(1, "/a/x"), member(2, "/backup/x")}).outcome,
            GroupPlan::ALL_PROTECTED);
  EXPECT_EQ(plan_group(rule, {member(1, "/a/x", 0, 5), member(2, "/b/x", 0, 5)}).outcome,
            GroupPlan::LINKS_ONLY);
  EXPECT_EQ(plan_group(rule, {member(1, "/a/x")}).outcome, GroupPlan::SINGLE_MEMBER);
}

TEST(TagRule, OneFileSeenThroughTwoMountsIsLeftAsAHardLinkIs) {
  // An overlay shows /lower/x as /merged/x on a device of its own, with the
  // same inode number, size and modification time.
  TagRule rule;
  rule.keep = KeepBy::FIRST;
  RuleMember lower = member(1, "/lower/x", 0, 7), merged = member(2, "/merged/x", 0, 7);
  RuleMember other = member(3, "/other/x", 0, 7);  // another file: its time differs
  merged.identity.device = 2;
  other.identity.device = 3;
  lower.identity.mtime_nsec = merged.identity.mtime_nsec = 5;
  other.identity.mtime_nsec = 6;
  GroupPlan plan = plan_group(rule, {lower, merged, other});
  EXPECT_EQ(plan.kept, 1u);
  EXPECT_EQ(plan.tag, (std::vector<std::size_t>{3}));
  EXPECT_EQ(plan_group(rule, {lower, merged}).outcome, GroupPlan::LINKS_ONLY);
}

TEST(TagRule, TagsThereBeforeAreClearedOrKept) {
  const std::vector<RuleMember> group = {member(1, "/a", 100, 0, true), member(2, "/b", 300),
                                         member(3, "/c", 200, 0, true)};
  TagRule rule;  // newest, untag first
  GroupPlan plan = plan_group(rule, group);
  EXPECT_EQ(plan.kept, 2u);
  EXPECT_EQ(plan.tag, (std::vector<std::size_t>{1, 3}));
  EXPECT_TRUE(plan.untag.empty()) << "both stay tagged";

  // The newest was the user's tagged one: cleared first, it is kept.
  const std::vector<RuleMember> mine = {member(1, "/a", 300, 0, true), member(2, "/b", 100)};
  plan = plan_group(rule, mine);
  EXPECT_EQ(plan.kept, 1u);
  EXPECT_EQ(plan.untag, (std::vector<std::size_t>{1}));
  EXPECT_EQ(plan.tag, (std::vector<std::size_t>{2}));

  // Adding to the tags: the kept one is chosen among the untagged.
  rule.untag_first = false;
  plan = plan_group(rule, mine);
  EXPECT_EQ(plan.outcome, GroupPlan::ALL_TAGGED) << "the only other one is tagged already";
  EXPECT_TRUE(plan.tag.empty() && plan.untag.empty());
  EXPECT_EQ(plan_group(rule, {member(1, "/a", 1, 0, true), member(2, "/b", 2, 0, true)}).outcome,
            GroupPlan::ALL_TAGGED);
}

TEST(TagRule, OnlyAMemberTheCallerMayKeepIsKept) {
  const std::vector<RuleMember> group = {member(1, "/gone", 900), member(2, "/here", 100),
                                         member(3, "/also-gone", 50)};
  int asked = 0;
  KeepCheck on_disk = [&](const RuleMember& m) {
    ++asked;
    return m.path == "/here";
  };
  GroupPlan plan = plan_group(TagRule{}, group, on_disk);
  EXPECT_EQ(plan.kept, 2u);
  EXPECT_EQ(asked, 2) << "asked of the newest, then of the next: never of the rest";
  EXPECT_EQ(plan.tag, (std::vector<std::size_t>{1, 3}));
  EXPECT_EQ(plan_group(TagRule{}, group, [](const RuleMember&) { return false; }).outcome,
            GroupPlan::NONE_USABLE);
}

TEST(TagRule, ThePreviewSaysWhatWillBeTaggedAndWhatIsLeftAlone) {
  RuleSummary summary;
  TagRule rule;
  rule.protected_folders = {"/p"};
  auto add = [&](const std::vector<RuleMember>& group) {
    summary.add(plan_group(rule, group), group);
  };
  add({member(1, "/a", 2, 0, false, 1000), member(2, "/b", 1, 0, false, 2345)});
  add({member(3, "/a", 2), member(4, "/p/b", 1)});
  add({member(5, "/a")});
  add({member(6, "/a", 1, 0, false, 5), member(7, "/b", 3, 0, false, 6),
       member(8, "/c", 2, 0, false, 7)});
  EXPECT_EQ(summary.preview_line(), "Will tag 3 files in 2 groups (2,357 bytes)");
  EXPECT_EQ(summary.left_alone_line(),
            "2 groups left alone: 1 with every other copy protected, 1 with a single copy left");
  EXPECT_EQ(RuleSummary{}.left_alone_line(), "");
  EXPECT_EQ(RuleSummary{}.preview_line(), "Will tag 0 files in 0 groups (0 bytes)");
}

// Thousands of random groups, marks and folders: the rule never leaves a
// group it touches with every live member tagged, and it never tags a
// protected member.
TEST(TagRule, NoGroupItTouchesEverEndsWithEveryLiveMemberTagged) {
  std::mt19937 random(20261210);
  const char* folders[] = {"/a", "/a/b", "/c", "/d/e"};
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int round = 0; round < 5000; ++round) {
    TagRule rule;
    rule.keep = static_cast<KeepBy>(pick(6));
    rule.untag_first = pick(2) == 0;
    rule.leave_hard_links = pick(2) == 0;
    for (int i = pick(3); i > 0; --i) rule.preferred.push_back(folders[pick(4)]);
    for (int i = pick(3); i > 0; --i) rule.protected_folders.push_back(folders[pick(4)]);
    std::vector<RuleMember> group;
    const int n = 1 + pick(6);
    for (int i = 0; i < n; ++i) {
      group.push_back(member(static_cast<std::size_t>(i),
                             std::string(folders[pick(4)]) + "/f" + std::to_string(pick(3)),
                             pick(4) == 0 ? UNKNOWN_TIME : pick(5), pick(3) == 0 ? 1 : 2 + i,
                             pick(3) == 0));
    }
    GroupPlan plan = plan_group(rule, group);
    std::set<std::size_t> tagged;
    for (const RuleMember& m : group) {
      if (m.tagged) tagged.insert(m.row);
    }
    if (plan.outcome != GroupPlan::TAGGED) {
      EXPECT_TRUE(plan.tag.empty() && plan.untag.empty()) << "a group left alone is unchanged";
      continue;
    }
    for (std::size_t r : plan.untag) tagged.erase(r);
    for (std::size_t r : plan.tag) {
      tagged.insert(r);
      for (const std::string& folder : rule.protected_folders) {
        EXPECT_FALSE(is_below(group[r].path, folder)) << "a protected member was tagged";
      }
    }
    EXPECT_LT(tagged.size(), group.size()) << "round " << round;
    EXPECT_EQ(tagged.count(plan.kept), 0u);
  }
}

// A row's time orders as the date and time it shows; anything else is
// not known.
TEST(TagRule, TheTimeARowShows) {
  EXPECT_EQ(shown_time("Mon-Dec 25,2000", "12:34:56AM"), 20001225003456);
  EXPECT_EQ(shown_time("Mon-Dec 25,2000", "12:34:56PM"), 20001225123456);
  EXPECT_EQ(shown_time("Fri-Jan 01,318857", "01:00:00PM"), 3188570101130000);
  const char* order[][2] = {{"Sat-Dec 31,1999", "11:59:59PM"}, {"Sat-Jan 01,2000", "12:00:00AM"},
                            {"Sat-Jan 01,2000", "11:59:59AM"}, {"Sat-Jan 01,2000", "12:00:00PM"},
                            {"Sat-Jan 01,2000", "01:00:00PM"}, {"Tue-Feb 01,2000", "09:00:00AM"}};
  for (std::size_t i = 1; i < std::size(order); ++i) {
    EXPECT_LT(shown_time(order[i - 1][0], order[i - 1][1]), shown_time(order[i][0], order[i][1]))
        << order[i][0] << " " << order[i][1];
  }
  for (auto [date, time] : {std::pair{"", ""},
                            {"Scan Started", "Thu Dec"},
                            {"Mon-Foo 25,2000", "12:34:56AM"},
                            {"Mon-Dec 25,2000", "13:34:56AM"},
                            {"Mon-Dec 25,2000", "12:34:56XM"},
                            {"Mon-Dec 25,20x0", "12:34:56AM"}}) {
    EXPECT_EQ(shown_time(date, time), UNKNOWN_TIME) << date << " " << time;
  }
}

}  // namespace

namespace {

// Why each rule kept what it kept: the first step that set the kept member
// above another, and its text.
TEST(TagRule, ThePlanSaysWhyItKeptWhatItKept) {
  struct Case {
    const char* what;
    KeepBy keep;
    std::vector<std::string> preferred;
    std::vector<RuleMember> group;
    std::size_t kept;
    KeepReason reason;
    const char* text;
  };
  const Case cases[] = {
      {"a preferred folder beats the criterion",
       KeepBy::NEWEST,
       {"/p", "/h/Pictures"},
       {member(1, "/h/new/a", 300), member(2, "/h/Pictures/a", 100)},
       2,
       KeepReason::PREFERRED_FOLDER,
       "in preferred folder /h/Pictures"},
      {"all in one preferred folder: the criterion",
       KeepBy::NEWEST,
       {"/h"},
       {member(1, "/h/a", 100), member(2, "/h/b", 300)},
       2,
       KeepReason::NEWEST,
       "newest"},
      {"oldest",
       KeepBy::OLDEST,
       {},
       {member(1, "/h/a", 300), member(2, "/h/b", 100)},
       2,
       KeepReason::OLDEST,
       "oldest"},
      {"equal times: first listed",
       KeepBy::OLDEST,
       {},
       {member(1, "/h/a", 100), member(2, "/h/b", 100)},
       1,
       KeepReason::FIRST_LISTED,
       "first listed"},
      {"shortest path",
       KeepBy::SHORTEST_PATH,
       {},
       {member(1, "/h/aa", 1), member(2, "/h/a", 1)},
       2,
       KeepReason::SHORTEST_PATH,
       "shortest path"},
      {"longest path",
       KeepBy::LONGEST_PATH,
       {},
       {member(1, "/h/a", 1), member(2, "/h/aa", 1)},
       2,
       KeepReason::LONGEST_PATH,
       "longest path"},
      {"first listed by choice",
       KeepBy::FIRST,
       {},
       {member(1, "/h/aa", 1), member(2, "/h/a", 0)},
       1,
       KeepReason::FIRST_LISTED,
       "first listed"},
      {"original: the others' names are copies'",
       KeepBy::ORIGINAL,
       {},
       {member(1, "/h/Backup/a (1).pdf", 100), member(2, "/h/Backup/a.pdf", 300)},
       2,
       KeepReason::OTHERS_LOOK_LIKE_COPIES,
       "the others look like copies"},
      {"original: the others in backup folders",
       KeepBy::ORIGINAL,
       {},
       {member(1, "/h/Backup/a.pdf", 100), member(2, "/h/Docs/a.pdf", 300)},
       2,
       KeepReason::OTHERS_IN_BACKUP_FOLDERS,
       "the others are in backup folders"},
      {"original: oldest",
       KeepBy::ORIGINAL,
       {},
       {member(1, "/h/x/a.pdf", 300), member(2, "/h/y/a.pdf", 100)},
       2,
       KeepReason::OLDEST,
       "oldest"},
      {"original: shortest path",
       KeepBy::ORIGINAL,
       {},
       {member(1, "/h/xx/a.pdf", 100), member(2, "/h/y/a.pdf", 100)},
       2,
       KeepReason::SHORTEST_PATH,
       "shortest path"},
      {"original: first listed",
       KeepBy::ORIGINAL,
       {},
       {member(1, "/h/x/a.pdf", 100), member(2, "/h/y/a.pdf", 100)},
       1,
       KeepReason::FIRST_LISTED,
       "first listed"},
      {"original: a preferred folder first",
       KeepBy::ORIGINAL,
       {"/h/Backup"},
       {member(1, "/h/a.pdf", 100), member(2, "/h/Backup/a (1).pdf", 300)},
       2,
       KeepReason::PREFERRED_FOLDER,
       "in preferred folder /h/Backup"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TagRule rule = rule_keeping(c.keep);
    rule.preferred = c.preferred;
    const GroupPlan plan = plan_group(rule, c.group);
    ASSERT_EQ(plan.outcome, GroupPlan::TAGGED);
    EXPECT_EQ(plan.kept, c.kept);
    EXPECT_EQ(plan.reason, c.reason);
    const std::string folder =
        plan.reason == KeepReason::PREFERRED_FOLDER ? rule.preferred.at(plan.preferred) : "";
    EXPECT_EQ(keep_reason_text(plan.reason, folder), c.text);
  }
}

// A member the caller may not keep is out of the running: the reason is
// told among those left; a tagged member kept out when adding to the tags.
TEST(TagRule, TheReasonCountsOnlyTheMembersStillInTheRunning) {
  TagRule newest = rule_keeping(KeepBy::NEWEST);
  const std::vector<RuleMember> group = {member(1, "/h/a", 300), member(2, "/h/b", 100),
                                         member(3, "/h/c", 100)};
  GroupPlan plan = plan_group(newest, group, [](const RuleMember& m) { return m.row != 1; });
  EXPECT_EQ(plan.kept, 2u);
  EXPECT_EQ(plan.reason, KeepReason::FIRST_LISTED) << "2 and 3 are equally new";
  newest.untag_first = false;
  const std::vector<RuleMember> tagged = {member(1, "/h/a", 300, 0, true), member(2, "/h/b", 200),
                                          member(3, "/h/c", 100)};
  plan = plan_group(newest, tagged);
  EXPECT_EQ(plan.kept, 2u);
  EXPECT_EQ(plan.reason, KeepReason::NEWEST);
}

TEST(TagRule, EachGroupLeftAloneSaysWhy) {
  const std::pair<GroupPlan::Outcome, const char*> cases[] = {
      {GroupPlan::ALL_PROTECTED, "every other copy protected"},
      {GroupPlan::LINKS_ONLY, "only hard links of the kept file"},
      {GroupPlan::SINGLE_MEMBER, "a single copy left"},
      {GroupPlan::ALL_TAGGED, "every copy tagged already"},
      {GroupPlan::NONE_USABLE, "no copy on disk as scanned"},
      {GroupPlan::TAGGED, ""},
  };
  for (auto [outcome, text] : cases) EXPECT_EQ(left_alone_text(outcome), text);
}

}  // namespace
