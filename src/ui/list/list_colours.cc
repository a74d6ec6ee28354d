#include "ui/list/list_colours.h"

#include <algorithm>
#include <cmath>

#include "ui/list/result_list.h"

namespace {

double linear(double channel) {
  return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

struct Hsl {
  double h, s, l;  // hue in turns (0 to 1), saturation and lightness 0 to 1
};

Hsl to_hsl(const GdkRGBA& c) {
  const double high = std::max({c.red, c.green, c.blue});
  const double low = std::min({c.red, c.green, c.blue});
  Hsl out{0.0, 0.0, (high + low) / 2};
  const double range = high - low;
  if (range <= 0.0) return out;
  out.s = out.l > 0.5 ? range / (2.0 - high - low) : range / (high + low);
  if (high == c.red) {
    out.h = (c.green - c.blue) / range + (c.green < c.blue ? 6.0 : 0.0);
  } else if (high == c.green) {
    out.h = (c.blue - c.red) / range + 2.0;
  } else {
    out.h = (c.red - c.green) / range + 4.0;
  }
  out.h /= 6.0;
  return out;
}

double hue_channel(double p, double q, double t) {
  if (t < 0.0) t += 1.0;
  if (t > 1.0) t -= 1.0;
  if (t < 1.0 / 6) return p + (q - p) * 6 * t;
  if (t < 0.5) return q;
  if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
  return p;
}

GdkRGBA from_hsl(const Hsl& c, double alpha) {
  if (c.s <= 0.0) return {c.l, c.l, c.l, alpha};
  const double q = c.l < 0.5 ? c.l * (1 + c.s) : c.l + c.s - c.l * c.s;
  const double p = 2 * c.l - q;
  return {hue_channel(p, q, c.h + 1.0 / 3), hue_channel(p, q, c.h),
          hue_channel(p, q, c.h - 1.0 / 3), alpha};
}

}  // namespace

double relative_luminance(const GdkRGBA& c) {
  return 0.2126 * linear(c.red) + 0.7152 * linear(c.green) + 0.0722 * linear(c.blue);
}

double contrast_ratio(const GdkRGBA& a, const GdkRGBA& b) {
  const double la = relative_luminance(a), lb = relative_luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

GdkRGBA readable_variant(const GdkRGBA& colour, const GdkRGBA& against, double ratio) {
  if (contrast_ratio(colour, against) >= ratio) return colour;
  const Hsl base = to_hsl(colour);
  constexpr int STEPS = 400;  // lightness in steps of 1/400
  GdkRGBA best = colour;
  double best_contrast = contrast_ratio(colour, against);
  // Outwards from the colour's own lightness, lighter and darker by turns:
  // the first that reads is the nearest.
  for (int step = 1; step <= STEPS; ++step) {
    for (int sign : {1, -1}) {
      const double l = base.l + sign * static_cast<double>(step) / STEPS;
      if (l < 0.0 || l > 1.0) continue;
      const GdkRGBA candidate = from_hsl({base.h, base.s, l}, colour.alpha);
      const double contrast = contrast_ratio(candidate, against);
      if (contrast >= ratio) return candidate;
      if (contrast > best_contrast) {
        best = candidate;
        best_contrast = contrast;
      }
    }
  }
  return best;
}

ListColours list_colours(const GdkRGBA& view_background, const GdkRGBA& view_text) {
  ListColours colours;
  colours.comment_text = readable_variant(COMMENT_COLOUR, view_background);
  colours.tag_background = readable_variant(TAG_COLOUR, view_text);
  colours.plain_background =
      contrast_ratio(PLAIN_COLOUR, view_text) >= READABLE_CONTRAST ? PLAIN_COLOUR : view_background;
  return colours;
}
