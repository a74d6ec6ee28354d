// The text the script writer writes for a list: the header, a comment for
// each group header or comment row, and one expansion of the template for
// each file row (see list_text/script_template.h for the quoting).
#pragma once

#include <optional>
#include <string>

#include "list_text/script_template.h"
#include "ui/list/result_list.h"

struct ScriptChoices {
  std::string file_template;  // the per-entry template
  CommentStyle style = CommentStyle::POUND;
  bool only_tagged = false;  // only the rows marked "*"
};

// The whole script, or why it cannot be written.
struct ScriptText {
  std::string text;
  // Set when a file name (or any name, for the template as a whole) cannot
  // be quoted safely where a placeholder stands: nothing may be written.
  std::optional<TemplateRefusal> refusal;
};

// The whole script for the list: the header, then each row. The template
// is read once for all rows.
ScriptText script_text(const ResultList& list, const ScriptChoices& choices,
                       const std::string& date);
