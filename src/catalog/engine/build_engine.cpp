#include "catalog/engine/build_engine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "catalog/catalog_rules.h"
#include "catalog/engine/build_checks.h"
#include "catalog/engine/build_outputs.h"
#include "catalog/engine/picture_upright.h"
#include "catalog/engine/target_files.h"
#include "catalog/page_writer.h"
#include "codecs/codecs.h"
#include "imaging/image_box.h"
#include "imaging/resample.h"
#include "imaging/stream.h"

namespace folivant {
namespace {

// The reason a loader gives up, for "Cannot read picture NAME: reason".
std::string LoadFailureReason(const std::string& name) {
  const TPictureKind kind = PictureKindOfName(name);
  if (kind == TPictureKind::pkNone) return "no reader for this kind of file";
  return std::string("not a valid ") + PictureKindName(kind) + " file";
}

// Copy progress is told at least this often, and at the start and end of the copies.
constexpr std::uint64_t kCopyReportBytes = 1u << 20;

TResampleFilter FilterOf(int filter) {
  // No filter chosen (or anything outside the list) means the plain stretch.
  if (filter < 0 || filter > 6) return TResampleFilter::rfNone;
  return static_cast<TResampleFilter>(filter);
}

// Width and height from a JPEG file's frame header, without decoding.
bool ReadJpegSize(const std::string& path, int& width, int& height) {
  try {
    TFileStream stream(path, TFileMode::fmOpenRead);
    return ReadJpegFrameSize(stream, width, height);
  } catch (const EFileError&) {
    return false;
  }
}

bool IsJpegName(const std::string& name) {
  return PictureKindOfName(name) == TPictureKind::pkJpeg;
}

// The side in proportion to a given one, truncated: at least 1 pixel, so a very thin picture
// still has a thumbnail, and at most what the size limit and a JPEG (65500) allow.
int ProportionalSide(std::int64_t have, std::int64_t want, std::int64_t divisor) {
  const std::int64_t side = have * want / divisor;
  if (want < 1) return static_cast<int>(std::max<std::int64_t>(side, 0));  // refused later
  const TPictureLimits& lim = PictureLimits();
  const std::int64_t most = std::min({lim.MaxSide, std::int64_t{65500}, lim.MaxPixels / want});
  return static_cast<int>(std::clamp<std::int64_t>(side, 1, std::max<std::int64_t>(most, 1)));
}

// The thumbnail size of a w x h picture: one side given, the other in proportion.
void ThumbnailSize(const CatalogOptions& opt, int w, int h, int& tw, int& th) {
  if (opt.ThumbMode == TThumbMode::tmFixedHeight) {
    th = opt.ThumbHeight;
    tw = ProportionalSide(w, th, h);
  } else {
    tw = opt.ThumbWidth;
    th = ProportionalSide(h, tw, w);
  }
}

// libjpeg's JpegScale code (1 whole, 2 half, 3 quarter, 4 eighth) for the smallest decode that
// keeps at least twice the thumbnail's size on both sides.
int PrescaleCode(int w, int h, int tw, int th) {
  for (int code = 4; code >= 2; --code) {
    const int denom = 1 << (code - 1);
    const std::int64_t sw = (w + denom - 1) / denom, sh = (h + denom - 1) / denom;
    if (sw >= 2 * static_cast<std::int64_t>(tw) && sh >= 2 * static_cast<std::int64_t>(th)) {
      return code;
    }
  }
  return 1;
}

// Transparent areas are filled with the pages' background colour, so a thumbnail looks as
// its picture does on the page; white when the colour is not "#RRGGBB".
TColor TransparentFill(const std::string& html) {
  if (html.size() != 7 || html[0] != '#') return clWhite;
  TColor rgb = 0;
  for (std::size_t i = 1; i < html.size(); ++i) {
    const char c = html[i];
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return clWhite;
    rgb = rgb * 16 + static_cast<TColor>(digit);
  }
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);  // to 0x00BBGGRR
}

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

// Everything one picture leaves for the ordered commit.
struct PictureWork {
  std::string Error;           // set: the picture failed before anything was to be written
  std::string ThumbnailBytes;  // the JPEG thumbnail
  std::string WebCopyBytes;    // the JPEG the page shows, for a picture browsers do not show
  std::string Warning;         // told when the picture is committed
  std::string PageBytes;       // the picture page, CR LF lines
  std::string PageError;       // set: the thumbnail is written, then the build stops
  std::string OrigWidth, OrigHeight, TnWidth, TnHeight;
  bool Reused = false;  // thumbnail, web copy and sizes taken from the build record
};

}  // namespace

// The state of one Run, shared by its workers.
class TBuildEngine::Build {
 public:
  Build(TBuildEngine& engine, const TBuildRequest& request, IBuildObserver& observer)
      : engine_(engine), request_(request), observer_(observer) {}

  TBuildResult Run();

 private:
  void Worker();
  // Fresh parameters, background colour and an empty bitmap.
  void StartPicture(TImageBox& box);
  PictureWork Process(int index, TImageBox& box);
  PictureWork Reused(int index);
  void MakePage(int index, PictureWork& work);
  void Commit(int position, int index, PictureWork& work);
  bool PlanFromRecord(const std::vector<char>& copied);
  void Fail(const std::string& message);

  // Progress, serialised: the observer is called by one thread at a time.
  void Step(int index, const std::string& status);
  void Percent(int index, int percent);
  void Skip();  // a picture taken from the record: its three steps at once
  void HeadMoved();

  TBuildEngine& engine_;
  TBuildRequest request_;  // the snapshot: the caller may change its own copy meanwhile
  IBuildObserver& observer_;
  std::string dir_;
  std::vector<CatalogItem> items_;
  std::vector<std::string> warnings_;
  std::vector<std::uint64_t> sizes_;  // of the sources, at their first listing
  int n_ = 0;
  std::unique_ptr<TBuildOutputs> outputs_;
  std::vector<int> order_;   // the pictures this build processes, in list order
  std::vector<char> reuse_;  // per picture: taken from the build record
  int total_ = 0;            // progress steps: three per picture processed

  // Dispatch and ordered commit.
  std::mutex mutex_;
  std::condition_variable turn_;
  int next_ = 0;       // position in order_ of the next picture to start
  int committed_ = 0;  // pictures committed (or discarded after a failure) so far
  bool failed_ = false;
  std::string message_;
  int done_ = 0;
  int reused_ = 0;

  // Progress state, under observerMutex_.
  std::mutex observerMutex_;
  int steps_ = 0;
  std::vector<std::string> status_;  // latest status text per picture
  std::vector<int> percent_;         // latest current-file percent per picture
  int head_ = 0;                     // the oldest picture in flight
};

TBuildResult TBuildEngine::Run(const TBuildRequest& request, IBuildObserver& observer) {
  TBuildResult result;
  {
    Build build(*this, request, observer);
    result = build.Run();
  }
  cancel_.store(false);
  abort_.store(false);
  return result;
}

TBuildResult TBuildEngine::Build::Run() {
  TBuildResult result;
  const CatalogOptions& opt = request_.Options;
  n_ = static_cast<int>(request_.Pictures.size());

  // 1. At least three pictures.
  if (n_ < 3) {
    result.Outcome = TBuildOutcome::boRefused;
    result.Message = "You MUST select at least 3 files !";
    observer_.Information(result.Message);
    return result;
  }

  total_ = 3 * n_;
  auto finish = [&](TBuildOutcome outcome) {
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
    observer_.Status("Ready.");
    observer_.OverallProgress(0, total_);
    observer_.CurrentProgress(0);
    result.Outcome = outcome;
    result.Items = items_;
    result.Warnings = warnings_;
    if (outcome == TBuildOutcome::boFailed) {
      result.Message = message_;
      observer_.Error(message_);
    }
    return result;
  };

  // A target folder that cannot be made is told first, and never offered to be made.
  dir_ = opt.TargetDir;
  auto cannotCreate = [&](const std::string& why) {
    result.Outcome = TBuildOutcome::boFailed;
    result.Message = "Cannot create the target folder" + (dir_.empty() ? "" : " " + dir_) + ": " +
                     why + "; choose " + (dir_.empty() ? "one" : "another one");
    observer_.Error(result.Message);
    return result;
  };
  if (!IsDirectory(dir_)) {
    if (const std::string why = dir_.empty() ? "none is named" : InTheWay(dir_); !why.empty())
      return cannotCreate(why);
  }

  // 6. Names, checked before anything is written. A name is checked before it is joined to
  // the folder; no thumbnail or page may take the name of one of the pictures (in a build into
  // the pictures' own folder it would overwrite that picture); two different pictures may not
  // share a name, as the second would be read from the copy of the first.
  try {
    CheckRequest(request_, items_, sizes_);
  } catch (const std::exception& e) {
    message_ = e.what();
    return finish(TBuildOutcome::boFailed);
  }

  // 2. The target folder, made on request.
  if (!IsDirectory(dir_)) {
    if (!observer_.AskCreateTarget(dir_)) {
      result.Outcome = TBuildOutcome::boRefused;
      return result;
    }
    if (const std::string why = MakeTargetFolder(dir_, request_.CreateTargetParents); !why.empty())
      return cannotCreate(why);
  }

  // 3, 4. Titles and alignment come with the snapshot. The cancel flag is not cleared here: a
  // Cancel (a Ctrl-C) that came before is honoured.

  // 5. The copies (of this build's share), between which a Cancel is honoured; then what the
  // build record lets this build take as it is.
  try {
    // Nothing but regular files under the names the build reads or writes: a named pipe
    // would block it, a folder would fail it half-way.
    for (const CatalogItem& item : items_) {
      for (const std::string* name : {&item.PictureName, &item.TnFileName, &item.PageFileName}) {
        CheckTargetName(dir_, *name);
      }
      if (!item.WebCopyName.empty()) CheckTargetName(dir_, item.WebCopyName);
    }
    for (int page = 1; page <= CatalogPageCount(opt, n_); ++page) {
      CheckTargetName(dir_, "page" + std::to_string(page) + ".html");
    }
    outputs_ = std::make_unique<TBuildOutputs>(request_, dir_, items_,
                                               [this] { return engine_.abort_.load(); });
    outputs_->Open(
        [this](const std::string& warning) {  // a damaged record, a wait, kept copies
          warnings_.push_back(warning);
          observer_.Warning(warning);
        },
        [this] { return engine_.cancel_.load(); });
    order_ = outputs_->Mine();
    std::unordered_set<std::string> told;
    std::vector<char> copied(n_, 0);
    // Progress by bytes, so that a slow share shows movement; a copy not needed counts as done.
    std::uint64_t total = 0, done = 0, inFile = 0, shown = 0;
    for (int i : order_) total += sizes_[i];
    auto progress = [&](std::uint64_t at, bool always) {
      at = std::min(at, total);
      if (!always && at - shown < kCopyReportBytes) return;
      shown = at;
      observer_.CopyProgress(at, total);
    };
    progress(0, true);
    outputs_->SetCopyProgress(
        [&](std::uint64_t block) { progress(done + (inFile += block), false); });
    struct Unset {
      TBuildOutputs& outputs;
      ~Unset() { outputs.SetCopyProgress({}); }
    } unset{*outputs_};
    for (int i : order_) {
      if (engine_.cancel_.load()) return finish(TBuildOutcome::boCancelled);
      const CatalogItem& item = items_[i];
      inFile = 0;
      copied[i] = outputs_->Copy(i);
      progress(done += sizes_[i], false);
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
    if (!PlanFromRecord(copied)) return finish(TBuildOutcome::boFailed);
  } catch (const EBuildStopped&) {
    return finish(TBuildOutcome::boCancelled);
  } catch (const std::exception& e) {
    message_ = e.what();
    return finish(TBuildOutcome::boFailed);
  }

  // 7, 8. The pictures.
  status_.assign(n_, std::string());
  percent_.assign(n_, 0);
  total_ = 3 * static_cast<int>(order_.size());
  head_ = order_.empty() ? n_ : order_[0];
  observer_.OverallProgress(0, total_);
  int jobs = request_.Jobs > 0
                 ? request_.Jobs
                 : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  jobs = std::min(jobs, std::max(1, static_cast<int>(order_.size())));
  {
    std::vector<std::jthread> threads;
    for (int w = 1; w < jobs; ++w) {
      try {
        threads.emplace_back([this] { Worker(); });
      } catch (const std::system_error&) {
        break;  // no more threads to be had: fewer workers give the same files
      }
    }
    Worker();
  }
  result.PicturesDone = done_;
  result.PicturesReused = reused_;
  if (engine_.abort_.load()) return finish(TBuildOutcome::boCancelled);
  if (failed_) return finish(TBuildOutcome::boFailed);

  // 9. The catalog pages, unless cancelled or only a share of the list was built.
  const bool cancelled = engine_.cancel_.load();
  if (!cancelled && request_.Shares == 0) {
    try {
      result.PagesWritten =
          BuildTables(opt, items_, dir_, [&](const std::string& name, const std::string& bytes) {
            outputs_->CatalogPage(name, bytes);
          });
    } catch (const std::exception& e) {
      message_ = e.what();
      return finish(TBuildOutcome::boFailed);
    }
  }

  // 10, 11.
  finish(cancelled ? TBuildOutcome::boCancelled : TBuildOutcome::boDone);
  if (result.Outcome == TBuildOutcome::boFailed) return result;
  if (!cancelled && request_.Shares == 0 && opt.ShowInBrowser) {
    std::error_code ec;
    std::filesystem::path page = std::filesystem::absolute(JoinPath(dir_, "page1.html"), ec);
    observer_.OpenDocument(ec ? JoinPath(dir_, "page1.html") : page.lexically_normal().string());
  }
  return result;
}

void TBuildEngine::Build::Worker() {
  TImageBox box;
  box.SetAutoUndo(false);
  for (;;) {
    int position, index;
    {
      std::lock_guard lock(mutex_);
      if (failed_ || engine_.cancel_.load() || next_ >= static_cast<int>(order_.size())) return;
      position = next_++;
      index = order_[position];
    }
    PictureWork work;
    try {
      work = reuse_[index] ? Reused(index) : Process(index, box);
      if (work.Error.empty()) MakePage(index, work);
    } catch (...) {
      // Only an observer can throw something that is not a std::exception.
      work = PictureWork();
      work.Error = "Unexpected error while building " + items_[index].PictureName;
    }
    Commit(position, index, work);
  }
}

void TBuildEngine::Build::StartPicture(TImageBox& box) {
  box.IOParams().Assign(request_.Params);
  box.IOParams().JpegQuality = request_.Options.JPEGQuality;
  box.SetBackground(TransparentFill(request_.Options.BackColorHtml));
  box.Bitmap().Reset();
  box.IO().SetStopFlag(&engine_.abort_);
}

PictureWork TBuildEngine::Build::Process(int index, TImageBox& box) {
  const CatalogOptions& opt = request_.Options;
  const CatalogItem& item = items_[index];
  PictureWork work;
  // Every picture starts from the same state, so nothing a worker loaded before changes this
  // picture's thumbnail: any number of workers gives the same bytes.
  StartPicture(box);
  box.SetOnProgress([this, index](const void*, int per) { Percent(index, per); });
  const std::string path = JoinPath(dir_, item.PictureName);
  // Decoding a large JPEG at a fraction of its size; the sizes stay those of the whole picture.
  int fullW = 0, fullH = 0, tw = 0, th = 0, code = 1;
  if (request_.JpegPrescale && IsJpegName(item.PictureName) && ReadJpegSize(path, fullW, fullH)) {
    ThumbnailSize(opt, fullW, fullH, tw, th);
    if (tw > 0 && th > 0) code = PrescaleCode(fullW, fullH, tw, th);
  }
  const std::string cannotRead = "Cannot read picture " + item.PictureName + ": ";
  TUprightPicture upright;
  for (bool again = true; again;) {
    again = false;
    try {
      Step(index, "Opening file " + item.PictureName);
      // A file that cannot be opened says so, not that its content is wrong.
      std::string why;
      const int fd = OpenRegularFile(path, why);
      if (fd < 0) {
        work.Error = cannotRead + MidSentence(why);
        return work;
      }
      ::close(fd);
      box.IOParams().JpegScale = static_cast<std::uint8_t>(code);
      box.LoadFromFile(path);
      const int denom = 1 << (code - 1);
      if (code > 1 && !box.Aborting() &&
          (box.Bitmap().Width() != (fullW + denom - 1) / denom ||
           box.Bitmap().Height() != (fullH + denom - 1) / denom)) {
        // The frame header did not tell the size the decoder saw: decode it whole.
        code = 1;
        StartPicture(box);
        box.LoadFromFile(path);
      }
      // A load that gives no picture is a failure, whatever flag the reader left.
      if (box.Aborting() || box.Bitmap().Width() <= 0 || box.Bitmap().Height() <= 0) {
        // The codec's reason (too large, no image), else the file is damaged.
        std::string reason = box.AbortReason();
        if (reason.empty())
          reason = box.Aborting() ? LoadFailureReason(item.PictureName) : "the file holds no image";
        work.Error = cannotRead + reason;
        return work;
      }
    } catch (const std::exception& e) {
      work.Error = cannotRead + e.what();
      return work;
    }
    try {
      upright = MakeUpright(box, opt, !item.WebCopyName.empty());
    } catch (const std::exception& e) {
      work.Error = (item.WebCopyName.empty() ? "Cannot turn picture " + item.PictureName
                                             : "Cannot write web copy " + item.WebCopyName) +
                   ": " + e.what();
      return work;
    }
    if (code > 1 && upright.SidesSwapped) {
      // The scale was chosen for the picture on its side: choose it for the upright picture.
      ThumbnailSize(opt, fullH, fullW, tw, th);
      const int uprightCode = tw > 0 && th > 0 ? PrescaleCode(fullH, fullW, tw, th) : 1;
      if (uprightCode != code) {
        code = uprightCode;
        StartPicture(box);
        again = true;
      }
    }
  }
  work.WebCopyBytes = std::move(upright.WebCopy);
  const bool prescaled = code > 1;
  if (prescaled && upright.SidesSwapped) std::swap(fullW, fullH);
  work.OrigWidth = std::to_string(prescaled ? fullW : box.Bitmap().Width());
  work.OrigHeight = std::to_string(prescaled ? fullH : box.Bitmap().Height());
  if (box.IOParams().IccProfileTooLarge)
    work.Warning = "The colour profile of " + item.PictureName +
                   " is larger than 4 MB: it is left out of the thumbnail";

  try {
    Step(index, "Resampling file " + item.PictureName);
    if (!prescaled) ThumbnailSize(opt, box.Bitmap().Width(), box.Bitmap().Height(), tw, th);
    box.Resample(tw, th, FilterOf(opt.Filter));
    box.IOParams().JpegColorSpace = 0;
  } catch (const std::exception& e) {
    work.Error = "Cannot make the thumbnail of " + item.PictureName + ": " + e.what();
    return work;
  }
  work.TnWidth = std::to_string(box.Bitmap().Width());
  work.TnHeight = std::to_string(box.Bitmap().Height());

  try {
    box.IOParams().JpegProgressive = opt.Progressive;
    Step(index, "Saving file " + item.TnFileName);
    TMemoryStream jpeg;
    box.IO().SaveToStreamJpeg(jpeg);
    if (box.Aborting()) {
      work.Error = "Cannot write thumbnail " + item.TnFileName + ": the JPEG writer failed";
      return work;
    }
    const auto& bytes = jpeg.Bytes();
    work.ThumbnailBytes.assign(bytes.begin(), bytes.end());
  } catch (const std::exception& e) {
    work.Error = "Cannot write thumbnail " + item.TnFileName + ": " + e.what();
    return work;
  }
  Step(index, std::string());
  return work;
}

// A picture whose thumbnail the build record vouches for: its sizes, nothing decoded.
PictureWork TBuildEngine::Build::Reused(int index) {
  const TPictureRecord& entry = outputs_->Entry(index);
  PictureWork work;
  work.Reused = true;
  work.OrigWidth = std::to_string(entry.Width);
  work.OrigHeight = std::to_string(entry.Height);
  work.TnWidth = std::to_string(entry.TnWidth);
  work.TnHeight = std::to_string(entry.TnHeight);
  Skip();
  return work;
}

// The page, in memory; written in list order by Commit.
void TBuildEngine::Build::MakePage(int index, PictureWork& work) {
  const CatalogItem& item = items_[index];
  try {
    const std::string prev = index > 0 ? items_[index - 1].PageFileName : std::string();
    const std::string next = index + 1 < n_ ? items_[index + 1].PageFileName : std::string();
    TLines lines;
    BuildHTMLContent(request_.Options, prev, next, item.PictureName, work.OrigWidth,
                     work.OrigHeight, index == 0, index == n_ - 1, index, lines, item.WebCopyName);
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

// Writes a picture's files when every earlier picture is written, so the files on disk are
// always those a one-worker build would have written by then, and a later picture sharing
// an output name always writes last.
void TBuildEngine::Build::Commit(int position, int index, PictureWork& work) {
  {
    std::unique_lock lock(mutex_);
    turn_.wait(lock, [&] { return committed_ == position; });
  }
  bool stop = engine_.abort_.load();
  {
    std::lock_guard lock(mutex_);
    stop = stop || failed_;
  }
  if (!stop) {
    CatalogItem& item = items_[index];
    std::string error = work.Error;
    if (error.empty()) {
      item.OrigWidth = work.OrigWidth;
      item.OrigHeight = work.OrigHeight;
      item.TnWidth = work.TnWidth;
      item.TnHeight = work.TnHeight;
      try {
        // Each file is written by the last picture of the list that has its name, and only
        // when its bytes change; the picture's entry then joins the build record.
        TPictureRecord& entry = outputs_->Entry(index);
        if (!work.Reused) {
          entry.Width = std::stoi(work.OrigWidth);
          entry.Height = std::stoi(work.OrigHeight);
          entry.TnWidth = std::stoi(work.TnWidth);
          entry.TnHeight = std::stoi(work.TnHeight);
          entry.WebCopy = item.WebCopyName.empty()
                              ? TFileRecord()
                              : outputs_->Write(item.WebCopyName, work.WebCopyBytes);
          entry.Thumbnail = outputs_->WritesThumbnail(index)
                                ? outputs_->Write(item.TnFileName, work.ThumbnailBytes)
                                : TFileRecord();
        }
        if (!work.PageError.empty()) {
          error = work.PageError;
        } else if (outputs_->WritesPage(index)) {
          entry.Page = outputs_->Write(item.PageFileName, work.PageBytes);
        }
        outputs_->Done(index);  // without its page, the thumbnail written is still known
      } catch (const std::exception& e) {
        error = e.what();
      }
    }
    if (error.empty() && !work.Warning.empty()) {
      warnings_.push_back(work.Warning);  // commits run one at a time, in list order
      try {
        std::lock_guard olock(observerMutex_);
        observer_.Warning(work.Warning);
      } catch (...) {
        // A report that failed changes nothing in the build.
      }
    }
    if (!error.empty()) {
      Fail(error);
    } else {
      {
        std::lock_guard lock(mutex_);
        ++done_;
        if (work.Reused) ++reused_;
      }
      try {
        std::lock_guard olock(observerMutex_);
        observer_.PictureDone(index);
      } catch (...) {
        Fail("Unexpected error while building " + item.PictureName);
      }
    }
  }
  {
    std::lock_guard lock(mutex_);
    ++committed_;
  }
  turn_.notify_all();
  HeadMoved();
}

void TBuildEngine::Build::Fail(const std::string& message) {
  std::lock_guard lock(mutex_);
  if (!failed_) {
    failed_ = true;
    message_ = message;
  }
}

void TBuildEngine::Build::Step(int index, const std::string& status) {
  std::lock_guard lock(observerMutex_);
  if (status.empty() || status.rfind("Resampling", 0) == 0 || status.rfind("Saving", 0) == 0) {
    // A step finished: loaded (before resampling), resampled (before saving), saved.
    observer_.OverallProgress(++steps_, total_);
  }
  if (status.empty()) return;
  status_[index] = status;
  percent_[index] = 0;
  if (index == head_) observer_.Status(status);
}

void TBuildEngine::Build::Skip() {
  std::lock_guard lock(observerMutex_);
  steps_ += 3;
  observer_.OverallProgress(steps_, total_);
}

void TBuildEngine::Build::Percent(int index, int percent) {
  // Thrown through the codec or the resampler, which give up and clean up.
  if (engine_.abort_.load()) throw EBuildStopped("Build stopped");
  std::lock_guard lock(observerMutex_);
  percent_[index] = percent;
  if (index == head_) observer_.CurrentProgress(percent);
}

void TBuildEngine::Build::HeadMoved() {
  int head;
  {
    std::lock_guard lock(mutex_);
    head = committed_ < static_cast<int>(order_.size()) ? order_[committed_] : n_;
  }
  std::lock_guard lock(observerMutex_);
  head_ = head;
  if (head_ < n_ && !status_[head_].empty()) {
    try {
      observer_.Status(status_[head_]);
      observer_.CurrentProgress(percent_[head_]);
    } catch (...) {
      // A report that failed changes nothing in the build.
    }
  }
}

}  // namespace folivant
