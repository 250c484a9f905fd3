#include "imaging/io_params.h"

#include "imaging/image_box.h"

namespace folivant {

TGifLzwDecompress DefGifLzwDecompress = nullptr;
TGifLzwCompress DefGifLzwCompress = nullptr;

void TProgressRec::Refuse(const char* why) noexcept {
  *Aborting = true;
  try {
    if (Reason) *Reason = why;
  } catch (...) {
    // Without memory for the text the plain failure stands.
  }
}

void TProgressRec::RefuseSize(std::int64_t w, std::int64_t h) noexcept {
  *Aborting = true;
  try {
    if (Reason) *Reason = PictureSizeProblem(w, h);
  } catch (...) {
  }
}

TIOParamsVals::TIOParamsVals(TImageBoxIO* owner) : Owner(owner) {
  SetDefaultParams();
}

void TIOParamsVals::SetDefaultParams() {
  FreeColorMap();
  BitsPerSample = 8;
  SamplesPerPixel = 3;
  Width = Height = 0;
  DpiX = DpiY = 0;
  if (Owner) {
    if (const TBitmap* bmp = Owner->Bitmap()) {
      Width = bmp->Width();
      Height = bmp->Height();
    }
    if (const TImageBoxView* box = Owner->AttachedImageBox()) {
      DpiX = box->DpiX();
      DpiY = box->DpiY();
    }
  }
  FileType = 0;

  GifVersion = "GIF89a";
  GifImageIndex = 0;
  GifXPos = GifYPos = 0;
  GifDelayTime = 0;
  GifTransparent = false;
  GifTranspColor = TRGB{};
  GifInterlaced = false;
  GifWinWidth = GifWinHeight = 0;
  GifBackground = TRGB{};
  GifRatio = 0;
  GifLzwDecompress = DefGifLzwDecompress;
  GifLzwCompress = DefGifLzwCompress;

  JpegColorSpace = 2;
  JpegQuality = 50;
  JpegDctMethod = 0;
  JpegOptimalHuffman = false;
  JpegSmoothing = 0;
  JpegProgressive = false;
  JpegScale = 1;

  PngInterlaced = false;
  PngBackground = TRGB{};
  ClearPictureFacts();

  FileName.clear();
}

void TIOParamsVals::Assign(const TIOParamsVals& src) {
  if (&src == this) return;
  TImageBoxIO* const owner = Owner;
  *this = src;
  Owner = owner;
  // The palette is held by count; never keep more entries than it says.
  if (ColorMapCount < 0) ColorMapCount = 0;
  if (ColorMap.size() > static_cast<std::size_t>(ColorMapCount)) ColorMap.resize(ColorMapCount);
}

}  // namespace folivant
