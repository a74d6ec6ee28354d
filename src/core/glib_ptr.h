// Owners for what GLib hands out: strings (g_free), objects (g_object_unref),
// errors (g_error_free), string vectors (g_strfreev). One owner type for each,
// so no path out of a function forgets a free.
//
//   GCharPtr text(g_strdup_printf("%d", n));
//   GObjectPtr<GFile> file(g_file_new_for_path(path));
#pragma once

#include <glib-object.h>
#include <glib.h>

#include <memory>

struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
struct GObjectDeleter {
  void operator()(gpointer p) const {
    if (p) g_object_unref(p);
  }
};
struct GErrorDeleter {
  void operator()(GError* e) const {
    if (e) g_error_free(e);
  }
};
struct GStrvDeleter {
  void operator()(gchar** v) const { g_strfreev(v); }
};

using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;
using GStrvPtr = std::unique_ptr<gchar*, GStrvDeleter>;
