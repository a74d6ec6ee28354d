// Wildcard masks for names and paths.
//
// A mask covers the whole text, from its first character to its last:
//   ?        any one character, "/" included
//   *        any run of characters, empty and "/" included
//   [abx-z]  one character from the class: single characters and ranges
//   [!a-z]   one character not in the class ("[^a-z]" too)
//   \c       the character c itself, also inside a class ("[\]]", "[\-]")
// Any other character stands for itself; bytes compare exactly, with no case
// folding. Where bytes are ordered (class ranges) they compare as signed 8-bit
// values, so bytes 0x80..0xff lie below 0x00..0x7f.
//
// Both functions keep no state, allocate nothing and take time proportional to
// text length times mask length at worst.
#pragma once

// How a mask compared with a text. Only MASK_MATCH is a match; the other codes
// tell the first reason the comparison stopped.
enum MaskResult {
  MASK_MATCH = 1,       // the whole text fits the whole mask
  MASK_TEXT_LEFT = 2,   // the mask ended before the text did
  MASK_TEXT_ENDED = 3,  // the text ended before the mask did
  MASK_CLASS_MISS = 4,  // a text character was not accepted by a [class]
  MASK_CHAR_MISS = 5,   // a text character differed from a plain mask character
  MASK_MALFORMED = 6,   // the mask is broken where the text reached it: an empty
                        // or unclosed class, a range without an end, a lone
                        // trailing backslash
};

// Compares `text` against `mask`.
//
// A few consequences worth knowing:
// - A broken part of the mask is only reported once the text gets there:
//   "abc\" gives MASK_MALFORMED for "abcd" but MASK_TEXT_ENDED for "abc".
// - At the end of the text only a single final star may be left over: "x*"
//   matches "x", but "x**" and "x*?" do not.
// - A star commits to the first place where the rest of the mask gets as far
//   as the next star (or where the text runs out, or the mask turns out to be
//   broken); it never goes back to try a later place after that.
MaskResult match_mask(const char* mask, const char* text);

// True when some text that begins with `prefix` (the prefix alone included)
// gives MASK_MATCH with match_mask(mask, text). The directory walk uses it to
// decide whether a directory can hold anything a mask matches: "/home" is
// entered for "/home/*/docs" because prefix "/home/" can still match.
// A mask that is broken everywhere a text could reach never matches, so it
// gives false.
bool mask_can_match_prefix(const char* mask, const char* prefix);
