// The build record: what a build made from what, kept in the target folder so the next build
// redoes only what changed. No Qt; knows files and hashes, not pictures or pages.
//
// Layout: TARGET/.folivant/PART.jsonl, one JSON object per line (a header, then one line per
// picture and per catalog page). PART is "record" for a whole build and "share-I-of-N" for one
// share of a build spread over machines, so shares never write the same file. While a build
// runs, each finished picture is appended to PART.journal in the same line format; the whole
// part is written (temporary file, rename) at the end and the journal removed. A build killed
// at any point leaves at most a torn last journal line, which loading skips. Every file a build
// puts into place is journalled before its rename, so no kill leaves a file of the build's own
// that the next build takes for the user's. Record files are never followed through links.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct stat;

namespace folivant {

class ERecordError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What is compared before anything is read, as version-control tools do: size, modification
// and change time (which no user can set back) and inode. Any of them moved: the file is read.
struct TFileStamp {
  std::int64_t Size = -1;  // -1: no regular file there
  std::int64_t MtimeNs = 0;
  std::int64_t CtimeNs = 0;  // 0 with the inode: a record from before they were kept
  std::uint64_t Inode = 0;
  bool operator==(const TFileStamp&) const = default;
};
TFileStamp StampOf(const std::string& path);
// The stamp of what a stat call found (Size -1 unless a regular file).
TFileStamp StampOfStat(const struct stat& st);

// XXH3 (64 bits) of bytes or of a regular file's content; nullopt when the file cannot be read.
std::uint64_t HashBytes(std::string_view bytes);
std::optional<std::uint64_t> HashFile(const std::string& path);
// The same hash over bytes given in parts.
class THasher {
 public:
  THasher();
  ~THasher();
  THasher(const THasher&) = delete;
  THasher& operator=(const THasher&) = delete;
  void Update(std::string_view bytes);
  std::uint64_t Digest() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// One file as the record knows it.
struct TFileRecord {
  std::string Name;  // bare name in the target folder (a source: its path as given); "": none
  TFileStamp Stamp;
  std::uint64_t Hash = 0;
  bool operator==(const TFileRecord&) const = default;
};

// True when the file at path is rec's file: same size and time, or, when only the time
// differs, the same content (rec then takes the time on disk). The record is never trusted
// over the disk, and an unchanged file is not read.
bool VerifyFile(const std::string& path, TFileRecord& rec);

// Stamps and checks of files in one folder by their bare names: each looks up one name, not
// every folder of the path again. Falls back to whole paths when the folder cannot be opened.
class TFolderFiles {
 public:
  explicit TFolderFiles(std::string dir);
  ~TFolderFiles();
  TFolderFiles(const TFolderFiles&) = delete;
  TFolderFiles& operator=(const TFolderFiles&) = delete;
  TFileStamp Stamp(const std::string& name) const;
  // stat of name in the folder: 0, or the errno.
  int Stat(const std::string& name, struct stat& st) const;
  const std::string& Dir() const { return dir_; }
  bool Verify(const std::string& name, TFileRecord& rec) const;  // as VerifyFile

 private:
  std::string dir_;
  int fd_ = -1;
};

struct TPictureRecord {
  std::string Name;       // the picture's name in the list and in the target
  std::int64_t When = 0;  // when the entry was made (ns since the epoch): the newest wins
  TFileRecord Source;     // Name: the path as given
  std::string ImageKey;   // the options that shape thumbnail and web copy (compact JSON)
  TFileRecord Copy;       // the file in the target the picture was read from
  bool CopyMade = false;  // the build made the copy (else it found the file there and used it)
  TFileRecord Thumbnail;  // Name "": written by a later picture of the list
  TFileRecord Page;
  TFileRecord WebCopy;   // the JPEG the page shows for a picture browsers do not show; "": none
  TFileRecord ClipCopy;  // a clip's H.264 web copy; "": none
  std::int64_t DurationMs = -1;     // a clip's length; -1: none known
  std::vector<TFileRecord> Extras;  // the modern style's display copies and 2x thumbnail
  int Width = 0, Height = 0, TnWidth = 0, TnHeight = 0;
  std::int64_t SizeKb = 0;  // the KB figure of the caption
  std::string CopyKey;      // how the copy was made from the picture; "": byte for byte
  int Located = -1;         // the picture carries a location (GPS): 1, 0; -1 not known

  // Equal in everything but When.
  bool SameAs(const TPictureRecord& other) const;
  // The files the build made for this picture (the copy only when it made it).
  std::vector<const TFileRecord*> Made() const;
};

// A file a build was about to put into place, journalled before its rename: the build's own
// even when it was killed before its picture's line.
struct TIntent {
  TFileRecord File;
  std::string Source;  // a copy's picture (its path as given); "" for other files
};

struct TBuildRecord {
  std::map<std::string, TPictureRecord> Pictures;   // by picture name
  std::map<std::string, TFileRecord> CatalogPages;  // by file name
  std::vector<TIntent> Intents;
};

inline constexpr const char* kRecordFolder = ".folivant";
inline constexpr const char* kWholePart = "record";
std::string SharePartName(int share, int count);  // "share-I-of-N"

struct TRecordPart {
  std::string Name;
  TBuildRecord Record;
  bool HasJournal = false;  // an interrupted build left its journal
};

// Every part in targetDir/.folivant, each with its journal applied, sorted by name. What
// cannot be used (a damaged line, a name that is not a bare file name, another format
// version, a link) is left out with a warning: the build then redoes that work. A file gone
// since the listing (a share folding its journal) is skipped without one.
std::vector<TRecordPart> LoadRecordParts(const std::string& targetDir,
                                         std::vector<std::string>& warnings);
// What the record files in targetDir/.folivant are now (names and stamps), to tell whether
// parts loaded earlier are still the ones on disk.
std::string RecordState(const std::string& targetDir);

// One record from several parts, pointing into them: per picture the newest entry; every
// catalog page.
struct TMergedRecord {
  std::unordered_map<std::string_view, const TPictureRecord*> Pictures;
  std::unordered_map<std::string_view, const TFileRecord*> CatalogPages;
};
TMergedRecord MergeParts(const std::vector<TRecordPart>& parts);

// Every identity any part gives a file the build made, by file name (pointing into the parts):
// what a build may remove once the file no longer belongs, and only while it still is that file.
std::multimap<std::string_view, const TFileRecord*> MadeFiles(
    const std::vector<TRecordPart>& parts);

// Writes one part. Throws ERecordError naming the file when it cannot.
class TRecordWriter {
 public:
  TRecordWriter(std::string targetDir, std::string part);
  ~TRecordWriter();
  TRecordWriter(const TRecordWriter&) = delete;
  TRecordWriter& operator=(const TRecordWriter&) = delete;
  // Makes the folder. A journal left by an interrupted build is folded into the part first
  // (current: the part as loaded, journal applied), so a second interruption loses nothing.
  void Open(const TRecordPart* current);
  // One journal line; safe from several threads.
  void Append(const TPictureRecord& picture);
  void AppendCatalogPage(const TFileRecord& page);
  void AppendIntent(const TIntent& intent);
  // The whole part, through a temporary file and a rename; then the journal goes.
  void Save(const TBuildRecord& record);
  // Another part, absorbed into this one, is removed with its journal (regular files only).
  void RemovePart(const std::string& part);

 private:
  void MakeFolder();
  void AppendLine(const std::string& line);
  std::string Path(const std::string& part, const char* ext) const;

  std::string target_;
  std::string dir_;
  std::string part_;
  std::mutex mutex_;
  int journal_ = -1;
};

// The target's build lock, held while it lives: a whole build (or pages-only) alone, the
// shares of one build together but each share once (flock on .folivant/.lock, shared by the
// shares, and on .folivant/.share-I-of-N.lock). Builds that cannot have it wait (told
// once, "Waiting for another build writing into DIR (PID N)"), or, with noWait, throw
// ERecordError("another build is writing into DIR (PID N)"). While waiting, stop is asked
// now and then; when it answers true the constructor throws ERecordStopped.
class ERecordStopped : public ERecordError {
 public:
  using ERecordError::ERecordError;
};
class TBuildLock {
 public:
  TBuildLock(const std::string& targetDir, const std::string& part, bool noWait,
             const std::function<void(const std::string&)>& tell,
             const std::function<bool()>& stop);
  ~TBuildLock();
  TBuildLock(const TBuildLock&) = delete;
  TBuildLock& operator=(const TBuildLock&) = delete;

 private:
  void Take(int fd, int how, bool noWait, const std::function<void(const std::string&)>& tell,
            const std::function<bool()>& stop);
  std::string target_;
  std::string dir_;
  std::vector<int> fds_;
  bool told_ = false;
};

// The record folder of targetDir; throws ERecordError when it cannot be made or is not a
// folder of its own (a link).
std::string MakeRecordFolder(const std::string& targetDir);

}  // namespace folivant
