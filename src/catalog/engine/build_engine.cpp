#include "catalog/engine/build_engine.h"

#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "catalog/atomic_file.h"
#include "catalog/catalog_rules.h"
#include "catalog/clip_page.h"
#include "catalog/engine/build_outputs.h"
#include "catalog/engine/build_plan.h"
#include "catalog/engine/build_progress.h"
#include "catalog/engine/location_copy.h"
#include "catalog/engine/picture_job.h"
#include "catalog/engine/target_files.h"
#include "catalog/modern/modern_albums.h"
#include "catalog/modern/modern_files.h"
#include "catalog/modern/modern_pages.h"
#include "catalog/page_writer.h"
#include "imaging/image_box.h"

// Errors in the engine: its parts throw (ECatalogError, ETargetFileError, ERecordError,
// EBuildStopped for a cancel); a picture's job turns what it meets into the picture's Error;
// Run catches everything at its edge and reports a TBuildResult, never throwing.

namespace folivant {
namespace {

// Copy progress is told at least this often, and at the start and end of the copies.
constexpr std::uint64_t kCopyReportBytes = 1u << 20;
// Copies of more than this give their memory back once the copy step ends.
constexpr std::uint64_t kTrimAfterBytes = 4u << 20;
// Pictures the workers may make, beyond one each, while the copies still go on: they are
// written once the copy step has ended.
constexpr int kAheadOfCopies = 2;

// The number of catalog pages, or 0 when the table's size does not read (the pages then
// fail with their own message).
int CatalogPageCount(const CatalogOptions& opt, int n) {
  try {
    return PageCount(n, ParseWholeNumber(opt.TableRows), ParseWholeNumber(opt.TableCols));
  } catch (const std::exception&) {
    return 0;
  }
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

// The state of one Run, shared by its workers.
class TBuildEngine::Build {
 public:
  Build(TBuildEngine& engine, const TBuildRequest& request, IBuildObserver& observer)
      : engine_(engine),
        request_(request),
        observer_(observer),
        progress_(observer,
                  [this](int index) {
                    Fail("Unexpected error while building " + items_[index].PictureName);
                  }),
        job_(request_, dir_, engine.abort_, progress_),
        jobs_(request_.Jobs > 0
                  ? request_.Jobs
                  : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))) {}
  ~Build() { StopWorkers(true); }

  TBuildResult Run();

 private:
  // The steps of Run. Each false or empty return ends the build with result_ as it stands.
  bool Refused();
  bool TargetCannotBeMade();
  bool TargetRefused();
  std::optional<TBuildOutcome> CopyPictures();
  void OpenOutputs();
  void StartProgress();
  bool CopyEach(std::vector<char>& copied);  // false: cancelled
  void Ready(int count, int toMake);
  void EndCopies();
  void StopWorkers(bool failing);
  std::optional<TBuildOutcome> WritePages();
  TBuildResult& Finish(TBuildOutcome outcome);
  void OpenInBrowser();
  TBuildResult& CannotCreate(const std::string& why);

  void Worker();
  TPictureWork Reused(int index);
  void MakePage(int index, TPictureWork& work);
  void MakeModernPage(int index, TPictureWork& work);
  void Hand(int position, int index, TPictureWork&& work);
  void Drain();
  void Commit(int index, TPictureWork& work);
  void CommitFiles(int index, TPictureWork& work, std::string& error);
  bool PlanFromRecord(const std::vector<char>& copied);
  void Fail(const std::string& message);
  void HeadMoved();

  TBuildEngine& engine_;
  TBuildRequest request_;  // the snapshot: the caller may change its own copy meanwhile
  IBuildObserver& observer_;
  TBuildResult result_;
  std::string dir_;
  std::vector<CatalogItem> items_;
  std::vector<std::string> warnings_;
  std::vector<TFileStamp> sources_;  // the sources' stamps, at their first listing
  int n_ = 0;
  TPeekedRecord peeked_;  // the record before the lock, until the outputs take it
  std::unique_ptr<TBuildOutputs> outputs_;
  std::vector<int> order_;   // the pictures this build processes, in list order
  std::vector<char> reuse_;  // per picture: taken from the build record
  int total_ = 0;            // progress steps: three per picture processed
  std::uint64_t copiedBytes_ = 0;
  TBuildProgress progress_;
  TPictureJob job_;

  // Dispatch and ordered commit. Workers start while the copies are made: a picture is
  // ready for them once its copy is; pictures made are parked until every picture before
  // them is written, and none is written before the copy step has ended.
  std::mutex mutex_;
  std::condition_variable more_;  // a picture ready, one written, or the copies ended
  const int jobs_;                // workers at most
  int ready_ = 0;                 // positions of order_ whose copies are done
  int next_ = 0;                  // position in order_ of the next picture to start
  int committed_ = 0;             // pictures committed (or discarded after a failure) so far
  bool copying_ = true;
  bool committing_ = false;  // a thread is writing parked pictures
  bool noMoreThreads_ = false;
  struct Parked {
    int Index = -1;
    TPictureWork Work;
  };
  std::map<int, Parked> parked_;  // by position
  bool failed_ = false;
  std::string message_;
  int done_ = 0;
  int reused_ = 0;
  std::vector<std::jthread> threads_;
};

TBuildResult TBuildEngine::Run(const TBuildRequest& request, IBuildObserver& observer) {
  TBuildResult result = RunPart(request, observer);
  ClearCancel();
  return result;
}

TBuildResult TBuildEngine::RunPart(const TBuildRequest& request, IBuildObserver& observer) {
  Build build(*this, request, observer);
  return build.Run();
}

TBuildResult TBuildEngine::Build::Run() {
  n_ = static_cast<int>(request_.Pictures.size());
  if (Refused()) return result_;  // fewer than three pictures
  total_ = kStepsPerPicture * n_;
  dir_ = request_.Options.TargetDir;
  if (TargetCannotBeMade()) return result_;
  // Names, checked before anything is written. A name is checked before it is joined to the
  // folder; no thumbnail or page may take the name of one of the pictures (in a build into
  // the pictures' own folder it would overwrite that picture); two different pictures may not
  // share a name, as the second would be read from the copy of the first.
  try {
    if (IsDirectory(dir_)) peeked_ = PeekRecord(dir_);
    const TMergedRecord known = MergeParts(peeked_.Parts);
    const auto vouched = [&](const CatalogItem& item, const TFileStamp& stamp) {
      const auto it = known.Pictures.find(item.PictureName);
      return !request_.Force && it != known.Pictures.end() &&
             it->second->Source.Name == item.SourcePath && it->second->Source.Stamp == stamp;
    };
    CheckRequest(request_, items_, sources_, vouched);
  } catch (const std::exception& e) {
    message_ = e.what();
    return Finish(TBuildOutcome::boFailed);
  }
  if (TargetRefused()) return result_;
  // Titles and alignment come with the snapshot. The cancel flag is not cleared here: a
  // Cancel (a Ctrl-C) that came before is honoured.
  const auto ended = CopyPictures();  // the workers begin as the copies come
  if (!ended) Worker();               // this thread joins them
  StopWorkers(false);
  result_.PicturesDone = done_;
  result_.PicturesReused = reused_;
  if (ended) return Finish(*ended);
  if (engine_.abort_.load()) return Finish(TBuildOutcome::boCancelled);
  if (failed_) return Finish(TBuildOutcome::boFailed);
  const bool cancelled = engine_.cancel_.load();
  if (!cancelled) {
    if (const auto ended = WritePages()) return Finish(*ended);
  }
  Finish(cancelled ? TBuildOutcome::boCancelled : TBuildOutcome::boDone);
  if (result_.Outcome != TBuildOutcome::boFailed && !cancelled) OpenInBrowser();
  return result_;
}

bool TBuildEngine::Build::Refused() {
  if (n_ >= kMinPictures || request_.Album) return false;
  result_.Outcome = TBuildOutcome::boRefused;
  result_.Refusal = TRefusal::rfTooFewPictures;
  result_.Message = kTooFewPicturesText;
  return true;
}

TBuildResult& TBuildEngine::Build::CannotCreate(const std::string& why) {
  result_.Outcome = TBuildOutcome::boFailed;
  result_.Message = "Cannot create the target folder" + (dir_.empty() ? "" : " " + dir_) + ": " +
                    why + "; choose " + (dir_.empty() ? "one" : "another one");
  observer_.Error(result_.Message);
  return result_;
}

// A target folder that cannot be made is told first, and never offered to be made.
bool TBuildEngine::Build::TargetCannotBeMade() {
  if (IsDirectory(dir_)) return false;
  const std::string why = dir_.empty() ? "none is named" : InTheWay(dir_);
  if (why.empty()) return false;
  CannotCreate(why);
  return true;
}

// The target folder, made on request.
bool TBuildEngine::Build::TargetRefused() {
  if (IsDirectory(dir_)) return false;
  if (!request_.CreateTarget) {
    result_.Outcome = TBuildOutcome::boRefused;
    result_.Refusal = TRefusal::rfTargetMissing;
    return true;
  }
  const std::string why = MakeTargetFolder(dir_, request_.CreateTargetParents);
  if (why.empty()) {
    observer_.TargetMade(dir_);
    return false;
  }
  CannotCreate(why);
  return true;
}

TBuildResult& TBuildEngine::Build::Finish(TBuildOutcome outcome) {
  // The record keeps what was done, also when the build ends early.
  if (outputs_) {
    try {
      outputs_->Finish(outcome == TBuildOutcome::boDone);
    } catch (const std::exception& e) {
      if (outcome == TBuildOutcome::boDone) {
        outcome = TBuildOutcome::boFailed;
        message_ = e.what();
      }
    }
  }
  observer_.Ended();
  observer_.OverallProgress(0, total_);
  observer_.CurrentProgress(0);
  result_.Outcome = outcome;
  result_.Items = items_;
  result_.Warnings = warnings_;
  if (outcome == TBuildOutcome::boFailed) {
    result_.Message = message_;
    observer_.Error(message_);
  }
  return result_;
}

// The copies (of this build's share), between which a Cancel is honoured, and what the build
// record lets this build take as it is; the workers start on the pictures copied meanwhile.
// An outcome when the build ends here.
std::optional<TBuildOutcome> TBuildEngine::Build::CopyPictures() {
  std::optional<TBuildOutcome> ended;
  try {
    OpenOutputs();
    StartProgress();
    std::vector<char> copied(n_, 0);
    reuse_.assign(n_, 0);
    if (!CopyEach(copied)) {
      ended = TBuildOutcome::boCancelled;
    } else if (request_.PagesOnly) {
      // Every picture must be known built before any page is written.
      if (PlanFromRecord(copied)) {
        Ready(static_cast<int>(order_.size()), 0);
      } else {
        ended = TBuildOutcome::boFailed;
      }
    }
  } catch (const EBuildStopped&) {
    ended = TBuildOutcome::boCancelled;
  } catch (const std::exception& e) {
    message_ = e.what();
    ended = TBuildOutcome::boFailed;
  }
  if (ended == TBuildOutcome::boFailed) {
    std::lock_guard lock(mutex_);
    failed_ = true;  // pictures made meanwhile are not written
  }
  EndCopies();
  return ended;
}

// The overall bar counts three steps per picture this build processes.
void TBuildEngine::Build::StartProgress() {
  total_ = kStepsPerPicture * static_cast<int>(order_.size());
  progress_.Start(n_, total_, order_.empty() ? n_ : order_[0]);
}

// Positions before count are copied and planned; toMake of them are to be decoded. A picture
// the record vouches for is a page and a few checks: handing those between threads costs
// more than it saves, so a worker joins for each picture to be made, up to Jobs.
void TBuildEngine::Build::Ready(int count, int toMake) {
  {
    std::lock_guard lock(mutex_);
    ready_ = count;
  }
  more_.notify_all();
  const auto want = static_cast<std::size_t>(std::min(jobs_, std::max(1, toMake)) - 1);
  while (!noMoreThreads_ && threads_.size() < want) {
    try {
      threads_.emplace_back([this] { Worker(); });
    } catch (const std::system_error&) {
      noMoreThreads_ = true;  // fewer workers give the same files
    }
  }
}

// The copy step is over: its reports are out, so the workers' may follow, and the pictures
// made meanwhile are written.
void TBuildEngine::Build::EndCopies() {
  // Copies of pictures other than JPEGs read them whole: what they freed goes back.
  if (copiedBytes_ > kTrimAfterBytes) ::malloc_trim(0);
  progress_.Release();
  {
    std::lock_guard lock(mutex_);
    copying_ = false;
    committing_ = true;
  }
  more_.notify_all();
  Drain();
}

// Waits for every worker. failing: whatever they made is not written.
void TBuildEngine::Build::StopWorkers(bool failing) {
  {
    std::lock_guard lock(mutex_);
    copying_ = false;
    failed_ = failed_ || failing;
  }
  more_.notify_all();
  threads_.clear();
}

// Nothing but regular files under the names the build reads or writes (a named pipe would
// block it, a folder would fail it half-way); then the target's lock and record.
void TBuildEngine::Build::OpenOutputs() {
  // One listing of the folder instead of a look at every name: few names are anything odd.
  const auto odd = OddEntries(dir_);
  const auto check = [&](const std::string& name) {
    if (!odd || odd->count(name) != 0) CheckTargetName(dir_, name);
  };
  for (const CatalogItem& item : items_) {
    for (const std::string* name : {&item.PictureName, &item.TnFileName, &item.PageFileName}) {
      check(*name);
    }
    if (!item.WebCopyName.empty()) check(item.WebCopyName);
    if (item.Clip) check(ClipCopyFileName(item.PictureName));
    if (IsModern(request_.Options)) {
      for (const std::string& name : ModernNamesOf(item)) check(name);
    }
  }
  for (int page = 1; page <= CatalogPageCount(request_.Options, n_); ++page) {
    check("page" + std::to_string(page) + ".html");
  }
  outputs_ = std::make_unique<TBuildOutputs>(request_, dir_, items_, sources_,
                                             [this] { return engine_.abort_.load(); });
  outputs_->Open(
      [this](const std::string& warning) {  // a damaged record, a wait, kept copies
        warnings_.push_back(warning);
        observer_.Warning(warning);
      },
      [this] { return engine_.cancel_.load(); }, std::move(peeked_));
  order_ = outputs_->Mine();
}

bool TBuildEngine::Build::CopyEach(std::vector<char>& copied) {
  std::unordered_set<std::string> told;
  // Progress by bytes, so that a slow share shows movement; a copy not needed counts as done.
  std::uint64_t total = 0, done = 0, inFile = 0, shown = 0;
  for (int i : order_) total += std::max<std::int64_t>(0, sources_[i].Size);
  auto progress = [&](std::uint64_t at, bool always) {
    at = std::min(at, total);
    if (!always && at - shown < kCopyReportBytes) return;
    shown = at;
    observer_.CopyProgress(at, total);
  };
  progress(0, true);
  outputs_->SetCopyProgress([&](std::uint64_t block) {
    copiedBytes_ += block;
    progress(done + (inFile += block), false);
  });
  struct Unset {
    TBuildOutputs& outputs;
    ~Unset() { outputs.SetCopyProgress({}); }
  } unset{*outputs_};
  int position = 0, toMake = 0;
  for (int i : order_) {
    if (engine_.cancel_.load()) return false;
    const CatalogItem& item = items_[i];
    inFile = 0;
    copied[i] = outputs_->Copy(i);
    if (!request_.PagesOnly) {
      reuse_[i] = copied[i] && outputs_->Reuse(i);
      if (!reuse_[i]) ++toMake;
      Ready(++position, toMake);
    }
    progress(done += std::max<std::int64_t>(0, sources_[i].Size), false);
    const TPictureRecord& entry = outputs_->Entry(i);
    if (copied[i] && !entry.CopyMade && entry.Source.Stamp.Size >= 0 &&
        entry.Source.Hash != entry.Copy.Hash && told.insert(item.PictureName).second) {
      // The file already there is the one loaded, measured and shown: say so when it is not
      // the picture given.
      const std::string kept = JoinPath(dir_, item.PictureName);
      warnings_.push_back("The file " + kept + " differs from the picture " + item.SourcePath +
                          "; the catalog uses the file already there");
      observer_.KeptDifferentFile(warnings_.back());
    }
  }
  progress(total, true);
  if (!request_.Options.StripLocation)
    result_.PicturesLocated = CountLocated(*outputs_, items_, order_);
  return true;
}

// The catalog pages, unless only a share of the list was built.
std::optional<TBuildOutcome> TBuildEngine::Build::WritePages() {
  if (request_.Shares != 0) return std::nullopt;
  try {
    // A file gone since its picture was done is looked for again, to fail naming it.
    std::unordered_set<std::string_view> missing;
    for (const CatalogItem& item : items_) {
      if (item.SizeKnown) missing.insert(item.ShownFileName());
    }
    const bool listed = StrikeListed(dir_, missing);
    for (CatalogItem& item : items_) {
      item.SizeKnown &= listed && missing.count(item.ShownFileName()) == 0;
    }
    const auto save = [&](const std::string& name, const std::string& bytes) {
      outputs_->CatalogPage(name, bytes);
    };
    result_.PagesWritten =
        IsModern(request_.Options)
            ? BuildModernTables(request_.Options, items_, dir_, save, request_.Album.get())
            : BuildTables(request_.Options, items_, dir_, save, request_.Album.get());
  } catch (const std::exception& e) {
    message_ = e.what();
    return TBuildOutcome::boFailed;
  }
  return std::nullopt;
}

// page1.html in the browser, when asked for and the whole catalog was written.
void TBuildEngine::Build::OpenInBrowser() {
  if (request_.Shares != 0 || !request_.Options.ShowInBrowser) return;
  std::error_code ec;
  std::filesystem::path page = std::filesystem::absolute(JoinPath(dir_, "page1.html"), ec);
  observer_.OpenDocument(ec ? JoinPath(dir_, "page1.html") : page.lexically_normal().string());
}

void TBuildEngine::Build::Worker() {
  TImageBox box;
  box.SetAutoUndo(false);
  for (;;) {
    int position, index;
    {
      std::unique_lock lock(mutex_);
      // No more pictures begun and not yet written than one per worker (and a few more
      // while the copies go on): a failure or cancel then leaves little made for nothing.
      more_.wait(lock, [&] {
        const int window = jobs_ + (copying_ ? kAheadOfCopies : 0);
        return failed_ || engine_.cancel_.load() || (next_ >= ready_ && !copying_) ||
               (next_ < ready_ && next_ - committed_ < window);
      });
      if (failed_ || engine_.cancel_.load() || next_ >= ready_) return;
      position = next_++;
      index = order_[position];
    }
    TPictureWork work;
    try {
      work = reuse_[index] ? Reused(index) : job_.Make(index, items_[index], box);
      if (work.Error.empty()) MakePage(index, work);
    } catch (...) {
      // Only an observer can throw something that is not a std::exception.
      work = TPictureWork();
      work.Error = "Unexpected error while building " + items_[index].PictureName;
    }
    Hand(position, index, std::move(work));
  }
}

// A picture whose thumbnail the build record vouches for: its sizes, nothing decoded.
TPictureWork TBuildEngine::Build::Reused(int index) {
  const TPictureRecord& entry = outputs_->Entry(index);
  TPictureWork work;
  work.Reused = true;
  work.OrigWidth = entry.Width;
  work.OrigHeight = entry.Height;
  work.TnWidth = entry.TnWidth;
  work.TnHeight = entry.TnHeight;
  work.DurationMs = entry.DurationMs;
  work.ClipCopyName = entry.ClipCopy.Name;
  progress_.Skip();
  return work;
}

// The page, in memory; written in list order by Commit.
void TBuildEngine::Build::MakePage(int index, TPictureWork& work) {
  if (IsModern(request_.Options)) return MakeModernPage(index, work);
  const CatalogItem& item = items_[index];
  try {
    const std::string prev = index > 0 ? items_[index - 1].PageFileName : std::string();
    // An album of one picture: its "next" is its own page.
    const std::string next = index + 1 < n_ ? items_[index + 1].PageFileName
                             : n_ == 1      ? item.PageFileName
                                            : std::string();
    TLines lines;
    if (item.Clip) {
      CatalogItem clip = item;
      clip.ClipCopyName = work.ClipCopyName;
      BuildClipPage(request_.Options, prev, next, clip, work.OrigWidth, work.OrigHeight, index == 0,
                    index == n_ - 1, index, lines);
    } else {
      BuildHTMLContent(request_.Options, prev, next, item.PictureName,
                       std::to_string(work.OrigWidth), std::to_string(work.OrigHeight), index == 0,
                       index == n_ - 1, index, lines, item.WebCopyName);
    }
    if (request_.Album) AddAlbumPath(request_.Options, *request_.Album, lines);
    work.PageBytes = JoinLinesCrLf(lines);
  } catch (const std::exception& e) {
    work.PageError = e.what();
  }
}

// The modern style's page: the picture's own texts and size are read from its copy in the
// target, there since the copy step.
void TBuildEngine::Build::MakeModernPage(int index, TPictureWork& work) {
  const CatalogItem& item = items_[index];
  try {
    TModernPicture picture;
    picture.PictureName = item.PictureName;
    picture.ShownFile = item.ShownFileName();
    picture.Width = work.OrigWidth;
    picture.Height = work.OrigHeight;
    const std::string copy = JoinPath(dir_, item.PictureName);
    picture.SizeKb = FileSizeKb(copy);
    picture.Meta = ReadPictureMeta(copy);
    picture.Clip = item.Clip;
    picture.Poster = item.WebCopyName;
    picture.DurationMs = work.DurationMs;
    if (item.Clip && !work.ClipCopyName.empty()) {
      picture.ShownFile = work.ClipCopyName;
      // Made now, the web copy is still a temporary file.
      picture.SizeKb =
          FileSizeKb(work.ClipCopy ? work.ClipCopy->Path() : JoinPath(dir_, work.ClipCopyName));
    }
    TLines lines;
    TModernNav nav = PictureNav(request_.Options, items_, index);
    if (request_.Album) nav.Crumbs = ModernAlbumPath(request_.Options, *request_.Album);
    BuildModernPicturePage(request_.Options, picture, nav, lines);
    work.PageBytes = JoinLinesCrLf(lines);
  } catch (const std::exception& e) {
    work.PageError = e.what();
  }
}

// Which pictures the build record lets this build take as they are. False (message_ set) when
// a pages-only build finds pictures that no share has built, or built with other options.
bool TBuildEngine::Build::PlanFromRecord(const std::vector<char>& copied) {
  std::vector<int> missing, other;  // not built; built with other options
  std::string difference;
  reuse_.assign(n_, 0);
  for (int i : order_) {
    // A pages-only build copies nothing: a copy not as recorded is missing too.
    reuse_[i] = copied[i] && outputs_->Reuse(i);
    if (!request_.PagesOnly || reuse_[i]) continue;
    const TPictureRecord* old = outputs_->Recorded(i);
    const std::string& now = outputs_->Entry(i).ImageKey;
    if (copied[i] && old && !old->ImageKey.empty() && old->ImageKey != now) {
      if (other.empty()) difference = KeyDifference(old->ImageKey, now);
      other.push_back(i);
    } else {
      missing.push_back(i);
    }
  }
  if (missing.empty() && other.empty()) return true;
  auto count = [](const std::vector<int>& list, const char* one, const char* many) {
    return std::to_string(list.size()) + (list.size() == 1 ? one : many);
  };
  auto listed = [&](const std::vector<int>& list) {
    std::string text;
    const std::size_t shown = std::min<std::size_t>(list.size(), 10);
    for (std::size_t k = 0; k < shown; ++k) text += (k ? ", " : " ") + items_[list[k]].PictureName;
    if (list.size() > shown) text += " and " + std::to_string(list.size() - shown) + " more";
    return text;
  };
  message_ = "Cannot write the catalog pages: ";
  if (!missing.empty()) {
    message_ += count(missing, " picture is", " pictures are") +
                " not built (has every share finished?):" + listed(missing);
  }
  if (!other.empty()) {
    message_ += (missing.empty() ? "" : "; ") + count(other, " picture was", " pictures were") +
                " built with other options (" + difference + "):" + listed(other) +
                "; give the options the shares were built with, or build them again";
  }
  return false;
}

// A picture made: parked until every earlier picture is written, so the files on disk are
// always those a one-worker build would have written by then, and a later picture sharing
// an output name always writes last. The worker goes on meanwhile; whoever finds nobody
// writing writes what is due.
void TBuildEngine::Build::Hand(int position, int index, TPictureWork&& work) {
  {
    std::lock_guard lock(mutex_);
    parked_.emplace(position, Parked{index, std::move(work)});
    if (copying_ || committing_) return;
    committing_ = true;
  }
  Drain();
}

// Writes the parked pictures that are due, in list order; entered with committing_ set.
void TBuildEngine::Build::Drain() {
  for (;;) {
    Parked due;
    bool stop;
    {
      std::lock_guard lock(mutex_);
      if (parked_.empty() || parked_.begin()->first != committed_) {
        committing_ = false;
        break;
      }
      due = std::move(parked_.begin()->second);
      parked_.erase(parked_.begin());
      stop = engine_.abort_.load() || failed_;
    }
    if (!stop) Commit(due.Index, due.Work);
    {
      std::lock_guard lock(mutex_);
      ++committed_;
    }
    more_.notify_all();
    HeadMoved();
  }
}

void TBuildEngine::Build::Commit(int index, TPictureWork& work) {
  std::string error = work.Error;
  if (error.empty()) CommitFiles(index, work, error);
  if (error.empty() && !work.Warning.empty()) {
    warnings_.push_back(work.Warning);  // commits run one at a time, in list order
    progress_.Warning(work.Warning);
  }
  if (!error.empty()) return Fail(error);
  {
    std::lock_guard lock(mutex_);
    ++done_;
    if (work.Reused) ++reused_;
  }
  progress_.PictureDone(index);
}

// Each file is written by the last picture of the list that has its name, and only when its
// bytes change; the picture's entry then joins the build record.
void TBuildEngine::Build::CommitFiles(int index, TPictureWork& work, std::string& error) {
  CatalogItem& item = items_[index];
  // The page writers take the sizes as text.
  item.OrigWidth = std::to_string(work.OrigWidth);
  item.OrigHeight = std::to_string(work.OrigHeight);
  item.TnWidth = std::to_string(work.TnWidth);
  item.TnHeight = std::to_string(work.TnHeight);
  item.DurationMs = work.DurationMs;
  item.ClipCopyName = work.ClipCopyName;
  try {
    TPictureRecord& entry = outputs_->Entry(index);
    if (!work.Reused) {
      entry.Width = work.OrigWidth;
      entry.Height = work.OrigHeight;
      entry.TnWidth = work.TnWidth;
      entry.TnHeight = work.TnHeight;
      entry.WebCopy = item.WebCopyName.empty()
                          ? TFileRecord()
                          : outputs_->Write(item.WebCopyName, work.WebCopyBytes);
      entry.DurationMs = work.DurationMs;
      entry.ClipCopy =
          work.ClipCopy ? outputs_->Put(work.ClipCopyName, *work.ClipCopy) : TFileRecord();
      entry.Thumbnail = outputs_->WritesThumbnail(index)
                            ? outputs_->Write(item.TnFileName, work.ThumbnailBytes)
                            : TFileRecord();
      entry.Extras.clear();
      for (const TExtraFile& extra : work.Extras) {
        if (!extra.Thumbnail || outputs_->WritesThumbnail(index))
          entry.Extras.push_back(outputs_->Write(extra.Name, extra.Bytes));
      }
    }
    if (!work.PageError.empty()) {
      error = work.PageError;
    } else if (outputs_->WritesPage(index)) {
      entry.Page = outputs_->Write(item.PageFileName, work.PageBytes);
    }
    outputs_->Done(index);       // without its page, the thumbnail written is still known
    item.SizeKb = entry.SizeKb;  // of files just made or checked against the record
    item.SizeKnown = true;
  } catch (const std::exception& e) {
    error = e.what();
  }
}

void TBuildEngine::Build::Fail(const std::string& message) {
  std::lock_guard lock(mutex_);
  if (!failed_) {
    failed_ = true;
    message_ = message;
  }
}

void TBuildEngine::Build::HeadMoved() {
  int head;
  {
    std::lock_guard lock(mutex_);
    head = committed_ < static_cast<int>(order_.size()) ? order_[committed_] : n_;
  }
  progress_.HeadMoved(head);
}

}  // namespace folivant
