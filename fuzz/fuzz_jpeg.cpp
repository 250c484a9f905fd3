// The JPEG reader on a whole file: header only, then full size, then at a scale chosen by the
// last byte (the automatic scale included).
#include "fuzz_reader_common.h"

using namespace folivant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::SetUpCodecs();
  const std::uint8_t last = size ? data[size - 1] : 0;
  for (int pass = 0; pass < 3; ++pass) {
    TBitmap bmp;
    TIOParamsVals params;
    const bool paramsOnly = pass == 0;
    if (pass == 2) {
      params.JpegScale = last % 5;
      params.JpegDctMethod = (last >> 3) % 3;
      params.Width = 40;
      params.Height = 30;
    }
    const auto out = fuzz::RunReader(data, size, bmp, params, paramsOnly, ReadJpegStream);
    if (paramsOnly) {
      FUZZ_CHECK(bmp.Width() == 0 && bmp.Height() == 0);
      if (out.aborting || out.sizeRefused) break;
    } else if (!out.aborting && !out.sizeRefused) {
      FUZZ_CHECK(bmp.Width() == params.Width && bmp.Height() == params.Height);
      FUZZ_CHECK(bmp.PixelFormat() == TPixelFormat::pf24bit);
    }
  }
  return 0;
}
