#include <cmath>
#include <cstdio>
#include <memory>

#include "imaging/orientation.h"
#include "imaging/types.h"
#include "video/clip.h"
#include "video/clip_input.h"
#include "video/media_module.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace folivant {
namespace {

// A fade from black or a title card is no poster: true when the luma hardly varies. Frames
// without a luma plane count as varied.
bool AlmostUniform(const AVFrame* f) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
  if (!d || (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL)) ||
      d->comp[0].plane != 0 || d->comp[0].depth < 8 || d->comp[0].depth > 16) {
    return false;
  }
  const int depth = d->comp[0].depth, step = d->comp[0].step, offset = d->comp[0].offset;
  double sum = 0, squares = 0;
  constexpr int kGrid = 32;
  for (int gy = 0; gy < kGrid; ++gy) {
    const std::uint8_t* row =
        f->data[0] + static_cast<std::ptrdiff_t>(gy * f->height / kGrid) * f->linesize[0];
    for (int gx = 0; gx < kGrid; ++gx) {
      const std::uint8_t* p =
          row + static_cast<std::ptrdiff_t>(gx * f->width / kGrid) * step + offset;
      const int raw = depth > 8 ? (p[0] | p[1] << 8) >> d->comp[0].shift : p[0];
      const double v = depth > 8 ? raw / static_cast<double>(1 << (depth - 8)) : raw;
      sum += v;
      squares += v * v;
    }
  }
  const double n = kGrid * kGrid, mean = sum / n;
  return std::sqrt(std::max(0.0, squares / n - mean * mean)) < kPosterMinDeviation;
}

// EXIF's orientation for a clockwise turn, so the picture code turns it.
int OrientationOf(int rotation) {
  return rotation == 90 ? 6 : rotation == 180 ? 3 : rotation == 270 ? 8 : 1;
}

// The frame at its display size (its pixels' shape applied) in 24-bit BGR, turned upright.
std::string ToBitmap(const AVFrame* f, const TClipFacts& facts, TBitmap& bmp) {
  const bool turned = facts.Rotation % 180 != 0;
  const int dw = turned ? facts.Height : facts.Width, dh = turned ? facts.Width : facts.Height;
  if (f->width <= 0 || f->height <= 0) return "its frames have no size";
  if (!PictureSizeAllowed(dw, dh)) return PictureSizeProblem(dw, dh);
  const auto format = static_cast<AVPixelFormat>(f->format);
  SwsContext* sws =
      sws_getContext(f->width, f->height, format, dw, dh, AV_PIX_FMT_BGR24,
                     SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_BITEXACT, nullptr,
                     nullptr, nullptr);
  if (!sws) return "its pixel format cannot be converted";
  // Unmarked HD clips are BT.709, as browsers take them; smaller ones BT.601.
  int space = f->colorspace;
  if (space == AVCOL_SPC_UNSPECIFIED) space = dh >= 720 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
  sws_setColorspaceDetails(sws, sws_getCoefficients(space), f->color_range == AVCOL_RANGE_JPEG,
                           sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  bmp.SetSizeForOverwrite(dw, dh);
  // The bitmap's rows run bottom-up: the top row first, stepping back.
  std::uint8_t* dst[4] = {bmp.ScanLine(0), nullptr, nullptr, nullptr};
  int dstStride[4] = {-static_cast<int>(bmp.RowBytes()), 0, 0, 0};
  const int rows = sws_scale(sws, f->data, f->linesize, 0, f->height, dst, dstStride);
  sws_freeContext(sws);
  if (rows != dh) return "its frame cannot be converted";
  TurnUpright(bmp, OrientationOf(facts.Rotation));
  return {};
}

// Key frames of the first seconds, until one is varied; the chosen one, or nullptr.
TFramePtr PosterFrame(TClipInput& input, AVCodecContext* dec) {
  TPacketPtr pkt(av_packet_alloc());
  TFramePtr frame(av_frame_alloc()), first;
  if (!pkt || !frame) return nullptr;
  const AVStream* st = input.Video();
  const std::int64_t start = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
  const std::int64_t limit = av_rescale_q(kPosterSeconds, AVRational{1, 1}, st->time_base);
  int sent = 0;
  // Frames out of the decoder: the first varied one is the poster.
  auto take = [&]() -> bool {
    while (avcodec_receive_frame(dec, frame.get()) == 0) {
      if (!AlmostUniform(frame.get())) return true;
      if (!first) first.reset(av_frame_clone(frame.get()));
      av_frame_unref(frame.get());
    }
    return false;
  };
  bool found = false;
  while (!found && sent < kPosterKeyFrames && av_read_frame(input.Format(), pkt.get()) >= 0) {
    const bool ours = pkt->stream_index == input.VideoIndex();
    const std::int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (ours && sent > 0 && ts != AV_NOPTS_VALUE && ts - start > limit) {
      av_packet_unref(pkt.get());
      break;
    }
    if (ours && (pkt->flags & AV_PKT_FLAG_KEY)) {
      if (avcodec_send_packet(dec, pkt.get()) == 0) ++sent;
      found = take();
    }
    av_packet_unref(pkt.get());
  }
  if (!found && avcodec_send_packet(dec, nullptr) == 0) found = take();
  if (found) return frame;
  return first;
}

}  // namespace

namespace media {

std::string ProbeClip(TStream& stream, TClipFacts& facts, const std::atomic<bool>* stop) {
  TClipInput input;
  return input.Open(stream, stop, facts);
}

std::string ReadPosterFrame(TStream& stream, TBitmap& bmp, TClipFacts& facts,
                            const std::atomic<bool>* stop) {
  TClipInput input;
  if (std::string why = input.Open(stream, stop, facts); !why.empty()) return why;
  TCodecPtr dec(input.OpenDecoder(input.VideoIndex(), true));
  if (!dec) return "no decoder for its " + facts.VideoCodec + " video";
  const TFramePtr frame = PosterFrame(input, dec.get());
  if (stop && stop->load()) return "stopped";
  if (!frame) return "none of its first frames can be decoded";
  return ToBitmap(frame.get(), facts, bmp);
}

}  // namespace media
}  // namespace folivant
