// The per-file parameter record shared by the I/O object and the codecs, and the progress
// record every codec receives.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/types.h"

namespace folivant {

class TStream;
class TImageBoxIO;

// GIF LZW hooks. The decoder fills width x height palette indexes in display order from the
// stream positioned at the minimum code size byte; it signals success by leaving the stream
// after the image data's terminating sub-block, failure by leaving it where it found it.
using TGifLzwDecompress = void (*)(TStream& stream, int height, int width, bool interlaced,
                                   std::uint8_t* pixels);
// The encoder writes the minimum code size byte, the sub-blocks and the terminator.
using TGifLzwCompress = void (*)(TStream& stream, int height, int width, bool interlaced,
                                 int bitsPerPixel, const std::uint8_t* pixels);

// Global default hooks: empty at start; the programs install the built-in LZW coder.
extern TGifLzwDecompress DefGifLzwDecompress;
extern TGifLzwCompress DefGifLzwCompress;

// A colour profile larger than this is not kept (a camera's is a few kilobytes).
constexpr std::size_t kMaxIccProfileBytes = 4u << 20;

struct TIOParamsVals {
  explicit TIOParamsVals(TImageBoxIO* owner = nullptr);

  TImageBoxIO* Owner = nullptr;
  std::int32_t BitsPerSample = 8;
  std::int32_t SamplesPerPixel = 3;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::int32_t DpiX = 0;
  std::int32_t DpiY = 0;
  std::int32_t FileType = 0;

  std::string GifVersion = "GIF89a";
  std::int32_t GifImageIndex = 0;
  std::int32_t GifXPos = 0, GifYPos = 0;
  std::int32_t GifDelayTime = 0;
  bool GifTransparent = false;
  TRGB GifTranspColor{};
  bool GifInterlaced = false;
  std::int32_t GifWinWidth = 0, GifWinHeight = 0;
  TRGB GifBackground{};
  std::int32_t GifRatio = 0;
  TGifLzwDecompress GifLzwDecompress = nullptr;
  TGifLzwCompress GifLzwCompress = nullptr;

  std::uint8_t JpegColorSpace = 2;  // 0 RGB, 1 grey, 2 YCbCr, 3 CMYK, 4 YCbCrK
  std::int32_t JpegQuality = 50;
  std::uint8_t JpegDctMethod = 0;  // 0 accurate integer, 1 fast integer, 2 floating point
  bool JpegOptimalHuffman = false;
  std::int32_t JpegSmoothing = 0;
  bool JpegProgressive = false;
  std::uint8_t JpegScale = 1;  // 0 automatic, 1 full, 2 half, 3 quarter, 4 eighth

  bool PngInterlaced = false;
  // Also the colour the GIF, HEIF, WebP and TIFF readers composite transparency against.
  TRGB PngBackground{};

  // EXIF orientation of the file last loaded, 1 to 8 (1: stored upright, also when the file
  // says nothing). HEIF and AVIF files are turned by their own boxes as they are read.
  std::int32_t ExifOrientation = 1;
  // The colour profile of the file last loaded, and the one the JPEG writer embeds. Empty
  // when there is none, and for sRGB, which viewers assume for a picture without one.
  std::vector<std::uint8_t> IccProfile;
  // The file's profile was over kMaxIccProfileBytes and is left out.
  bool IccProfileTooLarge = false;
  // A clip's length (-1: not a clip, or it does not say), and whether browsers need a web copy.
  std::int64_t ClipDurationMs = -1;
  bool ClipNeedsWebCopy = false;

  std::string FileName;
  std::vector<TRGB> ColorMap;  // palette of the file last loaded
  std::int32_t ColorMapCount = 0;

  // Frees the palette and sets every field to its default; Width, Height, DpiX, DpiY come
  // from the owner's bitmap and component when attached.
  void SetDefaultParams();
  // Copies every field but Owner.
  void Assign(const TIOParamsVals& src);
  // Forgets the orientation and colour profile of an earlier picture.
  void ClearPictureFacts() {
    ExifOrientation = 1;
    IccProfile.clear();
    IccProfileTooLarge = false;
    ClipDurationMs = -1;
    ClipNeedsWebCopy = false;
  }
  void FreeColorMap() {
    ColorMap.clear();
    ColorMapCount = 0;
  }
};

// What every codec receives.
struct TProgressRec {
  TProgressEvent fOnProgress;  // may be empty
  const void* Sender = nullptr;
  std::int32_t val = 0;      // units done
  double per = 0;            // percent per unit, set by the codec
  bool* Aborting = nullptr;  // the I/O object's flag; never null when a codec runs
  // Why the codec gave up, when it knows more than "damaged": too large, no image. May be null.
  std::string* Reason = nullptr;
  // Set by another thread to have the codec give up at once; looked at where the codec has no
  // progress to report (a progressive JPEG's scans). May be null.
  const std::atomic<bool>* Stop = nullptr;

  // Gives up, saying why. Never throws: codecs call it between library calls.
  void Refuse(const char* why) noexcept;
  // Gives up because the picture is w x h, over the size limit.
  void RefuseSize(std::int64_t w, std::int64_t h) noexcept;

  // Advances by n units and reports trunc(val * per) when a callback is assigned.
  void Advance(int n = 1) {
    val += n;
    if (fOnProgress) fOnProgress(Sender, static_cast<int>(val * per));
  }
  void Report(int percent) {
    if (fOnProgress) fOnProgress(Sender, percent);
  }
};

}  // namespace folivant
