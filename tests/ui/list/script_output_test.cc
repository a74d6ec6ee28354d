// Scripts written for a scanned tree of hostile names, with the templates'
// forms of quoting: each script parses for sh (dash) and bash, and when run
// by either it hands over exactly the listed paths and runs nothing else;
// a form where a name cannot be quoted safely writes no script at all.
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

// Each is made twice (a/ and b/), so each is listed as a duplicate. A name
// that runs a command makes a file INJECT<n>.
const char* const HOSTILE[] = {
    "it's.txt",
    "q\"d.txt",
    "x'; touch INJECT5; echo '.txt",
    "x\"; touch INJECT6; echo \".txt",
    "$(touch INJECT1)",
    "`touch INJECT2`.c",
    "back\\`touch INJECT7\\`",
    "\\$(touch INJECT8)",
    "${HOME}$x",
    "semi;touch INJECT3",
    "amp&touch INJECT4",
    "pipe|cat",
    "star*.x",
    "starX.x",  // what star*.x, qm?.x and br[a].x would match as globs
    "qm?.x",
    "qmZ.x",
    "br[a].x",
    "bra.x",
    "new\nline",
    "a\nEOF\nb",
    "EOF",
    "tab\there",
    "-rf",
    "caf\xE9.dat",
    "two  spaces ",
    "back\\slash",
    "trail\\",
    "#hash",
    "%P%F",
    "100%.d",
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

  // The script for the template (with its file written), or "" and the
  // refusal.
  ScriptText write_script(const std::string& file_template, bool only_tagged = false) {
    ScriptChoices choices{file_template, CommentStyle::POUND, only_tagged};
    ScriptText script = script_text(list, choices, "Mon Dec 25 12:34:56 2000");
    if (!script.refusal) test::write_file(path("script.sh"), script.text);
    return script;
  }

  int spawn(const std::vector<const char*>& command) {
    std::vector<const char*> argv = command;
    argv.push_back(nullptr);
    gint status = -1;
    g_spawn_sync(path("scratch").c_str(), const_cast<gchar**>(argv.data()), nullptr,
                 static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
                 nullptr, nullptr, nullptr, nullptr, &status, nullptr);
    return status;
  }

  // Runs the written script with `shell` in the scratch directory, after
  // checking that the shell parses it.
  int run_with(const char* shell) {
    const std::string script = path("script.sh");
    EXPECT_EQ(spawn({shell, "-n", script.c_str()}), 0) << shell << " -n: the script parses";
    return spawn({shell, script.c_str()});
  }

  // Writes the script and runs it with sh.
  int run_script(const std::string& file_template, bool only_tagged = false) {
    EXPECT_FALSE(write_script(file_template, only_tagged).refusal) << file_template;
    return run_with("/bin/sh");
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

TEST_F(ScriptOutputTest, EveryFormOfQuotingHandsOverTheExactPaths) {
  // Each writes the paths, each ended by a NUL, to "out".
  const char* const forms[] = {
      "printf '%%s\\0' '%P%F%E' >> out",
      "printf '%%s\\0' \"%P%F%E\" >> out",
      "printf '%%s\\0' %P%F%E >> out",
      "printf '%%s\\0' %P%F%E%%%E >> /dev/null; printf '%%s\\0' %P''%F%E >> out # %P%F%E %S",
      // Inside $( ) (the names end in no line feed, which it would drop).
      "printf '%%s\\0' \"$(printf '%%s' '%P%F%E')\" >> out",
      "printf '%%s\\0' \"$(printf '%%s' \"$(printf '%%s' %P)\"%F%E)\" >> out",
      // In backquotes, one and two levels deep.
      "x=`printf '%%s.' '%P%F%E'`; printf '%%s\\0' \"${x%.}\" >> out",
      "x=`y=\\`printf '%%s' \"%P%F\"\\`; printf '%%s.' \"$y\"%E`\nprintf '%%s\\0' \"${x%.}\" >> "
      "out",
  };
  const std::string expected = [&] {
    std::string all;
    for (const std::string& p : run.paths()) all += p + '\0';
    return all;
  }();
  for (const char* form : forms) {
    SCOPED_TRACE(form);
    ASSERT_FALSE(write_script(form).refusal);
    for (const char* shell : {"/bin/sh", "/bin/bash"}) {
      SCOPED_TRACE(shell);
      std::filesystem::remove(path("scratch/out"));
      EXPECT_EQ(run_with(shell), 0);
      EXPECT_EQ(test::read_file(path("scratch/out")), expected);
      expect_no_injection();
    }
  }
}

TEST_F(ScriptOutputTest, HereDocumentsTakeEveryNameWithoutALineFeed) {
  std::string expected;
  for (int r = 0; r < list.size(); ++r) {
    if (list.classify_row(r) == ROW_FILE && list.path(r).find('\n') == std::string::npos) {
      list.tag(r);
      expected += list.path(r) + '\n';
    }
  }
  const char* const forms[] = {
      "cat >> out <<EOF\n%P%F%E\nEOF",
      "cat >> out <<'EOF'\n%P%F%E\nEOF",
      "cat <<-EOF >> out; cat <<'E'\"OF\" >> /dev/null\n\t%P%F%E\n\tEOF\n$%P `x` $(y)\nEOF",
  };
  for (const char* form : forms) {
    SCOPED_TRACE(form);
    ASSERT_FALSE(write_script(form, true).refusal);
    for (const char* shell : {"/bin/sh", "/bin/bash"}) {
      SCOPED_TRACE(shell);
      std::filesystem::remove(path("scratch/out"));
      EXPECT_EQ(run_with(shell), 0);
      EXPECT_EQ(test::read_file(path("scratch/out")), expected);
      expect_no_injection();
    }
  }
}

TEST_F(ScriptOutputTest, WhereANameCannotBeQuotedSafelyNoScriptIsWritten) {
  struct Case {
    const char* text;
    TemplateRefusal refusal;
  };
  const Case cases[] = {
      // A line feed in a name would begin a line of the here-document.
      {"cat >> out <<EOF\n%P%F%E\nEOF", {2, "%P%F%E"}},
      {"echo start\ncat >> out <<'EOF'\n# %P\n'%P%F%E'\nEOF", {4, "'%P%F%E'"}},
      // No quoting is safe in arithmetic or ${ }, whatever the names.
      {"echo $((%S + 1))", {1, "echo $((%S + 1))"}},
      {"# %P\necho \"${x:-%P%F%E}\"", {2, "echo \"${x:-%P%F%E}\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ScriptText script = write_script(c.text);
    ASSERT_TRUE(script.refusal);
    EXPECT_EQ(*script.refusal, c.refusal);
    EXPECT_EQ(script.text, "");
  }
}

TEST_F(ScriptOutputTest, TheDefaultTemplateParsesAndRunsNothingElse) {
  ASSERT_FALSE(write_script("# %D %T %S %C\n'%P%F%E'\n\n").refusal);
  for (const char* shell : {"/bin/sh", "/bin/bash"}) {
    run_with(shell);  // each path as a command: none is executable
    expect_no_injection();
  }
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
