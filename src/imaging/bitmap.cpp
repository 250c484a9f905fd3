#include "imaging/bitmap.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "imaging/types.h"

namespace folivant {

std::size_t TBitmap::RowBytesFor(int width, TPixelFormat format) {
  const std::size_t bits = format == TPixelFormat::pf24bit ? 24 : 1;
  return ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
}

void TBitmap::SetSize(int width, int height) {
  Resize(width, height, true);
}

void TBitmap::SetSizeForOverwrite(int width, int height) {
  Resize(width, height, false);
}

void TBitmap::Resize(int width, int height, bool clear) {
  CheckPictureSize(width, height);
  if (width == width_ && height == height_) return;
  const std::size_t rowBytes = RowBytesFor(width, format_);
  const std::size_t bytes = rowBytes * static_cast<std::size_t>(height);
  // A build loads one large picture after another into the same bitmap: keeping the block
  // saves mapping and faulting in tens of megabytes per picture. Very large blocks are
  // given back once a picture no longer needs them.
  constexpr std::size_t kKeepLimit = std::size_t{64} << 20;
  if (bytes < bits_.capacity() / 4 && bits_.capacity() > kKeepLimit) {
    std::vector<std::uint8_t, TUnclearedAllocator>().swap(bits_);
  }
  width_ = width;
  height_ = height;
  if (clear) {
    bits_.assign(bytes, 0);
    return;
  }
  bits_.resize(bytes);
  const std::size_t used = (static_cast<std::size_t>(width) * BitsPerPixel() + 7) / 8;
  if (used < rowBytes)
    for (int y = 0; y < height; ++y) std::memset(ScanLine(y) + used, 0, rowBytes - used);
}

void TBitmap::ClearRowsFrom(int y) {
  if (y < 0) y = 0;
  if (y >= height_) return;
  // Rows are stored bottom-up: rows y..height-1 are the first height - y rows of the block.
  std::memset(bits_.data(), 0, static_cast<std::size_t>(height_ - y) * RowBytes());
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == format_) return;
  TBitmap converted;
  converted.format_ = format;
  converted.SetSize(width_, height_);
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* s = ScanLine(y);
    std::uint8_t* d = converted.ScanLine(y);
    for (int x = 0; x < width_; ++x) {
      if (format == TPixelFormat::pf24bit) {
        const std::uint8_t v = (s[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = v;
      } else {
        const int lum = (s[3 * x] * 29 + s[3 * x + 1] * 150 + s[3 * x + 2] * 77) >> 8;
        if (lum >= 128) d[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
      }
    }
  }
  *this = std::move(converted);
}

void TBitmap::Assign(const TBitmap& src) {
  if (&src == this) return;
  width_ = src.width_;
  height_ = src.height_;
  format_ = src.format_;
  bits_ = src.bits_;
}

void TBitmap::Draw(const TBitmap& src) {
  if (src.format_ != format_) throw std::invalid_argument("Draw: pixel formats differ");
  const int h = std::min(height_, src.height_);
  const int w = std::min(width_, src.width_);
  if (w <= 0 || h <= 0) return;
  const std::size_t n = format_ == TPixelFormat::pf24bit ? static_cast<std::size_t>(w) * 3
                                                         : static_cast<std::size_t>(w) / 8;
  const int restBits = format_ == TPixelFormat::pf1bit ? w % 8 : 0;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* d = ScanLine(y);
    const std::uint8_t* s = src.ScanLine(y);
    std::memcpy(d, s, n);
    if (restBits) {
      const std::uint8_t mask = static_cast<std::uint8_t>(0xFF00 >> restBits);
      d[n] = static_cast<std::uint8_t>((d[n] & ~mask) | (s[n] & mask));
    }
  }
}

void TBitmap::Reset() {
  bits_.clear();
  width_ = height_ = 0;
  format_ = TPixelFormat::pf24bit;
}

void TBitmap::Clear() {
  bits_.clear();
  bits_.shrink_to_fit();
  width_ = height_ = 0;
}

}  // namespace folivant
