// The warning under the "Include Directories" box, with the scanner's own
// matcher (as the window hands it in) and a made-up file system.
#include "settings/include_warning.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "scan/match_mask.h"

namespace {

IncludeDirLookup lookup_with(std::set<std::string> directories) {
  IncludeDirLookup lookup;
  lookup.can_match_prefix = mask_can_match_prefix;
  lookup.is_directory = [directories](const std::string& path) {
    return directories.count(path) != 0;
  };
  lookup.home = "/home/me";
  return lookup;
}

TEST(IncludeDirWarning, NamesTheFirstLineThatMissesWhatLiesBelow) {
  const IncludeDirLookup lookup =
      lookup_with({"/home/me", "/home/other", "/data/[old]", "/home/caf\xE9", "/srv"});
  const std::string below_me = "Files below /home/me are not searched: add /home/me/*";
  struct Case {
    const char* name;
    std::string text;
    std::string warning;
  };
  const Case cases[] = {
      {"a directory alone", "/home/me\n", below_me},
      {"and all below it", "/home/me\n/home/me/*\n", ""},
      {"below through DIR*", "/home/me*\n/home/me\n", ""},
      {"below through /*", "/home/me\n/*\n", ""},
      {"below through a mask above it", "/home/*\n/home/me\n", ""},
      {"a comment reaches nothing", "/home/me\n/* /home/me/* */\n", below_me},
      {"another directory's masks", "/home/other/*\n/home/me\n", below_me},
      {"DIR? matches only DIR/, no name below", "/home/me\n/home/me?\n", below_me},
      {"a missing directory", "/not/there\n", ""},
      {"a trailing slash goes", "/home/me/\n", below_me},
      {"the first such line", "/srv/*\n/home/other\n/home/me\n",
       "Files below /home/other are not searched: add /home/other/*"},
      {"a line with a wildcard names no directory", "/home/m?\n", ""},
      {"escapes name the directory", "/data/\\[old\\]\n",
       "Files below /data/\\[old\\] are not searched: add /data/\\[old\\]/*"},
      {"escaped and reached", "/data/\\[old\\]\n/data/\\[old\\]/*\n", ""},
      {"bytes that are not UTF-8", "/home/caf\\xE9\n",
       "Files below /home/caf\\xE9 are not searched: add /home/caf\\xE9/*"},
      {"a relative name is no directory", "home\n", ""},
      {"~", "~\n", "~ is not expanded: write /home/me instead"},
      {"~/", "/srv/*\n~/Pictures/*\n", "~ is not expanded: write /home/me instead"},
      {"~ after a directory line", "/home/me\n~\n", below_me},
      {"a comment holding ~", "/* ~ */\n", ""},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(include_dir_warning(c.text, lookup), c.warning) << c.name;
  }
}

TEST(IncludeDirWarning, HomeIsShownAsALineWouldHoldIt) {
  IncludeDirLookup lookup = lookup_with({});
  lookup.home = "/home/caf\xE9[1]/";
  EXPECT_EQ(include_dir_warning("~/x\n", lookup),
            "~ is not expanded: write /home/caf\\xE9\\[1\\] instead");
}

}  // namespace
