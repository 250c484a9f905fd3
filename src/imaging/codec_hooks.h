// The writer the I/O object calls for JPEG (the readers are in the format registry,
// picture_formats.h). The codecs library fills it in (InstallCodecs in codecs/codecs.h); an empty
// entry makes the save set Aborting.
#pragma once

#include <string>

#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/stream.h"

namespace folivant {

struct TCodecTable {
  void (*WriteJpeg)(TStream& s, const TBitmap& bmp, TIOParamsVals& params,
                    TProgressRec& progress) = nullptr;
};

// The one global table; written once at program start, read by every worker.
TCodecTable& Codecs();

}  // namespace folivant
