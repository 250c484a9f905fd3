// Small types shared by the image toolkit and the codecs.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace folivant {

// A colour value as the settings file and the window hold it: 0x00BBGGRR, or
// 0x80000000 + index for a system colour.
using TColor = std::uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = 0x8000000F;

// A colour as plain 0x00BBGGRR: system colours are resolved through the classic default
// system colour table (the command line and the toolkit have no desktop to ask).
TColor ColorToRGBValue(TColor c);

// Three bytes stored blue, green, red, as in a 24-bit bitmap row.
struct TRGB {
  std::uint8_t b = 0, g = 0, r = 0;
  friend bool operator==(const TRGB&, const TRGB&) = default;
};

// Progress callback: Sender is the object reporting, per the percentage done.
using TProgressEvent = std::function<void(const void* Sender, int per)>;

enum class TMsgLanguage : std::uint8_t {
  msSystem,
  msEnglish,
  msItalian,
  msGerman,
  msSpanish,
  msFrench,
  msPortuguese,
  msGreek,
  msUser
};

// A picture larger than the size limit, refused before any pixel memory is taken.
class EImageSizeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The picture size limit: each side and the pixel count. Adjustable (tests, command line),
// read by every reader before it allocates.
struct TPictureLimits {
  std::int64_t MaxSide = 65535;
  std::int64_t MaxPixels = 250'000'000;
};
TPictureLimits& PictureLimits();

// True when a picture of w x h fits the limit (negative sides never fit).
bool PictureSizeAllowed(std::int64_t w, std::int64_t h);
// Empty when a picture of w x h fits the limit, else what is wrong, for the user:
// "20000 x 20000 pixels is larger than the limit of 250 million pixels".
std::string PictureSizeProblem(std::int64_t w, std::int64_t h);
// Throws EImageSizeError(PictureSizeProblem(w, h)) when it does not fit.
void CheckPictureSize(std::int64_t w, std::int64_t h);

// The display's logical resolution in dots per inch: the starting resolution of a component
// and the resolution GIF (and PNG without pHYs) pictures get. The window sets it from its
// screen at start; without a screen it stays 96.
struct TScreenDpi {
  int X = 96;
  int Y = 96;
};
TScreenDpi& ScreenDpi();

}  // namespace folivant
