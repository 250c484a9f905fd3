// One 12-megapixel photo (4032 x 3024, a phone's size) read by the build's readers: as a
// quality-90 JPEG and as a HEIC of libheif's default quality (x265), both made here once from
// the same picture.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <libheif/heif.h>

#include "codecs/codecs.h"
#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/stream.h"

namespace {

using namespace folivant;

constexpr int kW = 4032, kH = 3024;

// Smooth shading, hard-edged patches and fine noise, as in the resampler's benchmark.
std::uint8_t Sample(int x, int y, int c, std::uint32_t& seed) {
  seed = seed * 1664525u + 1013904223u;
  const int noise = static_cast<int>(seed >> 28) - 8;
  const double fx = static_cast<double>(x) / kW, fy = static_cast<double>(y) / kH;
  int v = c == 0   ? static_cast<int>(128 + 100 * std::sin(6.0 * fx + 2.0 * fy))
          : c == 1 ? static_cast<int>(110 + 90 * std::cos(4.0 * fy - 3.0 * fx))
                   : static_cast<int>(90 + 60 * std::sin(9.0 * fx * fy));
  if (((x / 250) + (y / 180)) % 7 == 0) v = c == 0 ? 240 : c == 1 ? 230 : 20;
  return static_cast<std::uint8_t>(std::clamp(v + noise, 0, 255));
}

const std::vector<std::uint8_t>& Jpeg() {
  static const std::vector<std::uint8_t> file = [] {
    TBitmap b;
    b.SetSize(kW, kH);
    std::uint32_t seed = 12345;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        for (int c = 0; c < 3; ++c) b.ScanLine(y)[3 * x + 2 - c] = Sample(x, y, c, seed);
    TIOParamsVals params;
    params.JpegQuality = 90;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    TMemoryStream out;
    WriteJpegStream(out, b, params, progress);
    return out.Bytes();
  }();
  return file;
}

heif_error WriteToVector(heif_context*, const void* data, std::size_t size, void* user) {
  auto* v = static_cast<std::vector<std::uint8_t>*>(user);
  v->insert(v->end(), static_cast<const std::uint8_t*>(data),
            static_cast<const std::uint8_t*>(data) + size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

const std::vector<std::uint8_t>& Heic() {
  static const std::vector<std::uint8_t> file = [] {
    heif_context* ctx = heif_context_alloc();
    heif_image* img = nullptr;
    heif_image_create(kW, kH, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &img);
    heif_image_add_plane(img, heif_channel_interleaved, kW, kH, 8);
    int stride = 0;
    std::uint8_t* p = heif_image_get_plane(img, heif_channel_interleaved, &stride);
    std::uint32_t seed = 12345;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        for (int c = 0; c < 3; ++c) p[y * stride + 3 * x + c] = Sample(x, y, c, seed);
    heif_encoder* enc = nullptr;
    heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &enc);
    if (!enc) throw std::runtime_error("no HEVC encoder");
    heif_context_encode_image(ctx, img, enc, nullptr, nullptr);
    heif_writer writer{1, WriteToVector};
    std::vector<std::uint8_t> bytes;
    heif_context_write(ctx, &writer, &bytes);
    heif_encoder_release(enc);
    heif_image_release(img);
    heif_context_free(ctx);
    return bytes;
  }();
  return file;
}

void Decode(benchmark::State& state, const std::vector<std::uint8_t>& file,
            void (*read)(TStream&, TBitmap&, TIOParamsVals&, bool, TProgressRec&)) {
  InstallCodecs();
  TBitmap bmp;
  for (auto _ : state) {
    TMemoryStream s(file.data(), file.size());
    TIOParamsVals params;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    read(s, bmp, params, false, progress);
    if (aborting || bmp.Width() != kW) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(bmp.Bits());
  }
  state.SetLabel(std::to_string(file.size() / 1024) + " KB");
}

void BM_Read12MpJpeg(benchmark::State& state) {
  Decode(state, Jpeg(), ReadJpegStream);
}
void BM_Read12MpHeic(benchmark::State& state) {
  Decode(state, Heic(), ReadHeifStream);
}

}  // namespace

// libheif decodes on threads of its own: the CPU time counted is the whole process's.
BENCHMARK(BM_Read12MpJpeg)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read12MpHeic)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
