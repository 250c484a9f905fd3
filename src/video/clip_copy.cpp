// The web copy of a clip browsers do not play: every frame decoded, scaled to at most 1920
// pixels on the long side and encoded with libx264; AAC or MP3 sound copied as it is, other
// sound encoded to AAC. The display matrix is kept, so the browser turns it as the original.
#include <algorithm>
#include <cstring>
#include <memory>

#include "video/clip.h"
#include "video/clip_input.h"
#include "video/media_module.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace folivant {
namespace {

struct TSwsFree {
  void operator()(SwrContext* s) const { swr_free(&s); }
  void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

// An even side, at least 2: 4:2:0 needs it.
int Even(std::int64_t side) {
  return static_cast<int>(std::max<std::int64_t>(2, side & ~std::int64_t{1}));
}

class TWebClip {
 public:
  explicit TWebClip(const std::function<bool(int)>& progress) : progress_(progress) {}
  ~TWebClip() {
    if (out_ && out_->pb) avio_closep(&out_->pb);
    avformat_free_context(out_);
    sws_freeContext(sws_);
  }
  std::string Run(const std::string& source, const std::string& target);

 private:
  std::string OpenVideo();
  std::string OpenAudio();
  std::string Pump();
  std::string Video(AVFrame* frame);  // nullptr: the end
  std::string Audio(AVFrame* frame);  // nullptr: the end
  std::string Encode(AVCodecContext* enc, AVStream* st, AVFrame* frame);
  bool Tell(const AVPacket* pkt);

  const std::function<bool(int)>& progress_;
  std::atomic<bool> stop_{false};
  TClipInput in_;
  TClipFacts facts_;
  AVFormatContext* out_ = nullptr;
  TCodecPtr videoDec_, videoEnc_, audioDec_, audioEnc_;
  AVStream* videoOut_ = nullptr;
  AVStream* audioOut_ = nullptr;
  bool copyAudio_ = false;
  SwsContext* sws_ = nullptr;
  std::unique_ptr<SwrContext, TSwsFree> swr_;
  std::unique_ptr<AVAudioFifo, TSwsFree> fifo_;
  TFramePtr scaled_;
  std::int64_t lastPts_ = AV_NOPTS_VALUE, samples_ = 0;
  int percent_ = -1;
};

std::string TWebClip::Run(const std::string& source, const std::string& target) {
  TFileStream stream(source, TFileMode::fmOpenRead);
  if (std::string why = in_.Open(stream, &stop_, facts_); !why.empty()) return why;
  if (avformat_alloc_output_context2(&out_, nullptr, "mp4", target.c_str()) < 0 || !out_)
    return "the MP4 writer is missing";
  // No tool name and no time in the file: the same clip gives the same bytes.
  out_->flags |= AVFMT_FLAG_BITEXACT;
  if (std::string why = OpenVideo(); !why.empty()) return why;
  if (std::string why = OpenAudio(); !why.empty()) return why;
  if (avio_open(&out_->pb, target.c_str(), AVIO_FLAG_WRITE) < 0) return "it cannot be written";
  AVDictionary* options = nullptr;
  av_dict_set(&options, "movflags", "+faststart", 0);  // the index first: plays at once
  const int header = avformat_write_header(out_, &options);
  av_dict_free(&options);
  if (header < 0) return "its header cannot be written";
  if (std::string why = Pump(); !why.empty()) return why;
  if (av_write_trailer(out_) < 0) return "it cannot be finished";
  return {};
}

std::string TWebClip::OpenVideo() {
  videoDec_.reset(in_.OpenDecoder(in_.VideoIndex(), false));
  if (!videoDec_) return "no decoder for its " + facts_.VideoCodec + " video";
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (!codec) return "FFmpeg has no H.264 encoder (libx264)";
  videoEnc_.reset(avcodec_alloc_context3(codec));
  if (!videoEnc_) return "not enough memory";
  const bool turned = facts_.Rotation % 180 != 0;
  const std::int64_t w = turned ? facts_.Height : facts_.Width;
  const std::int64_t h = turned ? facts_.Width : facts_.Height;
  const std::int64_t longSide = std::max(w, h);
  const std::int64_t scale = std::min<std::int64_t>(longSide, kWebClipLongSide);
  AVCodecContext* enc = videoEnc_.get();
  enc->width = Even(w * scale / longSide);
  enc->height = Even(h * scale / longSide);
  enc->pix_fmt = AV_PIX_FMT_YUV420P;
  enc->sample_aspect_ratio = {1, 1};
  const AVStream* st = in_.Video();
  enc->time_base = st->time_base;
  enc->framerate = av_guess_frame_rate(in_.Format(), const_cast<AVStream*>(st), nullptr);
  enc->color_range = AVCOL_RANGE_MPEG;
  enc->colorspace = AVCOL_SPC_BT709;
  enc->color_primaries = AVCOL_PRI_BT709;
  enc->color_trc = AVCOL_TRC_BT709;
  enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER | AV_CODEC_FLAG_BITEXACT;
  enc->thread_count = 1;  // frame threads would make the bytes depend on the machine
  av_opt_set(enc->priv_data, "preset", kWebClipPreset, 0);
  av_opt_set(enc->priv_data, "profile", "high", 0);
  av_opt_set_double(enc->priv_data, "crf", kWebClipCrf, 0);
  if (avcodec_open2(enc, codec, nullptr) < 0) return "the H.264 encoder refuses it";
  videoOut_ = avformat_new_stream(out_, nullptr);
  if (!videoOut_ || avcodec_parameters_from_context(videoOut_->codecpar, enc) < 0)
    return "not enough memory";
  videoOut_->time_base = enc->time_base;
  std::size_t size = 0;
  if (const std::uint8_t* m = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size)) {
    std::uint8_t* copy = av_stream_new_side_data(videoOut_, AV_PKT_DATA_DISPLAYMATRIX, size);
    if (!copy) return "not enough memory";
    std::memcpy(copy, m, size);
  }
  scaled_.reset(av_frame_alloc());
  if (!scaled_) return "not enough memory";
  scaled_->format = AV_PIX_FMT_YUV420P;
  scaled_->width = enc->width;
  scaled_->height = enc->height;
  return av_frame_get_buffer(scaled_.get(), 0) < 0 ? "not enough memory" : "";
}

std::string TWebClip::OpenAudio() {
  if (in_.AudioIndex() < 0) return {};
  const AVCodecParameters* par = in_.Format()->streams[in_.AudioIndex()]->codecpar;
  audioOut_ = avformat_new_stream(out_, nullptr);
  if (!audioOut_) return "not enough memory";
  copyAudio_ = par->codec_id == AV_CODEC_ID_AAC || par->codec_id == AV_CODEC_ID_MP3;
  if (copyAudio_) {
    if (avcodec_parameters_copy(audioOut_->codecpar, par) < 0) return "not enough memory";
    audioOut_->codecpar->codec_tag = 0;
    audioOut_->time_base = in_.Format()->streams[in_.AudioIndex()]->time_base;
    return {};
  }
  audioDec_.reset(in_.OpenDecoder(in_.AudioIndex(), false));
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (!audioDec_ || !codec) return "no decoder for its " + facts_.AudioCodec + " sound";
  audioEnc_.reset(avcodec_alloc_context3(codec));
  if (!audioEnc_) return "not enough memory";
  AVCodecContext* enc = audioEnc_.get();
  const int rate = audioDec_->sample_rate;
  enc->sample_rate = rate >= 8000 && rate <= 96000 ? rate : 48000;
  enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
  av_channel_layout_default(&enc->ch_layout, std::clamp(audioDec_->ch_layout.nb_channels, 1, 2));
  enc->bit_rate = kWebClipAudioBitRate;
  enc->time_base = {1, enc->sample_rate};
  enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER | AV_CODEC_FLAG_BITEXACT;
  if (avcodec_open2(enc, codec, nullptr) < 0) return "the AAC encoder refuses it";
  if (avcodec_parameters_from_context(audioOut_->codecpar, enc) < 0) return "not enough memory";
  audioOut_->time_base = enc->time_base;
  SwrContext* swr = nullptr;
  if (swr_alloc_set_opts2(&swr, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                          &audioDec_->ch_layout, audioDec_->sample_fmt, audioDec_->sample_rate, 0,
                          nullptr) < 0 ||
      swr_init(swr) < 0) {
    swr_free(&swr);
    return "its sound cannot be converted";
  }
  swr_.reset(swr);
  fifo_.reset(av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, enc->frame_size));
  return fifo_ ? "" : "not enough memory";
}

// Percent by the packets' times; false when the caller asks to stop.
bool TWebClip::Tell(const AVPacket* pkt) {
  if (facts_.DurationMs > 0 && pkt->pts != AV_NOPTS_VALUE) {
    const AVRational tb = in_.Format()->streams[pkt->stream_index]->time_base;
    const std::int64_t ms = av_rescale_q(pkt->pts, tb, AVRational{1, 1000});
    const int percent =
        static_cast<int>(std::clamp<std::int64_t>(ms * 100 / facts_.DurationMs, 0, 100));
    if (percent > percent_) {  // sound and picture interleave: only forward
      percent_ = percent;
      if (progress_ && !progress_(percent)) stop_ = true;
    }
  }
  return !stop_;
}

std::string TWebClip::Pump() {
  TPacketPtr pkt(av_packet_alloc());
  TFramePtr frame(av_frame_alloc());
  if (!pkt || !frame) return "not enough memory";
  auto decode = [&](AVCodecContext* dec, const AVPacket* p) -> std::string {
    if (avcodec_send_packet(dec, p) < 0 && p) return {};  // a damaged packet is left out
    while (avcodec_receive_frame(dec, frame.get()) == 0) {
      std::string why = dec == videoDec_.get() ? Video(frame.get()) : Audio(frame.get());
      av_frame_unref(frame.get());
      if (!why.empty()) return why;
    }
    return {};
  };
  while (av_read_frame(in_.Format(), pkt.get()) >= 0) {
    std::string why;
    if (!Tell(pkt.get()))
      why = "stopped";
    else if (pkt->stream_index == in_.VideoIndex())
      why = decode(videoDec_.get(), pkt.get());
    else if (pkt->stream_index == in_.AudioIndex() && copyAudio_) {
      av_packet_rescale_ts(pkt.get(), in_.Format()->streams[pkt->stream_index]->time_base,
                           audioOut_->time_base);
      pkt->stream_index = audioOut_->index;
      pkt->pos = -1;
      if (av_interleaved_write_frame(out_, pkt.get()) < 0) why = "it cannot be written";
    } else if (pkt->stream_index == in_.AudioIndex()) {
      why = decode(audioDec_.get(), pkt.get());
    }
    av_packet_unref(pkt.get());
    if (!why.empty()) return why;
  }
  if (stop_) return "stopped";
  if (std::string why = decode(videoDec_.get(), nullptr); !why.empty()) return why;
  if (std::string why = Video(nullptr); !why.empty()) return why;
  if (audioDec_) {
    if (std::string why = decode(audioDec_.get(), nullptr); !why.empty()) return why;
    return Audio(nullptr);
  }
  return {};
}

std::string TWebClip::Video(AVFrame* frame) {
  if (!frame) return Encode(videoEnc_.get(), videoOut_, nullptr);
  // Made at the first frame, and again should the frames change.
  sws_ = sws_getCachedContext(
      sws_, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), scaled_->width,
      scaled_->height, AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr,
      nullptr, nullptr);
  if (!sws_) return "its pixel format cannot be converted";
  if (av_frame_make_writable(scaled_.get()) < 0) return "not enough memory";
  sws_scale(sws_, frame->data, frame->linesize, 0, frame->height, scaled_->data, scaled_->linesize);
  // Times strictly rising, as the encoder wants them.
  std::int64_t pts = frame->best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE || (lastPts_ != AV_NOPTS_VALUE && pts <= lastPts_))
    pts = lastPts_ == AV_NOPTS_VALUE ? 0 : lastPts_ + 1;
  lastPts_ = pts;
  scaled_->pts = pts;
  return Encode(videoEnc_.get(), videoOut_, scaled_.get());
}

std::string TWebClip::Audio(AVFrame* frame) {
  AVCodecContext* enc = audioEnc_.get();
  if (frame) {
    const int most = swr_get_out_samples(swr_.get(), frame->nb_samples);
    if (most < 0) return "its sound cannot be converted";
    uint8_t** planes = nullptr;
    if (av_samples_alloc_array_and_samples(&planes, nullptr, enc->ch_layout.nb_channels,
                                           std::max(most, 1), enc->sample_fmt, 0) < 0)
      return "not enough memory";
    const int got =
        swr_convert(swr_.get(), planes, most, const_cast<const uint8_t**>(frame->extended_data),
                    frame->nb_samples);
    const bool ok =
        got >= 0 && av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(planes), got) == got;
    av_freep(&planes[0]);
    av_freep(&planes);
    if (!ok) return "its sound cannot be converted";
  }
  // Whole encoder frames, and at the end what is left.
  while (av_audio_fifo_size(fifo_.get()) >= enc->frame_size ||
         (!frame && av_audio_fifo_size(fifo_.get()) > 0)) {
    TFramePtr out(av_frame_alloc());
    if (!out) return "not enough memory";
    out->nb_samples = std::min(enc->frame_size, av_audio_fifo_size(fifo_.get()));
    out->format = enc->sample_fmt;
    out->sample_rate = enc->sample_rate;
    if (av_channel_layout_copy(&out->ch_layout, &enc->ch_layout) < 0 ||
        av_frame_get_buffer(out.get(), 0) < 0 ||
        av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(out->data), out->nb_samples) <
            out->nb_samples) {
      return "not enough memory";
    }
    out->pts = samples_;
    samples_ += out->nb_samples;
    if (std::string why = Encode(enc, audioOut_, out.get()); !why.empty()) return why;
  }
  return frame ? "" : Encode(enc, audioOut_, nullptr);
}

std::string TWebClip::Encode(AVCodecContext* enc, AVStream* st, AVFrame* frame) {
  if (avcodec_send_frame(enc, frame) < 0) return "the encoder gave up";
  TPacketPtr pkt(av_packet_alloc());
  if (!pkt) return "not enough memory";
  for (;;) {
    const int r = avcodec_receive_packet(enc, pkt.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return {};
    if (r < 0) return "the encoder gave up";
    av_packet_rescale_ts(pkt.get(), enc->time_base, st->time_base);
    pkt->stream_index = st->index;
    if (av_interleaved_write_frame(out_, pkt.get()) < 0) return "it cannot be written";
  }
}

}  // namespace

namespace media {

std::string MakeWebClip(const std::string& source, const std::string& target,
                        const std::function<bool(int)>& progress) {
  try {
    TWebClip clip(progress);
    return clip.Run(source, target);
  } catch (const std::exception& e) {
    return e.what();
  }
}

}  // namespace media
}  // namespace folivant
