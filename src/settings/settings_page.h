// The pages of the settings window's notebook, in their order there. The
// settings rules give each page its defaults and help topic, the window's
// bindings say which page shows a field, the menus open the window on a
// page, and the first start opens it on the first.
#pragma once

enum SettingsPage : int {
  PAGE_SHOWN_LAST = -1,  // opening the window: the page it showed when it last closed
  PAGE_FILE_MASKS = 0,
  PAGE_ATTRIBUTES,
  PAGE_DATE_RANGES,
  PAGE_FILE_SIZES,
  PAGE_EXCLUDE_FILES,
  PAGE_INCLUDE_DIRECTORIES,
  PAGE_EXCLUDE_DIRECTORIES,
  PAGE_COMPARE_LOGIC,
  PAGE_GROUP_SIZES,
  PAGE_STOP,
  PAGE_OPERATION,
};

inline constexpr int SETTINGS_PAGES = PAGE_OPERATION + 1;
