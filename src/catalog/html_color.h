// Colour values as HTML colour strings ("#RRGGBB").
#pragma once

#include <functional>
#include <string>

#include "imaging/types.h"

namespace folivant {

// Turns a system colour (0x80000000 + index) into a plain 0x00BBGGRR value. The window answers
// from its palette; the command line uses ClassicSystemColor.
using TColorResolver = std::function<TColor(TColor)>;

// The classic default desktop colours for the system colour indexes 0..24 (15, the button face,
// is 0xC0C0C0). An unknown index gives black, as the platform call does. A plain colour is
// returned unchanged.
TColor ClassicSystemColor(TColor value);

// "#" and the red, green and blue bytes as two upper-case hexadecimal digits each. A system
// colour goes through resolver first (ClassicSystemColor when resolver is empty).
std::string HtmlColor(TColor value, const TColorResolver& resolver = {});

}  // namespace folivant
