// What the two halves of the walk (walk.cc) hand each other: the lister
// writes down what it finds, in walk order, into batches; the taker goes
// through them in that order.
#pragma once

#include <limits.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scan/match_mask.h"

namespace walk_batch {

constexpr std::size_t MAX_PATH_LENGTH = PATH_MAX - 1;

// What the lister writes down before it hands a batch over, and how many
// batches there are: the lister is at most that far ahead of the taker,
// so the memory is bounded (about 50 KB a batch) however large a directory.
constexpr std::size_t BATCH_ENTRIES = 256;
constexpr int BATCHES = 4;

inline bool any_mask_matches(const std::vector<std::string>& masks, const char* text) {
  for (const std::string& mask : masks) {
    if (match_mask(mask.c_str(), text) == MASK_MATCH) return true;
  }
  return false;
}

// One thing the lister found, in walk order.
struct Found {
  enum Kind : std::uint8_t {
    ROOT,    // the root "/", with what became of it
    SUBDIR,  // a subdirectory of the directory in hand, with what became of it
    FILE,    // a file of a directory whose files are taken, with its lstat
    LEAVE,   // the directory in hand is done: its parent is in hand again
    END,     // the walk is over
  };
  // What became of a directory (ROOT, SUBDIR).
  enum Fate : std::uint8_t {
    PASSED,    // no mask leads there, or its path is too long: not entered
    EXCLUDED,  // an exclude mask names it
    DENIED,    // it could not be opened or searched
    ENTERED,   // its entries follow, up to its LEAVE
  };
  Kind kind;
  Fate fate;
  std::uint32_t name_at;  // in the batch's names, NUL-terminated
  std::uint32_t name_length;
  struct stat st;  // FILE only
};

struct Batch {
  std::vector<Found> found;
  std::string names;

  Batch() {
    found.reserve(BATCH_ENTRIES + 2);
    names.reserve(BATCH_ENTRIES * 32);
  }
  bool full() const { return found.size() >= BATCH_ENTRIES; }
  const char* name_of(const Found& f) const { return names.data() + f.name_at; }
  void clear() {
    found.clear();
    names.clear();
  }
  Found& add(Found::Kind kind, const char* name, std::size_t length) {
    Found& f = found.emplace_back();
    f.kind = kind;
    f.fate = Found::PASSED;
    f.name_at = static_cast<std::uint32_t>(names.size());
    f.name_length = static_cast<std::uint32_t>(length);
    names.append(name, length);
    names.push_back('\0');
    return f;
  }
  // Takes back the last add (an entry that could not be examined).
  void drop_last() {
    names.resize(found.back().name_at);
    found.pop_back();
  }
};

}  // namespace walk_batch
