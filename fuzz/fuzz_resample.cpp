// The resampler on small pictures: source and target sizes, filter and pixel format from the
// first bytes, pixels from the rest. Every faster path must give the reference's bytes.
#include <cstring>
#include <stdexcept>

#include "fuzz_common.h"
#include "imaging/bitmap.h"
#include "imaging/resample.h"

using namespace folivant;

namespace {

void Fill(TBitmap& bmp, fuzz::ByteReader& in) {
  const std::uint8_t* rest = in.Rest();
  const std::size_t n = in.RestSize();
  for (int y = 0; y < bmp.Height(); ++y) {
    std::uint8_t* row = bmp.ScanLine(y);
    for (std::size_t x = 0; x < bmp.RowBytes(); ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * bmp.RowBytes() + x;
      row[x] = n ? static_cast<std::uint8_t>(rest[i % n] + i / n) : static_cast<std::uint8_t>(i);
    }
  }
}

bool SameBitmap(const TBitmap& a, const TBitmap& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && a.PixelFormat() == b.PixelFormat() &&
         a.ByteSize() == b.ByteSize() && std::memcmp(a.Bits(), b.Bits(), a.ByteSize()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::ByteReader in(data, size);
  const int sw = in.Byte() % 40;  // 0 allowed: must be refused, never read
  const int sh = in.Byte() % 40;
  const int dw = in.Byte() % 48;
  const int dh = in.Byte() % 48;
  const std::uint8_t mode = in.Byte();
  const auto filter = static_cast<TResampleFilter>(mode % 8);  // 7: no such filter
  const bool oneBit = (mode & 0x80) != 0;

  // The weight lists never point outside the source.
  if (sw > 0 && dw > 0 && IsValidFilter(filter) && filter != TResampleFilter::rfNone) {
    const TContributorLists lists = BuildContributors(dw, sw, filter);
    FUZZ_CHECK(lists.Count() == dw);
    for (const TContributor& c : lists.Entries) FUZZ_CHECK(c.pixel >= 0 && c.pixel < sw);
  }

  TBitmap src;
  if (oneBit) src.SetPixelFormat(TPixelFormat::pf1bit);
  src.SetSize(sw, sh);
  Fill(src, in);

  if (filter == TResampleFilter::rfNone || oneBit) {
    TBitmap dst;
    dst.SetSize(dw, dh);
    StretchPlain(src, dst);
    FUZZ_CHECK(dst.Width() == dw && dst.Height() == dh);
    FUZZ_CHECK(dst.PixelFormat() == src.PixelFormat());
    return 0;
  }

  TBitmap ref;
  ref.SetSize(dw, dh);
  int calls = 0;
  bool refused = false;
  try {
    ResampleFilteredReference(
        src, ref, filter, [&](const void*, int) { ++calls; }, nullptr);
  } catch (const EResampleError&) {
    refused = true;
  }
  FUZZ_CHECK(refused == (sw == 0 || sh == 0 || dw == 0 || dh == 0 || !IsValidFilter(filter)));
  for (TResamplePath path :
       {TResamplePath::Scalar, TResamplePath::Sse2, TResamplePath::Avx2, TResamplePath::Auto}) {
    TBitmap dst;
    dst.SetSize(dw, dh);
    bool pathRefused = false;
    try {
      ResampleFilteredPath(path, src, dst, filter, nullptr, nullptr);
    } catch (const EResampleError&) {
      pathRefused = true;
    }
    FUZZ_CHECK(pathRefused == refused);
    if (!refused) FUZZ_CHECK(SameBitmap(dst, ref));
  }
  return 0;
}
