// The settings file "Settings" in the data directory (the working directory
// of the interface process).
#pragma once

#include "settings/record_file.h"
#include "settings/settings_record.h"

// Loads "Settings" into `record`. When the file is missing or has another
// header, builds the factory defaults and writes them back. Returns 1 when
// the defaults were built, 0 when the file was loaded. Either way the
// consistency rule holds afterwards.
int load_settings(SettingsRecord& record);

// Fills the factory defaults. Fields without a factory value (permission
// masks, click actions, deleted mode, confirm and error beep) are left as
// they are: a fresh record is zero-filled.
void default_settings(SettingsRecord& record);

// The settings file's name, in the data directory.
inline constexpr const char* SETTINGS_FILE_NAME = "Settings";

// Writes the whole record to "Settings". False, with errno telling why and
// `*failed` (when given) which file failed, when it could not be written.
bool save_settings(const SettingsRecord& record, RecordWriteStep* failed = nullptr);

// Ends every mask slot at its last byte at the latest: a damaged file may
// hold slots without an end, which every reader would run past.
// load_settings does it.
void end_mask_slots(SettingsRecord& record);

// At least one of same_name and same_crc is on, and a CRC comparison always
// compares sizes and shows the CRC.
void apply_consistency_rule(SettingsRecord& record);
