// Reading a script template as the shell will read it: the template's
// text, with each placeholder as a token of its own, is followed through
// the shell's nesting (quotes, backslashes, comments, $( ), backquotes,
// ${ }, $(( )), $' ' and here-documents) to find where each placeholder
// truly stands, and so how its value must be quoted (script_template.h).
// A value is always quoted for its place, so it never changes the reading.
#pragma once

#include <optional>
#include <vector>

#include "list_text/script_template.h"

// One element of the text the shell reads: a character the template holds
// itself, or a placeholder (whose value is always quoted for its place, so
// it never changes the reading).
struct ShellToken {
  char c = 0;
  int slot = -1;        // the placeholder, or -1 for a character
  int line = 0;         // the template line, from 0
  bool refuse = false;  // a character before it would join with the value
};

// Reads `tokens` (the template's text and the line feed after a row) and
// sets each placeholder's slot: its place (REFUSED where no quoting is
// safe), its levels of backquotes, and whether an empty value must be
// quoted. Each here-document line that holds a placeholder goes to
// `body_lines`. Returns the line (from 0) from which the text is not
// understood (it ends inside what it opened, or the reading cannot follow
// it), if there is one.
std::optional<int> read_shell_text(std::vector<ShellToken> tokens,
                                   std::vector<ScriptTemplate::Slot>& slots,
                                   std::vector<ScriptTemplate::BodyLine>& body_lines);
