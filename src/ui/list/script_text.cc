#include "ui/list/script_text.h"

#include "list_text/list_rows.h"

ScriptText script_text(const ResultList& list, const ScriptChoices& choices,
                       const std::string& date) {
  const ScriptTemplate file_template(choices.file_template);
  if (file_template.refusal()) return {"", file_template.refusal()};
  ScriptText script{script_header(choices.style, date), std::nullopt};
  std::string& text = script.text;
  const int n = list.size();
  for (int r = 0; r < n; ++r) {
    const RowKind kind = list.classify_row(r);
    if (is_marker_kind(kind)) {
      std::string line;
      for (int c = 0; c < COLUMN_COUNT; ++c) {
        if (c > 0) line += ' ';
        line += list.text(r, c);
      }
      text += comment_line(choices.style, line);
      continue;
    }
    if (!is_file_kind(kind)) continue;
    if (choices.only_tagged && kind != ROW_TAGGED) continue;
    const std::string path = list.path(r);  // the path's own bytes
    PathParts parts = split_path(path);
    TemplateValues values{list.text(r, 1), list.text(r, 2), list.text(r, 3), list.text(r, 4),
                          parts.directory, parts.name,      parts.extension};
    // The row's text, ending with its line feed.
    if (auto refusal = file_template.expand(values, text)) return {"", std::move(refusal)};
  }
  return script;
}
