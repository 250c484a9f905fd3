#include <cstdint>

#include "codecs/codecs.h"

namespace folivant {

// The markers before the first frame header are walked by their lengths, within the first few
// megabytes; nothing is decoded and nothing allocated.
bool ReadJpegFrameSize(TStream& s, int& width, int& height) {
  auto byte = [&]() -> int {
    std::uint8_t b = 0;
    return s.Read(&b, 1) == 1 ? b : -1;
  };
  const std::int64_t start = s.Position();
  if (byte() != 0xFF || byte() != 0xD8) return false;
  constexpr std::int64_t kMaxScan = 8 << 20;
  while (s.Position() - start < kMaxScan) {
    int c = byte();
    if (c != 0xFF) return false;
    do c = byte();
    while (c == 0xFF);  // fill bytes
    if (c < 0) return false;
    if (c == 0x01 || (c >= 0xD0 && c <= 0xD7)) continue;  // markers without a length
    if (c == 0xD9 || c == 0xDA) return false;             // end, or scan data before a frame
    const int hi = byte(), lo = byte();
    if (hi < 0 || lo < 0) return false;
    const int length = (hi << 8) | lo;
    if (length < 2) return false;
    const bool frame = c >= 0xC0 && c <= 0xCF && c != 0xC4 && c != 0xC8 && c != 0xCC;
    if (frame) {
      std::uint8_t h[5];
      if (length < 7 || s.Read(h, 5) != 5) return false;
      height = (h[1] << 8) | h[2];
      width = (h[3] << 8) | h[4];
      return width > 0 && height > 0;
    }
    s.Seek(length - 2, TSeekOrigin::soCurrent);
  }
  return false;
}

}  // namespace folivant
