#include "ui/windows/settings_binding.h"

namespace {

using R = SettingsRecord;
using K = BindingKind;

constexpr SettingsBinding BINDINGS[] = {
    // The mask text boxes, applied in this order.
    {"IncludeFileMask", K::MASK_TEXT, PAGE_FILE_MASKS, nullptr, &R::include_file_masks},
    {"IncludeDir", K::MASK_TEXT, PAGE_INCLUDE_DIRECTORIES, nullptr, &R::include_dirs},
    {"ExcludeDir", K::MASK_TEXT, PAGE_EXCLUDE_DIRECTORIES, nullptr, &R::exclude_dirs},
    {"ExcludeFileMask", K::MASK_TEXT, PAGE_EXCLUDE_FILES, nullptr, &R::exclude_file_masks},
    // Date Ranges
    {"SpinMinYear", K::SPIN, PAGE_DATE_RANGES, &R::min_year},
    {"SpinMinMonth", K::SPIN, PAGE_DATE_RANGES, &R::min_month},
    {"SpinMinDate", K::SPIN, PAGE_DATE_RANGES, &R::min_day},
    {"SpinMaxYear", K::SPIN, PAGE_DATE_RANGES, &R::max_year},
    {"SpinMaxMonth", K::SPIN, PAGE_DATE_RANGES, &R::max_month},
    {"SpinMaxDate", K::SPIN, PAGE_DATE_RANGES, &R::max_day},
    {"RadioCreation", K::RADIO, PAGE_DATE_RANGES, &R::time_kind, nullptr, TIME_CREATED},
    {"RadioLastWrite", K::RADIO, PAGE_DATE_RANGES, &R::time_kind, nullptr, TIME_WRITTEN},
    {"RadioLastAccess", K::RADIO, PAGE_DATE_RANGES, &R::time_kind, nullptr, TIME_ACCESSED},
    // File Sizes
    {"SpinMinFileSize", K::SPIN, PAGE_FILE_SIZES, &R::min_file_size},
    {"SpinMaxFileSize", K::SPIN, PAGE_FILE_SIZES, &R::max_file_size},
    // Compare Logic
    {"CheckSameName", K::CHECK, PAGE_COMPARE_LOGIC, &R::same_name},
    {"CheckSameCRC", K::CHECK, PAGE_COMPARE_LOGIC, &R::same_crc},
    {"CheckDisplayCRC", K::CHECK, PAGE_COMPARE_LOGIC, &R::display_crc},
    {"CheckSameTime", K::CHECK, PAGE_COMPARE_LOGIC, &R::same_time},
    {"CheckSameDate", K::CHECK, PAGE_COMPARE_LOGIC, &R::same_date},
    {"CheckSameSize", K::CHECK, PAGE_COMPARE_LOGIC, &R::same_size},
    {"CheckSameFileOwner", K::CHECK, PAGE_COMPARE_LOGIC, &R::same_owner},
    {"CheckSameFileGroup", K::CHECK, PAGE_COMPARE_LOGIC, &R::same_group},
    // Group Sizes
    {"SpinGroupMin", K::SPIN, PAGE_GROUP_SIZES, &R::group_min},
    {"SpinGroupMax", K::SPIN, PAGE_GROUP_SIZES, &R::group_max},
    // Stop
    {"SpinStopMaxDuplicates", K::SPIN, PAGE_STOP, &R::stop_after},
    {"CheckBeepOnStop", K::CHECK, PAGE_STOP, &R::beep_on_stop},
    // Operation
    {"RadioDoubleClickNone", K::RADIO, PAGE_OPERATION, &R::double_click_action, nullptr,
     ACTION_NONE},
    {"RadioDoubleClickTag", K::RADIO, PAGE_OPERATION, &R::double_click_action, nullptr,
     ACTION_TOGGLE_TAG},
    {"RadioDoubleClickDelete", K::RADIO, PAGE_OPERATION, &R::double_click_action, nullptr,
     ACTION_DELETE_FILE},
    {"RadioDoubleClickView", K::RADIO, PAGE_OPERATION, &R::double_click_action, nullptr,
     ACTION_VIEW},
    {"RadioDoubleClickUser", K::RADIO, PAGE_OPERATION, &R::double_click_action, nullptr,
     ACTION_USER_COMMAND},
    {"RadioDoubleClickInfo", K::RADIO, PAGE_OPERATION, &R::double_click_action, nullptr,
     ACTION_INFO_DIALOG},
    {"RadioDoubleClickOpen", K::RADIO, PAGE_OPERATION, &R::double_click_action, nullptr,
     ACTION_OPEN_FOLDER},
    {"RadioTripleClickNone", K::RADIO, PAGE_OPERATION, &R::triple_click_action, nullptr,
     ACTION_NONE},
    {"RadioTripleClickTag", K::RADIO, PAGE_OPERATION, &R::triple_click_action, nullptr,
     ACTION_TOGGLE_TAG},
    {"RadioTripleClickDelete", K::RADIO, PAGE_OPERATION, &R::triple_click_action, nullptr,
     ACTION_DELETE_FILE},
    {"RadioTripleClickView", K::RADIO, PAGE_OPERATION, &R::triple_click_action, nullptr,
     ACTION_VIEW},
    {"RadioTripleClickUser", K::RADIO, PAGE_OPERATION, &R::triple_click_action, nullptr,
     ACTION_USER_COMMAND},
    {"RadioTripleClickInfo", K::RADIO, PAGE_OPERATION, &R::triple_click_action, nullptr,
     ACTION_INFO_DIALOG},
    {"RadioTripleClickOpen", K::RADIO, PAGE_OPERATION, &R::triple_click_action, nullptr,
     ACTION_OPEN_FOLDER},
    {"CheckErrorBeep", K::CHECK, PAGE_OPERATION, &R::error_beep},
    {"CheckConfirmDelete", K::CHECK, PAGE_OPERATION, &R::confirm_delete},
    {"RadioMarkDeleted", K::RADIO, PAGE_OPERATION, &R::deleted_mode, nullptr, DELETED_MARK},
    {"RadioRemoveDeleted", K::RADIO, PAGE_OPERATION, &R::deleted_mode, nullptr, DELETED_REMOVE},
    {"CheckTrash", K::FLAG, PAGE_OPERATION, &R::reserved, nullptr, RESERVED_MOVE_TO_TRASH},
    {"CheckRemoveEmptyFolders", K::FLAG, PAGE_OPERATION, &R::reserved, nullptr,
     RESERVED_REMOVE_EMPTY_FOLDERS},
    {"CheckContentCache", K::FLAG_OFF, PAGE_OPERATION, &R::reserved, nullptr,
     RESERVED_NO_CONTENT_CACHE},
};

constexpr AttributeRow ATTRIBUTES[] = {
    {"RadioORon", "RadioORoff", "RadioORany", 0400},
    {"RadioOWon", "RadioOWoff", "RadioOWany", 0200},
    {"RadioOXon", "RadioOXoff", "RadioOXany", 0100},
    {"RadioGRon", "RadioGRoff", "RadioGRany", 040},
    {"RadioGWon", "RadioGWoff", "RadioGWany", 020},
    {"RadioGXon", "RadioGXoff", "RadioGXany", 010},
    {"RadioRon", "RadioRoff", "RadioRany", 04},
    {"RadioWon", "RadioWoff", "RadioWany", 02},
    {"RadioXon", "RadioXoff", "RadioXany", 01},
};

GObject* widget(GtkBuilder* builder, const char* name) {
  return gtk_builder_get_object(builder, name);
}

void set_active(GtkBuilder* builder, const char* name, bool active) {
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget(builder, name)), active);
}

bool is_active(GtkBuilder* builder, const char* name) {
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget(builder, name)));
}

}  // namespace

std::span<const SettingsBinding> settings_bindings() { return BINDINGS; }

std::span<const AttributeRow> attribute_rows() { return ATTRIBUTES; }

void fill_bindings(GtkBuilder* builder, const SettingsRecord& r, int page) {
  for (const SettingsBinding& b : BINDINGS) {
    if (page >= 0 && b.page != page) continue;
    switch (b.kind) {
      case K::MASK_TEXT:
        break;
      case K::CHECK:
        set_active(builder, b.widget, r.*b.field != 0);
        break;
      case K::FLAG:
      case K::FLAG_OFF:
        set_active(builder, b.widget, ((r.*b.field & b.value) != 0) == (b.kind == K::FLAG));
        break;
      case K::SPIN:
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(widget(builder, b.widget)), r.*b.field);
        break;
      case K::RADIO:
        if (r.*b.field == b.value) set_active(builder, b.widget, true);
        break;
    }
  }
  if (page >= 0 && page != PAGE_ATTRIBUTES) return;
  for (const AttributeRow& row : ATTRIBUTES) {
    const char* choice = (r.attr_care_mask & row.bit) == 0  ? row.any
                         : (r.attr_set_mask & row.bit) != 0 ? row.on
                                                            : row.off;
    set_active(builder, choice, true);
  }
}

void apply_bindings(GtkBuilder* builder, SettingsRecord& r) {
  for (const SettingsBinding& b : BINDINGS) {
    switch (b.kind) {
      case K::MASK_TEXT:
        break;
      case K::CHECK:
        r.*b.field = is_active(builder, b.widget) ? 1 : 0;
        break;
      case K::FLAG:
      case K::FLAG_OFF: {
        const bool set = is_active(builder, b.widget) == (b.kind == K::FLAG);
        r.*b.field = set ? (r.*b.field | b.value) : (r.*b.field & ~b.value);
        break;
      }
      case K::SPIN: {
        // A stored value outside the spin's range shows clamped; it stays as
        // stored unless the spin was changed.
        GtkSpinButton* spin = GTK_SPIN_BUTTON(widget(builder, b.widget));
        GtkAdjustment* range = gtk_spin_button_get_adjustment(spin);
        int shown = gtk_spin_button_get_value_as_int(spin);
        double stored = CLAMP(static_cast<double>(r.*b.field), gtk_adjustment_get_lower(range),
                              gtk_adjustment_get_upper(range));
        if (shown != static_cast<int>(stored)) r.*b.field = shown;
        break;
      }
      case K::RADIO:
        if (is_active(builder, b.widget)) r.*b.field = b.value;
        break;
    }
  }
  r.attr_set_mask = 0;
  r.attr_care_mask = 0;
  for (const AttributeRow& row : ATTRIBUTES) {
    if (is_active(builder, row.on)) {
      r.attr_set_mask |= row.bit;
      r.attr_care_mask |= row.bit;
    } else if (is_active(builder, row.off)) {
      r.attr_care_mask |= row.bit;
    }
  }
}
