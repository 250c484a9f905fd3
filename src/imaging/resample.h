// Filtered resampling: the six kernels, the weight lists and the two-pass convolution with
// an 8-bit intermediate picture, plus the plain nearest-neighbour stretch.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/resample_simd.h"
#include "imaging/types.h"

namespace folivant {

enum class TResampleFilter : std::uint8_t {
  rfNone = 0,
  rfTriangle = 1,
  rfHermite = 2,
  rfBell = 3,
  rfBSpline = 4,
  rfLanczos3 = 5,
  rfMitchell = 6,
};

// A resample that cannot be done: a side of 0, a proportional side over an empty picture,
// or a filter value outside the table. The picture is left as it was.
class EResampleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// True for rfNone..rfMitchell.
bool IsValidFilter(TResampleFilter filter);

// Kernel value and support radius of a filter 1..6; EResampleError for any other value.
double FilterKernel(TResampleFilter filter, double x);
double FilterSupport(TResampleFilter filter);

// The weights of every output position of one pass, flattened: the entries of output i are
// Entries[Start[i] .. Start[i + 1]).
struct TContributorLists {
  std::vector<std::size_t> Start;
  std::vector<TContributor> Entries;
  int Count() const { return Start.empty() ? 0 : static_cast<int>(Start.size()) - 1; }
  int N(int i) const { return static_cast<int>(Start[i + 1] - Start[i]); }
  const TContributor* List(int i) const { return Entries.data() + Start[i]; }
};

// Weights for output length m over input length n (scale = m / n as a double).
TContributorLists BuildContributors(int m, int n, TResampleFilter filter);

// A sum converted to a byte: clamp to 0..255, then round half to even.
std::uint8_t SumToByte(double sum);

// The two-pass filtered resample of a 24-bit source into dst, which already has its final
// size. Reports srcH + dstW progress calls with Sender. A non-24-bit source is left alone.
// Throws EResampleError for a side of 0 or a filter outside 1..6.
void ResampleFiltered(const TBitmap& src, TBitmap& dst, TResampleFilter filter,
                      const TProgressEvent& onProgress, const void* sender);
// The same with the plain scalar loops, kept as the reference the fast path is held to.
void ResampleFilteredReference(const TBitmap& src, TBitmap& dst, TResampleFilter filter,
                               const TProgressEvent& onProgress, const void* sender);

// The implementations of the filtered resample; all give the same bytes. Auto picks the
// fastest the processor supports; a path the processor lacks falls back to the next one.
enum class TResamplePath { Auto, Scalar, Sse2, Avx2, Avx512 };
void ResampleFilteredPath(TResamplePath path, const TBitmap& src, TBitmap& dst,
                          TResampleFilter filter, const TProgressEvent& onProgress,
                          const void* sender);
// The path Auto resolves to on this processor.
TResamplePath BestResamplePath();

// Nearest-neighbour stretch of the whole source onto the whole destination; dst takes src's
// pixel format and keeps its own size.
void StretchPlain(const TBitmap& src, TBitmap& dst);

}  // namespace folivant
