// The list's colours against a theme's list background and text.
#include "ui/list/list_colours.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/list/result_list.h"

namespace {

GdkRGBA rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0, 1.0}; }

bool same(const GdkRGBA& a, const GdkRGBA& b) { return gdk_rgba_equal(&a, &b); }

TEST(ListColours, ContrastFollowsWcag) {
  EXPECT_NEAR(contrast_ratio(rgb(0, 0, 0), rgb(255, 255, 255)), 21.0, 1e-9);
  EXPECT_NEAR(contrast_ratio(rgb(255, 255, 255), rgb(0, 0, 0)), 21.0, 1e-9);
  EXPECT_NEAR(contrast_ratio(COMMENT_COLOUR, rgb(0x2D, 0x2D, 0x2D)), 1.06, 0.01);
  EXPECT_NEAR(contrast_ratio(rgb(0x80, 0x80, 0x80), rgb(0x80, 0x80, 0x80)), 1.0, 1e-9);
}

// Each background: the list's usual colours where they read (light
// backgrounds), variants of their hues where they do not, always at 4.5:1
// or better.
TEST(ListColours, KeepsTheUsualColoursWhereTheyReadAndElseFindsReadableVariants) {
  struct Case {
    const char* name;
    GdkRGBA background, text;
    bool usual;  // the usual three colours
  };
  const Case cases[] = {
      {"white", rgb(255, 255, 255), rgb(0, 0, 0), true},
      {"Adwaita", rgb(255, 255, 255), rgb(0x2E, 0x34, 0x36), true},
      {"#2D2D2D with light text", rgb(0x2D, 0x2D, 0x2D), rgb(0xEE, 0xEE, 0xEC), false},
      {"Adwaita-dark (white text on #2D2D2D)", rgb(0x2D, 0x2D, 0x2D), rgb(255, 255, 255), false},
      {"near black", rgb(0x1E, 0x1E, 0x1E), rgb(0xDE, 0xDD, 0xDA), false},
      {"mid grey with black text", rgb(0x80, 0x80, 0x80), rgb(0, 0, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ListColours colours = list_colours(c.background, c.text);
    EXPECT_GE(contrast_ratio(colours.comment_text, c.background), READABLE_CONTRAST);
    EXPECT_GE(contrast_ratio(colours.tag_background, c.text), READABLE_CONTRAST);
    EXPECT_GE(contrast_ratio(colours.plain_background, c.text), READABLE_CONTRAST);
    // The hues stay: blue text, a tan tag.
    EXPECT_GT(colours.comment_text.blue, colours.comment_text.red);
    EXPECT_NEAR(colours.comment_text.red, colours.comment_text.green, 0.02);
    EXPECT_GT(colours.tag_background.red, colours.tag_background.green);
    EXPECT_GT(colours.tag_background.green, colours.tag_background.blue);
    if (c.usual) {
      EXPECT_TRUE(same(colours.comment_text, COMMENT_COLOUR));
      EXPECT_TRUE(same(colours.tag_background, TAG_COLOUR));
      EXPECT_TRUE(same(colours.plain_background, PLAIN_COLOUR));
    } else {
      EXPECT_FALSE(same(colours.comment_text, COMMENT_COLOUR) &&
                   same(colours.tag_background, TAG_COLOUR));
    }
  }
}

// On a dark background the header text is a lighter blue; on the mid grey,
// where no lighter blue reads, a darker one.
TEST(ListColours, MovesTheLightnessTheLeastThatReads) {
  const GdkRGBA dark = rgb(0x2D, 0x2D, 0x2D);
  const GdkRGBA lighter = readable_variant(COMMENT_COLOUR, dark);
  EXPECT_GT(relative_luminance(lighter), relative_luminance(COMMENT_COLOUR));
  EXPECT_LT(contrast_ratio(lighter, dark), READABLE_CONTRAST + 0.2) << "no lighter than needed";

  const GdkRGBA grey = rgb(0x80, 0x80, 0x80);
  const GdkRGBA darker = readable_variant(COMMENT_COLOUR, grey);
  EXPECT_LT(relative_luminance(darker), relative_luminance(COMMENT_COLOUR));
  EXPECT_GE(contrast_ratio(darker, grey), READABLE_CONTRAST);

  EXPECT_TRUE(same(readable_variant(COMMENT_COLOUR, rgb(255, 255, 255)), COMMENT_COLOUR));
}

}  // namespace
