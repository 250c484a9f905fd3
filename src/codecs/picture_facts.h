// What the readers share besides pixels: the EXIF orientation (libexif), the colour profile
// (Little CMS), and the steps every newer reader takes with the bitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/types.h"

namespace folivant {

// The largest EXIF block handed to libexif: a JPEG APP1 segment holds at most this much.
constexpr std::size_t kMaxExifBytes = 65533;

// The orientation (1 to 8) in the first image directory of an EXIF block, 1 when there is
// none or it is damaged. The block may start with "Exif\0\0" (JPEG APP1) or directly with
// the TIFF header (PNG eXIf); only the first kMaxExifBytes bytes are looked at.
int ExifOrientation(const std::uint8_t* data, std::size_t size);

// True for a profile that describes sRGB: an RGB matrix-and-curves profile whose colorants
// and tone curves match those of sRGB.
bool IsSrgbProfile(const std::uint8_t* data, std::size_t size);

// Keeps a profile read from a file in params.IccProfile unless it is empty, over
// kMaxIccProfileBytes (params.IccProfileTooLarge is set), not one Little CMS can open, not
// for RGB pictures, or sRGB. size may exceed what data holds only when it is over the limit.
void TakeIccProfile(TIOParamsVals& params, const std::uint8_t* data, std::size_t size);

// An ICC profile equivalent to colour parameters given as ITU-T H.273 code points (HEIF and
// AVIF "nclx"). Empty for sRGB, for unspecified values that mean it, and for transfer
// functions no ICC tone curve describes (PQ, HLG).
std::vector<std::uint8_t> ProfileFromColourCodes(int primaries, int transfer);

// Turns 8-bit RGB or RGBA samples whose file gives only a gamma (and perhaps chromaticities)
// into sRGB, as a browser shows them; alpha is left as it is.
class GammaToSrgb {
 public:
  GammaToSrgb() = default;
  ~GammaToSrgb();
  GammaToSrgb(const GammaToSrgb&) = delete;
  GammaToSrgb& operator=(const GammaToSrgb&) = delete;
  // gamma: the exponent the samples were encoded with (1/2.2 for most); xy: white, red, green
  // and blue as CIE x, y, or null for sRGB's. False when no transform can be made of them.
  bool Start(double gamma, const double* xy, bool alpha);
  bool Active() const { return transform_ != nullptr; }
  void Apply(std::uint8_t* samples, std::size_t pixels) const;

 private:
  void* transform_ = nullptr;
};

// One 8-bit sample composited over the background, on the stored values as browsers do.
inline std::uint8_t Over(unsigned sample, unsigned alpha, unsigned background) {
  return static_cast<std::uint8_t>((sample * alpha + background * (255 - alpha) + 127) / 255);
}

// The same for a sample already multiplied by its alpha; keep is 255 - alpha.
inline std::uint8_t OverPremultiplied(unsigned sample, unsigned keep, unsigned background) {
  const unsigned v = sample + (background * keep + 127) / 255;
  return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

// The bitmap given the format and size without converting old pixels; false when memory
// cannot be had. The size must have passed PictureSizeAllowed.
inline bool PrepareBitmap(TBitmap& bmp, int width, int height, TPixelFormat format) noexcept {
  try {
    bmp.SetSize(1, 1);
    bmp.SetPixelFormat(format);
    bmp.SetSize(width, height);
    return true;
  } catch (...) {
    return false;
  }
}

// The picture's resolution when its file gives none.
inline void DefaultResolution(TIOParamsVals& params) {
  params.DpiX = ScreenDpi().X;
  params.DpiY = ScreenDpi().Y;
}

}  // namespace folivant
