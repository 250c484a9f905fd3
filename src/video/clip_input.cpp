#include "video/clip_input.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string_view>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

namespace folivant {
namespace {

constexpr int kIoBufferBytes = 64 * 1024;
// Enough to find every stream of a phone's or camera's clip, not more.
constexpr std::int64_t kProbeBytes = 5 << 20;

int ReadPacket(void* opaque, std::uint8_t* buf, int size) {
  auto* stream = *static_cast<TStream**>(opaque);
  try {
    const std::size_t n = stream->Read(buf, static_cast<std::size_t>(size));
    return n == 0 ? AVERROR_EOF : static_cast<int>(n);
  } catch (const std::exception&) {
    return AVERROR(EIO);
  }
}

std::int64_t SeekStream(void* opaque, std::int64_t offset, int whence) {
  auto* stream = *static_cast<TStream**>(opaque);
  try {
    switch (whence & ~AVSEEK_FORCE) {
      case AVSEEK_SIZE:
        return stream->Size();
      case SEEK_SET:
        return offset < 0 ? AVERROR(EINVAL) : stream->Seek(offset, TSeekOrigin::soBeginning);
      case SEEK_CUR:
        return stream->Seek(offset, TSeekOrigin::soCurrent);
      case SEEK_END:
        return stream->Seek(offset, TSeekOrigin::soEnd);
      default:
        break;
    }
  } catch (const std::exception&) {
    return AVERROR(EIO);
  }
  return AVERROR(EINVAL);
}

int Interrupted(void* opaque) {
  const auto* stop = static_cast<const std::atomic<bool>*>(opaque);
  return stop && stop->load() ? 1 : 0;
}

bool OneOf(std::string_view name, std::initializer_list<std::string_view> list) {
  for (std::string_view n : list)
    if (n == name) return true;
  return false;
}

// What Chromium on Linux plays: H.264 (8-bit 4:2:0), VP9 or AV1 in MP4 and its kin; VP8, VP9
// or AV1 in WebM; with AAC, MP3, Opus, Vorbis or FLAC sound, or none.
bool ChromiumPlays(const TClipFacts& f, const AVCodecParameters* video) {
  const bool mp4 = f.Container.rfind("mov", 0) == 0;
  const bool webm = f.Container.rfind("matroska", 0) == 0;
  const bool sound = f.AudioCodec.empty() || OneOf(f.AudioCodec, {"aac", "mp3", "opus", "flac"}) ||
                     (webm && f.AudioCodec == "vorbis");
  if (!sound) return false;
  if (mp4 && f.VideoCodec == "h264") {
    return video->format == AV_PIX_FMT_YUV420P || video->format == AV_PIX_FMT_YUVJ420P;
  }
  if (mp4) return OneOf(f.VideoCodec, {"vp9", "av1"});
  return webm && OneOf(f.VideoCodec, {"vp8", "vp9", "av1"});
}

// Degrees clockwise the stream's display matrix turns it, a multiple of 90.
int RotationOf(const AVStream* st) {
  std::size_t size = 0;
  const std::uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (!matrix || size < 9 * sizeof(std::int32_t)) return 0;
  const double ccw = av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
  if (!std::isfinite(ccw)) return 0;
  const long quarters = std::lround(-ccw / 90.0);
  return static_cast<int>(((quarters % 4) + 4) % 4) * 90;
}

std::string Hours(std::int64_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(seconds) / 3600.0);
  return text;
}

}  // namespace

TClipInput::~TClipInput() {
  avformat_close_input(&format_);
  if (avio_) av_freep(&avio_->buffer);
  avio_context_free(&avio_);
}

std::string TClipInput::Open(TStream& stream, const std::atomic<bool>* stop, TClipFacts& facts) {
  io_ = {&stream, stop};
  auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
  if (!buffer) return "not enough memory to read it";
  avio_ =
      avio_alloc_context(buffer, kIoBufferBytes, 0, &io_.Stream, ReadPacket, nullptr, SeekStream);
  format_ = avformat_alloc_context();
  if (!avio_ || !format_) {
    if (!avio_) av_free(buffer);
    return "not enough memory to read it";
  }
  format_->pb = avio_;
  format_->flags |= AVFMT_FLAG_CUSTOM_IO;
  format_->interrupt_callback = {Interrupted, const_cast<std::atomic<bool>*>(stop)};
  format_->probesize = kProbeBytes;
  format_->max_analyze_duration = 5 * AV_TIME_BASE;
  format_->max_streams = 64;
  // Only the containers clips come in: no other demuxer sees a hostile file.
  format_->format_whitelist = av_strdup("mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,avi");
  if (avformat_open_input(&format_, nullptr, nullptr, nullptr) < 0) {
    return "not a valid video clip";  // the context is freed
  }
  if (stop && stop->load()) return "stopped";
  if (avformat_find_stream_info(format_, nullptr) < 0) return "not a valid video clip";
  return FindStreams(facts);
}

std::string TClipInput::FindStreams(TClipFacts& facts) {
  for (unsigned i = 0; i < format_->nb_streams; ++i) {
    const AVStream* st = format_->streams[i];
    const AVCodecParameters* par = st->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && video_ < 0 &&
        !(st->disposition & AV_DISPOSITION_ATTACHED_PIC) && par->width > 0 && par->height > 0) {
      video_ = static_cast<int>(i);
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && audio_ < 0) {
      audio_ = static_cast<int>(i);
    }
  }
  if (video_ < 0) return "it holds no video";
  const AVStream* st = format_->streams[video_];
  const AVCodecParameters* par = st->codecpar;
  const std::int64_t w = par->width, h = par->height;
  if (w > kMaxClipSide || h > kMaxClipSide || w * h > kMaxClipPixels) {
    return "its video is " + std::to_string(w) + " x " + std::to_string(h) +
           " pixels, larger than the limit of 8192 pixels a side and 35 million pixels";
  }
  std::int64_t duration = format_->duration;
  if (duration == AV_NOPTS_VALUE && st->duration != AV_NOPTS_VALUE)
    duration = av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q);
  facts.DurationMs = duration == AV_NOPTS_VALUE || duration < 0 ? -1 : duration / 1000;
  if (facts.DurationMs / 1000 > kMaxClipSeconds) {
    return "it lasts " + Hours(facts.DurationMs / 1000) + " hours, longer than the limit of " +
           std::to_string(kMaxClipSeconds / 3600) + " hours";
  }
  // The shown width: the pixels' own shape applied, within the limits.
  std::int64_t dw = w;
  const AVRational sar =
      st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : par->sample_aspect_ratio;
  if (sar.num > 0 && sar.den > 0)
    dw = std::clamp<std::int64_t>(av_rescale(w, sar.num, sar.den), 1, kMaxClipSide);
  facts.Container = format_->iformat->name;
  facts.VideoCodec = avcodec_get_name(par->codec_id);
  facts.AudioCodec =
      audio_ < 0 ? "" : avcodec_get_name(format_->streams[audio_]->codecpar->codec_id);
  facts.Rotation = RotationOf(st);
  const bool turned = facts.Rotation % 180 != 0;
  facts.Width = static_cast<int>(turned ? h : dw);
  facts.Height = static_cast<int>(turned ? dw : h);
  facts.BrowserPlays = ChromiumPlays(facts, par);
  return {};
}

AVCodecContext* TClipInput::OpenDecoder(int index, bool keyFramesOnly) const {
  const AVCodecParameters* par = format_->streams[index]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (!codec) return nullptr;
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  if (!ctx) return nullptr;
  ctx->thread_count = 1;  // the build already runs one clip per processor
  ctx->max_pixels = kMaxClipPixels;
  if (keyFramesOnly) ctx->skip_frame = AVDISCARD_NONKEY;
  ctx->pkt_timebase = format_->streams[index]->time_base;
  if (avcodec_parameters_to_context(ctx, par) < 0 || avcodec_open2(ctx, codec, nullptr) < 0) {
    avcodec_free_context(&ctx);
    return nullptr;
  }
  return ctx;
}

}  // namespace folivant
