// JPEG reader and writer (libjpeg-turbo), GIF reader with its own LZW coder, PNG reader
// (libpng), TIFF (libtiff), WebP (libwebp), HEIF and AVIF (libheif) readers. Readers never
// throw for bad data: they set *progress.Aborting and return. Besides the pixels, readers
// report the EXIF orientation and the colour profile in the parameters (io_params.h).
#pragma once

#include <cstdint>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/stream.h"

namespace folivant {

// Fills the toolkit's codec table (imaging/codec_hooks.h) and the two global GIF LZW hooks,
// and gives the format registry its WebP, HEIF and AVIF entries. Idempotent and thread-safe;
// every program calls it once at start.
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

// Registry codes of the formats read through the registry.
constexpr int kFileTypeWebp = 12;
constexpr int kFileTypeHeif = 13;
constexpr int kFileTypeAvif = 14;

// The first page; a black-and-white page stays 1-bit.
bool IsTiffStream(TStream& s);
void ReadTiffStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress);

// A still picture or an animation's first frame.
bool IsWebpStream(TStream& s);
void ReadWebpStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress);

// HEIF and AVIF: the primary image, turned as the file says. InstallCodecs starts libheif
// (its decoder plugins) once, before any worker reads.
void StartHeifLibrary();
bool IsHeifStream(TStream& s);
void ReadHeifStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress);

}  // namespace folivant
