#include "settings/color_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace folivant {
namespace {

TEST(ColorText, NamesAndHexRoundTrip) {
  EXPECT_EQ(ColorNames().size(), 42u);
  std::set<TColor> values;
  for (const TColorName& n : ColorNames()) {
    values.insert(n.Value);
    EXPECT_EQ(ColorToString(n.Value), n.Name);
    EXPECT_EQ(StringToColor(n.Name), n.Value);
  }
  EXPECT_EQ(values.size(), 42u);  // no two names share a value
  EXPECT_EQ(ColorToString(0xFFFFFF), "clWhite");
  EXPECT_EQ(ColorToString(0x800080), "clPurple");
  EXPECT_EQ(ColorToString(0x563412), "$00563412");
  EXPECT_EQ(ColorToString(0x990000), "$00990000");
  EXPECT_EQ(ColorToString(0x80000019), "$80000019");  // system index without a name
  EXPECT_EQ(StringToColor("CLWHITE"), 0xFFFFFFu);
  EXPECT_EQ(StringToColor("clbtnface"), 0x8000000Fu);
  EXPECT_EQ(StringToColor("$00990000"), 0x990000u);
  EXPECT_EQ(StringToColor("$80000005"), 0x80000005u);
  EXPECT_EQ(StringToColor("16777215"), 0xFFFFFFu);
  EXPECT_EQ(StringToColor("-1"), 0xFFFFFFFFu);
}

TEST(ColorText, OtherTextIsAnError) {
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
