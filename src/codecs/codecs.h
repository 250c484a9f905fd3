// JPEG reader and writer (libjpeg-turbo), GIF reader with its own LZW coder, PNG reader
// (libpng), TIFF (libtiff), WebP (libwebp), HEIF and AVIF (libheif) readers. Readers never
// throw for bad data: they set *progress.Aborting and return. Besides the pixels, readers
// report the EXIF orientation and the colour profile in the parameters (io_params.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/stream.h"

namespace folivant {

// Gives the format registry (imaging/picture_formats.h) its readers, the codec table
// (imaging/codec_hooks.h) the JPEG writer, and sets the two global GIF LZW hooks. Idempotent and
// thread-safe; every program calls it once at start.
void InstallCodecs();

bool IsJpegStream(TStream& s);
void ReadJpegStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress);
// libjpeg's memory limit for its work arrays (a progressive picture's coefficients): enough
// for every picture within the size limit.
std::int64_t JpegWorkMemoryLimit();
void WriteJpegStream(TStream& s, const TBitmap& bmp, TIOParamsVals& params, TProgressRec& progress);
// Width and height from a JPEG's first frame header, read from the stream's position without
// decoding; false when the stream is no JPEG or no frame header comes in its first 8 MB.
bool ReadJpegFrameSize(TStream& s, int& width, int& height);

void ReadGifStream(TStream& s, TBitmap& bmp, int& numImages, bool paramsOnly,
                   TProgressRec& progress, TIOParamsVals& params);
// ReadGifStream as the format registry calls a reader.
void ReadGifPicture(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress);
void DecodeGifLzw(TStream& s, int height, int width, bool interlaced, std::uint8_t* pixels);
void EncodeGifLzw(TStream& s, int height, int width, bool interlaced, int bitsPerPixel,
                  const std::uint8_t* pixels);

bool IsPngStream(TStream& s);
void ReadPngStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                   TProgressRec& progress);

// The first page; a black-and-white page stays 1-bit.
bool IsTiffStream(TStream& s);
void ReadTiffStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress);

// A still picture or an animation's first frame.
bool IsWebpStream(TStream& s);
void ReadWebpStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress);

// HEIF and AVIF: the primary image, turned as the file says. Read by the media module
// (video/media_module.h), loaded on the first HEIF picture; without it the picture is refused
// with the module's path and the loader's reason.
void ReadHeifStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress);
// The primary image's Exif metadata block of a HEIF or AVIF file (its 4-byte offset to the TIFF
// header first); empty when there is none, it is over maxBytes, or the module cannot be loaded.
std::vector<std::uint8_t> ReadHeifExif(const std::string& path, std::size_t maxBytes);

}  // namespace folivant
