#include "imaging/types.h"

namespace folivant {

TColor ColorToRGBValue(TColor c) {
  if ((c & 0xFF000000u) != 0x80000000u) return c & 0x00FFFFFFu;
  // Classic default system colours, 0x00BBGGRR, by index.
  static const TColor kSystem[] = {
      0xC0C0C0, 0x808000, 0x800000, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000000, 0x000000,
      0x000000, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080, 0x800000, 0xFFFFFF, 0xC0C0C0,
      0x808080, 0x808080, 0x000000, 0xC0C0C0, 0xFFFFFF, 0x000000, 0xC0C0C0, 0x000000,
      0xE1FFFF, 0x000000, 0xFF0000, 0xD08410, 0xC0C0C0, 0x800000, 0xC0C0C0,
  };
  const std::uint32_t index = c & 0xFFu;
  return index < sizeof kSystem / sizeof kSystem[0] ? kSystem[index] : 0;
}

TPictureLimits& PictureLimits() {
  static TPictureLimits limits;
  return limits;
}

bool PictureSizeAllowed(std::int64_t w, std::int64_t h) {
  const TPictureLimits& lim = PictureLimits();
  if (w < 0 || h < 0 || w > lim.MaxSide || h > lim.MaxSide) return false;
  return w * h <= lim.MaxPixels;
}

std::string PictureSizeProblem(std::int64_t w, std::int64_t h) {
  if (PictureSizeAllowed(w, h)) return {};
  const TPictureLimits& lim = PictureLimits();
  std::string text =
      std::to_string(w) + " x " + std::to_string(h) + " pixels is larger than the limit of ";
  if (w < 0 || h < 0 || w > lim.MaxSide || h > lim.MaxSide)
    return text + std::to_string(lim.MaxSide) + " pixels a side";
  if (lim.MaxPixels >= 1'000'000 && lim.MaxPixels % 1'000'000 == 0)
    return text + std::to_string(lim.MaxPixels / 1'000'000) + " million pixels";
  return text + std::to_string(lim.MaxPixels) + " pixels";
}

void CheckPictureSize(std::int64_t w, std::int64_t h) {
  if (!PictureSizeAllowed(w, h)) throw EImageSizeError(PictureSizeProblem(w, h));
}

TScreenDpi& ScreenDpi() {
  static TScreenDpi dpi;
  return dpi;
}

}  // namespace folivant
