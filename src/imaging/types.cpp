#include "imaging/types.h"

namespace folivant {

TPictureLimits& PictureLimits() {
  static TPictureLimits limits;
  return limits;
}

bool PictureSizeAllowed(std::int64_t w, std::int64_t h) {
  const TPictureLimits& lim = PictureLimits();
  if (w < 0 || h < 0 || w > lim.MaxSide || h > lim.MaxSide) return false;
  return w * h <= lim.MaxPixels;
}

void CheckPictureSize(std::int64_t w, std::int64_t h) {
  if (PictureSizeAllowed(w, h)) return;
  const TPictureLimits& lim = PictureLimits();
  throw EImageSizeError("Picture size " + std::to_string(w) + " x " + std::to_string(h) +
                        " exceeds the limit of " + std::to_string(lim.MaxSide) +
                        " pixels a side and " + std::to_string(lim.MaxPixels) + " pixels");
}

TScreenDpi& ScreenDpi() {
  static TScreenDpi dpi;
  return dpi;
}

}  // namespace folivant
