// The settings window's widgets and the record fields they show, in one
// table: filling the window and applying it are one loop each.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <span>

#include "settings/settings_page.h"
#include "settings/settings_record.h"

enum class BindingKind {
  MASK_TEXT,  // a text box: one mask per line
  CHECK,      // a check button: the field is 0 or 1
  FLAG,       // a check button: one bit (`value`) of the field
  FLAG_OFF,   // a check button that is on while that bit is clear
  SPIN,       // a spin button: the field's number
  RADIO,      // a radio button: active when the field holds `value`
};

struct SettingsBinding {
  const char* widget;  // id in settings_window.ui
  BindingKind kind;
  SettingsPage page;  // the notebook page showing it
  std::int32_t SettingsRecord::*field = nullptr;
  MaskList SettingsRecord::*masks = nullptr;
  std::int32_t value = 0;
};

std::span<const SettingsBinding> settings_bindings();

// A row of the permission table: three radio buttons for one bit, "on"
// (the bit must be set), "off" (it must be clear) and "any".
struct AttributeRow {
  const char* on;
  const char* off;
  const char* any;
  std::int32_t bit;
};

std::span<const AttributeRow> attribute_rows();

// Sets the widgets of `page` (every page for PAGE_SHOWN_LAST) from the
// record. Mask text boxes are filled by the window itself.
void fill_bindings(GtkBuilder* builder, const SettingsRecord& record, int page);

// Writes every widget except the mask text boxes into the record.
void apply_bindings(GtkBuilder* builder, SettingsRecord& record);
