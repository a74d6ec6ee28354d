// The directory walk: from the root, into every directory an include mask
// can lead to, putting each file of a directory an include mask names
// through the filters and into the key tree.
#pragma once

#include <string>

#include "scan/scan_context.h"

// Walks the file system from "/" and fills ctx.key_tree and the walk
// counters. Returns at the end of the walk or when the scan is stopped.
// With more than one processor usable, the directories are read and their
// entries examined on a second thread, ahead of the filing (walk.cc).
void walk_file_system(ScanContext& ctx);

// The same on one thread, or with the reading on a second thread whatever
// the processors: the files are filed, counted and told in the same order.
enum class WalkThreads { ONE, TWO };
void walk_file_system(ScanContext& ctx, WalkThreads threads);

// The duplicate key of a file from the chosen attributes, appended to `key`
// (left empty when every attribute is off). `local` is the local time of
// the chosen file time.
void build_key(std::string& key, const ScanOptions& o, const char* name, const struct stat& st,
               const struct tm& local);
