#include "catalog/engine/build_outputs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "catalog/catalog_rules.h"
#include "catalog/engine/build_engine.h"
#include "catalog/engine/picture_upright.h"
#include "catalog/engine/target_files.h"
#include "catalog/version.h"
#include "imaging/image_box.h"
#include "imaging/types.h"

namespace folivant {
namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::uint64_t HashOrThrow(const std::string& path) {
  const auto hash = HashFile(path);
  if (!hash) {
    throw ETargetFileError("Cannot read " + path + ": " +
                           (Exists(path) ? "not a readable regular file" : std::strerror(ENOENT)));
  }
  return *hash;
}

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string ImageKey(const TBuildRequest& request) {
  const CatalogOptions& o = request.Options;
  const TIOParamsVals& p = request.Params;
  std::string key;
  auto add = [&](const char* name, auto value) {
    if (!key.empty()) key += ' ';
    key += name;
    key += '=';
    key += std::to_string(value);
  };
  // The program itself: a new version may make other bytes from the same picture.
  key = "version=" + std::string(kVersionText);
  if (o.ThumbMode == TThumbMode::tmFixedHeight) {
    add("height", o.ThumbHeight);
  } else {
    add("width", o.ThumbWidth);
  }
  add("filter", o.Filter >= 0 && o.Filter <= 6 ? o.Filter : 0);  // anything else: none
  add("quality", o.JPEGQuality);
  add("progressive", o.Progressive ? 1 : 0);
  add("fast-decode", request.JpegPrescale ? 1 : 0);
  add("max-side", PictureLimits().MaxSide);
  add("max-pixels", PictureLimits().MaxPixels);
  add("dct", static_cast<int>(p.JpegDctMethod));
  add("optimal-huffman", p.JpegOptimalHuffman ? 1 : 0);
  add("smoothing", p.JpegSmoothing);
  add("png-background", p.PngBackground.r << 16 | p.PngBackground.g << 8 | p.PngBackground.b);
  add("upright", o.AutoRotate ? 1 : 0);
  add("web-copy-quality", kWebCopyQuality);
  return key;
}

std::vector<int> ShareOfPictures(const std::vector<CatalogItem>& items, int count) {
  // Pictures joined by a shared file name; each group's root is its first picture.
  std::vector<int> root(items.size());
  std::iota(root.begin(), root.end(), 0);
  auto find = [&](int i) {
    while (root[i] != i) i = root[i] = root[root[i]];
    return i;
  };
  std::unordered_map<std::string, int> writer;
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    for (const std::string* name :
         {&items[i].PictureName, &items[i].TnFileName, &items[i].PageFileName}) {
      const auto [it, added] = writer.emplace(*name, i);
      if (added) continue;
      const int a = find(i), b = find(it->second);
      root[std::max(a, b)] = std::min(a, b);
    }
  }
  std::vector<int> share(items.size());
  for (int i = 0; i < static_cast<int>(items.size()); ++i) share[i] = find(i) % count;
  return share;
}

TBuildOutputs::TBuildOutputs(const TBuildRequest& request, std::string dir,
                             const std::vector<CatalogItem>& items, std::function<bool()> stop)
    : request_(request),
      dir_(std::move(dir)),
      items_(items),
      stop_(std::move(stop)),
      key_(ImageKey(request)) {
  const int n = static_cast<int>(items.size());
  entries_.resize(n);
  firstOfName_.resize(n);
  lastThumb_.assign(n, 0);
  lastPage_.assign(n, 0);
  std::unordered_map<std::string, int> first, lastThumb, lastPage;
  for (int i = 0; i < n; ++i) {
    firstOfName_[i] = first.emplace(items[i].PictureName, i).first->second;
    lastThumb[items[i].TnFileName] = i;
    lastPage[items[i].PageFileName] = i;
  }
  for (const auto& [name, i] : lastThumb) lastThumb_[i] = 1;
  for (const auto& [name, i] : lastPage) lastPage_[i] = 1;

  const bool shard = request.Shares > 0;
  part_ = shard ? SharePartName(request.Share, request.Shares) : kWholePart;
  const std::vector<int> share =
      shard ? ShareOfPictures(items, request.Shares) : std::vector<int>();
  for (int i = 0; i < n; ++i) {
    if (!shard || share[i] == request.Share - 1) mine_.push_back(i);
  }
}

TBuildOutputs::~TBuildOutputs() = default;

void TBuildOutputs::Open(std::vector<std::string>& warnings) {
  parts_ = LoadRecordParts(dir_, warnings);
  old_ = MergeParts(parts_);
  made_ = MadeFiles(parts_);
  writer_ = std::make_unique<TRecordWriter>(dir_, part_);
  const auto own = std::find_if(parts_.begin(), parts_.end(),
                                [&](const TRecordPart& p) { return p.Name == part_; });
  writer_->Open(own == parts_.end() ? nullptr : &*own);
}

const TPictureRecord* TBuildOutputs::Old(int i) const {
  return Old(items_[i].PictureName);
}

const TPictureRecord* TBuildOutputs::Old(const std::string& name) const {
  const auto it = old_.Pictures.find(name);
  return it == old_.Pictures.end() ? nullptr : it->second;
}

bool TBuildOutputs::Copy(int i) {
  const CatalogItem& item = items_[i];
  TPictureRecord& e = entries_[i];
  e.Name = item.PictureName;
  // Transparent areas take the pages' background colour; a JPEG has none.
  const std::string ext = LowerExtension(item.PictureName);
  const bool opaque = ext == ".jpg" || ext == ".jpeg" || ext == ".jpe";
  e.ImageKey = opaque ? key_ : key_ + " fill=" + request_.Options.BackColorHtml;
  if (firstOfName_[i] != i) {  // the same picture listed again: its first listing copied it
    const TPictureRecord& first = entries_[firstOfName_[i]];
    e.Source = first.Source;
    e.Copy = first.Copy;
    e.CopyMade = first.CopyMade;
    return true;
  }
  const bool force = request_.Force, pagesOnly = request_.PagesOnly;
  const std::string path = JoinPath(dir_, item.PictureName);
  const TPictureRecord* old = Old(i);
  e.Source.Name = item.SourcePath;
  e.Source.Stamp = StampOf(item.SourcePath);
  const bool sourceAsRecorded =
      !force && old && old->Source.Name == e.Source.Name && old->Source.Stamp == e.Source.Stamp;

  TFileRecord copy = old ? old->Copy : TFileRecord();
  const bool made = old && old->CopyMade && copy.Name == item.PictureName;
  const bool copyAsRecorded = made && !force && VerifyFile(path, copy);
  if (copyAsRecorded || (made && Exists(path))) {
    // A copy the build made must be the picture as it is now, whatever happened to either.
    if (!copyAsRecorded) copy = {item.PictureName, StampOf(path), HashOrThrow(path)};
    e.Source.Hash = sourceAsRecorded ? old->Source.Hash : HashOrThrow(item.SourcePath);
    e.Copy = copy;
    e.CopyMade = true;
    if (e.Source.Hash == e.Copy.Hash) return true;
    if (pagesOnly) return false;
    // Copied beside it and renamed over it, so no reader sees a half-written picture.
    static std::atomic<unsigned> counter{0};
    const std::string temp = ".folivant-" + std::to_string(::getpid()) + "-copy" +
                             std::to_string(counter.fetch_add(1)) + ".tmp";
    CopyFileNoReplace(item.SourcePath, dir_, temp, stop_, copyProgress_);
    if (::rename(JoinPath(dir_, temp).c_str(), path.c_str()) != 0) {
      const int err = errno;
      ::unlink(JoinPath(dir_, temp).c_str());
      throw ETargetFileError("Cannot copy " + item.SourcePath + " to " + path + ": " +
                             std::strerror(err));
    }
    e.Copy = {item.PictureName, StampOf(path), HashOrThrow(path)};
    JournalCopy(e);
    return true;
  }
  if (!Exists(path)) {
    if (pagesOnly) return false;
    if (CopyFileNoReplace(item.SourcePath, dir_, item.PictureName, stop_, copyProgress_)) {
      e.CopyMade = true;
      e.Copy = {item.PictureName, StampOf(path), HashOrThrow(path)};
      e.Source.Hash = e.Copy.Hash;
      JournalCopy(e);
      return true;
    }
  }
  // A file the build did not make: kept and used, as without a record.
  e.CopyMade = false;
  e.Copy.Name = item.PictureName;
  e.Copy.Stamp = StampOf(path);
  e.Copy.Hash = !force && old && old->Copy.Name == e.Copy.Name && old->Copy.Stamp == e.Copy.Stamp
                    ? old->Copy.Hash
                    : HashOrThrow(path);
  if (sourceAsRecorded) {
    e.Source.Hash = old->Source.Hash;
  } else if (e.Source.Stamp == e.Copy.Stamp && SameFile(item.SourcePath, path)) {
    e.Source.Hash = e.Copy.Hash;  // a build into the pictures' own folder
  } else {
    e.Source.Hash = HashFile(item.SourcePath).value_or(0);
  }
  return true;
}

// A copy is journalled as soon as it is made, so a build killed before its picture is done
// still knows the copy is its own: one without a key, which vouches for no thumbnail.
void TBuildOutputs::JournalCopy(const TPictureRecord& e) {
  // The files made for the picture before stay known, to be removed if it leaves the list;
  // without a key, they are never taken as they are.
  const TPictureRecord* old = Old(e.Name);
  TPictureRecord copy = old ? *old : TPictureRecord();
  copy.ImageKey.clear();
  copy.Name = e.Name;
  copy.When = NowNs();
  copy.Source = e.Source;
  copy.Copy = e.Copy;
  copy.CopyMade = true;
  writer_->Append(copy);
  copies_[copy.Name] = copy;
  changed_ = true;
}

bool TBuildOutputs::Reuse(int i) {
  const TPictureRecord* old = Old(i);
  TPictureRecord& e = entries_[i];
  // Forced or not, a pages-only build makes no picture: it takes what the shares made.
  if ((request_.Force && !request_.PagesOnly) || !old || old->ImageKey != e.ImageKey ||
      old->Copy.Hash != e.Copy.Hash || old->WebCopy.Name != items_[i].WebCopyName) {
    return false;
  }
  TFileRecord thumbnail;
  if (WritesThumbnail(i)) {
    thumbnail = old->Thumbnail;
    if (thumbnail.Name != items_[i].TnFileName ||
        !VerifyFile(JoinPath(dir_, thumbnail.Name), thumbnail)) {
      return false;
    }
  }
  TFileRecord web = old->WebCopy;
  if (!web.Name.empty() && !VerifyFile(JoinPath(dir_, web.Name), web)) return false;

  e.Thumbnail = thumbnail;
  e.WebCopy = web;
  e.Width = old->Width;
  e.Height = old->Height;
  e.TnWidth = old->TnWidth;
  e.TnHeight = old->TnHeight;
  return true;
}

TFileRecord TBuildOutputs::Write(const std::string& name, std::string_view bytes) {
  TFileRecord file{name, {}, HashBytes(bytes)};
  const std::string path = JoinPath(dir_, name);
  if (!request_.Force) {
    const TFileStamp disk = StampOf(path);
    if (disk.Size == static_cast<std::int64_t>(bytes.size())) {
      const auto [from, to] = made_.equal_range(name);
      const bool recorded = std::any_of(from, to, [&](const auto& m) {
        return m.second->Hash == file.Hash && m.second->Stamp == disk;
      });
      if (recorded || HashFile(path) == file.Hash) {
        file.Stamp = disk;
        return file;
      }
    }
  }
  WriteFileReplacing(dir_, name, bytes);
  file.Stamp = StampOf(path);
  return file;
}

void TBuildOutputs::Done(int i) {
  TPictureRecord& e = entries_[i];
  // The caption's figure: the size of the file the picture page shows.
  e.SizeKb = (e.WebCopy.Name.empty() ? e.Copy : e.WebCopy).Stamp.Size / 1024;
  const TPictureRecord* old = Old(i);
  // A page not written this time (the build stopped at it) is still the one made before: it
  // stays known. Pages vouch for nothing, they are compared byte for byte.
  if (e.Page.Name.empty() && old && WritesPage(i)) e.Page = old->Page;
  if (old && old->SameAs(e)) {
    e.When = old->When;
  } else {
    e.When = NowNs();
    writer_->Append(e);
    changed_ = true;
  }
  new_.Pictures[e.Name] = e;
}

void TBuildOutputs::CatalogPage(const std::string& name, const std::string& bytes) {
  const TFileRecord page = Write(name, bytes);
  const auto old = old_.CatalogPages.find(name);
  if (old == old_.CatalogPages.end() || !(*old->second == page)) {
    writer_->AppendCatalogPage(page);
    changed_ = true;
  }
  new_.CatalogPages[name] = page;
}

void TBuildOutputs::Finish(bool complete) {
  const auto own = std::find_if(parts_.begin(), parts_.end(),
                                [&](const TRecordPart& p) { return p.Name == part_; });
  // Every entry as it was and none gone: the record on disk says it all already.
  if (!changed_ && own != parts_.end() && !own->HasJournal && parts_.size() == 1 &&
      own->Record.Pictures.size() == new_.Pictures.size() &&
      own->Record.CatalogPages.size() == new_.CatalogPages.size()) {
    return;
  }
  if (complete && request_.Shares == 0) {
    // A whole build knows every picture: what other parts knew is in its record now.
    RemoveStale(new_);
    writer_->Save(new_);
    for (const TRecordPart& part : parts_) writer_->RemovePart(part.Name);
    return;
  }
  // Otherwise nothing known is forgotten, not even of pictures now in another share, until
  // a whole build has removed what no longer belongs.
  if (new_.Pictures.empty() && new_.CatalogPages.empty() && copies_.empty() &&
      own == parts_.end()) {
    return;
  }
  TBuildRecord kept = own == parts_.end() ? TBuildRecord() : own->Record;
  for (const auto& [name, copy] : copies_) kept.Pictures[name] = copy;
  for (const auto& [name, picture] : new_.Pictures) kept.Pictures[name] = picture;
  for (const auto& [name, page] : new_.CatalogPages) kept.CatalogPages[name] = page;
  writer_->Save(kept);
}

void TBuildOutputs::RemoveStale(const TBuildRecord& record) {
  std::unordered_set<std::string> keep;
  for (const CatalogItem& item : items_) {
    keep.insert({item.PictureName, item.TnFileName, item.PageFileName});
  }
  for (const auto& [name, picture] : record.Pictures) {
    for (const TFileRecord* f : picture.Made()) keep.insert(f->Name);
  }
  for (const auto& [name, page] : record.CatalogPages) keep.insert(name);
  for (auto it = made_.begin(); it != made_.end();) {
    const auto end = made_.upper_bound(it->first);
    if (keep.count(std::string(it->first)) == 0) {
      // Only while it is still the file the build made: never one the user put there since.
      const std::string path = JoinPath(dir_, std::string(it->first));
      for (; it != end; ++it) {
        TFileRecord file = *it->second;
        if (VerifyFile(path, file)) {
          ::unlink(path.c_str());
          break;
        }
      }
    }
    it = end;
  }
}

}  // namespace folivant
