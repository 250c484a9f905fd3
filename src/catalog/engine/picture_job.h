// The work of one picture, on whatever worker takes it: load, turn upright, make the web copy,
// resample and encode the thumbnail. Everything stays in memory for the ordered commit.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "catalog/catalog_options.h"
#include "catalog/engine/build_engine.h"
#include "catalog/engine/build_progress.h"
#include "catalog/modern/modern_copies.h"
#include "imaging/image_box.h"

namespace folivant {

class TTempFile;

// Everything one picture leaves for the ordered commit.
struct TPictureWork {
  std::string Error;           // set: the picture failed before anything was to be written
  std::string ThumbnailBytes;  // the JPEG thumbnail
  std::string WebCopyBytes;    // the JPEG the page shows, for a picture browsers do not show
  std::string Warning;         // told when the picture is committed
  std::string PageBytes;       // the picture page, CR LF lines
  std::string PageError;       // set: the thumbnail is written, then the build stops
  int OrigWidth = 0, OrigHeight = 0, TnWidth = 0, TnHeight = 0;  // upright
  bool Reused = false;  // thumbnail, web copy and sizes taken from the build record
  // A clip: its length, and the web copy its page plays (made now into ClipCopy, or reused).
  std::int64_t DurationMs = -1;
  std::string ClipCopyName;
  std::shared_ptr<TTempFile> ClipCopy;

  std::vector<TExtraFile> Extras;  // the modern style's display copies and 2x thumbnail
};

class TPictureJob {
 public:
  TPictureJob(const TBuildRequest& request, const std::string& dir, const std::atomic<bool>& abort,
              TBuildProgress& progress)
      : request_(request), dir_(dir), abort_(abort), progress_(progress) {}

  // Picture index of the list, in a worker's own box. Errors end up in the result's Error;
  // only an observer's own exceptions pass.
  TPictureWork Make(int index, const CatalogItem& item, TImageBox& box) const;

 private:
  struct Decode;  // the scale a JPEG is decoded at, and its whole size
  // Fresh parameters, background colour and an empty bitmap.
  void StartPicture(TImageBox& box) const;
  // Loads the picture, turned upright; false with work.Error set when it cannot.
  bool LoadUpright(int index, const CatalogItem& item, TImageBox& box, Decode& decode,
                   TPictureWork& work) const;
  bool LoadOnce(const CatalogItem& item, TImageBox& box, Decode& decode, TPictureWork& work) const;
  // Resamples and encodes the thumbnail; false with work.Error set when it cannot.
  bool Thumbnail(int index, const CatalogItem& item, TImageBox& box, const Decode& decode,
                 TPictureWork& work) const;

  const TBuildRequest& request_;
  const std::string& dir_;
  const std::atomic<bool>& abort_;
  TBuildProgress& progress_;
};

}  // namespace folivant
