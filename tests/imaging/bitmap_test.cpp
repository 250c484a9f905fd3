#include "imaging/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

#include "imaging/orientation.h"
#include "imaging/resample.h"
#include "imaging/types.h"

namespace folivant {
namespace {

TEST(Bitmap, RowsArePaddedAndStoredBottomUp) {
  const struct {
    int width;
    TPixelFormat format;
    std::size_t bytes;
  } rows[] = {{5, TPixelFormat::pf24bit, 16},
              {1, TPixelFormat::pf24bit, 4},
              {32, TPixelFormat::pf1bit, 4},
              {33, TPixelFormat::pf1bit, 8}};
  for (const auto& r : rows) EXPECT_EQ(TBitmap::RowBytesFor(r.width, r.format), r.bytes) << r.width;
  TBitmap b;
  b.SetSize(5, 3);
  EXPECT_EQ(b.ByteSize(), 48u);
  EXPECT_EQ(b.ScanLine(2), b.Bits());  // the bottom row comes first
  EXPECT_EQ(b.ScanLine(0) - b.ScanLine(1), 16);
}

// Which way each orientation turns is checked on the engine's JPEG fixtures; here, that a
// 1-bit picture turns the same as its 24-bit copy and stays 1-bit, with rows that are not a
// whole number of bytes.
TEST(Bitmap, OneBitPicturesTurnUprightAsOneBit) {
  TBitmap bits;
  bits.SetPixelFormat(TPixelFormat::pf1bit);
  bits.SetSize(13, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 13; ++x)
      if ((x * 7 + y * 3) % 5 < 2)
        bits.ScanLine(y)[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    TBitmap turned, wide;
    turned.Assign(bits);
    wide.Assign(bits);
    wide.SetPixelFormat(TPixelFormat::pf24bit);
    TurnUpright(turned, orientation);
    TurnUpright(wide, orientation);
    EXPECT_EQ(turned.PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(turned.Width(), OrientationSwapsSides(orientation) ? 5 : 13);
    turned.SetPixelFormat(TPixelFormat::pf24bit);
    ASSERT_EQ(turned.Width(), wide.Width());
    for (int y = 0; y < wide.Height(); ++y)
      EXPECT_EQ(std::memcmp(turned.ScanLine(y), wide.ScanLine(y), 3 * wide.Width()), 0) << y;
  }
}

TEST(Bitmap, SizeLimitIsCheckedBeforeAllocating) {
  // Each side at most 65535, at most 250 million pixels.
  const struct {
    std::int64_t w, h;
    bool allowed;
  } sizes[] = {{65535, 1, true},     {65536, 1, false},     {1, 65535, true}, {1, 65536, false},
               {20000, 12500, true}, {20000, 12501, false}, {-1, 1, false},   {0, 0, true}};
  for (const auto& s : sizes)
    EXPECT_EQ(PictureSizeAllowed(s.w, s.h), s.allowed) << s.w << "x" << s.h;
  TBitmap b;
  b.SetSize(10, 10);
  try {
    b.SetSize(65535, 65535);
    FAIL();
  } catch (const EImageSizeError& e) {
    EXPECT_NE(std::string(e.what()).find("65535 x 65535"), std::string::npos);
  }
  EXPECT_EQ(b.Width(), 10);                          // unchanged
  EXPECT_EQ(ColorToRGBValue(clBtnFace), 0xC0C0C0u);  // the classic system colours
  EXPECT_EQ(ColorToRGBValue(0x800000FF), 0u);
}

// Nearest neighbour with centres mapped on centres, here in 1-bit (24-bit: the fuzz target).
TEST(StretchPlain, CentresMapOnCentres) {
  TBitmap mono;
  mono.SetPixelFormat(TPixelFormat::pf1bit);
  mono.SetSize(2, 1);
  mono.ScanLine(0)[0] = 0x40;  // right pixel white
  TBitmap out;
  out.SetSize(9, 1);  // takes the source's format
  StretchPlain(mono, out);
  EXPECT_EQ(out.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(out.ScanLine(0)[0] * 256 + out.ScanLine(0)[1], 0x0F80);  // pixels 4..8 white
}

}  // namespace
}  // namespace folivant
