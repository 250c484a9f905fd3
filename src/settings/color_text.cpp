#include "settings/color_text.h"

#include <array>
#include <cctype>
#include <cstdio>

#include "settings/ini_file.h"

namespace folivant {

namespace {

constexpr std::array<TColorName, 42> kNames{{
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clNone", 0x1FFFFFFF},
    {"clScrollBar", 0x80000000},
    {"clBackground", 0x80000001},
    {"clActiveCaption", 0x80000002},
    {"clInactiveCaption", 0x80000003},
    {"clMenu", 0x80000004},
    {"clWindow", 0x80000005},
    {"clWindowFrame", 0x80000006},
    {"clMenuText", 0x80000007},
    {"clWindowText", 0x80000008},
    {"clCaptionText", 0x80000009},
    {"clActiveBorder", 0x8000000A},
    {"clInactiveBorder", 0x8000000B},
    {"clAppWorkSpace", 0x8000000C},
    {"clHighlight", 0x8000000D},
    {"clHighlightText", 0x8000000E},
    {"clBtnFace", 0x8000000F},
    {"clBtnShadow", 0x80000010},
    {"clGrayText", 0x80000011},
    {"clBtnText", 0x80000012},
    {"clInactiveCaptionText", 0x80000013},
    {"clBtnHighlight", 0x80000014},
    {"cl3DDkShadow", 0x80000015},
    {"cl3DLight", 0x80000016},
    {"clInfoText", 0x80000017},
    {"clInfoBk", 0x80000018},
}};

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

EColorTextError::EColorTextError(std::string_view text)
    : std::runtime_error("'" + std::string(text) + "' is not a valid integer value") {}

std::span<const TColorName> ColorNames() {
  return kNames;
}

std::string ColorToString(TColor value) {
  for (const TColorName& n : kNames)
    if (n.Value == value) return std::string(n.Name);
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", static_cast<unsigned>(value));
  return buf;
}

std::optional<TColor> TryStringToColor(std::string_view text) {
  for (const TColorName& n : kNames)
    if (SameName(n.Name, text)) return n.Value;
  if (const auto v = TryStrToInt(text)) return static_cast<TColor>(*v);
  return std::nullopt;
}

TColor StringToColor(std::string_view text) {
  if (const auto v = TryStringToColor(text)) return *v;
  throw EColorTextError(text);
}

std::optional<TColor> ParseColorArg(const std::string& text) {
  if (text.size() == 7 && text[0] == '#') {
    TColor rgb = 0;
    for (std::size_t i = 1; i < 7; ++i) {
      const char c = text[i];
      if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
      rgb = rgb * 16 + static_cast<TColor>(std::isdigit(static_cast<unsigned char>(c))
                                               ? c - '0'
                                               : std::tolower(c) - 'a' + 10);
    }
    // #RRGGBB to the 0x00BBGGRR layout.
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
  }
  return TryStringToColor(text);
}

}  // namespace folivant
