// The plain-text layout of list rows, as "Print Listbox" writes them: a
// group header after an empty line, a comment row on one line, a file row's
// six short columns on one line and its path on the next.
#pragma once

#include <string>

#include "core/row_texts.h"

// Every column is written in its display form (list_rows.h), as the list
// shows it: a line feed in a name never splits a row.
std::string format_print_row(const RowTexts& row);
