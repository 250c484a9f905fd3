#include "catalog/html_color.h"

#include <array>

namespace folivant {

namespace {

constexpr TColor kSystemFlag = 0x80000000u;

constexpr TColor Rgb(unsigned r, unsigned g, unsigned b) {
  return r | (g << 8) | (b << 16);
}

// Indexes as the platform numbers them: scroll bar, desktop, active caption, ... info background.
constexpr std::array<TColor, 25> kClassicColors = {
    Rgb(192, 192, 192),  // 0 scroll bar
    Rgb(0, 128, 128),    // 1 desktop
    Rgb(0, 0, 128),      // 2 active caption
    Rgb(128, 128, 128),  // 3 inactive caption
    Rgb(192, 192, 192),  // 4 menu
    Rgb(255, 255, 255),  // 5 window
    Rgb(0, 0, 0),        // 6 window frame
    Rgb(0, 0, 0),        // 7 menu text
    Rgb(0, 0, 0),        // 8 window text
    Rgb(255, 255, 255),  // 9 caption text
    Rgb(192, 192, 192),  // 10 active border
    Rgb(192, 192, 192),  // 11 inactive border
    Rgb(128, 128, 128),  // 12 application workspace
    Rgb(0, 0, 128),      // 13 highlight
    Rgb(255, 255, 255),  // 14 highlight text
    Rgb(192, 192, 192),  // 15 button face
    Rgb(128, 128, 128),  // 16 button shadow
    Rgb(128, 128, 128),  // 17 grey text
    Rgb(0, 0, 0),        // 18 button text
    Rgb(192, 192, 192),  // 19 inactive caption text
    Rgb(255, 255, 255),  // 20 button highlight
    Rgb(0, 0, 0),        // 21 3D dark shadow
    Rgb(192, 192, 192),  // 22 3D light
    Rgb(0, 0, 0),        // 23 info text
    Rgb(255, 255, 225),  // 24 info background
};

}  // namespace

TColor ClassicSystemColor(TColor value) {
  if ((value & kSystemFlag) == 0) return value;
  const TColor index = value & 0xFFu;
  return index < kClassicColors.size() ? kClassicColors[index] : 0;
}

std::string HtmlColor(TColor value, const TColorResolver& resolver) {
  TColor rgb = value;
  if (value & kSystemFlag) rgb = resolver ? resolver(value) : ClassicSystemColor(value);
  // A resolver that answers with another system colour must not leak the flag into the text.
  if (rgb & kSystemFlag) rgb = ClassicSystemColor(rgb);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "#";
  for (int shift : {0, 8, 16}) {  // red, green, blue
    const unsigned byte = (rgb >> shift) & 0xFFu;
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
  }
  return out;
}

}  // namespace folivant
