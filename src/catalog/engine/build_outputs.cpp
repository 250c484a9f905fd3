#include "catalog/engine/build_outputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "catalog/atomic_file.h"
#include "catalog/catalog_rules.h"
#include "catalog/engine/build_engine.h"
#include "catalog/engine/build_plan.h"
#include "catalog/engine/clip_job.h"
#include "catalog/engine/location_copy.h"
#include "catalog/engine/picture_upright.h"
#include "catalog/engine/target_files.h"
#include "catalog/modern/modern_files.h"
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

// A picture that can still be read; else its copy may be the last one anywhere.
bool Readable(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular;
}

std::string KeptCopiesMessage(const std::vector<std::string>& names) {
  const bool one = names.size() == 1;
  std::string text =
      "Kept " + std::to_string(names.size()) +
      (one ? " copy whose picture no longer exists:" : " copies whose pictures no longer exist:");
  for (std::size_t i = 0; i < names.size() && i < 10; ++i) text += (i ? ", " : " ") + names[i];
  if (names.size() > 10) text += ", ...";
  return text + (one ? "; remove it by hand if you no longer want it"
                     : "; remove them by hand if you no longer want them");
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
  if (IsModern(o)) key += " style=modern";  // display copies and 2x thumbnails; classic as before
  return key;
}

TBuildOutputs::TBuildOutputs(const TBuildRequest& request, std::string dir,
                             const std::vector<CatalogItem>& items,
                             const std::vector<TFileStamp>& sources, std::function<bool()> stop)
    : request_(request),
      dir_(std::move(dir)),
      items_(items),
      sources_(sources),
      files_(dir_),
      stop_(std::move(stop)),
      key_(ImageKey(request)) {
  const int n = static_cast<int>(items.size());
  entries_.resize(n);
  firstOfName_.resize(n);
  lastThumb_.assign(n, 0);
  lastPage_.assign(n, 0);
  std::unordered_map<std::string_view, int> first, lastThumb, lastPage;  // into items
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
    // A tree's albums go on where the one before left off, so small albums share out evenly.
    if (!shard || (share[i] + request.ShareOffset) % request.Shares == request.Share - 1) {
      mine_.push_back(i);
    }
  }
}

TBuildOutputs::~TBuildOutputs() = default;

TPeekedRecord PeekRecord(const std::string& dir) {
  TPeekedRecord peeked;
  peeked.State = RecordState(dir);
  peeked.Parts = LoadRecordParts(dir, peeked.Warnings);
  peeked.Read = true;
  return peeked;
}

void TBuildOutputs::Open(std::function<void(const std::string&)> tell,
                         const std::function<bool()>& stop, TPeekedRecord peeked) {
  tell_ = std::move(tell);
  try {
    lock_ = std::make_unique<TBuildLock>(dir_, part_, request_.NoWait, tell_, stop);
  } catch (const ERecordStopped& e) {
    throw EBuildStopped(e.what());
  }
  // Not a share: other shares may be running on machines whose processes it cannot see.
  if (request_.Shares == 0) {
    RemoveStaleTempFiles(dir_);
    RemoveStaleTempFiles(JoinPath(dir_, kRecordFolder));
  }
  std::vector<std::string> warnings;
  if (peeked.Read && RecordState(dir_) == peeked.State) {
    parts_ = std::move(peeked.Parts);
    warnings = std::move(peeked.Warnings);
  } else {
    parts_ = LoadRecordParts(dir_, warnings);
  }
  for (const std::string& warning : warnings) tell_(warning);
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
  const bool opaque = !PictureFormat(PictureKindOfName(item.PictureName)).Transparency;
  e.ImageKey = opaque ? key_ : key_ + " fill=" + request_.Options.BackColorHtml;
  if (item.Clip) e.ImageKey += " " + ClipKey();
  if (firstOfName_[i] != i) {  // the same picture listed again: its first listing copied it
    const TPictureRecord& first = entries_[firstOfName_[i]];
    e.Source = first.Source;
    e.Copy = first.Copy;
    e.CopyMade = first.CopyMade;
    e.CopyKey = first.CopyKey;
    e.Located = first.Located;
    return true;
  }
  const bool force = request_.Force, pagesOnly = request_.PagesOnly;
  const std::string path = JoinPath(dir_, item.PictureName);
  const TPictureRecord* old = Old(i);
  e.Source.Name = item.SourcePath;
  const bool checked = i < static_cast<int>(sources_.size()) && sources_[i].Size >= 0;
  e.Source.Stamp = checked ? sources_[i] : StampOf(item.SourcePath);
  const bool sourceAsRecorded =
      !force && old && old->Source.Name == e.Source.Name && old->Source.Stamp == e.Source.Stamp;
  // What the picture's bytes say (and, removing the location, what its copy holds): from
  // the record while the picture is as recorded, else read once.
  const bool strip = request_.Options.StripLocation;
  const std::string key = strip ? kStripLocationKey : "";
  const bool knownAsRecorded = sourceAsRecorded && old->Located >= 0;
  std::optional<TSourceFacts> facts;
  auto read = [&]() -> TSourceFacts& {
    if (!facts) facts = ReadSourceFacts(item.SourcePath, strip, item.Clip);
    return *facts;
  };

  TFileRecord copy = old ? old->Copy : TFileRecord();
  bool made = old && old->CopyMade && copy.Name == item.PictureName;
  bool copyAsRecorded = made && !force && files_.Verify(item.PictureName, copy);
  if (!copyAsRecorded) {
    // Also a copy journalled before its rename by a build killed before its picture's line.
    if (const auto left = MadeAsLeft(item.PictureName)) {
      copy = *left;
      made = true;
      copyAsRecorded = !force;
    }
  }
  if (copyAsRecorded || (made && Exists(path))) {
    // A copy the build made must be the picture as it is now, whatever happened to either.
    if (!copyAsRecorded) copy = {item.PictureName, StampOf(path), HashOrThrow(path)};
    e.Copy = copy;
    e.CopyMade = true;
    e.CopyKey = key;
    std::uint64_t want = 0;  // the hash of the bytes the copy must hold
    if (knownAsRecorded && old->CopyKey == key) {
      e.Source.Hash = old->Source.Hash;
      e.Located = old->Located;
      want = key.empty() ? e.Source.Hash : old->Copy.Hash;
    } else {
      e.Source.Hash = read().Hash;
      e.Located = read().Located;
      want = read().CopyHash;
    }
    if (want == e.Copy.Hash) return true;
    if (pagesOnly) return false;
    return PutCopy(i, true, read());
  }
  if (!Exists(path)) {
    if (pagesOnly) return false;
    // A picture not read yet (always, but in a race) is read and copied in one pass.
    std::unique_ptr<TTempFile> temp;
    if (!facts) {
      facts.emplace();
      temp = CopySourceToTemp(item.SourcePath, strip, item.Clip, dir_, stop_, progress_, *facts);
    }
    if (PutCopy(i, false, *facts, std::move(temp))) return true;
  }
  KeepFound(i, knownAsRecorded, facts);
  return true;
}

// A file the build did not make, there under picture i's name: kept and used, as without a
// record. facts: what was read of the picture already.
void TBuildOutputs::KeepFound(int i, bool knownAsRecorded, std::optional<TSourceFacts>& facts) {
  const CatalogItem& item = items_[i];
  TPictureRecord& e = entries_[i];
  const TPictureRecord* old = Old(i);
  const std::string path = JoinPath(dir_, item.PictureName);
  e.CopyMade = false;
  e.CopyKey.clear();
  e.Copy.Name = item.PictureName;
  e.Copy.Stamp = StampOf(path);
  e.Copy.Hash =
      !request_.Force && old && old->Copy.Name == e.Copy.Name && old->Copy.Stamp == e.Copy.Stamp
          ? old->Copy.Hash
          : HashOrThrow(path);
  if (knownAsRecorded) {
    e.Source.Hash = old->Source.Hash;
    e.Located = old->Located;
    return;
  }
  try {
    // Read as it is: a file the build did not make is never rewritten.
    if (!facts) facts = ReadSourceFacts(item.SourcePath, false, item.Clip);
    e.Source.Hash = facts->Hash;
    e.Located = facts->Located ? 1 : 0;
  } catch (const ETargetFileError&) {
    e.Source.Hash = 0;  // a picture that cannot be read: the file there is what is shown
    e.Located = 0;
  }
}

// Copies picture i beside its name and renames it into place (over the build's old copy, or
// never over anything). False when a file of its name appeared meanwhile.
bool TBuildOutputs::PutCopy(int i, bool replace, const TSourceFacts& facts,
                            std::unique_ptr<TTempFile> temp) {
  const CatalogItem& item = items_[i];
  TPictureRecord& e = entries_[i];
  const std::string path = JoinPath(dir_, item.PictureName);
  if (!temp) {
    temp = facts.Streamed ? CopyToTemp(item.SourcePath, dir_, item.PictureName, stop_, progress_)
                          : BytesToTemp(facts.Bytes, dir_, item.PictureName, item.SourcePath, stop_,
                                        progress_);
  }
  if (stop_ && stop_()) throw EBuildStopped("Copy of " + item.SourcePath + " stopped");
  // Streamed: the file may have changed since it was hashed; the copy says what it holds.
  const TFileRecord file{item.PictureName, StampOf(temp->Path()),
                         facts.Streamed ? HashOrThrow(temp->Path()) : facts.CopyHash};
  const int err = Publish(*temp, file, item.SourcePath, replace);
  if (err == EEXIST && !replace) return false;
  if (err != 0) {
    throw ETargetFileError("Cannot copy " + item.SourcePath + " to " + path + ": " +
                           std::strerror(err));
  }
  e.CopyMade = true;
  e.CopyKey = request_.Options.StripLocation ? kStripLocationKey : "";
  e.Located = facts.Located ? 1 : 0;
  e.Copy = {item.PictureName, files_.Stamp(item.PictureName), file.Hash};
  e.Source.Hash = facts.Streamed ? file.Hash : facts.Hash;
  JournalCopy(e);
  return true;
}

// Puts a closed temporary file in place, its record journalled first: whenever a kill comes,
// the next build knows the file as its own. 0 or errno.
int TBuildOutputs::Publish(TTempFile& temp, const TFileRecord& file, const std::string& source,
                           bool replace) {
  writer_->AppendIntent({file, source});
  intents_.push_back({file, source});
  changed_ = true;
  return temp.Commit(file.Name, replace);
}

// The identity of a file the build made under name, while the file is still as it was made.
std::optional<TFileRecord> TBuildOutputs::MadeAsLeft(const std::string& name) const {
  const auto [from, to] = made_.equal_range(name);
  for (auto it = from; it != to; ++it) {
    TFileRecord file = *it->second;
    if (files_.Verify(name, file)) return file;
  }
  return std::nullopt;
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
  copy.CopyKey = e.CopyKey;
  copy.Located = e.Located;
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
    if (thumbnail.Name != items_[i].TnFileName || !files_.Verify(thumbnail.Name, thumbnail)) {
      return false;
    }
  }
  TFileRecord web = old->WebCopy, clip = old->ClipCopy;
  if (!web.Name.empty() && !files_.Verify(web.Name, web)) return false;
  if (!clip.Name.empty() && !files_.Verify(clip.Name, clip)) return false;
  e.ClipCopy = clip;
  e.DurationMs = old->DurationMs;
  std::vector<TFileRecord> extras = old->Extras;
  if (!ModernExtrasAsRecorded(i, extras)) return false;
  e.Extras = extras;

  e.Thumbnail = thumbnail;
  e.WebCopy = web;
  e.Width = old->Width;
  e.Height = old->Height;
  e.TnWidth = old->TnWidth;
  e.TnHeight = old->TnHeight;
  return true;
}

TFileRecord TBuildOutputs::Put(const std::string& name, TTempFile& temp) {
  TFileRecord file{name, StampOf(temp.Path()), HashOrThrow(temp.Path())};
  const std::string path = JoinPath(dir_, name);
  const TFileStamp disk = files_.Stamp(name);
  if (!request_.Force && disk.Size == file.Stamp.Size && HashFile(path) == file.Hash) {
    file.Stamp = disk;  // the same bytes: the file keeps its time
    return file;
  }
  if (const int err = Publish(temp, file, std::string(), true); err != 0)
    throw ETargetFileError("Cannot write " + path + ": " + std::strerror(err));
  file.Stamp = files_.Stamp(name);
  return file;
}

// The modern style's files of picture i as the record has them: the ones its size calls for,
// each still on disk as made.
bool TBuildOutputs::ModernExtrasAsRecorded(int i, std::vector<TFileRecord>& extras) const {
  std::vector<std::string> want;
  if (IsModern(request_.Options)) {
    const TPictureRecord* old = Old(i);
    const auto copies = DisplayCopies(items_[i].PictureName, old->Width, old->Height);
    for (auto c = copies.rbegin(); c != copies.rend(); ++c) want.push_back(c->Name);  // as made
    if (WritesThumbnail(i)) want.push_back(Tn2xFileName(items_[i].PictureName));
  }
  if (want.size() != extras.size()) return false;
  for (std::size_t k = 0; k < want.size(); ++k) {
    if (extras[k].Name != want[k] || !files_.Verify(want[k], extras[k])) return false;
  }
  return true;
}

TFileRecord TBuildOutputs::Write(const std::string& name, std::string_view bytes) {
  TFileRecord file{name, {}, HashBytes(bytes)};
  const std::string path = JoinPath(dir_, name);
  if (!request_.Force) {
    const TFileStamp disk = files_.Stamp(name);
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
  TTempFile temp(dir_);
  int err = temp.Error();
  if (err == 0) err = temp.Write(bytes);
  if (err == 0) err = temp.Close(false);
  if (err == 0) {
    file.Stamp = StampOf(temp.Path());
    err = Publish(temp, file, std::string(), true);
  }
  if (err != 0) throw ETargetFileError("Cannot write " + path + ": " + std::strerror(err));
  file.Stamp = files_.Stamp(name);
  return file;
}

// Modern files the picture no longer has (the style changed) stay known as intents until a
// whole build removes them: a build killed after this picture's line still knows them.
void TBuildOutputs::ForgetNoExtras(const TPictureRecord& old, const TPictureRecord& now) {
  for (const TFileRecord& f : old.Extras) {
    if (std::any_of(now.Extras.begin(), now.Extras.end(),
                    [&](const TFileRecord& n) { return n.Name == f.Name; }))
      continue;
    writer_->AppendIntent({f, std::string()});
    intents_.push_back({f, std::string()});
    changed_ = true;
  }
}

void TBuildOutputs::Done(int i) {
  TPictureRecord& e = entries_[i];
  // The caption's figure: the size of the file the picture page shows.
  const bool shown = !e.WebCopy.Name.empty() && !items_[i].Clip;  // a clip's is its poster
  e.SizeKb = (!e.ClipCopy.Name.empty() ? e.ClipCopy : shown ? e.WebCopy : e.Copy).Stamp.Size / 1024;
  const TPictureRecord* old = Old(i);
  if (old) ForgetNoExtras(*old, e);
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
  if (new_.Pictures.empty() && new_.CatalogPages.empty() && intents_.empty() &&
      own == parts_.end()) {
    return;
  }
  TBuildRecord kept = own == parts_.end() ? TBuildRecord() : own->Record;
  for (const auto& [name, copy] : copies_) kept.Pictures[name] = copy;
  for (const auto& [name, picture] : new_.Pictures) kept.Pictures[name] = picture;
  for (const auto& [name, page] : new_.CatalogPages) kept.CatalogPages[name] = page;
  // Files put in place stay known; an entry that names the same bytes says it already.
  kept.Intents.insert(kept.Intents.end(), intents_.begin(), intents_.end());
  std::unordered_set<std::string> said;
  auto say = [&](const TFileRecord& f) { said.insert(f.Name + '\0' + std::to_string(f.Hash)); };
  for (const auto& [name, picture] : kept.Pictures) {
    for (const TFileRecord* f : picture.Made()) say(*f);
  }
  for (const auto& [name, page] : kept.CatalogPages) say(page);
  std::erase_if(kept.Intents, [&](const TIntent& intent) {
    return said.count(intent.File.Name + '\0' + std::to_string(intent.File.Hash)) != 0;
  });
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
  // A copy whose picture is gone may be the last one anywhere: it stays, the user's now.
  std::unordered_set<std::string> orphans;
  auto orphan = [&](const std::string& copy, const std::string& source) {
    if (keep.count(copy) == 0 && !Readable(source)) orphans.insert(copy);
  };
  for (const TRecordPart& part : parts_) {
    for (const auto& [name, p] : part.Record.Pictures) {
      // A picture moved to another album of the tree leaves a copy there.
      const bool moved = request_.MovedInTree && request_.MovedInTree(p.Source.Stamp);
      if (p.CopyMade && !moved) orphan(p.Copy.Name, p.Source.Name);
    }
    for (const TIntent& intent : part.Record.Intents) {
      if (!intent.Source.empty()) orphan(intent.File.Name, intent.Source);
    }
  }
  std::vector<std::string> kept;
  for (auto it = made_.begin(); it != made_.end(); it = made_.upper_bound(it->first)) {
    const std::string name(it->first);
    // Only while it is still the file the build made: never one the user put there since.
    if (keep.count(name) != 0 || !MadeAsLeft(name)) continue;
    if (orphans.count(name) != 0) {
      kept.push_back(name);
    } else {
      FileOpPoint();
      ::unlink(JoinPath(dir_, name).c_str());
    }
  }
  if (!kept.empty() && tell_) tell_(KeptCopiesMessage(kept));
}

}  // namespace folivant
