#include "core/result_intake.h"

#include <glib.h>

#include <cstdio>
#include <string>

#include "core/process.h"
#include "core/scan_channel.h"
#include "core/shell_words.h"

namespace {

// While rows pour in, one tick takes them for at most this long, so the
// window keeps redrawing and answering (Stop among others).
constexpr long RECORD_BUDGET_US = 40000;

}  // namespace

int result_intake_tick(void* data) {
  ScanBlock* block = g_block;
  if (block == nullptr || data == nullptr) return G_SOURCE_REMOVE;
  IntakeView& view = *static_cast<IntakeView*>(data);

  take_list_records(*block, view, RECORD_BUDGET_US);
  std::string text;
  if (take_dir_text(*block, text)) view.show_status(text);
  if (take_message(*block, text)) view.show_message_line(text);
  float fraction;
  if (take_progress(*block, fraction)) view.show_progress(CLAMP(fraction, 0.0f, 1.0f));
  if (take_scan_finished(*block)) {
    // The list is the user's again: the busy word Start Scan took goes back
    // once the scan's last record is in the list.
    block->list_busy.store(0);
    g_scan_withdrawal_unsettled = false;
    if (block->settings.beep_on_stop != 0) view.beep();
    if (!view.launcher().start_shell(helper_command("pmstop"))) {
      // The scan's end is told all the same; the helper's failure beside it.
      std::fprintf(stderr, "peltomarvish: cannot start the helper pmstop\n");
      view.show_status("Can Not Start pmstop");
    }
    view.show_scan_completed();
  } else if (g_scan_withdrawal_unsettled && settle_withdrawn_scan(*block)) {
    g_scan_withdrawal_unsettled = false;  // no scan ran: the list is free again
  }
  if (g_settings_defaulted) {
    g_settings_defaulted = false;
    view.open_settings(PAGE_FILE_MASKS);
  }
  return G_SOURCE_CONTINUE;
}

void start_scan(ScanBlock& block, IntakeView& view) {
  if (block.list_busy.load() != 0) {
    view.notify_busy("Start Scan");
    return;
  }
  if (block.status.load() != SCANNER_IDLE) return;  // still finishing, or ended
  block.list_busy.store(1);
  view.thaw_list();
  view.clear_list();
  block.row_count.store(0);
  view.show_status("");
  view.show_message_line("");
  block.walk_depth.store(0);
  block.counters.reset();
  block.tagged_count.store(0);
  block.tagged_bytes.store(0);
  // Last: the scanner must not see the request before the reset is complete.
  set_word(block.command_word, CMD_START);
}
