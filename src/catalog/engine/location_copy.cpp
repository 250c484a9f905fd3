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

std::string ReadWhole(const std::string& path) {
  std::string why;
  const int fd = OpenRegularFile(path, why);
  if (fd < 0) throw ETargetFileError("Cannot read " + path + ": " + why);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
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
  if (state == TLocationState::lsUnsafe) {
    throw ETargetFileError("Cannot remove the location from " + path + ": " + why +
                           "; remove it with another tool, or build without --strip-location");
  }
  facts.CopyHash = HashBytes(facts.Bytes);
  return facts;
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
