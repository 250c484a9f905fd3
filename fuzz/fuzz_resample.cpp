// The resampler on small pictures: sizes, filter and pixel format from the first bytes,
// pixels from the rest. The weight lists stay inside the source, empty sides and unknown
// filters are refused, and every faster path gives the reference's bytes.
#include <cstring>

#include "fuzz_common.h"
#include "imaging/bitmap.h"
#include "imaging/resample.h"

using namespace folivant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::ByteReader in(data, size);
  const int sw = in.Byte() % 40, sh = in.Byte() % 40, dw = in.Byte() % 48, dh = in.Byte() % 48;
  const std::uint8_t mode = in.Byte();
  const auto filter = static_cast<TResampleFilter>(mode % 8);  // 7: no such filter
  if (sw > 0 && dw > 0 && IsValidFilter(filter) && filter != TResampleFilter::rfNone) {
    const TContributorLists lists = BuildContributors(dw, sw, filter);
    FUZZ_CHECK(lists.Count() == dw);
    for (const TContributor& c : lists.Entries) FUZZ_CHECK(c.pixel >= 0 && c.pixel < sw);
  }
  TBitmap src, ref;
  if (mode & 0x80) src.SetPixelFormat(TPixelFormat::pf1bit);
  src.SetSize(sw, sh);
  for (std::size_t i = 0; i < src.ByteSize(); ++i)
    src.Bits()[i] =
        in.RestSize() ? static_cast<std::uint8_t>(in.Rest()[i % in.RestSize()] + i / in.RestSize())
                      : 0;
  ref.SetSize(dw, dh);
  if (filter == TResampleFilter::rfNone || (mode & 0x80)) {
    StretchPlain(src, ref);
    FUZZ_CHECK(ref.Width() == dw && ref.Height() == dh && ref.PixelFormat() == src.PixelFormat());
    return 0;
  }
  auto refused = [&](TResamplePath path, TBitmap& dst) {
    try {
      ResampleFilteredPath(path, src, dst, filter, nullptr, nullptr);
      return false;
    } catch (const EResampleError&) {
      return true;
    }
  };
  const bool none = refused(TResamplePath::Scalar, ref);
  FUZZ_CHECK(none == (sw == 0 || sh == 0 || dw == 0 || dh == 0 || !IsValidFilter(filter)));
  for (TResamplePath path : {TResamplePath::Sse2, TResamplePath::Avx2, TResamplePath::Auto}) {
    TBitmap dst;
    dst.SetSize(dw, dh);
    FUZZ_CHECK(refused(path, dst) == none);
    FUZZ_CHECK(none || std::memcmp(dst.Bits(), ref.Bits(), ref.ByteSize()) == 0);
  }
  return 0;
}
