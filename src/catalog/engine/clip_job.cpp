#include "catalog/engine/clip_job.h"

#include <cstring>

#include "catalog/atomic_file.h"
#include "catalog/engine/target_files.h"
#include "video/clip.h"

namespace folivant {

std::string MakeClipCopy(const std::string& dir, const std::string& clipName,
                         const std::string& copyName, const std::atomic<bool>& abort,
                         const std::function<void(int)>& percent, std::shared_ptr<TTempFile>& out) {
  const std::string cannot = "Cannot write web copy " + copyName + ": ";
  auto temp = std::make_shared<TTempFile>(dir);
  if (temp->Error() != 0) return cannot + std::strerror(temp->Error());
  // The encoder writes by name; the descriptor is not needed.
  if (const int err = temp->Close(false); err != 0) return cannot + std::strerror(err);
  const std::string why = MakeWebClip(JoinPath(dir, clipName), temp->Path(), [&](int per) {
    if (abort.load()) return false;
    percent(per);
    return true;
  });
  if (abort.load()) throw EBuildStopped("Build stopped");
  if (!why.empty()) return cannot + why;
  out = std::move(temp);
  return {};
}

std::string ClipKey() {
  return "clip-crf=" + std::to_string(kWebClipCrf) + " clip-preset=" + kWebClipPreset +
         " clip-side=" + std::to_string(kWebClipLongSide) +
         " poster-seconds=" + std::to_string(kPosterSeconds);
}

}  // namespace folivant
