// WebP reader over libwebp: a still picture, or the first frame of an animation, with its
// colour profile. Browsers show WebP as stored whatever its EXIF chunk says, so the
// orientation is not read.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <webp/decode.h>
#include <webp/demux.h>

#include "codecs/codecs.h"
#include "codecs/picture_facts.h"

namespace folivant {

namespace {

std::uint32_t LittleEndian32(const std::uint8_t* p) {
  return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

// The most a file may hold for a picture of the given size: room for lossless data that
// does not compress and for metadata, so a false RIFF length costs no more than that.
std::uint64_t MaxFileBytes(int w, int h) {
  return (std::uint64_t{64} << 20) +
         static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) * 5;
}

struct DemuxDelete {
  void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct AnimDelete {
  void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};
struct BufferFree {
  void operator()(WebPDecBuffer* b) const { WebPFreeDecBuffer(b); }
};

// Rows of blue, green, red, alpha composited over the background into the bitmap.
void CompositeRows(const std::uint8_t* bgra, int stride, TBitmap& bmp, const TRGB& bg,
                   TProgressRec& progress) {
  const int w = bmp.Width(), h = bmp.Height();
  progress.per = 100.0 / h;
  progress.val = 0;
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* in = bgra + static_cast<std::ptrdiff_t>(y) * stride;
    std::uint8_t* out = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const unsigned a = in[4 * x + 3];
      out[3 * x] = Over(in[4 * x], a, bg.b);
      out[3 * x + 1] = Over(in[4 * x + 1], a, bg.g);
      out[3 * x + 2] = Over(in[4 * x + 2], a, bg.r);
    }
    progress.Advance(1);
    if (*progress.Aborting) return;
  }
}

// A still picture. Without alpha libwebp writes blue-green-red straight into the bitmap,
// flipped to its bottom-up rows.
bool DecodeStill(const std::vector<std::uint8_t>& file, bool alpha, TBitmap& bmp, const TRGB& bg,
                 TProgressRec& progress) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return false;
  if (!alpha) {
    config.output.colorspace = MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = bmp.Bits();
    config.output.u.RGBA.stride = static_cast<int>(bmp.RowBytes());
    config.output.u.RGBA.size = bmp.ByteSize();
    config.options.flip = 1;
    if (WebPDecode(file.data(), file.size(), &config) != VP8_STATUS_OK) return false;
    progress.Report(100);
    return true;
  }
  config.output.colorspace = MODE_BGRA;
  const VP8StatusCode status = WebPDecode(file.data(), file.size(), &config);
  std::unique_ptr<WebPDecBuffer, BufferFree> owned(&config.output);
  if (status != VP8_STATUS_OK || config.output.width != bmp.Width() ||
      config.output.height != bmp.Height())
    return false;
  CompositeRows(config.output.u.RGBA.rgba, config.output.u.RGBA.stride, bmp, bg, progress);
  return true;
}

// The first frame of an animation as it appears on the canvas.
bool DecodeFirstFrame(const std::vector<std::uint8_t>& file, TBitmap& bmp, const TRGB& bg,
                      TProgressRec& progress) {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return false;
  options.color_mode = MODE_BGRA;
  options.use_threads = 0;
  const WebPData data{file.data(), file.size()};
  std::unique_ptr<WebPAnimDecoder, AnimDelete> dec(WebPAnimDecoderNew(&data, &options));
  WebPAnimInfo info;
  if (!dec || !WebPAnimDecoderGetInfo(dec.get(), &info) ||
      static_cast<int>(info.canvas_width) != bmp.Width() ||
      static_cast<int>(info.canvas_height) != bmp.Height())
    return false;
  std::uint8_t* frame = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(dec.get(), &frame, &timestamp) || !frame) return false;
  CompositeRows(frame, bmp.Width() * 4, bmp, bg, progress);
  return true;
}

}  // namespace

bool IsWebpStream(TStream& s) {
  const std::int64_t pos = s.Position();
  std::uint8_t sig[12] = {};
  const std::size_t n = s.Read(sig, sizeof sig);
  s.SetPosition(pos);
  return n == sizeof sig && std::memcmp(sig, "RIFF", 4) == 0 &&
         std::memcmp(sig + 8, "WEBP", 4) == 0;
}

void ReadWebpStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress) {
  bool& aborting = *progress.Aborting;
  params.ClearPictureFacts();
  if (!IsWebpStream(s)) {
    aborting = true;
    return;
  }
  // The header first: the size is judged before the rest of the file is read.
  std::vector<std::uint8_t> file(4096);
  const std::int64_t start = s.Position();
  file.resize(s.Read(file.data(), file.size()));
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK ||
      features.width <= 0 || features.height <= 0) {
    aborting = true;
    return;
  }
  if (!PictureSizeAllowed(features.width, features.height))
    return progress.RefuseSize(features.width, features.height);
  const std::uint64_t riff = std::uint64_t{LittleEndian32(file.data() + 4)} + 8;
  if (riff > MaxFileBytes(features.width, features.height)) {
    aborting = true;
    return;
  }
  const std::uint64_t available = static_cast<std::uint64_t>(s.Size() - start);
  file.resize(static_cast<std::size_t>(std::min(riff, available)));
  s.SetPosition(start);
  if (s.Read(file.data(), file.size()) != file.size()) {
    aborting = true;
    return;
  }

  params.Width = features.width;
  params.Height = features.height;
  params.BitsPerSample = 8;
  params.SamplesPerPixel = features.has_alpha ? 4 : 3;
  DefaultResolution(params);
  params.FreeColorMap();
  const WebPData data{file.data(), file.size()};
  std::unique_ptr<WebPDemuxer, DemuxDelete> demux(WebPDemux(&data));
  if (!demux) {
    aborting = true;
    return;
  }
  WebPChunkIterator chunk;
  if ((WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) &&
      WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
    TakeIccProfile(params, chunk.chunk.bytes, chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  demux.reset();
  if (paramsOnly) return;

  if (!PrepareBitmap(bmp, features.width, features.height, TPixelFormat::pf24bit))
    return progress.Refuse("not enough memory to decode it");
  const bool ok =
      features.has_animation
          ? DecodeFirstFrame(file, bmp, params.PngBackground, progress)
          : DecodeStill(file, features.has_alpha != 0, bmp, params.PngBackground, progress);
  if (!ok) aborting = true;
}

}  // namespace folivant
