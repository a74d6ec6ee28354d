// Scripts written for a scanned tree of hostile names: they parse, and when
// run they touch exactly the listed files and nothing else.
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "scan/scan_fixture.h"
#include "ui/list/result_list.h"
#include "ui/list/script_text.h"

namespace {

const char* const HOSTILE[] = {
    "it's.txt",
    "q\"d.txt",
    "$(touch INJECT1)",
    "`touch INJECT2`.c",
    "semi;touch INJECT3",
    "amp&touch INJECT4",
    "pipe|cat",
    "star*.x",
    "new\nline",
    "tab\there",
    "-rf",
    "caf\xE9.dat",
    "two  spaces ",
    "back\\slash",
    "#hash",
    "%P%F",
};

class ScriptOutputTest : public test::ScanTest {
 public:
  void SetUp() override {
    for (const char* name : HOSTILE) {
      make_file(std::string("tree/a/") + name, std::string("same ") + name);
      make_file(std::string("tree/b/") + name, std::string("same ") + name);
    }
    make_file("tree/a/lonely", "no duplicate");  // never listed
    mkdir(path("scratch").c_str(), 0755);
    options.include_dirs.clear();
    include_directory(options, path("tree"));
    run = scan();
    for (const ListRow& r : run.rows()) {
      list.append(RowTexts{{r[0].c_str(), r[1].c_str(), r[2].c_str(), r[3].c_str(), r[4].c_str(),
                            r[5].c_str(), r[6].c_str()}});
    }
    ASSERT_EQ(run.paths().size(), 2 * std::size(HOSTILE));
  }

  // Writes the script and runs it with sh in the scratch directory.
  int run_script(const std::string& file_template, bool only_tagged = false) {
    ScriptChoices choices{file_template, CommentStyle::POUND, only_tagged};
    std::string script = path("script.sh");
    test::write_file(script, script_text(list, choices, "Mon Dec 25 12:34:56 2000"));
    const char* check[] = {"/bin/sh", "-n", script.c_str(), nullptr};
    gint status = -1;
    g_spawn_sync(nullptr, const_cast<gchar**>(check), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr,
                 nullptr, nullptr, &status, nullptr);
    EXPECT_EQ(status, 0) << "sh -n: the script parses";
    const char* argv[] = {"/bin/sh", script.c_str(), nullptr};
    g_spawn_sync(path("scratch").c_str(), const_cast<gchar**>(argv), nullptr, G_SPAWN_DEFAULT,
                 nullptr, nullptr, nullptr, nullptr, &status, nullptr);
    return status;
  }

  std::vector<std::string> recorded(const char* file) {
    std::string bytes = test::read_file(path("scratch/") + file);
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t nul; (nul = bytes.find('\0', start)) != std::string::npos; start = nul + 1) {
      out.push_back(bytes.substr(start, nul - start));
    }
    return out;
  }

  void expect_no_injection() {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
      std::string name = entry.path().filename().string();
      EXPECT_FALSE(name.size() == 7 && name.rfind("INJECT", 0) == 0)
          << entry.path() << " was made by a file name";
    }
  }

  test::ScanRun run;
  std::unique_ptr<ScanBlock> block = std::make_unique<ScanBlock>();
  ResultList list{*block};
};

TEST_F(ScriptOutputTest, EveryQuotingContextHandsOverTheExactPaths) {
  EXPECT_EQ(run_script("printf '%%s\\0' '%P%F%E' >> single\n"
                       "printf '%%s\\0' \"%P%F%E\" >> double\n"
                       "printf '%%s\\0' %P%F%E >> bare\n"
                       "# %P%F%E %S"),
            0);
  for (const char* kind : {"single", "double", "bare"}) {
    EXPECT_EQ(recorded(kind), run.paths()) << kind;
  }
  expect_no_injection();
}

TEST_F(ScriptOutputTest, TheDefaultTemplateParsesAndRunsNothingElse) {
  run_script("# %D %T %S %C\n'%P%F%E'\n\n");  // each path as a command: none is executable
  expect_no_injection();
  for (const std::string& p : run.paths()) EXPECT_EQ(access(p.c_str(), F_OK), 0) << p;
}

TEST_F(ScriptOutputTest, ARemovalScriptRemovesExactlyTheListedFiles) {
  EXPECT_EQ(run_script("rm -- '%P%F%E'"), 0);
  for (const std::string& p : run.paths()) EXPECT_NE(access(p.c_str(), F_OK), 0) << p;
  EXPECT_EQ(access(path("tree/a/lonely").c_str(), F_OK), 0) << "unlisted files stay";
  expect_no_injection();
}

TEST_F(ScriptOutputTest, OnlyTaggedWritesOnlyTheTaggedRows) {
  std::vector<std::string> tagged;
  for (int r = 0; r < list.size(); ++r) {
    if (list.classify_row(r) == ROW_FILE && r % 3 == 0) {
      list.tag(r);
      tagged.push_back(list.path(r));
    }
  }
  ASSERT_FALSE(tagged.empty());
  EXPECT_EQ(run_script("printf '%%s\\0' '%P%F%E' >> only", true), 0);
  EXPECT_EQ(recorded("only"), tagged);
}

}  // namespace
