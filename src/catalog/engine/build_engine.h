// The build: pictures in, catalog out. No Qt; the window and the command line are two faces
// of this one engine.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalog/albums/album_page.h"
#include "catalog/catalog_options.h"
#include "catalog/record/build_record.h"
#include "imaging/io_params.h"

namespace folivant {

struct TAlbumTree;

// The rules both front ends show alike, kept here once.
inline constexpr int kMinPictures = 3;      // a catalog has at least this many pictures
inline constexpr int kStepsPerPicture = 3;  // loaded, resampled, saved: the overall bar's steps
inline constexpr const char* kTooFewPicturesText = "You MUST select at least 3 files !";

// The steps of a picture; each but the first ends one of its steps of the overall bar.
enum class TPictureStep { psOpening, psResampling, psSaving, psDone };

// What the caller shows. Calls come from the engine's threads, one at a time (the engine
// serialises them), never from two threads at once; a window forwards them to its own thread.
class IBuildObserver {
 public:
  virtual ~IBuildObserver() = default;
  // The picture shown as current (the oldest in flight) begins a step (never psDone); file is
  // what the step reads (the picture) or writes (the thumbnail, for psSaving).
  virtual void PictureStep(TPictureStep /*step*/, const std::string& /*file*/) {}
  // The build is over, whatever its outcome; the bars are then set back to 0.
  virtual void Ended() {}
  virtual void OverallProgress(int /*position*/, int /*maximum*/) {}  // 0..kStepsPerPicture*n
  virtual void CurrentProgress(int /*percent*/) {}                    // 0..100
  // Bytes of the pictures copied into the target so far (a copy not needed counts as made),
  // of total: at the start, at least every megabyte and at the end of the copy step.
  virtual void CopyProgress(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
  // The target folder was missing and has been made (TBuildRequest::CreateTarget).
  virtual void TargetMade(const std::string& /*dir*/) {}
  // Something else the user should know that does not stop the build ("The colour profile
  // of x.jpg is larger than 4 MB: ..."), in list order. Also in TBuildResult::Warnings.
  virtual void Warning(const std::string& /*message*/) {}
  // The error that ended the build; the message names the file and the problem.
  virtual void Error(const std::string& /*message*/) {}
  // The build wants page1.html opened in the browser (ShowInBrowser, not cancelled).
  virtual void OpenDocument(const std::string& /*path*/) {}
  // One picture is finished (thumbnail and page written): index in the list.
  virtual void PictureDone(int /*index*/) {}
  // A file of a picture's name was already in the target folder (the copy step keeps such
  // files) and its bytes differ from the picture given: the catalog shows the file that was
  // there. A warning, naming both; the build goes on. Also in TBuildResult::Warnings.
  virtual void KeptDifferentFile(const std::string& /*message*/) {}
};

struct TPictureEntry {
  std::string Name;  // PictureName: the file name as the list shows it
  std::string Path;  // SourcePath
};

struct TBuildRequest {
  CatalogOptions Options;  // the snapshot the build uses from start to end
  std::vector<TPictureEntry> Pictures;
  TIOParamsVals Params;  // the caller's image parameters; each worker copies them
  int Jobs = 0;          // workers; 0: the number of processors
  // A missing target folder is made (the window asks the user first: without leave the build
  // is refused with rfTargetMissing), with its missing parents (the command line), not only
  // its last level (the window).
  bool CreateTarget = false;
  bool CreateTargetParents = false;
  // A large JPEG is decoded at 1/2, 1/4 or 1/8 of its size (libjpeg's DCT scaling) when that
  // still leaves at least twice the thumbnail's size on both sides; the filter then makes the
  // thumbnail from that. Three to five times faster on camera photos. Thumbnail sizes and the
  // sizes on the pages are those of the whole picture either way, but the thumbnail's pixels
  // differ slightly from those of a whole decode, so it is off unless asked for.
  bool JpegPrescale = false;
  // The build record in the target (catalog/record): a picture whose bytes and thumbnail
  // options are as recorded is not decoded again, and a page whose bytes would not change is
  // not written again. Force: reuse nothing and trust no size or time; every thumbnail and
  // page is made again (the record still tells which files the build made).
  bool Force = false;
  // A build spread over machines. Shares > 0: this build takes share Share (1..Shares) of the
  // list and writes no catalog page. PagesOnly: nothing is decoded or copied; the shares'
  // records are merged and the catalog pages written, or the build fails naming the pictures
  // no share has built.
  int Share = 0;
  int Shares = 0;
  bool PagesOnly = false;
  // Another build writing into the target: fail at once instead of waiting for it.
  bool NoWait = false;
  // One album of a folder tree (catalog/albums): any number of pictures, none included; its
  // pages show its way up, its text and its sub-albums. nullptr: a flat catalog.
  std::shared_ptr<const TAlbumPage> Album;
  // A tree build: true when a picture of the tree has this source's stamp (moved within the
  // tree), so the copy of the picture gone from this album is not the last one.
  std::function<bool(const TFileStamp&)> MovedInTree;
  // A folder tree built as albums (RunAlbumTree, engine/album_build.h); Pictures then lists
  // every picture of it in the order the albums are built. nullptr: a flat catalog.
  std::shared_ptr<const TAlbumTree> Tree;
  // A tree build's album: the pictures of the albums before it, which shift its shares.
  int ShareOffset = 0;
};

enum class TBuildOutcome {
  boDone,       // every page written
  boCancelled,  // cancel honoured: pictures begun finished, no catalog page
  boRefused,    // fewer than kMinPictures, or the target folder is missing and not to be made
  boFailed,     // an error ended the build; files written before stay
};

enum class TRefusal { rfNone, rfTooFewPictures, rfTargetMissing };

struct TBuildResult {
  TBuildOutcome Outcome = TBuildOutcome::boRefused;
  TRefusal Refusal = TRefusal::rfNone;  // why a boRefused build was refused
  std::string Message;                  // the error or information text
  int PicturesDone = 0;                 // made or reused
  int PicturesReused = 0;               // taken from the build record, not decoded
  int PagesWritten = 0;
  // Pictures of this build whose copies carry a location, counted when it is not removed
  // (LocatedPicturesText words it).
  int PicturesLocated = 0;
  std::vector<CatalogItem> Items;
  // As given to KeptDifferentFile and Warning, in order, and a damaged build record's.
  std::vector<std::string> Warnings;
};

class TBuildEngine {
 public:
  // Runs a whole build on the calling thread (with Jobs workers inside). Returns when every
  // worker has stopped. Errors do not throw: they end up in the result and in Error().
  TBuildResult Run(const TBuildRequest& request, IBuildObserver& observer);
  // One of the runs of a larger build (an album of a tree), also at the same time as others
  // on other threads: a cancel stays in force for all of them until ClearCancel.
  TBuildResult RunPart(const TBuildRequest& request, IBuildObserver& observer);
  void ClearCancel() {
    cancel_.store(false);
    abort_.store(false);
  }
  // Any thread, any time, also before Run: no copy and no picture starts after this;
  // pictures begun are finished. The flags are cleared when Run returns.
  void Cancel() { cancel_.store(true); }
  bool CancelRequested() const { return cancel_.load(); }
  // Cancel at once (a second Ctrl-C): the copy being made is dropped with its temporary file,
  // pictures in flight stop at their next progress report and nothing more is written.
  // Lock-free, so a signal handler may call it.
  void Abort() {
    abort_.store(true);
    cancel_.store(true);
  }

 private:
  class Build;  // the state of one run
  std::atomic<bool> cancel_{false};
  std::atomic<bool> abort_{false};
  static_assert(std::atomic<bool>::is_always_lock_free);
};

}  // namespace folivant
