// The state file "State" in the data directory: Find/Tag histories and the
// script writer's last choices.
#pragma once

#include "settings/state_record.h"

// The interface process's one state record; the shutdown sequence writes it
// from a signal handler, so it is a plain global byte image.
extern StateRecord g_state;

// Loads "State" into `record`; a missing file or one with another header is
// replaced by the defaults, written back at once. Every text slot of a
// loaded record ends within its slot (end_text_slots).
void load_state(StateRecord& record);

// Ends every text slot at its last byte at the latest: a damaged file may
// hold slots without an end, which every reader would run past.
void end_text_slots(StateRecord& record);

// Fills the defaults: header, the two history lists and the script fields.
// The check box and comment-style words are left as they are.
void default_state(StateRecord& record);

// Sets only the script file name and the per-entry template to their defaults.
void default_script(StateRecord& record);

// Writes the whole record to "State". Async-signal-safe.
void save_state(const StateRecord& record);
