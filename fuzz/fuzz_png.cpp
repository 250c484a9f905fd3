// The PNG reader on a whole file: header only, then the pixels, with a background colour for
// transparency taken from the last byte.
#include "fuzz_reader_common.h"

using namespace folivant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::SetUpCodecs();
  const std::uint8_t shade = size ? data[size - 1] : 0;
  for (bool paramsOnly : {true, false}) {
    TBitmap bmp;
    TIOParamsVals params;
    params.PngBackground = TRGB{shade, static_cast<std::uint8_t>(255 - shade), 0x40};
    const auto out = fuzz::RunReader(data, size, bmp, params, paramsOnly, ReadPngStream);
    if (paramsOnly) {
      FUZZ_CHECK(bmp.Width() == 0 && bmp.Height() == 0);
    } else if (!out.aborting && !out.sizeRefused) {
      FUZZ_CHECK(bmp.Width() == params.Width && bmp.Height() == params.Height);
      // 1-bit only for a 1-bit file (and then only black and white).
      if (bmp.PixelFormat() == TPixelFormat::pf1bit) FUZZ_CHECK(params.BitsPerSample == 1);
    }
  }
  return 0;
}
