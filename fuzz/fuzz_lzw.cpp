// The GIF LZW decoder alone: picture size and interlacing from the first five bytes, the
// rest is the image data (minimum code size byte, then sub-blocks).
#include <cstring>
#include <memory>

#include "fuzz_common.h"
#include "imaging/stream.h"

using namespace folivant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::ByteReader in(data, size);
  const int width = 1 + in.Word() % 300;
  const int height = 1 + in.Word() % 300;
  const bool interlaced = in.Byte() & 1;
  const std::size_t count = static_cast<std::size_t>(width) * height;
  // Exactly width x height bytes: any write past them is a sanitizer report.
  std::unique_ptr<std::uint8_t[]> pixels(new std::uint8_t[count]);
  std::memset(pixels.get(), 0, count);

  TMemoryStream s(in.Rest(), in.RestSize());
  DecodeGifLzw(s, height, width, interlaced, pixels.get());

  const std::int64_t end = s.Position();
  FUZZ_CHECK(end >= 0 && end <= static_cast<std::int64_t>(in.RestSize()));
  if (end > 0 && in.RestSize() > 0) {
    // Decoded: every index is a string of literals below the clear code.
    const int minCodeSize = in.Rest()[0];
    if (minCodeSize >= 2 && minCodeSize <= 7) {
      for (std::size_t i = 0; i < count; ++i) FUZZ_CHECK(pixels[i] < (1 << minCodeSize));
    }
  }
  return 0;
}
