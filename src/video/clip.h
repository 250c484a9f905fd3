// Video clips through FFmpeg's libraries (never a spawned program): what a clip holds, its
// poster frame as a picture, and the H.264 web copy of a clip browsers do not play. No Qt.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/stream.h"

namespace folivant {

// Longer or larger clips are refused by name: an 8K camera's clips pass, a 16K one does not.
inline constexpr std::int64_t kMaxClipSeconds = 24 * 3600;
inline constexpr int kMaxClipSide = 8192;
inline constexpr std::int64_t kMaxClipPixels = 8192LL * 4320;

// The poster is the first key frame within the first kPosterSeconds whose brightness varies
// (standard deviation of the luma on a 32 x 32 grid at least kPosterMinDeviation of 255);
// when none does, the first key frame. Only key frames are decoded, at most kPosterKeyFrames.
inline constexpr int kPosterSeconds = 5;
inline constexpr int kPosterKeyFrames = 8;
inline constexpr double kPosterMinDeviation = 6.0;

// The web copy: H.264 (libx264, CRF 23, preset veryfast, High profile, 4:2:0) and AAC
// (128 kbit/s) in MP4 with the index first, at most 1920 pixels on the long side.
inline constexpr int kWebClipLongSide = 1920;
inline constexpr int kWebClipCrf = 23;
inline constexpr const char* kWebClipPreset = "veryfast";
inline constexpr int kWebClipAudioBitRate = 128000;

struct TClipFacts {
  std::string Container;         // the demuxer's name
  std::string VideoCodec;        // "h264", "hevc", ...
  std::string AudioCodec;        // "" without sound
  int Width = 0, Height = 0;     // the upright display size
  int Rotation = 0;              // degrees clockwise the display matrix turns it: 0, 90, 180, 270
  std::int64_t DurationMs = -1;  // -1: the file does not say
  bool BrowserPlays = false;     // Chromium on Linux plays it as it is
};

// What a clip holds, read through stream. Empty, or why it cannot be used ("it holds no video",
// "it lasts 40 hours, longer than ..."). stop, when set, ends the reading.
std::string ProbeClip(TStream& stream, TClipFacts& facts, const std::atomic<bool>* stop = nullptr);

// The poster frame, upright and at the display size, into bmp (24-bit). Empty, or why not.
std::string ReadPosterFrame(TStream& stream, TBitmap& bmp, TClipFacts& facts,
                            const std::atomic<bool>* stop = nullptr);

// The format registry's reader for clips: the poster frame as the picture, the clip's facts in
// params (ClipDurationMs, ClipNeedsWebCopy).
void ReadClipStream(TStream& stream, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress);
// Installs ReadClipStream for the clip kind and quiets FFmpeg's own messages.
void InstallClipReader();

// Writes the web copy of the clip at source to the existing file target. progress gets the
// percent done and returns false to stop. Empty, or why it failed. The same clip gives the
// same bytes on every run: one encoder thread, bit-exact flags, no times or tool names.
std::string MakeWebClip(const std::string& source, const std::string& target,
                        const std::function<bool(int)>& progress);

}  // namespace folivant
