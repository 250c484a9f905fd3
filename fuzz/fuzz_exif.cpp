// The EXIF orientation reader on a block as a JPEG APP1 segment or a PNG eXIf chunk holds it,
// and the picture turned by what it finds.
#include "codecs/picture_facts.h"
#include "fuzz_common.h"
#include "imaging/orientation.h"

using namespace folivant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int orientation = ExifOrientation(data, size);
  FUZZ_CHECK(orientation >= 1 && orientation <= 8);
  // A 3 x 2 picture with a white corner: turned, the corner is still there once.
  for (TPixelFormat format : {TPixelFormat::pf24bit, TPixelFormat::pf1bit}) {
    TBitmap bmp;
    bmp.SetPixelFormat(format);
    bmp.SetSize(3, 2);
    bmp.ScanLine(0)[0] = 0xFF;
    TurnUpright(bmp, orientation);
    FUZZ_CHECK(bmp.PixelFormat() == format);
    FUZZ_CHECK(OrientationSwapsSides(orientation) ? bmp.Width() == 2 && bmp.Height() == 3
                                                  : bmp.Width() == 3 && bmp.Height() == 2);
  }
  return 0;
}
