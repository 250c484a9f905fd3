// Colour texts: how the settings file (and the command line) spell a colour value.
#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "imaging/types.h"

namespace folivant {

// A colour text that is neither a colour name nor a whole number.
// what() is "'TEXT' is not a valid integer value".
class EColorTextError : public std::runtime_error {
 public:
  explicit EColorTextError(std::string_view text);
};

struct TColorName {
  std::string_view Name;
  TColor Value;
};

// The 42 named colours ("clBlack" ... "clInfoBk", "clNone"), in a fixed order.
std::span<const TColorName> ColorNames();

// The name when value is a named colour, else "$" and eight upper-case hex digits
// (0x563412 gives "$00563412", 0xFFFFFF gives "clWhite").
std::string ColorToString(TColor value);

// A colour name (any letter case) or a whole number: decimal, or hexadecimal after "$".
// No value for any other text.
std::optional<TColor> TryStringToColor(std::string_view text);

// A colour as the command line takes it: a colour name ("clNavy"), "$00BBGGRR" (or any number
// TryStringToColor reads), or "#RRGGBB".
std::optional<TColor> ParseColorArg(const std::string& text);

// As TryStringToColor; throws EColorTextError for other text.
TColor StringToColor(std::string_view text);

}  // namespace folivant
