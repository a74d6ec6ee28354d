#include "core/shell_words.h"

#include <glib.h>

#include "core/glib_ptr.h"

std::string shell_quote(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  out += '\'';
  return out;
}

std::string helper_command(const char* name) {
  GCharPtr here(g_get_current_dir());
  GCharPtr path(g_build_filename(here.get(), name, nullptr));
  return shell_quote(path.get());
}
