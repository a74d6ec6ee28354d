// The questions and notices of the list commands behind one interface: the
// program answers them with its dialog boxes, a test from a script.
#pragma once

#include "settings/settings_record.h"

class Prompter {
 public:
  virtual ~Prompter() = default;

  // A notice with an OK button; returns at once.
  virtual void message(const char* title, const char* line1, const char* line2) = 0;
  // 'Y' or 'N'.
  virtual int ask_yes_no(const char* title, const char* line1, const char* line2,
                         int default_answer) = 0;
  // 'Y', 'A' (Yes To All), 'N' or 'C' (Cancel).
  virtual int ask_yes_no_all(const char* title, const char* line1, const char* line2,
                             int default_answer) = 0;
  // 'Y', 'N' or 'X' (No To All: no, and no more of these questions).
  virtual int ask_yes_no_none(const char* title, const char* line1, const char* line2,
                              int default_answer) = 0;
  // 'A' (Append), 'O' (Overwrite) or 'L' (Leave-As-Is) for a file that
  // exists.
  virtual int ask_file_exists(const char* path) = 0;
  // The refusal of a command: three beeps when "Enable Error Beep" is on.
  virtual void error_signal() = 0;

  // The "List Box Busy" notice naming the refused operation.
  void notify_busy(const char* operation) {
    message("List Box Busy", operation, "Try after operation is complete");
  }
};

// The program's prompter: the dialog boxes over the main window.
class DialogPrompter : public Prompter {
 public:
  // `settings` is read at each error signal (the beep may be switched off).
  explicit DialogPrompter(const SettingsRecord& settings) : settings_(settings) {}

  void message(const char* title, const char* line1, const char* line2) override;
  int ask_yes_no(const char* title, const char* line1, const char* line2,
                 int default_answer) override;
  int ask_yes_no_all(const char* title, const char* line1, const char* line2,
                     int default_answer) override;
  int ask_yes_no_none(const char* title, const char* line1, const char* line2,
                      int default_answer) override;
  int ask_file_exists(const char* path) override;
  void error_signal() override;

 private:
  const SettingsRecord& settings_;
};
