// The list's own colours against the theme's: the group headers' and
// comment rows' text, and the backgrounds of tagged and untagged rows. On a
// light theme they are the list's usual colours (COMMENT_COLOUR, TAG_COLOUR,
// PLAIN_COLOUR); where the theme's list background or text would make one
// hard to read (a dark theme), a variant of the same hue that reads at a
// contrast of at least 4.5:1 takes its place.
#pragma once

#include <gtk/gtk.h>

// The least contrast between a text and its background (WCAG 2, level AA).
inline constexpr double READABLE_CONTRAST = 4.5;

// WCAG 2 relative luminance of the colour (its alpha is not looked at).
double relative_luminance(const GdkRGBA& colour);
// (L1 + 0.05) / (L2 + 0.05), the lighter colour's luminance on top: 1 to 21.
double contrast_ratio(const GdkRGBA& a, const GdkRGBA& b);

// The colour itself when its contrast against `against` is at least
// `ratio`; else the colour of the same hue and saturation whose lightness
// is the nearest to its own that reaches the ratio (the highest contrast
// the hue has, when none does).
GdkRGBA readable_variant(const GdkRGBA& colour, const GdkRGBA& against,
                         double ratio = READABLE_CONTRAST);

struct ListColours {
  GdkRGBA comment_text;      // group headers and comment rows
  GdkRGBA tag_background;    // a tagged row
  GdkRGBA plain_background;  // a row that was untagged
};

// The list's colours for a view with this background and text colour:
// the comment text reads against the background, the theme's text reads
// on a tagged row, and an untagged row takes the view's own background when
// the theme's text does not read on PLAIN_COLOUR.
ListColours list_colours(const GdkRGBA& view_background, const GdkRGBA& view_text);
