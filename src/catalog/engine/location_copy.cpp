#include "catalog/engine/location_copy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "catalog/atomic_file.h"
#include "catalog/engine/build_outputs.h"
#include "catalog/engine/target_files.h"
#include "catalog/record/build_record.h"
#include "imaging/stream.h"
#include "metadata/location.h"

namespace folivant {
namespace {

// Larger than any picture the readers take (250 million pixels, uncompressed).
constexpr std::uint64_t kMaxPictureBytes = 2ull << 30;
constexpr std::size_t kBlock = 1 << 16;
// Above this a picture that need not be edited is hashed from the file, not held in memory.
constexpr std::uint64_t kWholeUpTo = 256ull << 20;

[[noreturn]] void ThrowUnsafe(const std::string& path, const std::string& why) {
  throw ETargetFileError("Cannot remove the location from " + path + ": " + why +
                         "; remove it with another tool, or build without --strip-location");
}

// A picture open for reading, closed when this goes.
class TOpenFile {
 public:
  explicit TOpenFile(const std::string& path) {
    std::string why;
    fd_ = OpenRegularFile(path, why);
    if (fd_ < 0) throw ETargetFileError("Cannot read " + path + ": " + why);
  }
  ~TOpenFile() { ::close(fd_); }
  TOpenFile(const TOpenFile&) = delete;
  TOpenFile& operator=(const TOpenFile&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

std::string ReadWhole(const std::string& path) {
  const TOpenFile file(path);
  const int fd = file.Fd();
  struct stat st {};
  if (::fstat(fd, &st) != 0)
    throw ETargetFileError("Cannot read " + path + ": " + std::strerror(errno));
  if (static_cast<std::uint64_t>(st.st_size) > kMaxPictureBytes) {
    throw ETargetFileError("Cannot read " + path + ": larger than 2 GB, too large for a picture");
  }
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t got = 0;
  char more[4096];  // the end is looked for here: no larger buffer unless the file grew
  for (;;) {
    const bool full = got == bytes.size();
    const ssize_t n =
        full ? ::read(fd, more, sizeof more) : ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ETargetFileError("Cannot read " + path + ": " + std::strerror(errno));
    if (n == 0) break;
    if (full) bytes.append(more, static_cast<std::size_t>(n));  // grew since the stat
    got += static_cast<std::size_t>(n);
    if (got > kMaxPictureBytes) throw ETargetFileError("Cannot read " + path + ": too large");
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace

TSourceFacts ReadSourceFacts(const std::string& path, bool strip, bool clip) {
  TSourceFacts facts;
  struct stat st {};
  if (clip || (!strip && ::stat(path.c_str(), &st) == 0 &&
               static_cast<std::uint64_t>(st.st_size) > kWholeUpTo)) {
    const auto hash = HashFile(path);
    if (!hash) throw ETargetFileError("Cannot read " + path);
    facts.Hash = facts.CopyHash = *hash;
    facts.Streamed = true;
    return facts;
  }
  facts.Bytes = ReadWhole(path);
  facts.Hash = facts.CopyHash = HashBytes(facts.Bytes);
  // Looked for in the bytes read, not in a copy of them: one picture's size less memory.
  std::string why;
  const TLocationState state = RemoveLocationInPlace(facts.Bytes, why);
  facts.Located = state != TLocationState::lsNone;
  if (!facts.Located) return facts;  // untouched
  if (!strip) {
    // Published as it is: the few pictures with a location are read again, as they are now.
    facts.Bytes = ReadWhole(path);
    facts.Hash = facts.CopyHash = HashBytes(facts.Bytes);
    facts.Located = RemoveLocation(facts.Bytes).State != TLocationState::lsNone;
    return facts;
  }
  if (state == TLocationState::lsUnsafe) ThrowUnsafe(path, why);
  facts.CopyHash = HashBytes(facts.Bytes);
  return facts;
}

namespace {

// Location text anywhere in bytes given block by block, also across two blocks.
class TLocationTextScan {
 public:
  void Feed(std::string_view block) {
    if (found_) return;
    std::string seam = carry_;
    seam.append(block.substr(0, kLocationTextMax));
    found_ = ShowsLocation(seam) || ShowsLocation(block);
    const std::string_view last = block.size() >= kLocationTextMax ? block : seam;
    carry_ = last.substr(last.size() - std::min(last.size(), kLocationTextMax));
  }
  bool Found() const { return found_; }

 private:
  std::string carry_;
  bool found_ = false;
};

// The one-pass copy of a JPEG: its head is read and looked at whole, then what is read is
// written at once.
class TJpegCopy {
 public:
  TJpegCopy(const std::string& path, int fd, bool strip, const std::string& dir,
            const std::function<bool()>& stop, const std::function<void(std::uint64_t)>& progress)
      : path_(path), fd_(fd), strip_(strip), dir_(dir), stop_(stop), progress_(progress) {}

  // nullptr when the file is no JPEG whose head ends before the file does.
  std::unique_ptr<TTempFile> Run(TSourceFacts& facts);

 private:
  std::string_view ReadSome();  // empty at the end
  void Put(std::string_view original, std::string_view copied);

  const std::string& path_;
  int fd_;
  bool strip_;
  const std::string& dir_;
  const std::function<bool()>& stop_;
  const std::function<void(std::uint64_t)>& progress_;
  std::unique_ptr<char[]> block_ = std::make_unique_for_overwrite<char[]>(kBlock);
  std::uint64_t got_ = 0;
  std::unique_ptr<TTempFile> temp_;
  THasher source_, copy_;
  bool edited_ = false;
  TLocationTextScan text_;
};

std::string_view TJpegCopy::ReadSome() {
  for (;;) {
    const ssize_t n = ::read(fd_, block_.get(), kBlock);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ETargetFileError("Cannot read " + path_ + ": " + std::strerror(errno));
    got_ += static_cast<std::uint64_t>(n);
    if (got_ > kMaxPictureBytes) throw ETargetFileError("Cannot read " + path_ + ": too large");
    return {block_.get(), static_cast<std::size_t>(n)};
  }
}

void TJpegCopy::Put(std::string_view original, std::string_view copied) {
  if (stop_ && stop_()) throw EBuildStopped("Copy of " + path_ + " stopped");
  source_.Update(original);
  if (edited_) copy_.Update(copied);
  text_.Feed(copied);
  if (const int err = temp_->Write(copied)) {
    throw ETargetFileError("Cannot copy " + path_ + ": " + std::strerror(err));
  }
  if (progress_) progress_(copied.size());
}

std::unique_ptr<TTempFile> TJpegCopy::Run(TSourceFacts& facts) {
  std::string head;
  std::size_t length = 0;
  while (length == 0) {
    const std::string_view more = ReadSome();
    if (more.empty()) return nullptr;  // no picture data: read whole, as other files are
    head.append(more);
    if (static_cast<unsigned char>(head[0]) != 0xFF) return nullptr;
    length = JpegHeadLength(head);
  }
  // The location is looked for in the head as the whole file's walk would, and its text in
  // the rest as it goes by.
  std::string copied = head.substr(0, length), why;
  TLocationState state = RemoveLocationInPlace(copied, why);
  if (strip_ && state == TLocationState::lsUnsafe) ThrowUnsafe(path_, why);
  edited_ = strip_ && state == TLocationState::lsRemoved;
  temp_ = std::make_unique<TTempFile>(dir_);
  if (const int err = temp_->Error()) {
    throw ETargetFileError("Cannot copy " + path_ + " to " + dir_ + ": " + std::strerror(err));
  }
  const std::string_view original(head);
  Put(original.substr(0, length), edited_ ? copied : original.substr(0, length));
  Put(original.substr(length), original.substr(length));
  for (std::string_view more; !(more = ReadSome()).empty();) Put(more, more);
  if (text_.Found()) {  // somewhere no walk reaches: the file as a whole is unsafe
    copied = head.substr(0, length);
    state = RemoveLocationInPlace(copied, why, true);
    if (strip_) ThrowUnsafe(path_, why);
  }
  if (const int err = temp_->Close(false)) {
    throw ETargetFileError("Cannot copy " + path_ + ": " + std::strerror(err));
  }
  facts.Hash = source_.Digest();
  facts.CopyHash = edited_ ? copy_.Digest() : facts.Hash;
  facts.Located = state != TLocationState::lsNone;
  return std::move(temp_);
}

}  // namespace

std::unique_ptr<TTempFile> CopySourceToTemp(const std::string& path, bool strip, bool clip,
                                            const std::string& dir,
                                            const std::function<bool()>& stop,
                                            const std::function<void(std::uint64_t)>& progress,
                                            TSourceFacts& facts) {
  if (!clip) {
    const TOpenFile file(path);
    struct stat st {};
    if (::fstat(file.Fd(), &st) == 0 &&
        static_cast<std::uint64_t>(st.st_size) <= (strip ? kMaxPictureBytes : kWholeUpTo)) {
      if (auto temp = TJpegCopy(path, file.Fd(), strip, dir, stop, progress).Run(facts))
        return temp;
    }
  }
  facts = ReadSourceFacts(path, strip, clip);
  return nullptr;
}

std::unique_ptr<TTempFile> BytesToTemp(const std::string& bytes, const std::string& dir,
                                       const std::string& name, const std::string& source,
                                       const std::function<bool()>& stop,
                                       const std::function<void(std::uint64_t)>& progress) {
  if (stop && stop()) throw EBuildStopped("Copy of " + source + " stopped");
  auto temp = std::make_unique<TTempFile>(dir);
  int err = temp->Error();
  // In blocks, as a copy from the file goes: progress moves and a stop is heard.
  for (std::size_t at = 0; err == 0 && at < bytes.size(); at += kBlock) {
    if (at > 0 && stop && stop()) throw EBuildStopped("Copy of " + source + " stopped");
    const std::size_t n = std::min(kBlock, bytes.size() - at);
    err = temp->Write(std::string_view(bytes).substr(at, n));
    if (err == 0 && progress) progress(n);
  }
  if (err == 0) err = temp->Close(false);
  if (err != 0) {
    throw ETargetFileError("Cannot copy " + source + " to " + JoinPath(dir, name) + ": " +
                           std::strerror(err));
  }
  return temp;
}

int CountLocated(TBuildOutputs& outputs, const std::vector<CatalogItem>& items,
                 const std::vector<int>& order) {
  std::unordered_set<std::string> located;
  for (int i : order) {
    if (outputs.Entry(i).Located == 1) located.insert(items[i].PictureName);
  }
  return static_cast<int>(located.size());
}

std::string LocatedPicturesText(int count) {
  if (count <= 0) return {};
  return std::to_string(count) +
         (count == 1 ? " picture carries a location (GPS); --strip-location removes it"
                     : " pictures carry a location (GPS); --strip-location removes it") +
         " from the published copies";
}

}  // namespace folivant
