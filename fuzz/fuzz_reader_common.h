// One read of a picture stream through a codec, as the I/O object does it, with the checks
// every reader must pass.
#pragma once

#include "fuzz_common.h"
#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/stream.h"

namespace folivant::fuzz {

struct ReadOutcome {
  bool aborting = false;
  bool sizeRefused = false;
};

// Runs read(stream, bitmap, params, paramsOnly, progress). A reader reports bad data through
// the aborting flag; the only exception it may let through is the size limit's.
template <typename Read>
ReadOutcome RunReader(const std::uint8_t* data, std::size_t size, TBitmap& bmp,
                      TIOParamsVals& params, bool paramsOnly, Read read) {
  ReadOutcome out;
  TMemoryStream s(data, size);
  TProgressRec progress;
  progress.Aborting = &out.aborting;
  progress.fOnProgress = [](const void*, int per) { FUZZ_CHECK(per >= 0 && per <= 100); };
  try {
    read(s, bmp, params, paramsOnly, progress);
  } catch (const EImageSizeError&) {
    out.sizeRefused = true;
  }
  // Whatever happened, the bitmap is whole: every row can be touched.
  const std::size_t rowBytes = bmp.RowBytes();
  FUZZ_CHECK(bmp.ByteSize() == rowBytes * static_cast<std::size_t>(bmp.Height()));
  if (bmp.Height() > 0 && rowBytes > 0) {
    volatile std::uint8_t sink = bmp.ScanLine(0)[0] ^ bmp.ScanLine(bmp.Height() - 1)[rowBytes - 1];
    (void)sink;
  }
  return out;
}

// The header alone, then the whole picture, with the checks every reader of the newer
// formats must pass.
template <typename Read>
void HeaderThenPicture(const std::uint8_t* data, std::size_t size, Read read) {
  for (bool paramsOnly : {true, false}) {
    TBitmap bmp;
    TIOParamsVals params;
    params.PngBackground = TRGB{0x10, 0x80, 0xF0};
    const auto out = RunReader(data, size, bmp, params, paramsOnly, read);
    FUZZ_CHECK(params.IccProfile.size() <= kMaxIccProfileBytes);
    FUZZ_CHECK(params.ExifOrientation >= 1 && params.ExifOrientation <= 8);
    if (paramsOnly) {
      FUZZ_CHECK(bmp.Width() == 0 && bmp.Height() == 0);
      if (out.aborting || out.sizeRefused) return;
    } else if (!out.aborting && !out.sizeRefused) {
      FUZZ_CHECK(bmp.Width() == params.Width && bmp.Height() == params.Height);
    }
  }
}

}  // namespace folivant::fuzz
