// JPEG reader and writer (libjpeg-turbo), GIF reader with its own LZW coder, PNG reader
// (libpng). Readers never throw for bad data: they set *progress.Aborting and return.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/stream.h"

namespace folivant {

// Fills the toolkit's codec table (imaging/codec_hooks.h) and the two global GIF LZW hooks.
// Idempotent and thread-safe; every program calls it once at start.
void InstallCodecs();

bool IsJpegStream(TStream& s);
void ReadJpegStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress);
// libjpeg's memory limit for its work arrays (a progressive picture's coefficients): enough
// for every picture within the size limit.
std::int64_t JpegWorkMemoryLimit();
void WriteJpegStream(TStream& s, const TBitmap& bmp, TIOParamsVals& params, TProgressRec& progress);

void ReadGifFile(const std::string& fileName, TBitmap& bmp, int& numImages, TProgressRec& progress,
                 TIOParamsVals& params);
void ReadGifStream(TStream& s, TBitmap& bmp, int& numImages, bool paramsOnly,
                   TProgressRec& progress, TIOParamsVals& params);
void DecodeGifLzw(TStream& s, int height, int width, bool interlaced, std::uint8_t* pixels);
void EncodeGifLzw(TStream& s, int height, int width, bool interlaced, int bitsPerPixel,
                  const std::uint8_t* pixels);

bool IsPngStream(TStream& s);
void ReadPngStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                   TProgressRec& progress);

}  // namespace folivant
