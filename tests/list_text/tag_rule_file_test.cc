// The file "Rules": the choices of Tag By Rule kept across runs, and any
// damaged file read as the defaults.
#include "list_text/tag_rule_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

TEST(TagRuleFile, ChoicesSurviveSaveAndLoad) {
  test::TempDir dir;
  TagRuleChoices c;
  c.keep = KeepBy::LONGEST_PATH;
  c.preferred_text = "/home/me/Photos\n~/keep\nwith; a semicolon";
  c.protected_text = "/mnt/backup";
  c.leave_hard_links = false;
  c.selected_group_only = true;
  c.untag_first = false;
  ASSERT_TRUE(save_tag_rule_choices(dir / "Rules", c));
  TagRuleChoices back = load_tag_rule_choices(dir / "Rules");
  EXPECT_EQ(back.keep, KeepBy::LONGEST_PATH);
  EXPECT_EQ(back.preferred_text, c.preferred_text);
  EXPECT_EQ(back.protected_text, c.protected_text);
  EXPECT_FALSE(back.leave_hard_links);
  EXPECT_TRUE(back.selected_group_only);
  EXPECT_FALSE(back.untag_first);

  TagRule rule = tag_rule_of(back, "/home/me");
  EXPECT_EQ(rule.preferred,
            (std::vector<std::string>{"/home/me/Photos", "/home/me/keep", "with; a semicolon"}));
  EXPECT_EQ(rule.protected_folders, std::vector<std::string>{"/mnt/backup"});
}

TEST(TagRuleFile, ANewFileGetsTheUmaskAndASavedOverOneKeepsItsMode) {
  test::TempDir dir;
  const std::string file = dir / "Rules";
  for (mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
    SCOPED_TRACE("umask " + std::to_string(mask));
    const mode_t old_mask = umask(mask);
    unlink(file.c_str());
    ASSERT_TRUE(save_tag_rule_choices(file, TagRuleChoices{}));
    EXPECT_EQ(test::file_mode(file), 0666u & ~mask) << "a new file";
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    ASSERT_TRUE(save_tag_rule_choices(file, TagRuleChoices{}));
    EXPECT_EQ(test::file_mode(file), 0640u) << "a saved-over file";
    umask(old_mask);
  }
}

TEST(TagRuleFile, TheRuleOfTheChoicesHasItsFoldersResolvedFromTheHomeAndSaysWhatIsNoFolder) {
  test::TempDir dir;
  char real[PATH_MAX];
  ASSERT_NE(realpath(dir.path().c_str(), real), nullptr);
  const std::string home = real;
  for (const char* d : {"Photos", "keep", "keep/old"}) mkdir((home + "/" + d).c_str(), 0755);
  test::write_file(home + "/file", "x");
  ASSERT_EQ(symlink("keep/old", (home + "/old").c_str()), 0);
  TagRuleChoices c;
  c.preferred_text = " Photos/\n~/keep/./old\n";
  c.protected_text = home + "//keep\nold\n";
  ResolvedRule r = resolved_tag_rule_of(c, home);
  EXPECT_TRUE(r.problems.empty());
  EXPECT_EQ(r.rule.preferred, (std::vector<std::string>{home + "/Photos", home + "/keep/old"}));
  EXPECT_EQ(r.rule.protected_folders,
            (std::vector<std::string>{home + "/keep", home + "/keep/old"}));
  ASSERT_EQ(r.folders.size(), 4u);
  EXPECT_EQ(r.folders[0].typed, "Photos/");

  // Nothing that is no folder slips into the rule; each is told.
  c.preferred_text = "Photos\nfile";
  c.protected_text = "missing\n~/keep";
  r = resolved_tag_rule_of(c, home);
  EXPECT_EQ(r.problems,
            (std::vector<std::string>{"not a folder: file", "no such folder: missing"}));
  EXPECT_EQ(r.rule.preferred, std::vector<std::string>{home + "/Photos"});
  EXPECT_EQ(r.rule.protected_folders, std::vector<std::string>{home + "/keep"});
}

// Every rule's name is written and read back; a file written before the
// rule "original" existed reads as it did, and one without a rule at all
// gets the default, "original".
TEST(TagRuleFile, EveryRuleNameSurvivesAndOldFilesKeepTheirMeaning) {
  test::TempDir dir;
  const KeepBy all[] = {KeepBy::NEWEST,       KeepBy::OLDEST, KeepBy::SHORTEST_PATH,
                        KeepBy::LONGEST_PATH, KeepBy::FIRST,  KeepBy::ORIGINAL};
  for (KeepBy keep : all) {
    SCOPED_TRACE(keep_by_name(keep));
    TagRuleChoices c;
    c.keep = keep;
    ASSERT_TRUE(save_tag_rule_choices(dir / "Rules", c));
    EXPECT_EQ(load_tag_rule_choices(dir / "Rules").keep, keep);
    KeepBy back = KeepBy::FIRST;
    EXPECT_TRUE(keep_by_from_name(keep_by_name(keep), back));
    EXPECT_EQ(back, keep);
    EXPECT_NE(keep_by_names().find(keep_by_name(keep)), std::string::npos) << keep_by_names();
  }
  test::write_file(dir / "Rules", "[Tag By Rule]\nkeep=newest\nuntag-first=true\n");
  EXPECT_EQ(load_tag_rule_choices(dir / "Rules").keep, KeepBy::NEWEST);
  test::write_file(dir / "Rules", "[Tag By Rule]\nuntag-first=false\n");
  EXPECT_EQ(load_tag_rule_choices(dir / "Rules").keep, KeepBy::ORIGINAL);
  EXPECT_EQ(keep_by_names(), "newest, oldest, shortest-path, longest-path, first or original");
  KeepBy none = KeepBy::FIRST;
  EXPECT_FALSE(keep_by_from_name("Original", none)) << "names are lower case";
  EXPECT_FALSE(keep_by_from_name("", none));
}

TEST(TagRuleFile, AMissingOrDamagedFileGivesTheDefaults) {
  test::TempDir dir;
  const std::string file = dir / "Rules";
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"not a key file", "\x01\x02\xff garbage\n[[["},
      {"another group", "[Something Else]\nkeep=oldest\n"},
      {"an unknown criterion and a bad boolean",
       "[Tag By Rule]\nkeep=biggest\nuntag-first=maybe\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::write_file(file, c.bytes);
    TagRuleChoices back = load_tag_rule_choices(file);
    EXPECT_EQ(back.keep, KeepBy::ORIGINAL);
    EXPECT_EQ(back.unknown_keep, std::string(c.name).rfind("an unknown", 0) == 0 ? "biggest" : "")
        << "a word that names no rule is told";
    EXPECT_TRUE(back.untag_first);
    EXPECT_TRUE(back.leave_hard_links);
    EXPECT_FALSE(back.selected_group_only);
  }
  unlink(file.c_str());
  EXPECT_EQ(load_tag_rule_choices(file).keep, KeepBy::ORIGINAL) << "missing";
  ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
  EXPECT_EQ(load_tag_rule_choices(file).keep, KeepBy::ORIGINAL) << "a pipe is never waited on";
}

}  // namespace
