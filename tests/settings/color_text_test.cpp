#include "settings/color_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace folivant {
namespace {

// Names against their literal values (0x00BBGGRR; system colours 0x80000000 + index), and
// the other number forms; every name of the table reads back to itself.
TEST(ColorText, NamesAndNumbers) {
  const std::pair<const char*, TColor> names[] = {
      {"clBlack", 0x000000},       {"clMaroon", 0x000080},    {"clGreen", 0x008000},
      {"clOlive", 0x008080},       {"clNavy", 0x800000},      {"clPurple", 0x800080},
      {"clTeal", 0x808000},        {"clGray", 0x808080},      {"clSilver", 0xC0C0C0},
      {"clRed", 0x0000FF},         {"clLime", 0x00FF00},      {"clYellow", 0x00FFFF},
      {"clBlue", 0xFF0000},        {"clFuchsia", 0xFF00FF},   {"clAqua", 0xFFFF00},
      {"clWhite", 0xFFFFFF},       {"clNone", 0x1FFFFFFF},    {"clScrollBar", 0x80000000},
      {"clHighlight", 0x8000000D}, {"clBtnFace", 0x8000000F}, {"clInfoBk", 0x80000018}};
  for (const auto& [name, value] : names) {
    EXPECT_EQ(StringToColor(name), value) << name;
    EXPECT_EQ(ColorToString(value), name);
  }
  std::set<TColor> values;
  for (const TColorName& n : ColorNames()) {
    values.insert(n.Value);
    EXPECT_EQ(ColorToString(StringToColor(n.Name)), n.Name);
  }
  EXPECT_EQ(values.size(), ColorNames().size());
  const std::pair<const char*, TColor> texts[] = {{"CLWHITE", 0xFFFFFF},
                                                  {"$00990000", 0x990000},
                                                  {"$80000005", 0x80000005},
                                                  {"16777215", 0xFFFFFF},
                                                  {"-1", 0xFFFFFFFF}};
  for (const auto& [text, value] : texts) EXPECT_EQ(StringToColor(text), value) << text;
  // A plain colour, and a system index without a name.
  EXPECT_EQ(ColorToString(0x563412) + ColorToString(0x80000019), "$00563412$80000019");
  for (const std::string bad : {"clPink", "", "$", "0x990000", "12 34", "$123456789"}) {
    EXPECT_FALSE(TryStringToColor(bad).has_value()) << bad;
    try {
      StringToColor(bad);
      ADD_FAILURE() << bad;
    } catch (const EColorTextError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + bad + "' is not a valid integer value");
    }
  }
}

}  // namespace
}  // namespace folivant
