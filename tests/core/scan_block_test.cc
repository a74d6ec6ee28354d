#include "core/scan_block.h"

#include <gtest/gtest.h>
#include <sys/shm.h>
#include <unistd.h>

#include "core/process.h"

namespace {

TEST(ScanBlock, NewBlockIsFilledAndAlreadyMarkedForRemoval) {
  std::string error;
  ScanBlock* block = create_scan_block(error);
  ASSERT_NE(block, nullptr) << error;

  EXPECT_EQ(block->interface_pid, getpid());
  EXPECT_EQ(block->block_size, static_cast<std::int32_t>(SCAN_BLOCK_SIZE));
  EXPECT_EQ(block->scanner_pid.load(), 0);
  EXPECT_EQ(block->command_word.load(), CMD_IDLE);
  EXPECT_EQ(block->status.load(), SCANNER_IDLE);
  EXPECT_EQ(block->ready_magic.load(), 0) << "the magic is written only after the fork";
  EXPECT_EQ(block->row_count.load(), 0);
  EXPECT_EQ(block->settings.magic[0], '\0') << "a new block is zero-filled";

  shmid_ds info{};
  ASSERT_EQ(shmctl(block->segment_id, IPC_STAT, &info), 0);
  EXPECT_EQ(info.shm_segsz, SCAN_BLOCK_SIZE);
  EXPECT_TRUE(info.shm_perm.mode & SHM_DEST) << "must vanish with its last user";
  EXPECT_EQ(info.shm_perm.mode & 0777, 0600u) << "private to the user";

  int id = block->segment_id;
  ASSERT_EQ(shmdt(block), 0);
  EXPECT_EQ(shmctl(id, IPC_STAT, &info), -1) << "detaching the last user frees the segment";
}

TEST(ScanBlock, SettingsRecordSitsWholeInsideTheBlock) {
  // The record is the file image: its bytes in the block are exactly what the
  // settings file holds, so a copy of the record is a copy of the file.
  EXPECT_EQ(sizeof(ScanBlock::settings), SETTINGS_RECORD_SIZE);
  EXPECT_EQ(offsetof(ScanBlock, settings) % alignof(SettingsRecord), 0u);
  EXPECT_GE(COL_PATH_SIZE, static_cast<std::size_t>(PATH_MAX));
  EXPECT_GE(COL_SIZE_SIZE, sizeof("9,223,372,036,854,775,807"));
}

}  // namespace
