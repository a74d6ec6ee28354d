// The second line of the "Scan Completed" notice: what the scan compared
// (from the settings it ran with) and, when the list was cut short, what cut
// it and where that is changed.
#pragma once

#include <string>
#include <string_view>

#include "settings/settings_record.h"

// What cut a scan's list short, as its closing comment rows tell.
struct ListCut {
  bool stop_limit = false;  // "Stopped N Duplicates Found" "(Limit = L)"
  bool list_full = false;   // "List Box" " Is Full"
};

// Notes in `cut` what one comment row (its first and second text) says.
void note_list_cut(ListCut& cut, std::string_view first, std::string_view second);

// "Compared: name, size, CRC-32": the compare flags set in the settings, in
// the order of the settings window.
std::string compared_text(const SettingsRecord& settings);

// The compared line, and one line for each cut with the page that changes it.
std::string scan_completed_detail(const SettingsRecord& settings, const ListCut& cut);
