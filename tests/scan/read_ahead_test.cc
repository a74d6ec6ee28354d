// The read-ahead of the walk: which files it reads, that what it found is
// what the CRC pass would have read, and that a stopped scan leaves the rest
// to the pass. And the reader's refusal of a file that is no longer what the
// walk saw.
#include "scan/read_ahead.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "core/scan_channel.h"
#include "scan/emit.h"
#include "scan/scan_context.h"
#include "scan_fixture.h"

namespace {

class ReadAheadTest : public test::ScanTest {
 protected:
  // Files `name` into the key tree under `key` as the walk would.
  void add(ScanContext& ctx, const std::string& key, const std::string& name) {
    struct stat st;
    ASSERT_EQ(lstat(path(name).c_str(), &st), 0);
    FileFacts facts;
    facts.size = st.st_size;
    facts.mode = st.st_mode;
    insert_file(ctx, ctx.key_tree, key, path(name), facts, 0);
  }
  std::uint32_t number(ScanContext& ctx, const std::string& name) {
    for (auto [key, node] : ctx.key_tree.descending()) {
      for (std::uint32_t n : node->members) {
        if (ctx.files.path_of(ctx.files[n]) == path(name)) return n;
      }
    }
    ADD_FAILURE() << name << " is not in the tree";
    return 0;
  }
  // What the read-ahead found of the file (null: it was not read).
  const FileContents* found(ScanContext& ctx, const std::string& name) {
    const FileContents* c = ctx.files.contents(number(ctx, name));
    return c != nullptr && c->has(FileContents::BEGINNING | FileContents::UNREADABLE) ? c : nullptr;
  }
  std::unique_ptr<ScanBlock> block = std::make_unique<ScanBlock>();
};

TEST_F(ReadAheadTest, ReadsWhatTheCrcPassWillReadAndFindsWhatItWouldFind) {
  make_file("lone", "only one of its key");
  make_file("a1", "same");
  make_file("a2", "same");
  make_file("b1", std::string(100000, 'x'));
  make_file("b2", std::string(100000, 'y'));
  make_file("c1", "three");
  make_file("c2", "three");
  make_file("c3", "three");
  struct Case {
    int group_min;
    const char* read;  // names read ahead, in order
  };
  const Case cases[] = {{2, "a1 a2 b1 b2 c1 c2 c3"}, {3, "c1 c2 c3"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group_min);
    options.group_min = c.group_min;
    block->command_word.store(CMD_START);
    ScanContext ctx(*block, options);
    ReadAhead read_ahead(ctx, 3);
    ctx.read_ahead = &read_ahead;
    for (const char* name : {"lone", "a1", "b1", "a2", "c1", "b2", "c2", "c3"}) {
      add(ctx, std::string(name, 1), name);
    }
    read_ahead.finish();

    std::string read;
    FileReader reader;
    for (const char* name : {"lone", "a1", "a2", "b1", "b2", "c1", "c2", "c3"}) {
      const FileContents* ahead = found(ctx, name);
      if (ahead == nullptr) continue;
      const GroupMember& m = ctx.files[number(ctx, name)];
      read += std::string(read.empty() ? "" : " ") + name;
      FileProbe direct = reader.probe(ctx.files.path_of(m).c_str(), PROBE_BYTES);
      EXPECT_FALSE(ahead->has(FileContents::UNREADABLE)) << name;
      EXPECT_EQ(ahead->has(FileContents::WHOLE), direct.complete) << name;
      EXPECT_EQ(ahead->beginning_hash(), direct.hash) << name;
      if (direct.complete) {
        EXPECT_EQ(m.crc, direct.whole.crc) << name;
        EXPECT_EQ(ahead->hash_high(), direct.whole.hash_high) << name;
        EXPECT_EQ(ahead->hash_low(), direct.whole.hash_low) << name;
      }
    }
    EXPECT_EQ(read, c.read);
  }
}

TEST_F(ReadAheadTest, AStoppedScanLeavesTheReadingToThePass) {
  make_file("a1", "same");
  make_file("a2", "same");
  make_file("a3", "other");
  block->command_word.store(CMD_IDLE);  // Stop was pressed during the walk
  ScanContext ctx(*block, options);
  {
    ReadAhead read_ahead(ctx, 2);
    ctx.read_ahead = &read_ahead;
    for (const char* name : {"a1", "a2", "a3"}) add(ctx, "k", name);
    read_ahead.finish();
    for (const char* name : {"a1", "a2", "a3"}) EXPECT_FALSE(found(ctx, name)) << name;
    // The pass, re-armed, reads for itself what was not read ahead.
    block->command_word.store(CMD_START);
    std::thread taker([&] {
      struct Ignore : ListRecordSink {
        void clear_list() override {}
        void freeze_list() override {}
        void thaw_list() override {}
        void append_row(const RowTexts&) override {}
      } sink;
      while (block->command_word.load() == CMD_START || records_waiting(*block)) {
        take_list_records(*block, sink, 1000);
        take_scan_finished(*block);
        usleep(100);
      }
    });
    crc_regroup(ctx);
    block->command_word.store(CMD_IDLE);
    taker.join();
    ctx.read_ahead = nullptr;
  }
  std::string groups;
  for (auto [key, node] : ctx.crc_tree.descending()) {
    groups += std::to_string(node->count) + ";";
  }
  EXPECT_EQ(groups, "2;") << "a1 and a2 together, a3 alone and never filed";
}

// A file is read only while it is what the walk saw: the same size, and
// reached by a path without a symbolic link.
TEST_F(ReadAheadTest, AFileThatIsNoLongerWhatTheWalkSawIsUnreadable) {
  std::string file = make_file("d/file", "12345");
  make_file("real/file", "12345");
  ASSERT_EQ(symlink("real", path("linked").c_str()), 0);
  FileReader reader;
  struct Case {
    std::string path;
    std::int64_t seen_size;
    bool readable;
    bool beginning_readable;  // its first two bytes: a change further on shows later
  };
  const Case cases[] = {
      {file, 5, true, true},
      {file, 4, false, true},                  // grew since the walk
      {file, 6, false, true},                  // shrank since the walk
      {path("linked/file"), 5, false, false},  // a directory became a link
      {path("d/missing"), 5, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.seen_size));
    FileSeen seen{S_IFREG, c.seen_size};
    EXPECT_EQ(reader.probe(c.path.c_str(), PROBE_BYTES, seen).readable, c.readable);
    EXPECT_EQ(reader.probe(c.path.c_str(), 2, seen).readable, c.beginning_readable);
    EXPECT_EQ(reader.digest(c.path.c_str(), true, nullptr, nullptr, seen).ok, c.readable);
  }
}

}  // namespace
