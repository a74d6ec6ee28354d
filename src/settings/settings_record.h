// The settings record: every user setting in one fixed 26140-byte layout.
// It is stored byte for byte in the file "Settings" and lives inside the
// shared scan block, so the scanner reads the very values the interface
// applied. The layout is a file format: never reorder or resize a field.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the record files are little-endian images");

inline constexpr int MASK_SLOTS = 100;
inline constexpr int MASK_SLOT_SIZE = 65;

// Header of both record files: 22 characters, the last two TAB and FORM FEED.
inline constexpr char RECORD_MAGIC[] = "*Pelto*Marvish*1.00*\t\f";
inline constexpr std::size_t RECORD_MAGIC_SIZE = 24;
static_assert(sizeof(RECORD_MAGIC) == 23);

enum ClickAction : std::int32_t {
  ACTION_NONE = 0,
  ACTION_TOGGLE_TAG = 1,
  ACTION_DELETE_FILE = 2,
  ACTION_VIEW = 3,
  ACTION_USER_COMMAND = 4,
  ACTION_INFO_DIALOG = 5,
  ACTION_OPEN_FOLDER = 6,
};

enum TimeKind : std::int32_t { TIME_CREATED = 0, TIME_WRITTEN = 1, TIME_ACCESSED = 2 };

enum DeletedMode : std::int32_t { DELETED_MARK = 0, DELETED_REMOVE = 1 };

// Settings added after the record's layout was fixed live in the bits of its
// `reserved` word; 0 keeps the original behaviour, so every stored file
// keeps its meaning.
inline constexpr std::int32_t RESERVED_MOVE_TO_TRASH = 1 << 0;  // deleted files go to the trash
// Set: scans do not remember file contents between scans (ContentCache).
// Inverted, so that every stored Settings file gets the cache.
inline constexpr std::int32_t RESERVED_NO_CONTENT_CACHE = 1 << 1;
// Set: a clean-up removes the folders it left empty (EmptiedFolders).
inline constexpr std::int32_t RESERVED_REMOVE_EMPTY_FOLDERS = 1 << 2;

using MaskList = char[MASK_SLOTS][MASK_SLOT_SIZE];

struct SettingsRecord {
  char magic[RECORD_MAGIC_SIZE];
  MaskList include_file_masks;
  MaskList exclude_file_masks;
  MaskList include_dirs;
  MaskList exclude_dirs;
  std::int32_t min_file_size;   // bytes
  std::int32_t max_file_size;   // bytes, 0 = no upper limit
  std::int32_t attr_set_mask;   // permission bits that must be set
  std::int32_t attr_care_mask;  // permission bits that are constrained at all
  std::int32_t same_name;
  std::int32_t same_time;
  std::int32_t same_date;
  std::int32_t same_size;
  std::int32_t same_crc;
  std::int32_t display_crc;
  std::int32_t same_owner;
  std::int32_t same_group;
  std::int32_t min_month;
  std::int32_t min_day;
  std::int32_t min_year;
  std::int32_t max_month;
  std::int32_t max_day;
  std::int32_t max_year;
  std::int32_t time_kind;   // TimeKind
  std::int32_t stop_after;  // the scan stops after this many duplicates
  std::int32_t group_min;
  std::int32_t group_max;
  std::int32_t deleted_mode;         // DeletedMode
  std::int32_t double_click_action;  // ClickAction
  std::int32_t triple_click_action;  // ClickAction
  std::int32_t confirm_delete;
  std::int32_t beep_on_stop;
  std::int32_t error_beep;
  std::int32_t reserved;  // RESERVED_* bits
};

inline constexpr std::size_t SETTINGS_RECORD_SIZE = 26140;

static_assert(std::is_standard_layout_v<SettingsRecord>);
static_assert(sizeof(SettingsRecord) == SETTINGS_RECORD_SIZE);
static_assert(offsetof(SettingsRecord, include_file_masks) == 24);
static_assert(offsetof(SettingsRecord, exclude_file_masks) == 6524);
static_assert(offsetof(SettingsRecord, include_dirs) == 13024);
static_assert(offsetof(SettingsRecord, exclude_dirs) == 19524);
static_assert(offsetof(SettingsRecord, min_file_size) == 26024);
static_assert(offsetof(SettingsRecord, attr_care_mask) == 26036);
static_assert(offsetof(SettingsRecord, same_name) == 26040);
static_assert(offsetof(SettingsRecord, same_crc) == 26056);
static_assert(offsetof(SettingsRecord, same_group) == 26068);
static_assert(offsetof(SettingsRecord, min_month) == 26072);
static_assert(offsetof(SettingsRecord, max_year) == 26092);
static_assert(offsetof(SettingsRecord, time_kind) == 26096);
static_assert(offsetof(SettingsRecord, stop_after) == 26100);
static_assert(offsetof(SettingsRecord, group_max) == 26108);
static_assert(offsetof(SettingsRecord, deleted_mode) == 26112);
static_assert(offsetof(SettingsRecord, triple_click_action) == 26120);
static_assert(offsetof(SettingsRecord, error_beep) == 26132);
static_assert(offsetof(SettingsRecord, reserved) == 26136);

// A mask list ends at its first empty slot (or after the last slot).
int mask_count(const MaskList& list);
