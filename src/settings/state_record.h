// The state record: what the user last typed in the Find/Tag window and the
// script writer. Stored byte for byte in the file "State" (7640 bytes).
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/settings_record.h"

inline constexpr int HISTORY_SLOTS = 20;
inline constexpr int HISTORY_SLOT_SIZE = 81;
inline constexpr int SCRIPT_NAME_SIZE = 257;
inline constexpr int SCRIPT_TEMPLATE_SIZE = 4097;

struct StateRecord {
  char magic[RECORD_MAGIC_SIZE];
  char find_has_history[HISTORY_SLOTS][HISTORY_SLOT_SIZE];
  char find_not_history[HISTORY_SLOTS][HISTORY_SLOT_SIZE];
  char script_name[SCRIPT_NAME_SIZE];
  char script_template[SCRIPT_TEMPLATE_SIZE];
  char padding[2];
  std::int32_t only_tagged;
  std::int32_t comment_pound;
  std::int32_t comment_c;
  std::int32_t comment_blank;
  std::int32_t comment_none;
};

inline constexpr std::size_t STATE_RECORD_SIZE = 7640;

static_assert(std::is_standard_layout_v<StateRecord>);
static_assert(sizeof(StateRecord) == STATE_RECORD_SIZE);
static_assert(offsetof(StateRecord, find_has_history) == 24);
static_assert(offsetof(StateRecord, find_not_history) == 1644);
static_assert(offsetof(StateRecord, script_name) == 3264);
static_assert(offsetof(StateRecord, script_template) == 3521);
static_assert(offsetof(StateRecord, padding) == 7618);
static_assert(offsetof(StateRecord, only_tagged) == 7620);
static_assert(offsetof(StateRecord, comment_none) == 7636);
