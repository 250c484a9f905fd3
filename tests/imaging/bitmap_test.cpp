#include "imaging/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

#include "imaging/orientation.h"
#include "imaging/resample.h"
#include "imaging/types.h"

namespace folivant {
namespace {

TEST(Bitmap, RowsArePaddedAndStoredBottomUp) {
  TBitmap b;
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(b.Width(), 0);
  b.SetSize(5, 3);
  EXPECT_EQ(b.RowBytes(), 16u);  // 15 bytes padded to 16
  EXPECT_EQ(b.ByteSize(), 48u);
  EXPECT_EQ(b.ScanLine(2), b.Bits());  // the bottom row comes first
  EXPECT_EQ(b.ScanLine(0) - b.ScanLine(1), 16);
  EXPECT_EQ(TBitmap::RowBytesFor(33, TPixelFormat::pf1bit), 8u);
  EXPECT_EQ(TBitmap::RowBytesFor(32, TPixelFormat::pf1bit), 4u);
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

TEST(Bitmap, SizeOverTheLimitFailsBeforeAllocating) {
  const TPictureLimits saved = PictureLimits();
  PictureLimits().MaxPixels = 100;
  TBitmap b;
  b.SetSize(10, 10);
  EXPECT_THROW(b.SetSize(11, 10), EImageSizeError);
  EXPECT_EQ(b.Width(), 10);  // unchanged
  PictureLimits() = saved;
  EXPECT_THROW(b.SetSize(70000, 1), EImageSizeError);
  EXPECT_THROW(b.SetSize(-1, 1), EImageSizeError);
  // A huge request names its size instead of failing inside the allocator.
  try {
    b.SetSize(65535, 65535);
    FAIL();
  } catch (const EImageSizeError& e) {
    EXPECT_NE(std::string(e.what()).find("65535 x 65535"), std::string::npos);
  }
}

TEST(Bitmap, PixelFormatConversionKeepsContent) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf1bit);
  b.SetSize(10, 2);
  b.ScanLine(0)[0] = 0xA0;  // pixels 0 and 2 white
  b.ScanLine(1)[1] = 0x40;  // pixel 9 white
  b.SetPixelFormat(TPixelFormat::pf24bit);
  ASSERT_EQ(b.Width(), 10);
  EXPECT_EQ(b.ScanLine(0)[0], 255);
  EXPECT_EQ(b.ScanLine(0)[3], 0);
  EXPECT_EQ(b.ScanLine(0)[6 + 2], 255);
  EXPECT_EQ(b.ScanLine(1)[27], 255);
  EXPECT_EQ(b.ScanLine(1)[24], 0);
  b.SetPixelFormat(TPixelFormat::pf1bit);
  EXPECT_EQ(b.ScanLine(0)[0], 0xA0);
  EXPECT_EQ(b.ScanLine(1)[1], 0x40);
}

TEST(Bitmap, AssignDrawAndClear) {
  TBitmap a;
  a.SetSize(3, 2);
  for (std::size_t i = 0; i < a.ByteSize(); ++i) a.Bits()[i] = static_cast<std::uint8_t>(i);
  TBitmap b;
  b.Assign(a);
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(0, std::memcmp(a.Bits(), b.Bits(), a.ByteSize()));

  TBitmap big;
  big.SetSize(4, 4);
  big.Draw(a);  // into the top-left corner
  EXPECT_EQ(big.ScanLine(0)[0], a.ScanLine(0)[0]);
  EXPECT_EQ(big.ScanLine(1)[8], a.ScanLine(1)[8]);
  EXPECT_EQ(big.ScanLine(2)[0], 0);

  TBitmap mono;
  mono.SetPixelFormat(TPixelFormat::pf1bit);
  mono.SetSize(4, 1);
  EXPECT_THROW(big.Draw(mono), std::invalid_argument);

  b.Clear();
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.ByteSize(), 0u);
}

TEST(StretchPlain, NearestNeighbourBothFormats) {
  TBitmap src;
  src.SetSize(2, 2);
  src.ScanLine(0)[0] = 10;
  src.ScanLine(0)[3] = 20;
  src.ScanLine(1)[0] = 30;
  src.ScanLine(1)[3] = 40;
  TBitmap dst;
  dst.SetSize(4, 3);
  StretchPlain(src, dst);
  EXPECT_EQ(dst.ScanLine(0)[0], 10);
  EXPECT_EQ(dst.ScanLine(0)[3], 10);
  EXPECT_EQ(dst.ScanLine(0)[6], 20);
  EXPECT_EQ(dst.ScanLine(0)[9], 20);
  EXPECT_EQ(dst.ScanLine(2)[9], 40);

  TBitmap mono;
  mono.SetPixelFormat(TPixelFormat::pf1bit);
  mono.SetSize(2, 1);
  mono.ScanLine(0)[0] = 0x40;  // right pixel white
  TBitmap out;
  out.SetSize(9, 1);  // takes the source's format
  StretchPlain(mono, out);
  EXPECT_EQ(out.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(out.ScanLine(0)[0], 0x0F);  // pixels 4..8 white
  EXPECT_EQ(out.ScanLine(0)[1], 0x80);

  TBitmap none;  // nothing to draw into, nothing read
  StretchPlain(src, none);
  TBitmap empty;
  TBitmap d2;
  d2.SetSize(2, 2);
  StretchPlain(empty, d2);
  EXPECT_EQ(d2.ScanLine(0)[0], 0);
}

TEST(Colors, SystemColoursResolveToTheClassicTable) {
  EXPECT_EQ(ColorToRGBValue(clBtnFace), 0xC0C0C0u);
  EXPECT_EQ(ColorToRGBValue(0x00123456), 0x123456u);
  EXPECT_EQ(ColorToRGBValue(0x800000FF), 0u);  // no such index
}

}  // namespace
}  // namespace folivant
