#include "imaging/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "imaging/image_box.h"

namespace folivant {
namespace {

using F = TResampleFilter;
constexpr F kFilters[] = {F::rfTriangle, F::rfHermite,  F::rfBell,
                          F::rfBSpline,  F::rfLanczos3, F::rfMitchell};

TBitmap RandomPicture(int w, int h, std::uint32_t seed) {
  TBitmap b;
  b.SetSize(w, h);
  std::mt19937 rng(seed);
  // Mostly smooth with some sharp steps, so both plain sums and clamping are exercised.
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < 3 * w; ++x)
      row[x] = (rng() % 4 == 0) ? static_cast<std::uint8_t>(rng() % 2 ? 255 : 0)
                                : static_cast<std::uint8_t>(rng());
  }
  return b;
}

TBitmap Flat(int w, int h, std::uint8_t v) {
  TBitmap b;
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) std::memset(b.ScanLine(y), v, 3 * static_cast<std::size_t>(w));
  return b;
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
    return false;
  const std::size_t n = a.PixelFormat() == TPixelFormat::pf24bit
                            ? 3 * static_cast<std::size_t>(a.Width())
                            : (static_cast<std::size_t>(a.Width()) + 7) / 8;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), n) != 0) return false;
  return true;
}

TEST(Kernels, ValuesAtTheirBounds) {
  // Bell 0.5 and Mitchell 1.0 come from the second branch; sin(pi) is exactly 0 in Lanczos3.
  const struct {
    F f;
    double x, value;
  } cases[] = {
      {F::rfTriangle, 0.0, 1.0},   {F::rfTriangle, 1.0, 0.0},   {F::rfTriangle, -0.25, 0.75},
      {F::rfHermite, 1.0, 0.0},    {F::rfHermite, 0.0, 1.0},    {F::rfHermite, 0.5, 0.5},
      {F::rfBell, 0.5, 0.5},       {F::rfBell, 0.0, 0.75},      {F::rfBell, 1.5, 0.0},
      {F::rfBSpline, 1.0, 1 / 6.}, {F::rfBSpline, 0.0, 2 / 3.}, {F::rfBSpline, 2.0, 0.0},
      {F::rfLanczos3, 0.0, 1.0},   {F::rfLanczos3, 3.0, 0.0},   {F::rfLanczos3, 1.0, 0.0},
      {F::rfLanczos3, 2.0, 0.0},   {F::rfMitchell, 2.0, 0.0},   {F::rfMitchell, -2.5, 0.0}};
  for (const auto& c : cases)
    EXPECT_EQ(FilterKernel(c.f, c.x), c.value) << static_cast<int>(c.f) << " at " << c.x;
  EXPECT_NEAR(FilterKernel(F::rfLanczos3, 0.5), 0.6079271018540267, 1e-15);
  EXPECT_NEAR(FilterKernel(F::rfMitchell, 1.0), 1.0 / 18.0, 1e-15);
  EXPECT_NEAR(FilterKernel(F::rfMitchell, 0.0), 8.0 / 9.0, 1e-16);
  for (F f : kFilters)
    for (double x : {0.1, 0.7, 1.3, 2.2})
      EXPECT_EQ(FilterKernel(f, x), FilterKernel(f, -x)) << static_cast<int>(f);
  EXPECT_EQ(FilterSupport(F::rfBell), 1.5);
  EXPECT_EQ(FilterSupport(F::rfLanczos3), 3.0);
  EXPECT_THROW(FilterKernel(F::rfNone, 0.0), EResampleError);
  EXPECT_THROW(FilterSupport(static_cast<F>(7)), EResampleError);
}

TEST(Kernels, LanczosMatchesTheLibrarySine) {
  // Our own sine (the same on every machine) against the library's within a few units in
  // the last place.
  for (int i = 1; i < 30000; ++i) {
    const double t = i * 0.0001;
    const double x = 3.14159265358979323846 * t, y = x / 3.0;
    const double lib = (std::sin(x) / x) * (std::sin(y) / y);
    EXPECT_NEAR(FilterKernel(F::rfLanczos3, t), lib, 8e-16) << t;
  }
}

TEST(Contributors, ShrinkEightToFourWithTriangle) {
  const TContributorLists l = BuildContributors(4, 8, F::rfTriangle);
  ASSERT_EQ(l.Count(), 4);
  ASSERT_EQ(l.N(0), 3);
  EXPECT_EQ(l.List(0)[0].pixel, 1);  // reflected from -1
  EXPECT_EQ(l.List(0)[0].weight, 0.25);
  EXPECT_EQ(l.List(0)[1].pixel, 0);
  EXPECT_EQ(l.List(0)[1].weight, 0.5);
  EXPECT_EQ(l.List(0)[2].pixel, 1);
  EXPECT_EQ(l.List(0)[2].weight, 0.25);
  // Output 3 is centred on input 6; input 8 reflects to 7.
  ASSERT_EQ(l.N(3), 3);
  EXPECT_EQ(l.List(3)[1].pixel, 6);
  EXPECT_EQ(l.List(3)[2].pixel, 7);
}

TEST(Contributors, IndexesStayInsideTinySides) {
  // A reach longer than the side: one reflection is not enough, the rest is clamped.
  for (F f : kFilters)
    for (int n : {1, 2, 3})
      for (int m : {1, 2, 5, 40}) {
        const TContributorLists l = BuildContributors(m, n, f);
        for (const TContributor& c : l.Entries) {
          EXPECT_GE(c.pixel, 0);
          EXPECT_LT(c.pixel, n);
          EXPECT_NE(c.weight, 0.0);
        }
      }
}

TEST(ResampleFiltered, FlatGreyShrinkIsNotNormalised) {
  const TBitmap src = Flat(10, 10, 100);
  TBitmap dst;
  dst.SetSize(4, 4);
  ResampleFilteredReference(src, dst, F::rfTriangle, nullptr, nullptr);
  const int rows[4][4] = {
      {108, 100, 108, 100}, {100, 92, 100, 92}, {108, 100, 108, 100}, {100, 92, 100, 92}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      for (int c = 0; c < 3; ++c) EXPECT_EQ(dst.ScanLine(y)[3 * x + c], rows[y][x]) << y << x;
  TBitmap fast;
  fast.SetSize(4, 4);
  ResampleFiltered(src, fast, F::rfTriangle, nullptr, nullptr);
  EXPECT_TRUE(SamePixels(dst, fast));
}

TEST(ResampleFiltered, FlatPictureEnlargedStaysFlat) {
  const TBitmap src = Flat(7, 5, 77);
  for (F f : {F::rfTriangle, F::rfHermite, F::rfBell, F::rfBSpline, F::rfMitchell}) {
    TBitmap dst;
    dst.SetSize(19, 12);
    ResampleFiltered(src, dst, f, nullptr, nullptr);
    EXPECT_TRUE(SamePixels(dst, Flat(19, 12, 77))) << static_cast<int>(f);
  }
}

TEST(ResampleFiltered, LanczosOvershootIsClamped) {
  TBitmap src;
  src.SetSize(8, 1);
  for (int x = 4; x < 8; ++x) std::memset(src.ScanLine(0) + 3 * x, 255, 3);
  TBitmap dst;
  dst.SetSize(32, 1);
  ResampleFilteredReference(src, dst, F::rfLanczos3, nullptr, nullptr);
  // Ringing beside the edge overshoots both ends; it is cut there, not wrapped.
  const TContributorLists l = BuildContributors(32, 8, F::rfLanczos3);
  bool over = false, under = false;
  for (int x = 0; x < 32; ++x) {
    double sum = 0.0;
    for (int k = 0; k < l.N(x); ++k)
      sum += src.ScanLine(0)[3 * l.List(x)[k].pixel] * l.List(x)[k].weight;
    if (sum > 256.0) {
      over = true;
      EXPECT_EQ(dst.ScanLine(0)[3 * x], 255);
    }
    if (sum < -1.0) {
      under = true;
      EXPECT_EQ(dst.ScanLine(0)[3 * x], 0);
    }
  }
  EXPECT_TRUE(over);
  EXPECT_TRUE(under);
}

TEST(ResampleFiltered, SameSizeTriangleIsIdentityMitchellBlurs) {
  const TBitmap src = RandomPicture(13, 9, 1);
  for (F f : {F::rfTriangle, F::rfHermite, F::rfLanczos3}) {  // zero at every other whole distance
    TBitmap dst;
    dst.SetSize(13, 9);
    ResampleFiltered(src, dst, f, nullptr, nullptr);
    EXPECT_TRUE(SamePixels(src, dst)) << static_cast<int>(f);
  }

  // A single white pixel: 8/9 stays in place, 1/18 goes to each neighbour, per pass.
  TBitmap dot = Flat(5, 5, 0);
  std::memset(dot.ScanLine(2) + 6, 255, 3);
  TBitmap blur;
  blur.SetSize(5, 5);
  ResampleFiltered(dot, blur, F::rfMitchell, nullptr, nullptr);
  EXPECT_EQ(blur.ScanLine(2)[6], 202);  // 255 * 8/9 = 226.67 -> 227; 227 * 8/9 = 201.8
  EXPECT_EQ(blur.ScanLine(2)[3], 12);   // 255 / 18 = 14.17 -> 14; 14 * 8/9 = 12.4
  EXPECT_EQ(blur.ScanLine(1)[6], 13);   // 227 / 18 = 12.6
  EXPECT_EQ(blur.ScanLine(1)[3], 1);    // 14 / 18
  EXPECT_EQ(blur.ScanLine(0)[6], 0);
}

TEST(ResampleFiltered, FastPathsMatchTheReferenceBitForBit) {
  struct Size {
    int sw, sh, dw, dh;
  };
  const Size sizes[] = {{1, 1, 1, 1},    {1, 1, 6, 4},   {1, 9, 1, 3},     {9, 1, 3, 1},
                        {1, 37, 5, 70},  {37, 1, 70, 5}, {8, 8, 4, 4},     {17, 11, 33, 23},
                        {97, 61, 13, 9}, {301, 7, 3, 2}, {5, 203, 2, 17},  {64, 48, 128, 96},
                        {50, 40, 1, 1},  {2, 3, 41, 1},  {33, 19, 33, 19}, {400, 30, 9, 200}};
  const TResamplePath paths[] = {TResamplePath::Sse2, TResamplePath::Avx2, TResamplePath::Avx512,
                                 TResamplePath::Auto};
  std::uint32_t seed = 7;
  for (const Size& s : sizes) {
    const TBitmap src = RandomPicture(s.sw, s.sh, ++seed);
    for (F f : kFilters) {
      TBitmap ref;
      ref.SetSize(s.dw, s.dh);
      std::vector<int> refProgress;
      ResampleFilteredReference(
          src, ref, f, [&](const void*, int per) { refProgress.push_back(per); }, nullptr);
      for (TResamplePath p : paths) {
        TBitmap fast;
        fast.SetSize(s.dw, s.dh);
        std::vector<int> progress;
        ResampleFilteredPath(
            p, src, fast, f, [&](const void*, int per) { progress.push_back(per); }, nullptr);
        EXPECT_TRUE(SamePixels(ref, fast))
            << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh << " filter "
            << static_cast<int>(f) << " path " << static_cast<int>(p);
        EXPECT_EQ(progress, refProgress);
      }
    }
  }
}

TEST(ResampleFiltered, RefusesEmptySidesAndUnknownFilters) {
  const TBitmap src = RandomPicture(4, 4, 3);
  TBitmap dst;
  dst.SetSize(0, 3);
  EXPECT_THROW(ResampleFiltered(src, dst, F::rfMitchell, nullptr, nullptr), EResampleError);
  TBitmap empty, out;
  out.SetSize(3, 3);
  EXPECT_THROW(ResampleFiltered(empty, out, F::rfMitchell, nullptr, nullptr), EResampleError);
  EXPECT_THROW(ResampleFilteredReference(src, out, static_cast<F>(9), nullptr, nullptr),
               EResampleError);
  EXPECT_THROW(ResampleFiltered(src, out, F::rfNone, nullptr, nullptr), EResampleError);
  // A 1-bit source is not the filtered path's business: the destination is left alone.
  TBitmap mono;
  mono.SetPixelFormat(TPixelFormat::pf1bit);
  mono.SetSize(4, 4);
  out.Bits()[0] = 42;
  ResampleFiltered(mono, out, F::rfMitchell, nullptr, nullptr);
  EXPECT_EQ(out.Bits()[0], 42);
}

// --- through the component -------------------------------------------------------------------

TEST(Resample, ProportionalSidesUseTruncatingDivision) {
  TImageBox box;
  box.Bitmap() = RandomPicture(400, 300, 5);
  box.Resample(-1, 96, F::rfMitchell);
  EXPECT_EQ(box.Bitmap().Width(), 128);
  EXPECT_EQ(box.Bitmap().Height(), 96);
  box.Bitmap() = RandomPicture(400, 300, 5);
  box.Resample(70, -5, F::rfTriangle);  // any negative value asks for the proportional side
  EXPECT_EQ(box.Bitmap().Width(), 70);
  EXPECT_EQ(box.Bitmap().Height(), 52);
  // The I/O parameters still describe the file as loaded.
  EXPECT_EQ(box.IOParams().Width, 0);
}

TEST(Resample, BothSidesNegativeLeavesThePicture) {
  TImageBox box;
  const TBitmap pic = RandomPicture(20, 10, 9);
  box.Bitmap() = pic;
  const int updates = box.UpdateCount();
  box.Resample(-1, -1, F::rfLanczos3);
  EXPECT_TRUE(SamePixels(box.Bitmap(), pic));
  EXPECT_EQ(box.UpdateCount(), updates);
  // AutoUndo took its snapshot all the same.
  EXPECT_TRUE(SamePixels(box.Proc().UndoBitmap(), pic));
}

TEST(Resample, OneBitStaysOneBit) {
  TImageBox box;
  box.Bitmap().SetPixelFormat(TPixelFormat::pf1bit);
  box.Bitmap().SetSize(40, 20);
  box.Bitmap().ScanLine(0)[0] = box.Bitmap().ScanLine(1)[0] = 0xFF;
  int calls = 0;
  box.SetOnProgress([&](const void*, int) { ++calls; });
  box.Resample(-1, 10, F::rfMitchell);
  EXPECT_EQ(box.Bitmap().PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(box.Bitmap().Width(), 20);
  EXPECT_EQ(box.Bitmap().ScanLine(0)[0] & 0xF0, 0xF0);
  EXPECT_EQ(calls, 0);
}

TEST(Resample, ProgressCountsRowsAndColumns) {
  TImageBox box;
  std::vector<int> seen;
  const void* sender = nullptr;
  box.SetOnProgress([&](const void* s, int per) {
    sender = s;
    seen.push_back(per);
  });
  box.Bitmap() = RandomPicture(400, 300, 11);
  box.Resample(70, -1, F::rfBell);
  ASSERT_EQ(seen.size(), 370u);  // srcH + dstW
  EXPECT_EQ(seen.front(), 0);    // trunc(100 / 370.5)
  EXPECT_EQ(seen.back(), 99);    // never 100
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1], seen[i]);
  EXPECT_EQ(sender, &box.Proc());

  seen.clear();
  box.Resample(20, 10, F::rfNone);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(box.Bitmap().Width(), 20);
}

TEST(Resample, FailuresLeaveThePictureAsItWas) {
  TImageBox box;
  const TBitmap pic = RandomPicture(30, 20, 13);
  box.Bitmap() = pic;
  EXPECT_THROW(box.Resample(0, 10, F::rfTriangle), EResampleError);
  EXPECT_THROW(box.Resample(10, 0, F::rfNone), EResampleError);
  EXPECT_THROW(box.Resample(1, -1, F::rfMitchell), EResampleError);  // 20 * 1 div 30 = 0
  EXPECT_THROW(box.Resample(10, 10, static_cast<F>(7)), EResampleError);
  EXPECT_THROW(box.Resample(10, 10, static_cast<F>(255)), EResampleError);
  EXPECT_TRUE(SamePixels(box.Bitmap(), pic));

  TImageBox empty;
  EXPECT_THROW(empty.Resample(-1, 10, F::rfMitchell), EResampleError);
  EXPECT_THROW(empty.Resample(10, -1, F::rfNone), EResampleError);
  EXPECT_THROW(empty.Resample(10, 10, F::rfMitchell), EResampleError);
  EXPECT_EQ(empty.Bitmap().Width(), 0);

  // A progress handler that throws leaves the picture too.
  box.SetOnProgress([](const void*, int per) {
    if (per > 40) throw std::runtime_error("stop");
  });
  EXPECT_THROW(box.Resample(15, 10, F::rfMitchell), std::runtime_error);
  EXPECT_TRUE(SamePixels(box.Bitmap(), pic));
}

TEST(Resample, HugeProportionalSideIsRefusedBySize) {
  TImageBox box;
  box.Bitmap().SetSize(60000, 2);
  // 2 * 2000000000 overflows 32 bits; the true quotient is then judged by the size limit.
  EXPECT_THROW(box.Resample(2000000000, -1, F::rfNone), EImageSizeError);
  EXPECT_EQ(box.Bitmap().Width(), 60000);
}

TEST(Resample, WorkersResampleIndependently) {
  const TBitmap pic = RandomPicture(120, 90, 17);
  TBitmap expected;
  expected.SetSize(40, 30);
  ResampleFilteredReference(pic, expected, F::rfLanczos3, nullptr, nullptr);
  std::vector<std::thread> threads;
  bool ok[4] = {};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      TImageBox box;
      box.SetAutoUndo(false);
      for (int k = 0; k < 3; ++k) {
        box.Bitmap() = pic;
        box.Resample(40, -1, F::rfLanczos3);
      }
      ok[t] = SamePixels(box.Bitmap(), expected);
    });
  for (auto& th : threads) th.join();
  for (bool b : ok) EXPECT_TRUE(b);
}

}  // namespace
}  // namespace folivant
