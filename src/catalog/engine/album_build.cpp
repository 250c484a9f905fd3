#include "catalog/engine/album_build.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "catalog/atomic_file.h"
#include "catalog/catalog_rules.h"
#include "catalog/engine/build_outputs.h"
#include "catalog/engine/build_plan.h"
#include "catalog/engine/target_files.h"

namespace folivant {

namespace {

// One album's reports as part of the whole tree: positions and indexes moved on by the albums
// before it; the end, errors and the browser only once, by the tree. Two albums are built at
// once: the reports of the one ahead are kept until every album before it is done, so the
// tree's observer sees what one album after another would show.
class TAlbumObserver : public IBuildObserver {
 public:
  TAlbumObserver(IBuildObserver& to, int maxSteps, int firstIndex, bool top, bool live)
      : to_(to), max_(maxSteps), first_(firstIndex), top_(top), live_(live) {}
  // Its turn: what it kept is passed on, and from now on everything at once.
  void GoLive() {
    std::lock_guard lock(mutex_);
    for (const auto& report : kept_) report(to_);
    kept_.clear();
    live_ = true;
  }
  void PictureStep(TPictureStep step, const std::string& file) override {
    Tell([=](IBuildObserver& o) { o.PictureStep(step, file); });
  }
  void Ended() override {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
  void OverallProgress(int position, int) override {
    if (Over()) return;
    Tell([=, this](IBuildObserver& o) {
      o.OverallProgress(kStepsPerPicture * first_ + position, max_);
    });
  }
  void CurrentProgress(int percent) override {
    if (!Over()) Tell([=](IBuildObserver& o) { o.CurrentProgress(percent); });
  }
  void CopyProgress(std::uint64_t done, std::uint64_t total) override {
    Tell([=](IBuildObserver& o) { o.CopyProgress(done, total); });
  }
  void TargetMade(const std::string& dir) override {
    if (top_) Tell([=](IBuildObserver& o) { o.TargetMade(dir); });
  }
  void Warning(const std::string& message) override {
    Tell([=](IBuildObserver& o) { o.Warning(message); });
  }
  void OpenDocument(const std::string& path) override {
    if (top_) Tell([=](IBuildObserver& o) { o.OpenDocument(path); });
  }
  void PictureDone(int index) override {
    Tell([=, this](IBuildObserver& o) { o.PictureDone(first_ + index); });
  }
  void KeptDifferentFile(const std::string& message) override {
    Tell([=](IBuildObserver& o) { o.KeptDifferentFile(message); });
  }

 private:
  bool Over() {
    std::lock_guard lock(mutex_);
    return ended_;
  }
  // One report at a time, also from the album's workers.
  void Tell(std::function<void(IBuildObserver&)> report) {
    std::lock_guard lock(mutex_);
    if (live_) {
      report(to_);
    } else {
      kept_.push_back(std::move(report));
    }
  }

  IBuildObserver& to_;
  const int max_;
  const int first_;
  const bool top_;
  std::mutex mutex_;
  bool live_;
  bool ended_ = false;
  std::vector<std::function<void(IBuildObserver&)>> kept_;
};

struct TCover {
  std::string Tn;  // relative to the album's folder
  std::string Width, Height;
};

// The stamps of the tree's pictures, taken once when first asked: a copy whose picture is
// gone from one album but has the stamp of a picture of the tree (a move keeps the inode,
// size and time) is not the last one.
class TTreeStamps {
 public:
  explicit TTreeStamps(const TAlbumTree& tree) : tree_(tree) {}
  bool Has(const TFileStamp& s) {
    std::call_once(once_, [this] {
      for (const TAlbum& album : tree_.Albums) {
        for (const TPictureEntry& p : album.Pictures) {
          const TFileStamp t = StampOf(p.Path);
          if (t.Size >= 0) stamps_.insert({t.Inode, t.Size, t.MtimeNs});
        }
      }
    });
    return s.Size >= 0 && stamps_.count({s.Inode, s.Size, s.MtimeNs}) != 0;
  }

 private:
  const TAlbumTree& tree_;
  std::once_flag once_;
  std::set<std::tuple<std::uint64_t, std::int64_t, std::int64_t>> stamps_;
};

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Join(const std::string& dir, const std::string& rel) {
  return rel.empty() ? dir : JoinPath(dir, rel);
}

// An album folder name from the list: plain names below the target, no link on the way.
bool SafeAlbumPath(const std::string& target, const std::string& rel) {
  if (rel.empty() || rel.find('\0') != std::string::npos) return false;
  std::string at = target;
  std::istringstream parts(rel);
  for (std::string part; std::getline(parts, part, '/');) {
    if (part.empty() || part[0] == '.') return false;
    at = JoinPath(at, part);
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  }
  return true;
}

std::set<std::string> ReadAlbumList(const std::string& target) {
  std::set<std::string> rels;
  const std::string path = JoinPath(JoinPath(target, kRecordFolder), kAlbumListFile);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > (64 << 20)) {
    return rels;
  }
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) rels.insert(line);
  }
  return rels;
}

void WriteAlbumList(const std::string& target, const std::set<std::string>& rels) {
  std::string text;
  for (const std::string& rel : rels) text += rel + "\n";
  const std::string dir = MakeRecordFolder(target);
  if (const int err = WriteFileAtomically(dir, kAlbumListFile, text, true)) {
    throw ECatalogError("Unable to write to " + JoinPath(dir, kAlbumListFile) + ": " +
                        std::generic_category().message(err));
  }
}

// What the build made of an album no longer in the tree goes, as for a picture no longer in
// the list; the folder goes when nothing else is left in it.
void RemoveAlbum(const TBuildRequest& base, const std::string& dir,
                 const std::function<void(const std::string&)>& tell) {
  TBuildRequest request;
  request.Options = base.Options;
  request.Options.TargetDir = dir;
  request.NoWait = base.NoWait;
  request.MovedInTree = base.MovedInTree;
  const std::vector<CatalogItem> none;
  const std::vector<TFileStamp> noStamps;
  {
    TBuildOutputs outputs(request, dir, none, noStamps, [] { return false; });
    outputs.Open(tell, [] { return false; });
    outputs.Finish(true);
  }
  const std::string records = JoinPath(dir, kRecordFolder);
  for (const char* name : {"record.jsonl", ".lock"}) ::unlink(JoinPath(records, name).c_str());
  ::rmdir(records.c_str());
  ::rmdir(dir.c_str());
}

}  // namespace

std::vector<TPictureEntry> AlbumTreePictures(const TAlbumTree& tree) {
  std::vector<TPictureEntry> all;
  for (const TAlbum& album : tree.Albums) {
    all.insert(all.end(), album.Pictures.begin(), album.Pictures.end());
  }
  return all;
}

namespace {

// The page additions of album a: its way up, its text and its sub-albums with their covers.
std::shared_ptr<const TAlbumPage> PageOf(const TAlbumTree& tree, int a,
                                         const std::vector<TCover>& covers) {
  auto page = std::make_shared<TAlbumPage>();
  const TAlbum& album = tree.Albums[a];
  for (int up = a; tree.Albums[up].Parent >= 0; up = tree.Albums[up].Parent) {
    page->Path.insert(page->Path.begin(), tree.Albums[up].Name);
  }
  page->Title = album.Title;
  page->Description = album.Description;
  for (int c : album.Children) {
    const TAlbum& child = tree.Albums[c];
    const TCover& cover = covers[c];
    page->SubAlbums.push_back({child.Name, cover.Tn.empty() ? "" : child.Name + "/" + cover.Tn,
                               cover.Width, cover.Height, child.Total});
  }
  return page;
}

TCover CoverOf(const TAlbumTree& tree, int a, const TBuildResult& result,
               const std::vector<TCover>& covers) {
  const TAlbum& album = tree.Albums[a];
  if (!result.Items.empty()) {
    const CatalogItem& first = result.Items.front();
    return {first.TnFileName, first.TnWidth, first.TnHeight};
  }
  for (int c : album.Children) {
    if (!covers[c].Tn.empty()) {
      return {tree.Albums[c].Name + "/" + covers[c].Tn, covers[c].Width, covers[c].Height};
    }
  }
  return {};
}

}  // namespace

namespace {

// The albums of a tree in order, two at a time where the jobs allow: an album starts once its
// sub-albums are done (its cover and counts are theirs), and is reported once every album
// before it is. A tree of small albums spends most of a rebuild looking at files, one album's
// worth at a time: two albums keep both processors busy.
class TAlbumRuns {
 public:
  TAlbumRuns(TBuildEngine& engine, const TBuildRequest& proto, const TAlbumTree& tree,
             IBuildObserver& observer, TTreeStamps& stamps)
      : engine_(engine), proto_(proto), tree_(tree), observer_(observer), stamps_(stamps) {
    const int jobs = proto.Jobs > 0
                         ? proto.Jobs
                         : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    atOnce_ = std::min(2, jobs);
    first_.push_back(0);
    for (const TAlbum& album : tree.Albums)
      first_.push_back(first_.back() + static_cast<int>(album.Pictures.size()));
    observers_.resize(tree.Albums.size());
    covers_.resize(tree.Albums.size());
  }
  ~TAlbumRuns() {
    // An album started ahead of one that failed or was cancelled: stopped, never reported.
    if (!running_.empty()) engine_.Cancel();
    running_.clear();
  }

  // Album a's result, once every album before it has been taken.
  TBuildResult Take(std::size_t a) {
    while (next_ < tree_.Albums.size() && static_cast<int>(running_.size()) < atOnce_ &&
           Ready(next_, a)) {
      Start(next_++, a);
    }
    observers_[a]->GoLive();
    TBuildResult result = running_.at(a).get();
    running_.erase(a);
    observers_[a].reset();  // told everything
    covers_[a] = CoverOf(tree_, static_cast<int>(a), result, covers_);
    return result;
  }

 private:
  bool Ready(std::size_t a, std::size_t head) const {
    const std::vector<int>& children = tree_.Albums[a].Children;
    return std::all_of(children.begin(), children.end(),
                       [&](int c) { return static_cast<std::size_t>(c) < head; });
  }
  void Start(std::size_t a, std::size_t head) {
    const TAlbum& album = tree_.Albums[a];
    TBuildRequest request = proto_;
    request.Options.TargetDir = Join(proto_.Options.TargetDir, album.Rel);
    request.Pictures = album.Pictures;
    request.Album = PageOf(tree_, static_cast<int>(a), covers_);
    request.ShareOffset = proto_.Shares > 0 ? first_[a] % proto_.Shares : 0;
    request.MovedInTree = [&stamps = stamps_](const TFileStamp& s) { return stamps.Has(s); };
    request.CreateTarget = request.CreateTargetParents = true;  // the target is there now
    request.Options.ShowInBrowser = album.Rel.empty() && proto_.Options.ShowInBrowser;
    const int steps = kStepsPerPicture * first_.back();
    observers_[a] =
        std::make_unique<TAlbumObserver>(observer_, steps, first_[a], album.Rel.empty(), a == head);
    running_[a] = std::async(
        std::launch::async, [&engine = engine_, &to = *observers_[a],
                             request = std::move(request)] { return engine.RunPart(request, to); });
  }

  TBuildEngine& engine_;
  const TBuildRequest& proto_;
  const TAlbumTree& tree_;
  IBuildObserver& observer_;
  TTreeStamps& stamps_;
  int atOnce_ = 1;
  std::vector<int> first_;  // per album, the pictures of the albums before it
  std::vector<std::unique_ptr<TAlbumObserver>> observers_;
  std::vector<TCover> covers_;
  std::map<std::size_t, std::future<TBuildResult>> running_;
  std::size_t next_ = 0;
};

}  // namespace

TBuildResult RunAlbumTree(TBuildEngine& engine, const TBuildRequest& base, const TAlbumTree& tree,
                          IBuildObserver& observer) {
  struct Clear {
    TBuildEngine& engine;
    ~Clear() { engine.ClearCancel(); }
  } clear{engine};
  const std::string target = base.Options.TargetDir;
  TBuildRequest proto = base;  // each album takes its own pictures
  proto.Pictures.clear();
  proto.Tree.reset();
  const bool whole = base.Shares == 0;
  TTreeStamps stamps(tree);
  std::set<std::string> listed, now;
  TBuildResult total;
  total.Outcome = TBuildOutcome::boDone;
  auto fail = [&](const std::string& message) {
    total.Outcome = TBuildOutcome::boFailed;
    total.Message = message;
    observer.Error(message);
    observer.Ended();
    return total;
  };
  if (!IsFolder(target)) {
    if (!base.CreateTarget) {
      total.Outcome = TBuildOutcome::boRefused;
      total.Refusal = TRefusal::rfTargetMissing;
      return total;
    }
    const std::string why =
        target.empty() ? "none is named" : MakeTargetFolder(target, base.CreateTargetParents);
    if (!why.empty()) return fail("Cannot create the target folder " + target + ": " + why);
    observer.TargetMade(target);
  }
  if (whole) {
    // Every album this build may make is listed before it is made: a kill leaves none unknown.
    try {
      listed = ReadAlbumList(target);
      std::set<std::string> both = listed;
      for (const TAlbum& each : tree.Albums) {
        if (!each.Rel.empty()) both.insert(each.Rel);
      }
      if (both != listed) WriteAlbumList(target, both);
    } catch (const std::exception& e) {
      return fail(e.what());
    }
  }
  {
    TAlbumRuns runs(engine, proto, tree, observer, stamps);
    for (std::size_t a = 0; a < tree.Albums.size(); ++a) {
      const TAlbum& album = tree.Albums[a];
      const bool top = album.Rel.empty();
      if (!top) now.insert(album.Rel);
      TBuildResult result = runs.Take(a);
      total.PicturesDone += result.PicturesDone;
      total.PicturesReused += result.PicturesReused;
      total.PagesWritten += result.PagesWritten;
      total.Warnings.insert(total.Warnings.end(), result.Warnings.begin(), result.Warnings.end());
      if (result.Outcome == TBuildOutcome::boFailed || result.Outcome == TBuildOutcome::boRefused) {
        const std::string where = top ? "" : "In album " + album.Rel + ": ";
        total.Refusal = result.Refusal;
        fail(where + result.Message);
        total.Outcome = result.Outcome;
        return total;
      }
      if (result.Outcome == TBuildOutcome::boCancelled) {
        total.Outcome = TBuildOutcome::boCancelled;
        observer.Ended();
        return total;
      }
    }
  }
  if (whole) {
    try {
      auto tell = [&](const std::string& w) {
        total.Warnings.push_back(w);
        observer.Warning(w);
      };
      // Deepest first, so a folder is empty of its albums when its own turn comes.
      for (auto it = listed.rbegin(); it != listed.rend(); ++it) {
        if (now.count(*it) != 0 || !SafeAlbumPath(target, *it)) continue;
        TBuildRequest gone = proto;
        gone.MovedInTree = [&stamps](const TFileStamp& s) { return stamps.Has(s); };
        RemoveAlbum(gone, Join(target, *it), tell);
      }
      if (listed != now && (!listed.empty() || !now.empty())) WriteAlbumList(target, now);
    } catch (const std::exception& e) {
      return fail(e.what());
    }
  }
  observer.Ended();
  return total;
}

}  // namespace folivant
