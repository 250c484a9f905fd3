// A clip opened for reading through our own stream (a file, or memory for the fuzzer), with
// its video stream found and checked against the limits. Inside src/video only.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "imaging/stream.h"
#include "video/clip.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace folivant {

class TClipInput {
 public:
  TClipInput() = default;
  ~TClipInput();
  TClipInput(const TClipInput&) = delete;
  TClipInput& operator=(const TClipInput&) = delete;

  // Opens the container and reads its facts. Empty, or why it cannot be used.
  std::string Open(TStream& stream, const std::atomic<bool>* stop, TClipFacts& facts);
  AVFormatContext* Format() const { return format_; }
  AVStream* Video() const { return format_->streams[video_]; }
  int VideoIndex() const { return video_; }
  int AudioIndex() const { return audio_; }  // -1: none

  // A decoder for stream index (one thread, frames of at most kMaxClipPixels), or nullptr.
  AVCodecContext* OpenDecoder(int index, bool keyFramesOnly) const;

 private:
  std::string FindStreams(TClipFacts& facts);

  struct Io {
    TStream* Stream = nullptr;
    const std::atomic<bool>* Stop = nullptr;
  } io_;
  AVIOContext* avio_ = nullptr;
  AVFormatContext* format_ = nullptr;
  int video_ = -1, audio_ = -1;
};

// Frees a codec context, packet or frame when it goes.
struct TCodecFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
  void operator()(AVPacket* p) const { av_packet_free(&p); }
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using TFramePtr = std::unique_ptr<AVFrame, TCodecFree>;
using TPacketPtr = std::unique_ptr<AVPacket, TCodecFree>;
using TCodecPtr = std::unique_ptr<AVCodecContext, TCodecFree>;

}  // namespace folivant
