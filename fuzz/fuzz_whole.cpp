// The whole picture path of a build: bytes, loaded by content, made into a thumbnail of a
// fixed height with a filter, saved as JPEG in memory, and read back.
#include <stdexcept>

#include "fuzz_common.h"
#include "imaging/image_box.h"
#include "imaging/stream.h"

using namespace folivant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::SetUpCodecs();
  fuzz::ByteReader in(data, size);
  const int thumbHeight = 10 + in.Byte() % 60;
  const std::uint8_t mode = in.Byte();
  const auto filter = static_cast<TResampleFilter>(mode % 7);
  const bool progressive = (mode & 0x80) != 0;

  TImageBox box;
  TMemoryStream picture(in.Rest(), in.RestSize());
  try {
    box.IO().LoadFromStream(picture);
  } catch (const EImageSizeError&) {
    return 0;
  }
  if (box.Aborting() || box.Bitmap().Width() == 0 || box.Bitmap().Height() == 0) return 0;

  const int w = box.Bitmap().Width(), h = box.Bitmap().Height();
  try {
    box.Resample(-1, thumbHeight, filter);
  } catch (const std::runtime_error&) {
    // Refused (a wide, low picture whose thumbnail would pass the size limit): picture kept.
    FUZZ_CHECK(box.Bitmap().Width() == w && box.Bitmap().Height() == h);
    return 0;
  }
  const int tw = box.Bitmap().Width(), th = box.Bitmap().Height();
  FUZZ_CHECK(th == thumbHeight && tw > 0);

  box.IOParams().JpegColorSpace = 0;
  box.IOParams().JpegQuality = 75;
  box.IOParams().JpegProgressive = progressive;
  TMemoryStream jpeg;
  box.IO().SaveToStreamJpeg(jpeg);
  FUZZ_CHECK(!box.Aborting());

  TMemoryStream back(jpeg.Bytes().data(), jpeg.Bytes().size());
  TBitmap bmp;
  TIOParamsVals params;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  ReadJpegStream(back, bmp, params, false, progress);
  FUZZ_CHECK(!aborting);
  FUZZ_CHECK(bmp.Width() == tw && bmp.Height() == th);
  FUZZ_CHECK(params.JpegColorSpace == 0 && params.JpegProgressive == progressive);
  return 0;
}
