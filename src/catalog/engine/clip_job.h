// The web copy of a clip browsers do not play, made on the worker that took the clip, into a
// temporary file of the target that the ordered commit puts in place.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace folivant {

class TTempFile;

// Transcodes dir/clipName into a new temporary file of dir (out). percent is told the
// progress; abort set stops it. Empty, or the error naming the web copy.
std::string MakeClipCopy(const std::string& dir, const std::string& clipName,
                         const std::string& copyName, const std::atomic<bool>& abort,
                         const std::function<void(int)>& percent, std::shared_ptr<TTempFile>& out);

// The settings that shape a clip's poster and web copy, for the build record's key.
std::string ClipKey();

}  // namespace folivant
