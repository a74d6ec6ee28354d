#include "core/scan_end_text.h"

#include <cstdint>

void note_list_cut(ListCut& cut, std::string_view first, std::string_view second) {
  if (first.starts_with("Stopped ") && first.ends_with(" Duplicates Found") &&
      second.starts_with("(Limit = ")) {
    cut.stop_limit = true;
  }
  if (first == "List Box" && second == " Is Full") cut.list_full = true;
}

std::string compared_text(const SettingsRecord& settings) {
  struct Flag {
    std::int32_t SettingsRecord::*field;
    const char* word;
  };
  static const Flag FLAGS[] = {
      {&SettingsRecord::same_name, "name"},   {&SettingsRecord::same_size, "size"},
      {&SettingsRecord::same_date, "date"},   {&SettingsRecord::same_time, "time"},
      {&SettingsRecord::same_owner, "owner"}, {&SettingsRecord::same_group, "group"},
      {&SettingsRecord::same_crc, "CRC-32"},
  };
  std::string text = "Compared:";
  bool first = true;
  for (const Flag& flag : FLAGS) {
    if (settings.*flag.field == 0) continue;
    text += first ? " " : ", ";
    text += flag.word;
    first = false;
  }
  if (first) text += " nothing";
  return text;
}

std::string scan_completed_detail(const SettingsRecord& settings, const ListCut& cut) {
  std::string text = compared_text(settings);
  if (cut.stop_limit) text += "\nThe Stop Limit Cut The List: Settings, Stop Page";
  if (cut.list_full) {
    text +=
        "\nThe List Box Is Full: Narrow The Scan (Settings, File Masks, File Sizes Or Include "
        "Directories Page)";
  }
  return text;
}
