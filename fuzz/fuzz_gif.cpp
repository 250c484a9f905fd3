// The GIF reader on a whole file: first with the header only, then decoding the first image,
// and the second image when the file has more than one.
#include "fuzz_reader_common.h"

using namespace folivant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::SetUpCodecs();
  int images = 0;
  auto read = [&](TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                  TProgressRec& progress) {
    ReadGifStream(s, bmp, images, paramsOnly, progress, params);
  };

  {
    TBitmap bmp;
    TIOParamsVals params;
    fuzz::RunReader(data, size, bmp, params, true, read);
    FUZZ_CHECK(bmp.Width() == 0 && bmp.Height() == 0);  // params only: bitmap untouched
  }
  for (int index = 0; index < 2; ++index) {
    TBitmap bmp;
    TIOParamsVals params;
    params.GifImageIndex = index;
    images = 0;
    const auto out = fuzz::RunReader(data, size, bmp, params, false, read);
    if (!out.aborting && !out.sizeRefused && images > index) {
      // The wanted image was decoded into a bitmap of its own size.
      FUZZ_CHECK(bmp.Width() == params.Width && bmp.Height() == params.Height);
      FUZZ_CHECK(params.ColorMapCount == static_cast<int>(params.ColorMap.size()));
    }
    if (images < 2) break;
  }
  return 0;
}
