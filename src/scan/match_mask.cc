#include "scan/match_mask.h"

#include <algorithm>

namespace {

// Ranges order bytes as signed values whatever the signedness of the
// compiler's plain char, so the same mask selects the same names everywhere.
signed char as_signed(char c) { return static_cast<signed char>(c); }

// Reads one class member at p: a character, or a range "first-last"; a
// backslash makes the next character part of the member even when it is "]",
// "-" or "\". Returns the mask just past the member, or nullptr when the class
// is broken here (it never closes, or a range has no end).
const char* read_member(const char* p, char* first, char* last) {
  if (*p == '\\') ++p;
  if (*p == '\0') return nullptr;
  *first = *p++;
  *last = *first;
  if (*p != '-') return p;
  ++p;
  // "a-]" has no end: "]" would close the class, not end the range.
  if (*p == '\0' || *p == ']') return nullptr;
  if (*p == '\\') {
    ++p;
    if (*p == '\0') return nullptr;
  }
  *last = *p++;
  return p;
}

// A range may be written either way round: "z-a" is "a-z".
bool member_accepts(char first, char last, char c) {
  signed char lo = as_signed(first);
  signed char hi = as_signed(last);
  if (lo > hi) std::swap(lo, hi);
  return lo <= as_signed(c) && as_signed(c) <= hi;
}

// Compares text character c with the class whose members start at m (just
// past the "["). On MASK_MATCH, *after is the mask just past the closing "]";
// otherwise the result is MASK_CLASS_MISS or MASK_MALFORMED.
//
// Members are read only as far as needed: once one accepts c, the rest is
// merely searched for its "]". So a class can be broken for some characters
// and fine for others ("[ab-]" takes "a", but is broken when tried on "b").
MaskResult match_class(const char* m, char c, const char** after) {
  const bool inverted = (*m == '!' || *m == '^');
  if (inverted) ++m;
  // "]" cannot be the first member, so "[]" and "[!]" are empty classes.
  if (*m == ']') return MASK_MALFORMED;
  bool accepted = false;
  while (*m != ']') {
    char first;
    char last;
    m = read_member(m, &first, &last);
    if (m == nullptr) return MASK_MALFORMED;
    if (member_accepts(first, last, c)) {
      accepted = true;
      break;
    }
  }
  if (accepted == inverted) return MASK_CLASS_MISS;
  if (accepted) {
    // An inverted class that passed has read all its members and stands on
    // its "]" already; a plain one still has to find it.
    while (*m != ']') {
      if (*m == '\\') ++m;
      if (*m == '\0') return MASK_MALFORMED;
      ++m;
    }
  }
  *after = m + 1;
  return MASK_MATCH;
}

// Walks the mask without stars from m and the text from t, one character of
// each per step, and moves both along. Returns true when it stopped at a star
// with text left over, which the caller takes on as a star run. Otherwise the
// walk ended with *result, and m and t are where it ended:
// - MASK_MATCH or MASK_TEXT_ENDED: the text ran out (t at its end);
// - MASK_MALFORMED: the mask broke on the character at t;
// - MASK_CHAR_MISS, MASK_CLASS_MISS, MASK_TEXT_LEFT: text at t was refused.
bool walk_plain(const char*& m, const char*& t, MaskResult* result) {
  for (;;) {
    if (*m == '\0') {
      *result = (*t == '\0') ? MASK_MATCH : MASK_TEXT_LEFT;
      return false;
    }
    if (*t == '\0') {
      // A final lone star may match nothing; any other leftover needs text.
      *result = (m[0] == '*' && m[1] == '\0') ? MASK_MATCH : MASK_TEXT_ENDED;
      return false;
    }
    switch (*m) {
      case '*':
        return true;
      case '?':
        break;
      case '[': {
        const char* after = nullptr;
        const MaskResult r = match_class(m + 1, *t, &after);
        if (r != MASK_MATCH) {
          *result = r;
          return false;
        }
        m = after;
        ++t;
        continue;
      }
      case '\\':
        ++m;
        if (*m == '\0') {
          *result = MASK_MALFORMED;
          return false;
        }
        [[fallthrough]];
      default:
        if (*m != *t) {
          *result = MASK_CHAR_MISS;
          return false;
        }
        break;
    }
    ++m;
    ++t;
  }
}

// The character a star run looks for before trying the rest of the mask
// there: the next mask character, unescaped. '[' stands for a class, which is
// tried at every place. Returns '\0' for a lone trailing backslash.
char lead_char(const char* m) { return (*m == '\\') ? m[1] : *m; }

// The two questions a mask is asked: does this text match (match_mask), and
// could some text that starts with this prefix match (mask_can_match_prefix).
// Both follow the same walk and the same star runs; they differ only in what
// the end of the text means, and so in what they answer.
template <class Answer>
struct Question {
  // The text may go on past its end (the prefix question): a "?" there takes
  // a character of that continuation.
  bool text_goes_on;
  Answer matched;    // the mask ended in a star run, which takes the rest
  Answer malformed;  // the mask is broken
  // The text ran out with the mask left at m; `r` is what the matcher would
  // say (MASK_MATCH or MASK_TEXT_ENDED).
  Answer (*ran_out)(const char* m, MaskResult r);
  // The text was refused outside a star run (MASK_CHAR_MISS,
  // MASK_CLASS_MISS, MASK_TEXT_LEFT).
  Answer (*refused)(MaskResult r);
};

// Walks the mask against the text and answers the question.
//
// Each star run tries the rest of the mask at successive text places. A try
// that is refused on a character ("keep looking") moves on to the next place.
// A try that runs out of text settles it: later places have even less text.
// A try that finds the mask broken settles it too. And a try that gets
// through to the next star settles the run as well: what follows decides the
// whole match. That last rule is why this is a loop over star runs rather than
// a recursion, and why matching never takes more than text length times mask
// length steps.
template <class Answer>
Answer ask(const char* m, const char* t, const Question<Answer>& q) {
  MaskResult r;
  if (!walk_plain(m, t, &r)) {
    if (r == MASK_MALFORMED) return q.malformed;
    if (r == MASK_MATCH || r == MASK_TEXT_ENDED) return q.ran_out(m, r);
    return q.refused(r);
  }
  for (;;) {  // m is at a star, t not at its end
    // Stars in a run add nothing to each other; each "?" in it takes one
    // character.
    for (; *m == '*' || *m == '?'; ++m) {
      if (*m != '?') continue;
      if (*t != '\0') {
        ++t;
      } else if (!q.text_goes_on) {
        return q.ran_out(m, MASK_TEXT_ENDED);
      }
    }
    if (*m == '\0') return q.matched;  // a trailing star takes the rest
    const char lead = lead_char(m);
    if (lead == '\0') return q.malformed;
    for (;; ++t) {
      // No try settled the run: with no text left, the end of the text
      // decides (for the prefix question, the run goes on in the
      // continuation).
      if (*t == '\0') return q.ran_out(m, MASK_TEXT_ENDED);
      if (*t != lead && lead != '[') continue;
      const char* try_m = m;
      const char* try_t = t;
      if (walk_plain(try_m, try_t, &r)) {
        m = try_m;
        t = try_t;
        break;  // on to the next star run
      }
      if (r == MASK_MALFORMED) return q.malformed;
      // Out of text: this try settles the run.
      if (r == MASK_MATCH || r == MASK_TEXT_ENDED) return q.ran_out(try_m, r);
      // Refused on a character: the run looks further.
    }
  }
}

// ---- Prefix form ----------------------------------------------------------
//
// The question is whether any continuation s makes prefix + s match. The
// matcher is deterministic, so it is followed over the prefix; the answer
// comes from the point where the prefix runs out with mask left over. From
// there on every character is ours to choose, and the rest of the mask can be
// met exactly when each of its parts accepts some character (see
// rest_can_match).
//
// Inside a star run, all tries at places in the prefix see the same
// continuation, yet only the first try the prefix itself does not refuse
// matters. If it reaches the next star or finds the mask broken, it settles
// the run just as in the matcher. If it runs out of prefix, a continuation
// that meets the rest of the mask from there makes the whole text match; and
// when none can, none can for any later try either, in the prefix or in the
// continuation, since each of those has to meet that same rest after more.

// Finds whether some text character passes the class at m (just past the
// "["); returns the mask just past its "]" if one does, else nullptr. Where
// the class ends does not depend on which character passed.
//
// Only a few characters need trying. A plain class that passes anything also
// passes the first character of the member that accepted it. An inverted
// class passes the lowest byte no member covers, if that is not NUL (no text
// holds one): the lowest byte overall, 1 (just above NUL), or one above the
// top of some member.
const char* class_end_if_passable(const char* m) {
  const char* after = nullptr;
  auto passes = [&](int c) {
    return c != 0 && c <= 127 && match_class(m, static_cast<char>(c), &after) == MASK_MATCH;
  };
  if (passes(-128) || passes(1)) return after;
  const char* p = m;
  if (*p == '!' || *p == '^') ++p;
  if (*p == ']') return nullptr;
  while (*p != ']') {
    char first;
    char last;
    p = read_member(p, &first, &last);
    // A member broken here breaks every character that gets this far.
    if (p == nullptr) return nullptr;
    const int top = std::max(as_signed(first), as_signed(last));
    if (passes(as_signed(first)) || passes(top + 1)) return after;
  }
  return nullptr;
}

// True when some text (the empty one included) gives MASK_MATCH from mask
// position m. Stars and "?" accept whatever is put there and a plain character
// accepts itself, so only a broken escape or a class that passes nothing can
// stand in the way.
bool rest_can_match(const char* m) {
  while (*m != '\0') {
    if (*m == '[') {
      m = class_end_if_passable(m + 1);
      if (m == nullptr) return false;
      continue;
    }
    if (*m == '\\') {
      if (m[1] == '\0') return false;
      ++m;
    }
    ++m;
  }
  return true;
}

}  // namespace

MaskResult match_mask(const char* mask, const char* text) {
  static constexpr Question<MaskResult> MATCH = {false, MASK_MATCH, MASK_MALFORMED,
                                                 [](const char*, MaskResult r) { return r; },
                                                 [](MaskResult r) { return r; }};
  return ask(mask, text, MATCH);
}

bool mask_can_match_prefix(const char* mask, const char* prefix) {
  // Out of prefix: the continuation has to meet the rest of the mask. Refused
  // by the prefix itself, or with more prefix than the mask could take: no.
  static constexpr Question<bool> PREFIX = {
      true, true, false, [](const char* m, MaskResult) { return rest_can_match(m); },
      [](MaskResult) { return false; }};
  return ask(mask, prefix, PREFIX);
}
