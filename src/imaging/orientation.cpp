#include "imaging/orientation.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace folivant {

namespace {

// Where the upright pixel (x, y) comes from: sx = x0 + xx*x + xy*y, sy = y0 + yx*x + yy*y.
struct SourceMap {
  int x0, xx, xy;
  int y0, yx, yy;
};

SourceMap MapFor(int orientation, int w, int h) {
  switch (orientation) {
    case 2:  // mirrored left to right
      return {w - 1, -1, 0, 0, 0, 1};
    case 3:  // upside down
      return {w - 1, -1, 0, h - 1, 0, -1};
    case 4:  // mirrored top to bottom
      return {0, 1, 0, h - 1, 0, -1};
    case 5:  // mirrored across the main diagonal
      return {0, 0, 1, 0, 1, 0};
    case 6:  // needs a quarter turn clockwise
      return {0, 0, 1, h - 1, -1, 0};
    case 7:  // mirrored across the other diagonal
      return {w - 1, 0, -1, h - 1, -1, 0};
    default:  // 8: needs a quarter turn counter-clockwise
      return {w - 1, 0, -1, 0, 1, 0};
  }
}

// Square blocks keep both the rows read and the rows written in cache on a quarter turn.
constexpr int kBlock = 32;

template <typename CopyPixel>
void Remap(const TBitmap& src, TBitmap& dst, const SourceMap& m, CopyPixel copy) {
  const int dw = dst.Width(), dh = dst.Height();
  for (int by = 0; by < dh; by += kBlock) {
    const int yEnd = std::min(dh, by + kBlock);
    for (int bx = 0; bx < dw; bx += kBlock) {
      const int xEnd = std::min(dw, bx + kBlock);
      for (int y = by; y < yEnd; ++y) {
        std::uint8_t* out = dst.ScanLine(y);
        for (int x = bx; x < xEnd; ++x) {
          const int sx = m.x0 + m.xx * x + m.xy * y;
          const int sy = m.y0 + m.yx * x + m.yy * y;
          copy(src.ScanLine(sy), sx, out, x);
        }
      }
    }
  }
}

}  // namespace

void TurnUpright(TBitmap& bmp, int orientation) {
  if (orientation < 2 || orientation > 8) return;
  const int w = bmp.Width(), h = bmp.Height();
  if (w <= 0 || h <= 0) return;
  TBitmap dst;
  dst.SetPixelFormat(bmp.PixelFormat());
  if (OrientationSwapsSides(orientation))
    dst.SetSize(h, w);
  else
    dst.SetSize(w, h);
  const SourceMap m = MapFor(orientation, w, h);
  if (bmp.PixelFormat() == TPixelFormat::pf24bit) {
    Remap(bmp, dst, m, [](const std::uint8_t* in, int sx, std::uint8_t* out, int x) {
      out[3 * x] = in[3 * sx];
      out[3 * x + 1] = in[3 * sx + 1];
      out[3 * x + 2] = in[3 * sx + 2];
    });
  } else {
    // A new bitmap starts all black (clear bits): only white pixels are written.
    Remap(bmp, dst, m, [](const std::uint8_t* in, int sx, std::uint8_t* out, int x) {
      if (in[sx >> 3] & (0x80 >> (sx & 7)))
        out[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    });
  }
  bmp = std::move(dst);
}

}  // namespace folivant
