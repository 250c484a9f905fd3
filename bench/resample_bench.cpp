// The resampler against the JPEG decode it follows in every build: a 4000 x 3000 picture to a
// 128 x 96 thumbnail (Mitchell, Lanczos3), a 1024 x 768 enlargement to 2048 x 1536 (Triangle),
// each with the scalar reference and the fast paths, and libjpeg-turbo decoding a 4000 x 3000
// quality-90 JPEG of the same picture.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

#include "imaging/bitmap.h"
#include "imaging/resample.h"

namespace {

using folivant::TBitmap;
using folivant::TResampleFilter;
using folivant::TResamplePath;

// Smooth shading, a few hard edges and fine noise: close enough to a photograph for both the
// resampler (which does not care) and the JPEG coder (which does).
TBitmap PhotoLike(int w, int h) {
  TBitmap b;
  b.SetSize(w, h);
  std::uint32_t seed = 12345;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>(seed >> 28) - 8;
      const double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
      int r = static_cast<int>(128 + 100 * std::sin(6.0 * fx + 2.0 * fy));
      int g = static_cast<int>(110 + 90 * std::cos(4.0 * fy - 3.0 * fx));
      int bl = static_cast<int>(90 + 60 * std::sin(9.0 * fx * fy));
      if (((x / 250) + (y / 180)) % 7 == 0) r = 240, g = 230, bl = 20;  // hard-edged patches
      row[3 * x] = static_cast<std::uint8_t>(std::clamp(bl + noise, 0, 255));
      row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(g + noise, 0, 255));
      row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(r + noise, 0, 255));
    }
  }
  return b;
}

const TBitmap& Large() {
  static const TBitmap b = PhotoLike(4000, 3000);
  return b;
}

const TBitmap& Medium() {
  static const TBitmap b = PhotoLike(1024, 768);
  return b;
}

void Run(benchmark::State& state, const TBitmap& src, int dw, int dh, TResampleFilter f,
         TResamplePath path) {
  TBitmap dst;
  dst.SetSize(dw, dh);
  for (auto _ : state) {
    folivant::ResampleFilteredPath(path, src, dst, f, nullptr, nullptr);
    benchmark::DoNotOptimize(dst.Bits());
    benchmark::ClobberMemory();
  }
}

void BM_Thumb(benchmark::State& state) {
  const auto f = static_cast<TResampleFilter>(state.range(0));
  const auto path = static_cast<TResamplePath>(state.range(1));
  if (state.thread_index() == 0)
    state.SetLabel(path == TResamplePath::Scalar ? "reference" : "fast");
  Run(state, Large(), 128, 96, f, path);
}

void BM_Enlarge(benchmark::State& state) {
  const auto path = static_cast<TResamplePath>(state.range(0));
  Run(state, Medium(), 2048, 1536, TResampleFilter::rfTriangle, path);
}

std::vector<unsigned char> EncodeJpeg(const TBitmap& b, int quality) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = static_cast<JDIMENSION>(b.Width());
  c.image_height = static_cast<JDIMENSION>(b.Height());
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> rgb(3 * static_cast<std::size_t>(b.Width()));
  while (c.next_scanline < c.image_height) {
    const std::uint8_t* s = b.ScanLine(static_cast<int>(c.next_scanline));
    for (int x = 0; x < b.Width(); ++x) {
      rgb[3 * x] = s[3 * x + 2];
      rgb[3 * x + 1] = s[3 * x + 1];
      rgb[3 * x + 2] = s[3 * x];
    }
    JSAMPROW row = rgb.data();
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<unsigned char> bytes(out, out + size);
  std::free(out);
  return bytes;
}

void BM_JpegDecode(benchmark::State& state) {
  static const std::vector<unsigned char> file = EncodeJpeg(Large(), 90);
  std::vector<unsigned char> rows;
  for (auto _ : state) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    rows.resize(static_cast<std::size_t>(d.output_width) * d.output_components);
    while (d.output_scanline < d.output_height) {
      JSAMPROW row = rows.data();
      jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    benchmark::DoNotOptimize(rows.data());
  }
  state.SetLabel(std::to_string(file.size() / 1024) + " KB");
}

constexpr int kMitchell = static_cast<int>(TResampleFilter::rfMitchell);
constexpr int kLanczos3 = static_cast<int>(TResampleFilter::rfLanczos3);
constexpr int kScalar = static_cast<int>(TResamplePath::Scalar);
constexpr int kSse2 = static_cast<int>(TResamplePath::Sse2);
constexpr int kAvx2 = static_cast<int>(TResamplePath::Avx2);
constexpr int kAuto = static_cast<int>(TResamplePath::Auto);

}  // namespace

// Arguments: filter, path (1 scalar reference, 2 SSE2, 3 AVX2, 0 best available).
BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thumb)
    ->ArgNames({"filter", "path"})
    ->Args({kMitchell, kScalar})
    ->Args({kMitchell, kSse2})
    ->Args({kMitchell, kAvx2})
    ->Args({kMitchell, kAuto})
    ->Args({kLanczos3, kScalar})
    ->Args({kLanczos3, kAuto})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Enlarge)->ArgNames({"path"})->Arg(kScalar)->Arg(kAuto)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
