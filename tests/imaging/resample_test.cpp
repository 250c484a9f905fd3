#include "imaging/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/image_box.h"

namespace folivant {
namespace {

using F = TResampleFilter;
constexpr F kFilters[] = {F::rfTriangle, F::rfHermite,  F::rfBell,
                          F::rfBSpline,  F::rfLanczos3, F::rfMitchell};

// Mostly noise with some hard steps, so plain sums and clamping are both exercised.
TBitmap RandomPicture(int w, int h, std::uint32_t seed) {
  TBitmap b;
  b.SetSize(w, h);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x)
      b.ScanLine(y)[x] = (rng() % 4 == 0) ? static_cast<std::uint8_t>(rng() % 2 ? 255 : 0)
                                          : static_cast<std::uint8_t>(rng());
  return b;
}

TBitmap Flat(int w, int h, std::uint8_t v) {
  TBitmap b;
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) std::memset(b.ScanLine(y), v, 3 * static_cast<std::size_t>(w));
  return b;
}

// The bitmaps are filled by SetSize, so the row padding is the same too.
bool SamePixels(const TBitmap& a, const TBitmap& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && a.ByteSize() == b.ByteSize() &&
         std::memcmp(a.Bits(), b.Bits(), a.ByteSize()) == 0;
}

TEST(Kernels, ValuesAtTheirBounds) {
  // Bell 0.5 and Mitchell 1.0 come from the second branch; sin(pi) is exactly 0 in Lanczos3.
  const struct {
    F f;
    double x, value;
  } cases[] = {
      {F::rfTriangle, -0.25, 0.75}, {F::rfTriangle, 1.0, 0.0},   {F::rfHermite, 0.5, 0.5},
      {F::rfHermite, 1.0, 0.0},     {F::rfBell, 0.5, 0.5},       {F::rfBell, 0.0, 0.75},
      {F::rfBell, 1.5, 0.0},        {F::rfBSpline, 1.0, 1 / 6.}, {F::rfBSpline, 0.0, 2 / 3.},
      {F::rfBSpline, 2.0, 0.0},     {F::rfLanczos3, 0.0, 1.0},   {F::rfLanczos3, 1.0, 0.0},
      {F::rfLanczos3, 2.0, 0.0},    {F::rfLanczos3, 3.0, 0.0},   {F::rfMitchell, 2.0, 0.0}};
  for (const auto& c : cases)
    EXPECT_EQ(FilterKernel(c.f, c.x), c.value) << static_cast<int>(c.f) << " at " << c.x;
  EXPECT_NEAR(FilterKernel(F::rfMitchell, 1.0), 1.0 / 18.0, 1e-15);
  EXPECT_NEAR(FilterKernel(F::rfMitchell, 0.0), 8.0 / 9.0, 1e-16);
  EXPECT_EQ(FilterSupport(F::rfBell) + FilterSupport(F::rfLanczos3), 4.5);
  EXPECT_THROW(FilterKernel(F::rfNone, 0.0), EResampleError);
  EXPECT_THROW(FilterSupport(static_cast<F>(7)), EResampleError);
  // Our own sine (the same on every machine) against the library's, a few units in the last
  // place apart at most.
  for (int i = 1; i < 30000; ++i) {
    const double t = i * 0.0001, x = 3.14159265358979323846 * t, y = x / 3.0;
    ASSERT_NEAR(FilterKernel(F::rfLanczos3, t), (std::sin(x) / x) * (std::sin(y) / y), 8e-16) << t;
  }
}

// Taps beyond an edge are reflected into the picture (-1 is 1, n is n - 1, n + 1 is n - 2)
// with their weights: {output, its taps' pixels} for 8 from 4 by Mitchell.
TEST(Contributors, EdgesReflectWithTheirWeights) {
  const TContributorLists l = BuildContributors(8, 4, F::rfMitchell);
  const std::pair<int, std::vector<int>> cases[] = {{0, {1, 0, 1}}, {7, {2, 3, 3, 2}}};
  for (const auto& [index, pixels] : cases) {
    std::vector<int> got;
    for (int k = 0; k < l.N(index); ++k) got.push_back(l.List(index)[k].pixel);
    EXPECT_EQ(got, pixels) << index;
  }
  EXPECT_NEAR(l.List(7)[3].weight, FilterKernel(F::rfMitchell, 1.5), 1e-15);  // not 0
  const TContributorLists shrink = BuildContributors(4, 8, F::rfTriangle);
  EXPECT_EQ(shrink.List(0)[0].pixel * 10 + shrink.List(3)[2].pixel, 17);
  EXPECT_EQ(shrink.List(0)[0].weight + shrink.List(0)[1].weight, 0.75);
  // A reach longer than the side: one reflection is not enough, the rest is clamped.
  for (F f : kFilters)
    for (int n : {1, 2, 3})
      for (int m : {1, 2, 5, 40})
        for (const TContributor& c : BuildContributors(m, n, f).Entries) {
          EXPECT_TRUE(c.pixel >= 0 && c.pixel < n) << m << " from " << n;
          EXPECT_NE(c.weight, 0.0);
        }
}

TEST(ResampleFiltered, SumsAreRoundedAndClampedNotNormalised) {
  // Flat grey shrunk by a triangle whose taps do not sum to 1.
  TBitmap dst;
  dst.SetSize(4, 4);
  ResampleFilteredReference(Flat(10, 10, 100), dst, F::rfTriangle, nullptr, nullptr);
  const int rows[4][4] = {
      {108, 100, 108, 100}, {100, 92, 100, 92}, {108, 100, 108, 100}, {100, 92, 100, 92}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.ScanLine(y)[3 * x + 1], rows[y][x]) << y << x;
  // A single white pixel: 8/9 stays in place, 1/18 goes to each neighbour, per pass.
  TBitmap dot = Flat(5, 5, 0), blur;
  std::memset(dot.ScanLine(2) + 6, 255, 3);
  blur.SetSize(5, 5);
  ResampleFiltered(dot, blur, F::rfMitchell, nullptr, nullptr);
  const int seen[][3] = {{6, 2, 202}, {3, 2, 12}, {6, 1, 13}, {3, 1, 1}, {6, 0, 0}};
  for (const auto& s : seen) EXPECT_EQ(blur.ScanLine(s[1])[s[0]], s[2]) << s[0] << "," << s[1];
  // Ringing beside a step overshoots both ends: cut there, not wrapped.
  TBitmap step = Flat(8, 1, 0), wide;
  std::memset(step.ScanLine(0) + 12, 255, 12);
  wide.SetSize(32, 1);
  ResampleFilteredReference(step, wide, F::rfLanczos3, nullptr, nullptr);
  for (int x = 0; x < 8; ++x)
    EXPECT_TRUE(wide.ScanLine(0)[3 * x] < 30 && wide.ScanLine(0)[3 * (31 - x)] > 225) << x;
  EXPECT_EQ(*std::min_element(wide.Bits(), wide.Bits() + 96) +
                *std::max_element(wide.Bits(), wide.Bits() + 96),
            255);
}

TEST(ResampleFiltered, FastPathsMatchTheReferenceBitForBit) {
  const int sizes[][4] = {{1, 1, 1, 1},   {1, 1, 6, 4},     {1, 9, 1, 3},      {9, 1, 3, 1},
                          {1, 37, 5, 70}, {37, 1, 70, 5},   {17, 11, 33, 23},  {97, 61, 13, 9},
                          {301, 7, 3, 2}, {5, 203, 2, 17},  {64, 48, 128, 96}, {50, 40, 1, 1},
                          {2, 3, 41, 1},  {33, 19, 33, 19}, {400, 30, 9, 200}};
  std::uint32_t seed = 7;
  for (const auto& s : sizes) {
    const TBitmap src = RandomPicture(s[0], s[1], ++seed);
    for (F f : kFilters) {
      TBitmap ref;
      ref.SetSize(s[2], s[3]);
      std::vector<int> refProgress, progress;
      ResampleFilteredReference(
          src, ref, f, [&](const void*, int per) { refProgress.push_back(per); }, nullptr);
      for (TResamplePath p :
           {TResamplePath::Sse2, TResamplePath::Avx2, TResamplePath::Avx512, TResamplePath::Auto}) {
        TBitmap fast;
        fast.SetSize(s[2], s[3]);
        progress.clear();
        ResampleFilteredPath(
            p, src, fast, f, [&](const void*, int per) { progress.push_back(per); }, nullptr);
        EXPECT_TRUE(SamePixels(ref, fast)) << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3]
                                           << " filter " << int(f) << " path " << int(p);
        EXPECT_EQ(progress, refProgress);
      }
    }
  }
}

// ---- through the component

TEST(Resample, ProportionalSidesTruncate) {
  const struct {
    int w, h, newW, newH, gotW, gotH;
  } cases[] = {{400, 300, -1, 96, 128, 96}, {400, 300, 70, -5, 70, 52}};  // 52.5
  for (const auto& c : cases) {
    TImageBox box;
    box.Bitmap() = RandomPicture(c.w, c.h, 5);
    box.Resample(c.newW, c.newH, F::rfMitchell);
    EXPECT_EQ(box.Bitmap().Width() * 1000 + box.Bitmap().Height(), c.gotW * 1000 + c.gotH);
  }
  TImageBox mono;  // 1-bit stays 1-bit, stretched without progress reports
  mono.Bitmap().SetPixelFormat(TPixelFormat::pf1bit);
  mono.Bitmap().SetSize(40, 20);
  mono.Bitmap().ScanLine(0)[0] = mono.Bitmap().ScanLine(1)[0] = 0xFF;
  int calls = 0;
  mono.SetOnProgress([&](const void*, int) { ++calls; });
  mono.Resample(-1, 10, F::rfMitchell);
  EXPECT_EQ(mono.Bitmap().PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(mono.Bitmap().Width(), 20);
  EXPECT_EQ(mono.Bitmap().ScanLine(0)[0] & 0xF0, 0xF0);
  EXPECT_EQ(calls, 0);
}

TEST(Resample, ProgressCountsRowsThenColumns) {
  TImageBox box;
  std::vector<int> seen;
  box.SetOnProgress(
      [&](const void* sender, int per) { seen.push_back(sender == &box.Proc() ? per : -1); });
  box.Bitmap() = RandomPicture(400, 300, 11);
  box.Resample(70, -1, F::rfBell);
  ASSERT_EQ(seen.size(), 370u);                      // source rows + target columns
  EXPECT_EQ(seen.front() * 1000 + seen.back(), 99);  // trunc(100 / 370.5), and never 100
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST(Resample, FailuresLeaveThePictureAsItWas) {
  TImageBox box;
  const TBitmap pic = RandomPicture(30, 20, 13);
  box.Bitmap() = pic;
  const int cases[][3] = {{0, 10, 1}, {10, 0, 0}, {1, -1, 6}, {10, 10, 7}, {10, 10, 255}};
  for (const auto& c : cases)
    EXPECT_THROW(box.Resample(c[0], c[1], static_cast<F>(c[2])), EResampleError) << c[0] << c[1];
  box.SetOnProgress([](const void*, int per) {
    if (per > 40) throw std::runtime_error("stop");
  });
  EXPECT_THROW(box.Resample(15, 10, F::rfMitchell), std::runtime_error);
  const int updates = box.UpdateCount();
  box.Resample(-1, -1, F::rfLanczos3);  // both proportional: nothing to do
  EXPECT_EQ(box.UpdateCount(), updates);
  EXPECT_TRUE(SamePixels(box.Bitmap(), pic));

  TImageBox empty;
  for (const auto& s : {std::pair{-1, 10}, {10, -1}, {10, 10}})
    EXPECT_THROW(empty.Resample(s.first, s.second, F::rfMitchell), EResampleError);
  TImageBox wide;  // 2 * 2000000000 overflows 32 bits: the true quotient meets the size limit
  wide.Bitmap().SetSize(60000, 2);
  EXPECT_THROW(wide.Resample(2000000000, -1, F::rfNone), EImageSizeError);
  EXPECT_EQ(wide.Bitmap().Width(), 60000);
}

}  // namespace
}  // namespace folivant
