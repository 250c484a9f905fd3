// The program's side of the media module: finding and loading it on first need, and the entry
// points of clip.h and codecs.h that forward to it.
#include "video/media_module.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <new>

#include "codecs/codecs.h"
#include "imaging/picture_formats.h"

// Defined only where the module's code is linked into the program (the fuzz targets).
extern "C" const folivant::TMediaModule* FolivantMediaModule() __attribute__((weak));

namespace folivant {
namespace {

struct TLoaded {
  const TMediaModule* Module = nullptr;
  std::string Why;
};

std::string LoadError(const std::string& path, const std::string& reason) {
  return "it needs the media module " + path + ", which cannot be loaded: " + reason;
}

// Never unloaded: the module's code may still be on a worker's stack at exit.
TLoaded Load() {
  if (FolivantMediaModule) return {FolivantMediaModule(), {}};
  const std::string path = MediaModulePath();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = dlerror();
    std::string why = error ? error : "unknown error";
    if (why.rfind(path + ": ", 0) == 0) why.erase(0, path.size() + 2);  // named once is enough
    return {nullptr, LoadError(path, why)};
  }
  using TEntry = const TMediaModule* (*)();
  auto entry = reinterpret_cast<TEntry>(dlsym(handle, "FolivantMediaModule"));
  if (!entry) return {nullptr, LoadError(path, "it has no entry point FolivantMediaModule")};
  const TMediaModule* module = entry();
  if (!module || module->Version != kMediaModuleVersion || module->Layout != MediaLayout())
    return {nullptr, LoadError(path, "it was built for another version of the program")};
  return {module, {}};
}

TMediaHost Host() {
  return {PictureLimits(), ScreenDpi()};
}

}  // namespace

std::string MediaModulePath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  // Without /proc (a bare chroot) the installed place is the likely one.
  const std::filesystem::path dir = ec ? std::filesystem::path("/usr/bin") : exe.parent_path();
  return (dir / ".." / FOLIVANT_MEDIA_DIR / kMediaModuleFile).lexically_normal().string();
}

const TMediaModule* MediaModule(std::string* why) {
  static std::once_flag once;
  static const TLoaded* loaded = nullptr;  // never freed: workers may ask while the program ends
  std::call_once(once, [] { loaded = new TLoaded(Load()); });
  if (!loaded->Module && why) *why = loaded->Why;
  return loaded->Module;
}

void ReadHeifStream(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress) {
  std::string why;
  const TMediaModule* module = MediaModule(&why);
  if (!module) {
    params.ClearPictureFacts();
    return progress.Refuse(why.c_str());
  }
  module->ReadHeif(Host(), s, bmp, params, paramsOnly, progress);
}

std::vector<std::uint8_t> ReadHeifExif(const std::string& path, std::size_t maxBytes) {
  const TMediaModule* module = MediaModule();
  return module ? module->HeifExif(path, maxBytes) : std::vector<std::uint8_t>();
}

std::string ProbeClip(TStream& stream, TClipFacts& facts, const std::atomic<bool>* stop) {
  std::string why;
  const TMediaModule* module = MediaModule(&why);
  return module ? module->ProbeClip(stream, facts, stop) : why;
}

std::string ReadPosterFrame(TStream& stream, TBitmap& bmp, TClipFacts& facts,
                            const std::atomic<bool>* stop) {
  std::string why;
  const TMediaModule* module = MediaModule(&why);
  return module ? module->ReadPosterFrame(Host(), stream, bmp, facts, stop) : why;
}

std::string MakeWebClip(const std::string& source, const std::string& target,
                        const std::function<bool(int)>& progress) {
  std::string why;
  const TMediaModule* module = MediaModule(&why);
  return module ? module->MakeWebClip(source, target, progress) : why;
}

void ReadClipStream(TStream& stream, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress) {
  params.ClearPictureFacts();
  TClipFacts facts;
  std::string why;
  try {
    why = paramsOnly ? ProbeClip(stream, facts, progress.Stop)
                     : ReadPosterFrame(stream, bmp, facts, progress.Stop);
  } catch (const std::bad_alloc&) {
    why = "not enough memory to decode it";
  }
  if (!why.empty()) {
    bmp.Clear();
    return progress.Refuse(why.c_str());
  }
  params.Width = facts.Width;
  params.Height = facts.Height;
  params.BitsPerSample = 8;
  params.SamplesPerPixel = 3;
  params.ClipDurationMs = facts.DurationMs;
  params.ClipNeedsWebCopy = !facts.BrowserPlays;
}

void InstallClipReader() {
  SetPictureReader(TPictureKind::pkClip, ReadClipStream);
}

}  // namespace folivant
