#include "catalog/engine/album_build.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "catalog/atomic_file.h"
#include "catalog/catalog_rules.h"
#include "catalog/engine/build_outputs.h"
#include "catalog/engine/build_plan.h"
#include "catalog/engine/target_files.h"

namespace folivant {

namespace {

// One album's reports as part of the whole tree: positions and indexes moved on by the albums
// before it; the end, errors and the browser only once, by the tree.
class TAlbumObserver : public IBuildObserver {
 public:
  TAlbumObserver(IBuildObserver& to, int maxSteps) : to_(to), max_(maxSteps) {}
  void Begin(int firstIndex, bool top) {
    first_ = firstIndex;
    top_ = top;
    ended_ = false;
  }
  void PictureStep(TPictureStep step, const std::string& file) override {
    to_.PictureStep(step, file);
  }
  void Ended() override { ended_ = true; }
  void OverallProgress(int position, int) override {
    if (!ended_) to_.OverallProgress(kStepsPerPicture * first_ + position, max_);
  }
  void CurrentProgress(int percent) override {
    if (!ended_) to_.CurrentProgress(percent);
  }
  void CopyProgress(std::uint64_t done, std::uint64_t total) override {
    to_.CopyProgress(done, total);
  }
  void TargetMade(const std::string& dir) override {
    if (top_) to_.TargetMade(dir);
  }
  void Warning(const std::string& message) override { to_.Warning(message); }
  void OpenDocument(const std::string& path) override {
    if (top_) to_.OpenDocument(path);
  }
  void PictureDone(int index) override { to_.PictureDone(first_ + index); }
  void KeptDifferentFile(const std::string& message) override { to_.KeptDifferentFile(message); }

 private:
  IBuildObserver& to_;
  int max_;
  int first_ = 0;
  bool top_ = false;
  bool ended_ = false;
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

TBuildResult RunAlbumTree(TBuildEngine& engine, const TBuildRequest& base, const TAlbumTree& tree,
                          IBuildObserver& observer) {
  const std::string target = base.Options.TargetDir;
  TBuildRequest proto = base;  // each album takes its own pictures
  proto.Pictures.clear();
  proto.Tree.reset();
  const bool whole = base.Shares == 0;
  TTreeStamps stamps(tree);
  const int n = static_cast<int>(AlbumTreePictures(tree).size());
  TAlbumObserver reports(observer, kStepsPerPicture * n);
  std::vector<TCover> covers(tree.Albums.size());
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
  int first = 0;
  for (std::size_t a = 0; a < tree.Albums.size(); ++a) {
    const TAlbum& album = tree.Albums[a];
    TBuildRequest request = proto;
    request.Options.TargetDir = Join(target, album.Rel);
    request.Pictures = album.Pictures;
    request.Album = PageOf(tree, static_cast<int>(a), covers);
    request.ShareOffset = base.Shares > 0 ? first % base.Shares : 0;
    request.MovedInTree = [&stamps](const TFileStamp& s) { return stamps.Has(s); };
    request.CreateTarget = request.CreateTargetParents = true;  // the target is there now
    request.Options.ShowInBrowser = album.Rel.empty() && base.Options.ShowInBrowser;
    const bool top = album.Rel.empty();
    if (!top) now.insert(album.Rel);
    reports.Begin(first, top);
    TBuildResult result = engine.Run(request, reports);
    first += static_cast<int>(album.Pictures.size());
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
    covers[a] = CoverOf(tree, static_cast<int>(a), result, covers);
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
