// The media module's entry point: starts FFmpeg and libheif once and hands out the table.
#include <libheif/heif.h>

#include <mutex>

#include "video/media_module.h"

extern "C" {
#include <libavutil/log.h>
}

namespace folivant {
namespace {

// The module has its own copy of the picture code and so of its settings: they follow the
// program's before each call. The lock orders the copy before the readers that follow it.
void Adopt(const TMediaHost& host) {
  static std::mutex mutex;
  const std::lock_guard<std::mutex> lock(mutex);
  TPictureLimits& limits = PictureLimits();
  if (limits.MaxSide != host.Limits.MaxSide || limits.MaxPixels != host.Limits.MaxPixels)
    limits = host.Limits;
  TScreenDpi& dpi = ScreenDpi();
  if (dpi.X != host.Dpi.X || dpi.Y != host.Dpi.Y) dpi = host.Dpi;
}

void ReadHeif(const TMediaHost& host, TStream& s, TBitmap& bmp, TIOParamsVals& params,
              bool paramsOnly, TProgressRec& progress) {
  Adopt(host);
  media::ReadHeifStream(s, bmp, params, paramsOnly, progress);
}

std::string ReadPosterFrame(const TMediaHost& host, TStream& stream, TBitmap& bmp,
                            TClipFacts& facts, const std::atomic<bool>* stop) {
  Adopt(host);
  return media::ReadPosterFrame(stream, bmp, facts, stop);
}

}  // namespace
}  // namespace folivant

extern "C" __attribute__((visibility("default"))) const folivant::TMediaModule*
FolivantMediaModule() {
  using namespace folivant;
  static const TMediaModule table{kMediaModuleVersion, MediaLayout(),    ReadHeif,
                                  media::HeifExif,     media::ProbeClip, ReadPosterFrame,
                                  media::MakeWebClip};
  static std::once_flag once;
  std::call_once(once, [] {
    heif_init(nullptr);  // for the program's whole life: never matched by heif_deinit
    av_log_set_level(AV_LOG_QUIET);
  });
  return &table;
}
