#include "settings/state_file.h"

#include <cerrno>
#include <cstring>

#include "settings/record_file.h"

StateRecord g_state{};

namespace {

constexpr const char* STATE_FILE = "State";
constexpr const char* DEFAULT_SCRIPT_NAME = "PeltoMarvishScript.sh";
constexpr const char* DEFAULT_SCRIPT_TEMPLATE = "# %D %T %S %C\n'%P%F%E'\n\n";

}  // namespace

void default_script(StateRecord& r) {
  std::strncpy(r.script_name, DEFAULT_SCRIPT_NAME, sizeof r.script_name - 1);
  std::strncpy(r.script_template, DEFAULT_SCRIPT_TEMPLATE, sizeof r.script_template - 1);
  r.script_name[sizeof r.script_name - 1] = '\0';
  r.script_template[sizeof r.script_template - 1] = '\0';
}

void default_state(StateRecord& r) {
  std::memset(r.magic, 0, sizeof r.magic);
  std::memcpy(r.magic, RECORD_MAGIC, sizeof RECORD_MAGIC - 1);
  std::strcpy(r.find_has_history[0], "*junk*");
  std::strcpy(r.find_not_history[0], "*save*");
  for (int i = 1; i < HISTORY_SLOTS; ++i) {
    r.find_has_history[i][0] = '\0';
    r.find_not_history[i][0] = '\0';
  }
  default_script(r);
}

void save_state(const StateRecord& record) {
  write_record_file(STATE_FILE, &record, sizeof record);
}

void end_text_slots(StateRecord& r) {
  for (int i = 0; i < HISTORY_SLOTS; ++i) {
    r.find_has_history[i][HISTORY_SLOT_SIZE - 1] = '\0';
    r.find_not_history[i][HISTORY_SLOT_SIZE - 1] = '\0';
  }
  r.script_name[SCRIPT_NAME_SIZE - 1] = '\0';
  r.script_template[SCRIPT_TEMPLATE_SIZE - 1] = '\0';
}

void load_state(StateRecord& record) {
  if (read_record_file(STATE_FILE, &record, sizeof record)) {
    end_text_slots(record);
    return;
  }
  bool unreadable = errno == EACCES || errno == EPERM;  // the user's file stays
  default_state(record);
  if (!unreadable) save_state(record);
}
