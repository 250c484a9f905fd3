// Shared helpers for the codec tests: fixtures, reference pixels, a codec run with its own
// parameter and progress records.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "../common/test_files.h"
#include "codecs/codecs.h"
#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/stream.h"

namespace folivant::test {

// An 8-bit binary PPM: rows of red, green, blue.
struct Ppm {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  const std::uint8_t* Pixel(int x, int y) const {
    return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
  }
};

inline Ppm LoadPpm(const std::string& rel) {
  const std::vector<std::uint8_t> bytes = ReadBytes(rel);
  Ppm p;
  std::string text(bytes.begin(), bytes.end());
  std::istringstream in(text);
  std::string magic;
  int maxval = 0;
  in >> magic >> p.width >> p.height >> maxval;
  EXPECT_EQ(magic, "P6");
  EXPECT_EQ(maxval, 255);
  const std::size_t start = static_cast<std::size_t>(in.tellg()) + 1;
  p.rgb.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
  EXPECT_EQ(p.rgb.size(), static_cast<std::size_t>(p.width) * p.height * 3) << rel;
  return p;
}

// The bitmap's pixel (x, y) as red, green, blue, for either pixel format.
inline void PixelRgb(const TBitmap& bmp, int x, int y, int out[3]) {
  const std::uint8_t* row = bmp.ScanLine(y);
  if (bmp.PixelFormat() == TPixelFormat::pf1bit) {
    const int v = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    out[0] = out[1] = out[2] = v;
  } else {
    out[0] = row[3 * x + 2];
    out[1] = row[3 * x + 1];
    out[2] = row[3 * x];
  }
}

// Compares rows [0, rows) of the bitmap with the reference; reports the first difference.
inline ::testing::AssertionResult MatchesPpm(const TBitmap& bmp, const Ppm& ref, int tolerance,
                                             int rows = -1) {
  if (bmp.Width() != ref.width || bmp.Height() != ref.height)
    return ::testing::AssertionFailure() << "size " << bmp.Width() << "x" << bmp.Height()
                                         << " expected " << ref.width << "x" << ref.height;
  if (rows < 0) rows = ref.height;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < ref.width; ++x) {
      int got[3];
      PixelRgb(bmp, x, y, got);
      const std::uint8_t* want = ref.Pixel(x, y);
      for (int c = 0; c < 3; ++c)
        if (std::abs(got[c] - want[c]) > tolerance)
          return ::testing::AssertionFailure()
                 << "pixel (" << x << "," << y << ") channel " << c << ": got " << got[c]
                 << " expected " << int(want[c]);
    }
  return ::testing::AssertionSuccess();
}

// One codec run: parameter record, progress record with its aborting flag and the reports.
struct CodecRun {
  TIOParamsVals params;
  TProgressRec progress;
  bool aborting = false;
  std::vector<int> reports;
  TBitmap bmp;

  CodecRun() {
    InstallCodecs();
    params.SetDefaultParams();
    progress.Aborting = &aborting;
    progress.Sender = this;
    progress.fOnProgress = [this](const void*, int per) { reports.push_back(per); };
  }
};

}  // namespace folivant::test
