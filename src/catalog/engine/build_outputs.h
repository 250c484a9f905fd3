// What a build does with its target folder apart from making pictures: which picture of the
// list writes which file, which share of a build spread over machines takes which picture, and
// the build record that lets the next build redo only what changed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/catalog_options.h"
#include "catalog/record/build_record.h"

namespace folivant {

struct TBuildRequest;
struct TSourceFacts;
class TTempFile;

// The options that shape a picture's thumbnail (and web copy), as one text: a picture whose
// text changed is made again. Pages need none: they are compared byte for byte.
std::string ImageKey(const TBuildRequest& request);

// The record as found before the build takes the target's lock, read without writing
// anything: the sources it vouches for need no second look, and Open takes it over while the
// record files are unchanged.
struct TPeekedRecord {
  bool Read = false;
  std::string State;  // RecordState before reading
  std::vector<TRecordPart> Parts;
  std::vector<std::string> Warnings;
};
TPeekedRecord PeekRecord(const std::string& dir);

class TBuildOutputs {
 public:
  // stop: asked while copying; true stops the copy (EBuildStopped).
  // sources: each picture's stamp, taken when its first bytes were checked.
  TBuildOutputs(const TBuildRequest& request, std::string dir,
                const std::vector<CatalogItem>& items, const std::vector<TFileStamp>& sources,
                std::function<bool()> stop);
  ~TBuildOutputs();

  // Takes the target's lock (another build holding it: waits, told through tell, or with
  // NoWait fails; stop ends the wait with EBuildStopped); a whole build removes the temporary
  // files of builds no longer running; then reads the record and opens this build's part of
  // it. tell also gets the record's warnings and, at the end, the copies kept. Throws
  // ERecordError.
  void Open(std::function<void(const std::string&)> tell, const std::function<bool()>& stop,
            TPeekedRecord peeked = {});
  // Told the bytes of each block copied.
  void SetCopyProgress(std::function<void(std::uint64_t)> progress) {
    progress_ = std::move(progress);
  }

  // The pictures this build processes (its share, or all), in list order.
  const std::vector<int>& Mine() const { return mine_; }
  // The last picture of the list with a given thumbnail (page) name writes it.
  bool WritesThumbnail(int i) const { return lastThumb_[i]; }
  bool WritesPage(int i) const { return lastPage_[i]; }

  // The copy step of picture i: copies it into the target, replaces a copy the build made when
  // the picture changed, or keeps and uses a file the build did not make. A pages-only build
  // copies nothing: false when the copy is not the one recorded. Throws ETargetFileError.
  bool Copy(int i);
  // True when the thumbnail (and web copy) recorded for picture i is still right and on disk;
  // the entry then has their sizes and nothing needs to be decoded.
  bool Reuse(int i);
  TPictureRecord& Entry(int i) { return entries_[i]; }
  // Picture i as the record found it, or nullptr.
  const TPictureRecord* Recorded(int i) const { return Old(i); }

  // Writes dir/name unless it holds these bytes already (its time then stays). Throws.
  TFileRecord Write(const std::string& name, std::string_view bytes);
  // The same for a closed temporary file of the target (a clip's web copy). Throws.
  TFileRecord Put(const std::string& name, TTempFile& temp);
  // Picture i's files are written: its entry joins the record (and the journal if it changed).
  void Done(int i);
  void CatalogPage(const std::string& name, const std::string& bytes);

  // The end of the build. complete: every picture and catalog page is done; a whole build then
  // removes the files an earlier build made that no longer belong, and its record holds this
  // build alone. Otherwise (a share, or a build that ended early) the record keeps all it
  // knew besides what this build did. Throws.
  void Finish(bool complete);

 private:
  const TPictureRecord* Old(int i) const;
  const TPictureRecord* Old(const std::string& name) const;
  // temp: the copy made already, else made from facts.
  bool PutCopy(int i, bool replace, const TSourceFacts& facts,
               std::unique_ptr<TTempFile> temp = nullptr);
  bool ModernExtrasAsRecorded(int i, std::vector<TFileRecord>& extras) const;
  void ForgetNoExtras(const TPictureRecord& old, const TPictureRecord& now);
  int Publish(TTempFile& temp, const TFileRecord& file, const std::string& source, bool replace);
  void KeepFound(int i, bool knownAsRecorded, std::optional<TSourceFacts>& facts);
  std::optional<TFileRecord> MadeAsLeft(const std::string& name) const;
  void JournalCopy(const TPictureRecord& entry);
  void RemoveStale(const TBuildRecord& record);

  const TBuildRequest& request_;
  std::string dir_;
  const std::vector<CatalogItem>& items_;
  const std::vector<TFileStamp>& sources_;
  TFolderFiles files_;  // the target's files
  std::function<bool()> stop_;
  std::function<void(std::uint64_t)> progress_;
  std::function<void(const std::string&)> tell_;
  std::unique_ptr<TBuildLock> lock_;
  std::string key_;
  std::string part_;
  std::vector<int> mine_;
  std::vector<int> firstOfName_;
  std::vector<char> lastThumb_, lastPage_;
  std::vector<TRecordPart> parts_;
  TMergedRecord old_;  // every part merged
  std::multimap<std::string_view, const TFileRecord*> made_;
  std::unique_ptr<TRecordWriter> writer_;
  std::vector<TPictureRecord> entries_;
  TBuildRecord new_;                              // what this build did so far
  std::map<std::string, TPictureRecord> copies_;  // copies made, before their pictures are done
  std::vector<TIntent> intents_;                  // files this build put in place
  bool changed_ = false;                          // anything journalled
};

}  // namespace folivant
