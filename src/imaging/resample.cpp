#include "imaging/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace folivant {

namespace {

constexpr double kPi = 3.141592653589793238462643383279502884;

// Taylor series in z = r * r of sin(pi r) / r, cos(pi r) and sin(pi r) / (pi r):
// (-1)^k pi^(2k+1) / (2k+1)!, (-1)^k pi^(2k) / (2k)! and (-1)^k pi^(2k) / (2k+1)!; enough
// terms for |r| <= 1/4.
constexpr double kSinPiSeries[] = {
    3.141592653589793,     -5.16771278004997,      2.5501640398773455,     -0.5992645293207921,
    0.08214588661112823,   -0.0073704309457143504, 0.00046630280576761255, -2.1915353447830217e-05,
    7.952054001475513e-07, -2.2948428997269873e-08};
constexpr double kCosPiSeries[] = {1.0,
                                   -4.934802200544679,
                                   4.0587121264167685,
                                   -1.3352627688545895,
                                   0.2353306303588932,
                                   -0.02580689139001406,
                                   0.0019295743094039231,
                                   -0.0001046381049248457,
                                   4.303069587032947e-06,
                                   -1.3878952462213771e-07};

constexpr double kSincSeries[] = {1.0,
                                  -1.6449340668482264,
                                  0.8117424252833536,
                                  -0.19075182412208422,
                                  0.0261478478176548,
                                  -0.0023460810354558235,
                                  0.000148428793031071,
                                  -6.975873661656381e-06,
                                  2.5312174041370274e-07,
                                  -7.304711822217775e-09};

double Series(const double (&c)[10], double z) {
  double v = c[9];
  for (int i = 8; i >= 0; --i) v = v * z + c[i];
  return v;
}

// sin(pi * x) for x >= 0. The reduction to [0, 1/4] is exact and the series use plain
// operations, so the value is the same on every machine and with every math library, and
// whole numbers give exactly 0.
double SinPi(double x) {
  double r = x - 2.0 * std::floor(x * 0.5);  // [0, 2)
  double sign = 1.0;
  if (r >= 1.0) {
    r -= 1.0;
    sign = -1.0;
  }
  if (r > 0.5) r = 1.0 - r;  // [0, 1/2]
  if (r <= 0.25) return sign * (r * Series(kSinPiSeries, r * r));
  const double t = 0.5 - r;  // sin(pi r) = cos(pi t)
  return sign * Series(kCosPiSeries, t * t);
}

double Sinc(double x) {
  if (x == 0.0) return 1.0;
  // Near 0 the series itself, so the rounding of pi * x does not show in the quotient.
  if (x <= 0.25) return Series(kSincSeries, x * x);
  return SinPi(x) / (kPi * x);
}

double Triangle(double x) {
  const double t = std::fabs(x);
  if (t < 1.0) return 1.0 - t;
  return 0.0;
}

double Hermite(double x) {
  const double t = std::fabs(x);
  if (t < 1.0) return t * t * (2.0 * t - 3.0) + 1.0;
  return 0.0;
}

double Bell(double x) {
  const double t = std::fabs(x);
  if (t < 0.5) return 0.75 - t * t;
  if (t < 1.5) {
    const double u = t - 1.5;
    return 0.5 * (u * u);
  }
  return 0.0;
}

double BSpline(double x) {
  const double t = std::fabs(x);
  if (t < 1.0) {
    const double tt = t * t;
    return 0.5 * tt * t - tt + 2.0 / 3.0;
  }
  if (t < 2.0) {
    const double u = 2.0 - t;
    return (1.0 / 6.0) * (u * u * u);
  }
  return 0.0;
}

double Lanczos3(double x) {
  const double t = std::fabs(x);
  if (t < 3.0) return Sinc(t) * Sinc(t / 3.0);
  return 0.0;
}

double Mitchell(double x) {
  const double t = std::fabs(x);
  const double tt = t * t;
  if (t < 1.0) return (7.0 * (t * tt) - 12.0 * tt + 16.0 / 3.0) / 6.0;
  if (t < 2.0) return ((-7.0 / 3.0) * (t * tt) + 12.0 * tt - 20.0 * t + 32.0 / 3.0) / 6.0;
  return 0.0;
}

struct TFilterEntry {
  double (*Kernel)(double);
  double Support;
};

// Indexed by filter value; entry 0 (rfNone) has no kernel.
constexpr TFilterEntry kFilters[7] = {
    {nullptr, 0.0}, {Triangle, 1.0}, {Hermite, 1.0},  {Bell, 1.5},
    {BSpline, 2.0}, {Lanczos3, 3.0}, {Mitchell, 2.0},
};

const TFilterEntry& FilterEntry(TResampleFilter filter) {
  const int v = static_cast<int>(filter);
  if (v < 1 || v > 6) throw EResampleError("Unknown resampling filter " + std::to_string(v));
  return kFilters[v];
}

// Clamp, then round half to even. Kept local so it inlines into the loops: a call there would
// push the running sums out of registers.
inline std::uint8_t ToByte(double sum) {
  if (sum > 255.0) return 255;
  if (sum < 0.0) return 0;
  return static_cast<std::uint8_t>(std::nearbyint(sum));
}

void CheckSizes(const TBitmap& src, const TBitmap& dst) {
  if (src.Width() <= 0 || src.Height() <= 0)
    throw EResampleError("Cannot resample an empty picture");
  if (dst.Width() <= 0 || dst.Height() <= 0)
    throw EResampleError("Cannot resample to " + std::to_string(dst.Width()) + " x " +
                         std::to_string(dst.Height()) + ": a side of 0 pixels");
}

// The sizes both filtered paths work with, after the checks they share.
struct TPassPlan {
  int srcW, srcH, dstW, dstH;
  double ps;  // progress per source row of the first pass and per column of the second
};

TPassPlan PlanPasses(const TBitmap& src, const TBitmap& dst, TResampleFilter filter) {
  FilterEntry(filter);
  CheckSizes(src, dst);
  const int srcH = src.Height(), dstW = dst.Width();
  return TPassPlan{src.Width(), srcH, dstW, dst.Height(), 100.0 / ((srcH + dstW) + 0.5)};
}

}  // namespace

bool IsValidFilter(TResampleFilter filter) {
  return static_cast<int>(filter) <= 6;
}

double FilterKernel(TResampleFilter filter, double x) {
  return FilterEntry(filter).Kernel(x);
}

double FilterSupport(TResampleFilter filter) {
  return FilterEntry(filter).Support;
}

std::uint8_t SumToByte(double sum) {
  return ToByte(sum);
}

TContributorLists BuildContributors(int m, int n, TResampleFilter filter) {
  const TFilterEntry& f = FilterEntry(filter);
  if (m <= 0 || n <= 0) throw EResampleError("Cannot resample with a side of 0 pixels");
  const double scale = static_cast<double>(m) / static_cast<double>(n);
  double width = f.Support;
  double fscale = 1.0;
  const bool shrinking = scale < 1.0;
  if (shrinking) {
    width = f.Support / scale;
    fscale = 1.0 / scale;
  }
  TContributorLists lists;
  lists.Start.reserve(static_cast<std::size_t>(m) + 1);
  lists.Start.push_back(0);
  // Each list holds at most right - left + 1 entries.
  lists.Entries.reserve(static_cast<std::size_t>(m) *
                        static_cast<std::size_t>(std::ceil(2.0 * width) + 2.0));
  for (int i = 0; i < m; ++i) {
    const double center = static_cast<double>(i) / scale;
    const long long left = static_cast<long long>(std::floor(center - width));
    const long long right = static_cast<long long>(std::ceil(center + width));
    for (long long j = left; j <= right; ++j) {
      const double d = center - static_cast<double>(j);
      const double weight = shrinking ? f.Kernel(d / fscale) / fscale : f.Kernel(d);
      if (weight == 0.0) continue;
      // One reflection at each edge; what it leaves outside (a reach longer than the side)
      // is clamped.
      long long k = j;
      if (k < 0)
        k = -k;
      else if (k >= n)
        k = 2LL * n - k - 1;
      if (k < 0) k = 0;
      if (k > n - 1) k = n - 1;
      lists.Entries.push_back(TContributor{static_cast<std::int32_t>(k), weight});
    }
    lists.Start.push_back(lists.Entries.size());
  }
  return lists;
}

void ResampleFilteredReference(const TBitmap& src, TBitmap& dst, TResampleFilter filter,
                               const TProgressEvent& onProgress, const void* sender) {
  if (src.PixelFormat() != TPixelFormat::pf24bit) return;
  const auto [srcW, srcH, dstW, dstH, ps] = PlanPasses(src, dst, filter);
  TBitmap work;  // the horizontal pass's result
  work.SetSize(dstW, srcH);

  {
    const TContributorLists contrib = BuildContributors(dstW, srcW, filter);
    for (int y = 0; y < srcH; ++y) {
      const std::uint8_t* s = src.ScanLine(y);
      std::uint8_t* d = work.ScanLine(y);
      for (int i = 0; i < dstW; ++i) {
        double b = 0.0, g = 0.0, r = 0.0;
        const TContributor* list = contrib.List(i);
        for (int k = 0, n = contrib.N(i); k < n; ++k) {
          const double w = list[k].weight;
          if (w == 0.0) continue;
          const std::uint8_t* p = s + 3 * static_cast<std::size_t>(list[k].pixel);
          b += p[0] * w;
          g += p[1] * w;
          r += p[2] * w;
        }
        d[3 * i] = ToByte(b);
        d[3 * i + 1] = ToByte(g);
        d[3 * i + 2] = ToByte(r);
      }
      if (onProgress) onProgress(sender, static_cast<int>((y + 1) * ps));
    }
  }

  const TContributorLists contrib = BuildContributors(dstH, srcH, filter);
  for (int x = 0; x < dstW; ++x) {
    for (int i = 0; i < dstH; ++i) {
      double b = 0.0, g = 0.0, r = 0.0;
      const TContributor* list = contrib.List(i);
      for (int k = 0, n = contrib.N(i); k < n; ++k) {
        const double w = list[k].weight;
        if (w == 0.0) continue;
        const std::uint8_t* p = work.ScanLine(list[k].pixel) + 3 * static_cast<std::size_t>(x);
        b += p[0] * w;
        g += p[1] * w;
        r += p[2] * w;
      }
      std::uint8_t* d = dst.ScanLine(i) + 3 * static_cast<std::size_t>(x);
      d[0] = ToByte(b);
      d[1] = ToByte(g);
      d[2] = ToByte(r);
    }
    if (onProgress) onProgress(sender, static_cast<int>((srcH + x + 1) * ps));
  }
}

// ---------------------------------------------------------------------------------------------
// Fast path: the same sums in the same order, several rows or columns at a time.

namespace {

struct TSimdOps {
  int (*GroupColumns)();
  void (*Horizontal)(const std::uint8_t* const*, int, std::uint8_t* const*, int,
                     const simd::THorizontalPlan&, double*);
  void (*Vertical)(const std::uint8_t* const*, const TContributor*, int, int, int, std::uint8_t*);
};

TResamplePath DetectBest() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return TResamplePath::Avx512;
  if (__builtin_cpu_supports("avx2")) return TResamplePath::Avx2;
  return TResamplePath::Sse2;
#else
  return TResamplePath::Scalar;
#endif
}

// A requested path the processor lacks falls back to the best it has.
TResamplePath Resolve(TResamplePath path) {
  const TResamplePath best = BestResamplePath();
  if (path == TResamplePath::Auto) return best;
  if (path == TResamplePath::Scalar) return path;
  return static_cast<int>(path) <= static_cast<int>(best) ? path : best;
}

const TSimdOps* OpsFor(TResamplePath path) {
  static const TSimdOps sse2{simd::GroupColumnsSse2, simd::HorizontalSse2, simd::VerticalSse2};
  static const TSimdOps avx2{simd::GroupColumnsAvx2, simd::HorizontalAvx2, simd::VerticalAvx2};
  static const TSimdOps avx512{simd::GroupColumnsAvx512, simd::HorizontalAvx512,
                               simd::VerticalAvx512};
  switch (path) {
    case TResamplePath::Sse2:
      return &sse2;
    case TResamplePath::Avx2:
      return &avx2;
    case TResamplePath::Avx512:
      return &avx512;
    default:
      return nullptr;
  }
}

// The horizontal pass's entries with ring slots for pixels, and how far the row block must
// be widened before each output (see THorizontalPlan).
struct THorizontalRing {
  std::vector<TContributor> Entries;
  std::vector<std::size_t> Ready;
  std::size_t RingBytes = 0;
};

// Outputs are summed `group` at a time, so each group waits for its widest member.
THorizontalRing PlanRing(const TContributorLists& contrib, int srcW, int group) {
  constexpr std::size_t kStep = 48;  // bytes widened at a time: 16 pixels, three 16-byte runs
  const auto up = [](std::size_t v) { return (v + kStep - 1) / kStep * kStep; };
  const std::size_t n3 = 3 * static_cast<std::size_t>(srcW);
  const int m = contrib.Count();
  THorizontalRing ring;
  ring.Ready.resize(static_cast<std::size_t>(m));
  std::vector<std::size_t> lo(static_cast<std::size_t>(m), n3);
  std::size_t done = 0, span = 0;
  for (int i0 = 0; i0 < m; i0 += group) {
    const int i1 = std::min(m, i0 + group);
    for (int i = i0; i < i1; ++i)
      for (int k = 0; k < contrib.N(i); ++k) {
        const std::size_t b = 3 * static_cast<std::size_t>(contrib.List(i)[k].pixel);
        lo[i] = std::min(lo[i], b);
        done = std::max(done, std::min(n3, up(b + 3)));
      }
    for (int i = i0; i < i1; ++i) {
      ring.Ready[static_cast<std::size_t>(i)] = done;
      if (lo[i] < done) span = std::max(span, done - lo[i]);
    }
  }
  // Every output's pixels lie within the last RingBytes bytes widened when it is summed.
  ring.RingBytes = std::max(kStep, std::min(up(span), up(n3)));
  ring.Entries = contrib.Entries;
  for (TContributor& e : ring.Entries)
    e.pixel = static_cast<std::int32_t>(3 * static_cast<std::size_t>(e.pixel) % ring.RingBytes / 3);
  return ring;
}

// Columns of the vertical pass between two rounds of progress reports.
constexpr int kStripColumns = 64;

}  // namespace

TResamplePath BestResamplePath() {
  static const TResamplePath best = DetectBest();
  return best;
}

void ResampleFilteredPath(TResamplePath path, const TBitmap& src, TBitmap& dst,
                          TResampleFilter filter, const TProgressEvent& onProgress,
                          const void* sender) {
  const TSimdOps* ops = OpsFor(Resolve(path));
  if (!ops) {
    ResampleFilteredReference(src, dst, filter, onProgress, sender);
    return;
  }
  if (src.PixelFormat() != TPixelFormat::pf24bit) return;
  const auto [srcW, srcH, dstW, dstH, ps] = PlanPasses(src, dst, filter);
  TBitmap work;  // the horizontal pass's result
  work.SetSize(dstW, srcH);

  {
    const TContributorLists contrib = BuildContributors(dstW, srcW, filter);
    const THorizontalRing ring = PlanRing(contrib, srcW, ops->GroupColumns());
    const simd::THorizontalPlan plan{contrib.Start.data(), ring.Entries.data(), ring.Ready.data(),
                                     ring.RingBytes};
    constexpr int block = simd::kHorizontalRows;
    const std::size_t scratchCount = ring.RingBytes * block + 3 * static_cast<std::size_t>(dstW);
    std::unique_ptr<double[]> scratchStore(new double[scratchCount + 8]);
    double* scratch = scratchStore.get();
    while (reinterpret_cast<std::uintptr_t>(scratch) % 64 != 0) ++scratch;
    const std::uint8_t* srcRows[block];
    std::uint8_t* dstRows[block];
    for (int y0 = 0; y0 < srcH; y0 += block) {
      const int rows = std::min(block, srcH - y0);
      for (int r = 0; r < rows; ++r) {
        srcRows[r] = src.ScanLine(y0 + r);
        dstRows[r] = work.ScanLine(y0 + r);
      }
      ops->Horizontal(srcRows, rows, dstRows, dstW, plan, scratch);
      if (onProgress)
        for (int r = 0; r < rows; ++r) onProgress(sender, static_cast<int>((y0 + r + 1) * ps));
    }
  }

  const TContributorLists contrib = BuildContributors(dstH, srcH, filter);
  std::unique_ptr<const std::uint8_t*[]> rows(new const std::uint8_t*[srcH]);
  for (int y = 0; y < srcH; ++y) rows[y] = work.ScanLine(y);
  for (int x0 = 0; x0 < dstW; x0 += kStripColumns) {
    const int x1 = std::min(dstW, x0 + kStripColumns);
    for (int i = 0; i < dstH; ++i)
      ops->Vertical(rows.get(), contrib.List(i), contrib.N(i), 3 * x0, 3 * x1, dst.ScanLine(i));
    if (onProgress)
      for (int x = x0; x < x1; ++x) onProgress(sender, static_cast<int>((srcH + x + 1) * ps));
  }
}

void ResampleFiltered(const TBitmap& src, TBitmap& dst, TResampleFilter filter,
                      const TProgressEvent& onProgress, const void* sender) {
  ResampleFilteredPath(TResamplePath::Auto, src, dst, filter, onProgress, sender);
}

// ---------------------------------------------------------------------------------------------

void StretchPlain(const TBitmap& src, TBitmap& dst) {
  if (dst.PixelFormat() != src.PixelFormat()) {
    const int w = dst.Width(), h = dst.Height();
    dst.Clear();
    dst.SetPixelFormat(src.PixelFormat());
    dst.SetSize(w, h);
  }
  const int srcW = src.Width(), srcH = src.Height();
  const int dstW = dst.Width(), dstH = dst.Height();
  if (dstW <= 0 || dstH <= 0) return;
  if (srcW <= 0 || srcH <= 0) {
    std::memset(dst.Bits(), 0, dst.ByteSize());
    return;
  }
  // Destination pixel x takes source pixel floor((x + 0.5) * srcW / dstW): centres map on
  // centres, and the index stays inside the source.
  std::unique_ptr<int[]> xmap(new int[dstW]);
  for (int x = 0; x < dstW; ++x) xmap[x] = static_cast<int>((2LL * x + 1) * srcW / (2LL * dstW));
  const bool bits24 = src.PixelFormat() == TPixelFormat::pf24bit;
  for (int y = 0; y < dstH; ++y) {
    const int sy = static_cast<int>((2LL * y + 1) * srcH / (2LL * dstH));
    const std::uint8_t* s = src.ScanLine(sy);
    std::uint8_t* d = dst.ScanLine(y);
    if (bits24) {
      for (int x = 0; x < dstW; ++x) {
        const std::uint8_t* p = s + 3 * static_cast<std::size_t>(xmap[x]);
        d[3 * x] = p[0];
        d[3 * x + 1] = p[1];
        d[3 * x + 2] = p[2];
      }
    } else {
      std::memset(d, 0, dst.RowBytes());
      for (int x = 0; x < dstW; ++x) {
        const int sx = xmap[x];
        if (s[sx >> 3] & (0x80 >> (sx & 7)))
          d[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
      }
    }
  }
}

}  // namespace folivant
