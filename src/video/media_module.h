// The media module: the code that calls FFmpeg and libheif lives in a shared object the programs
// load on the first clip or HEIF picture, so that every other build starts without loading
// some hundred libraries. The programs reach it through the functions of clip.h and codecs.h;
// this is the table they share with it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/stream.h"
#include "imaging/types.h"
#include "video/clip.h"

namespace folivant {

// Raised whenever the table or what it passes changes.
inline constexpr int kMediaModuleVersion = 1;

// The program's settings the module's copy of the picture code must see: its size limits and
// the resolution given to pictures that name none.
struct TMediaHost {
  TPictureLimits Limits;
  TScreenDpi Dpi;
};

struct TMediaModule {
  int Version;
  std::size_t Layout;  // MediaLayout() where the module was built
  void (*ReadHeif)(const TMediaHost& host, TStream& s, TBitmap& bmp, TIOParamsVals& params,
                   bool paramsOnly, TProgressRec& progress);
  std::vector<std::uint8_t> (*HeifExif)(const std::string& path, std::size_t maxBytes);
  std::string (*ProbeClip)(TStream& stream, TClipFacts& facts, const std::atomic<bool>* stop);
  std::string (*ReadPosterFrame)(const TMediaHost& host, TStream& stream, TBitmap& bmp,
                                 TClipFacts& facts, const std::atomic<bool>* stop);
  std::string (*MakeWebClip)(const std::string& source, const std::string& target,
                             const std::function<bool(int)>& progress);
};

// The sizes of what crosses between program and module: a module built from other sources
// than the program is refused rather than misread.
constexpr std::size_t MediaLayout() {
  return sizeof(TMediaModule) + (sizeof(TMediaHost) << 8) + (sizeof(TBitmap) << 16) +
         (sizeof(TIOParamsVals) << 24) + (sizeof(TProgressRec) << 36) + (sizeof(TClipFacts) << 48);
}

// The file name of the module. A program looks for it in FOLIVANT_MEDIA_DIR (lib/folivant, or
// the multiarch lib/<triplet>/folivant) above the folder of its executable: installed, and in
// the build tree alike; never on the library path.
inline constexpr const char* kMediaModuleFile = "folivant-media.so";
std::string MediaModulePath();

// The module, loaded once (thread-safe, from any worker); nullptr when it cannot be, with why
// naming the module's path and the loader's reason. A program that has the module's code
// linked in uses that instead.
const TMediaModule* MediaModule(std::string* why = nullptr);

// Inside the module: the code behind the table.
namespace media {
void ReadHeifStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress);
std::vector<std::uint8_t> HeifExif(const std::string& path, std::size_t maxBytes);
std::string ProbeClip(TStream& stream, TClipFacts& facts, const std::atomic<bool>* stop);
std::string ReadPosterFrame(TStream& stream, TBitmap& bmp, TClipFacts& facts,
                            const std::atomic<bool>* stop);
std::string MakeWebClip(const std::string& source, const std::string& target,
                        const std::function<bool(int)>& progress);
}  // namespace media

}  // namespace folivant

// The module's one exported symbol.
extern "C" const folivant::TMediaModule* FolivantMediaModule();
