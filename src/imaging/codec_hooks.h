// The routines the I/O object calls for JPEG, GIF, PNG and TIFF. The codecs library fills them in
// (InstallCodecs in codecs/codecs.h); an empty entry makes the load or save set Aborting.
#pragma once

#include <string>

#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/stream.h"

namespace folivant {

struct TCodecTable {
  void (*ReadJpeg)(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                   TProgressRec& progress) = nullptr;
  void (*WriteJpeg)(TStream& s, const TBitmap& bmp, TIOParamsVals& params,
                    TProgressRec& progress) = nullptr;
  void (*ReadPng)(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                  TProgressRec& progress) = nullptr;
  void (*ReadTiff)(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                   TProgressRec& progress) = nullptr;
  // Opens the file by name itself.
  void (*ReadGifFile)(const std::string& fileName, TBitmap& bmp, int& numImages,
                      TProgressRec& progress, TIOParamsVals& params) = nullptr;
  void (*ReadGifStream)(TStream& s, TBitmap& bmp, int& numImages, bool paramsOnly,
                        TProgressRec& progress, TIOParamsVals& params) = nullptr;
};

// The one global table; written once at program start, read by every worker.
TCodecTable& Codecs();

}  // namespace folivant
