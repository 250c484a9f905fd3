#include "catalog/record/build_record.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <nlohmann/json.hpp>
#include <thread>

#include "catalog/atomic_file.h"
#include "catalog/record/record_lines.h"

namespace folivant {
namespace {

using nlohmann::json;

constexpr const char* kFormat = "folivant-build-record";
constexpr int kVersion = 1;
constexpr const char* kPartExt = ".jsonl";
constexpr const char* kJournalExt = ".journal";
// A part of a million pictures is some 600 MB; anything larger is not a record.
constexpr std::int64_t kMaxPartBytes = std::int64_t{1} << 30;

std::string Reason(int err) {
  return err == ELOOP ? "it is a link, not a regular file" : std::strerror(err);
}

// Nothing there, or a regular file; else the reason it is not (a link, a folder, ...).
int NotRegular(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? 0 : errno;
  return S_ISREG(st.st_mode) ? 0 : S_ISLNK(st.st_mode) ? ELOOP : EISDIR;
}

std::string Hex64(std::uint64_t v) {
  static const char* const kDigits = "0123456789abcdef";
  std::string s(16, '0');
  for (int i = 15; i >= 0; --i, v >>= 4) s[i] = kDigits[v & 15];
  return s;
}

// File names are bytes and JSON strings are UTF-8: a name that is not UTF-8 goes as hex.
json TextJson(const std::string& s) {
  json j = s;
  try {
    (void)j.dump();
    return j;
  } catch (const json::type_error&) {
    std::string hex;
    for (unsigned char c : s) hex += Hex64(c).substr(14);
    return json{{"hex", hex}};
  }
}

json FileJson(const TFileRecord& f) {
  return json{{"name", TextJson(f.Name)}, {"size", f.Stamp.Size},   {"mtime", f.Stamp.MtimeNs},
              {"ctime", f.Stamp.CtimeNs}, {"inode", f.Stamp.Inode}, {"hash", Hex64(f.Hash)}};
}

json IntentJson(const TIntent& intent) {
  json j{{"file", FileJson(intent.File)}};
  if (!intent.Source.empty()) j["source"] = TextJson(intent.Source);
  return j;
}

json PictureJson(const TPictureRecord& p) {
  json j{{"name", TextJson(p.Name)}, {"when", p.When},     {"source", FileJson(p.Source)},
         {"width", p.Width},         {"height", p.Height}, {"tnWidth", p.TnWidth},
         {"tnHeight", p.TnHeight},   {"kb", p.SizeKb}};
  j["image"] = TextJson(p.ImageKey);
  j["copy"] = FileJson(p.Copy);
  j["copy"]["made"] = p.CopyMade;
  if (!p.CopyKey.empty()) j["copy"]["key"] = TextJson(p.CopyKey);
  if (p.Located >= 0) j["source"]["located"] = p.Located == 1;
  if (!p.Thumbnail.Name.empty()) j["thumbnail"] = FileJson(p.Thumbnail);
  if (!p.Page.Name.empty()) j["page"] = FileJson(p.Page);
  if (!p.WebCopy.Name.empty()) j["webCopy"] = FileJson(p.WebCopy);
  if (!p.ClipCopy.Name.empty()) j["clipCopy"] = FileJson(p.ClipCopy);
  if (p.DurationMs >= 0) j["durationMs"] = p.DurationMs;
  if (!p.Extras.empty()) {
    j["extras"] = json::array();
    for (const TFileRecord& f : p.Extras) j["extras"].push_back(FileJson(f));
  }
  return j;
}

std::string HeaderLine() {
  return json{{"format", kFormat}, {"version", kVersion}}.dump() + "\n";
}

std::string Line(const char* kind, const json& value) {
  return json{{kind, value}}.dump() + "\n";
}

// False with error "" when there is no file (any more).
bool ReadWhole(const std::string& path, std::string& text, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    error = errno == ENOENT ? "" : Reason(errno);
    return false;
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "not a regular file";
    return false;
  }
  if (st.st_size > kMaxPartBytes) {
    error = "larger than 1 GB";
    return false;
  }
  text.assign(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = Reason(errno);
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  text.resize(got);
  return true;
}

// Applies the lines of one part file or journal to record. A journal's last line may be torn
// by a kill; any line that cannot be used is left out.
void ApplyLines(const std::string& path, TBuildRecord& record, std::vector<std::string>& warnings) {
  std::string text, error;
  if (!ReadWhole(path, text, error)) {
    // Gone since the listing: a share folded its journal into its part meanwhile.
    if (!error.empty()) warnings.push_back("Cannot read build record " + path + ": " + error);
    return;
  }
  text.reserve(text.size() + RecordLinePadding());
  int bad = 0;
  if (!ApplyRecordLines(text, kFormat, kVersion, record, bad)) {
    warnings.push_back("Build record " + path + " is of another kind or version: not used");
    return;
  }
  if (bad > 0) {
    warnings.push_back("Build record " + path + ": " + std::to_string(bad) +
                       " damaged line(s) left out; their pictures are made again");
  }
}

}  // namespace

TFileStamp StampOfStat(const struct stat& st) {
  TFileStamp s;
  if (!S_ISREG(st.st_mode)) return s;
  s.Size = st.st_size;
  s.MtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  s.CtimeNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  s.Inode = st.st_ino;
  return s;
}

TFileStamp StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return StampOfStat(st);
}

std::uint64_t HashBytes(std::string_view bytes) {
  return XXH3_64bits(bytes.data(), bytes.size());
}

std::optional<std::uint64_t> HashFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  THasher hasher;
  std::vector<char> buffer(1 << 18);
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    hasher.Update({buffer.data(), static_cast<std::size_t>(n)});
  }
  return hasher.Digest();
}

struct THasher::State {
  XXH3_state_t* Xxh = XXH3_createState();
  ~State() { XXH3_freeState(Xxh); }
};

THasher::THasher() : state_(std::make_unique<State>()) {
  if (!state_->Xxh) throw std::bad_alloc();
  XXH3_64bits_reset(state_->Xxh);
}

THasher::~THasher() = default;

void THasher::Update(std::string_view bytes) {
  XXH3_64bits_update(state_->Xxh, bytes.data(), bytes.size());
}

std::uint64_t THasher::Digest() const {
  return XXH3_64bits_digest(state_->Xxh);
}

namespace {

std::string InFolder(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool VerifyAgainst(const TFileStamp& now, const std::string& path, TFileRecord& rec) {
  if (now.Size < 0 || now.Size != rec.Stamp.Size) return false;
  if (now == rec.Stamp) return true;
  const auto hash = HashFile(path);
  if (!hash || *hash != rec.Hash) return false;
  rec.Stamp = now;
  return true;
}

}  // namespace

bool VerifyFile(const std::string& path, TFileRecord& rec) {
  return VerifyAgainst(StampOf(path), path, rec);
}

TFolderFiles::TFolderFiles(std::string dir) : dir_(std::move(dir)) {
  fd_ = ::open(dir_.empty() ? "." : dir_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

TFolderFiles::~TFolderFiles() {
  if (fd_ >= 0) ::close(fd_);
}

TFileStamp TFolderFiles::Stamp(const std::string& name) const {
  struct stat st {};
  return Stat(name, st) == 0 ? StampOfStat(st) : TFileStamp();
}

int TFolderFiles::Stat(const std::string& name, struct stat& st) const {
  const int rc = fd_ < 0 || !IsBareName(name) ? ::stat(InFolder(dir_, name).c_str(), &st)
                                              : ::fstatat(fd_, name.c_str(), &st, 0);
  return rc == 0 ? 0 : errno;
}

bool TFolderFiles::Verify(const std::string& name, TFileRecord& rec) const {
  return VerifyAgainst(Stamp(name), InFolder(dir_, name), rec);
}

bool TPictureRecord::SameAs(const TPictureRecord& o) const {
  return Name == o.Name && Source == o.Source && ImageKey == o.ImageKey && Copy == o.Copy &&
         CopyMade == o.CopyMade && Thumbnail == o.Thumbnail && Page == o.Page &&
         WebCopy == o.WebCopy && Extras == o.Extras && Width == o.Width && Height == o.Height &&
         TnWidth == o.TnWidth && TnHeight == o.TnHeight && SizeKb == o.SizeKb &&
         CopyKey == o.CopyKey && Located == o.Located && ClipCopy == o.ClipCopy &&
         DurationMs == o.DurationMs;
}

std::vector<const TFileRecord*> TPictureRecord::Made() const {
  std::vector<const TFileRecord*> made;
  if (CopyMade) made.push_back(&Copy);
  for (const TFileRecord* f : {&Thumbnail, &Page, &WebCopy, &ClipCopy}) {
    if (!f->Name.empty()) made.push_back(f);
  }
  for (const TFileRecord& f : Extras) made.push_back(&f);
  return made;
}

std::string SharePartName(int share, int count) {
  return "share-" + std::to_string(share) + "-of-" + std::to_string(count);
}

std::vector<TRecordPart> LoadRecordParts(const std::string& targetDir,
                                         std::vector<std::string>& warnings) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(targetDir.empty() ? "." : targetDir) / kRecordFolder;
  std::map<std::string, std::pair<bool, bool>> found;  // part: file, journal
  std::error_code ec;
  if (fs::is_symlink(folder, ec)) {
    warnings.push_back("Build record folder " + folder.string() + " is a link: not used");
    return {};
  }
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;  // temporary files
    for (const std::string ext : {kPartExt, kJournalExt}) {
      if (name.size() > ext.size() && name.ends_with(ext)) {
        auto& has = found[name.substr(0, name.size() - ext.size())];
        (ext == kPartExt ? has.first : has.second) = true;
      }
    }
  }
  std::vector<TRecordPart> parts;
  for (const auto& [name, has] : found) {
    TRecordPart part;
    part.Name = name;
    part.HasJournal = has.second;
    if (has.first) ApplyLines((folder / (name + kPartExt)).string(), part.Record, warnings);
    if (has.second) ApplyLines((folder / (name + kJournalExt)).string(), part.Record, warnings);
    parts.push_back(std::move(part));
  }
  return parts;
}

std::string RecordState(const std::string& targetDir) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(targetDir.empty() ? "." : targetDir) / kRecordFolder;
  std::error_code ec;
  std::vector<std::string> lines;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;  // temporary files
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0) continue;
    const TFileStamp s = StampOfStat(st);
    lines.push_back(name + ' ' + std::to_string(s.Size) + ' ' + std::to_string(s.MtimeNs) + ' ' +
                    std::to_string(s.CtimeNs) + ' ' + std::to_string(s.Inode) + '\n');
  }
  if (ec) return "unlisted";  // never equal to a listing
  std::sort(lines.begin(), lines.end());
  std::string state;
  for (const std::string& line : lines) state += line;
  return state;
}

TMergedRecord MergeParts(const std::vector<TRecordPart>& parts) {
  TMergedRecord merged;
  for (const TRecordPart& part : parts) {
    for (const auto& [name, picture] : part.Record.Pictures) {
      auto [it, added] = merged.Pictures.try_emplace(name, &picture);
      if (!added && picture.When > it->second->When) it->second = &picture;
    }
    for (const auto& [name, page] : part.Record.CatalogPages) merged.CatalogPages[name] = &page;
  }
  return merged;
}

std::multimap<std::string_view, const TFileRecord*> MadeFiles(
    const std::vector<TRecordPart>& parts) {
  std::multimap<std::string_view, const TFileRecord*> made;
  auto add = [&](const TFileRecord& f) {
    const auto [from, to] = made.equal_range(f.Name);
    if (std::none_of(from, to, [&](const auto& e) { return *e.second == f; })) {
      made.emplace(f.Name, &f);
    }
  };
  for (const TRecordPart& part : parts) {
    for (const auto& [name, picture] : part.Record.Pictures) {
      for (const TFileRecord* f : picture.Made()) add(*f);
    }
    for (const auto& [name, page] : part.Record.CatalogPages) add(page);
    for (const TIntent& intent : part.Record.Intents) add(intent.File);
  }
  return made;
}

std::string MakeRecordFolder(const std::string& targetDir) {
  const std::string dir =
      (std::filesystem::path(targetDir.empty() ? "." : targetDir) / kRecordFolder).string();
  if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    throw ERecordError("Cannot make the build record folder " + dir + ": " + Reason(errno));
  }
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    throw ERecordError("Cannot use the build record folder " + dir +
                       ": it is not a folder of its own (a link?); remove it");
  }
  return dir;
}

TRecordWriter::TRecordWriter(std::string targetDir, std::string part)
    : target_(std::move(targetDir)),
      dir_((std::filesystem::path(target_.empty() ? "." : target_) / kRecordFolder).string()),
      part_(std::move(part)) {}

TRecordWriter::~TRecordWriter() {
  if (journal_ >= 0) ::close(journal_);
}

std::string TRecordWriter::Path(const std::string& part, const char* ext) const {
  return dir_ + "/" + part + ext;
}

void TRecordWriter::MakeFolder() {
  MakeRecordFolder(target_);
  // The part and its journal are replaced and removed: never through a link.
  for (const char* ext : {kPartExt, kJournalExt}) {
    if (const int err = NotRegular(Path(part_, ext))) {
      throw ERecordError("Cannot write " + Path(part_, ext) + ": " + Reason(err) + "; remove it");
    }
  }
}

void TRecordWriter::Open(const TRecordPart* current) {
  MakeFolder();
  struct stat st {};
  if (::lstat(Path(part_, kJournalExt).c_str(), &st) == 0) {
    Save(current ? current->Record : TBuildRecord());
  }
}

void TRecordWriter::AppendLine(const std::string& line) {
  std::lock_guard lock(mutex_);
  const std::string path = Path(part_, kJournalExt);
  auto fail = [&](int err) { throw ERecordError("Cannot write " + path + ": " + Reason(err)); };
  if (journal_ < 0) {
    FileOpPoint();
    journal_ = ::open(path.c_str(),
                      O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (journal_ < 0) fail(errno);
    struct stat st {};
    if (::fstat(journal_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
      throw ERecordError("Cannot write " + path + ": not a regular file of the build's own");
    }
    if (::ftruncate(journal_, 0) != 0) fail(errno);
    const std::string header = HeaderLine();
    if (const int err = WriteAll(journal_, header.data(), header.size())) fail(err);
  }
  // One write per line: a kill tears at most the line being written.
  if (const int err = WriteAll(journal_, line.data(), line.size())) fail(err);
}

void TRecordWriter::Append(const TPictureRecord& picture) {
  AppendLine(Line("picture", PictureJson(picture)));
}

void TRecordWriter::AppendCatalogPage(const TFileRecord& page) {
  AppendLine(Line("catalogPage", FileJson(page)));
}

void TRecordWriter::AppendIntent(const TIntent& intent) {
  AppendLine(Line("intent", IntentJson(intent)));
}

void TRecordWriter::Save(const TBuildRecord& record) {
  std::string text = HeaderLine();
  for (const auto& [name, picture] : record.Pictures) text += Line("picture", PictureJson(picture));
  for (const auto& [name, page] : record.CatalogPages) text += Line("catalogPage", FileJson(page));
  for (const TIntent& intent : record.Intents) text += Line("intent", IntentJson(intent));

  MakeFolder();
  const std::string path = Path(part_, kPartExt);
  std::string old, error;
  if (!(ReadWhole(path, old, error) && old == text)) {
    // Synced: the journal goes next, and the part must then be on the disk.
    if (const int err = WriteFileAtomically(dir_, part_ + kPartExt, text, true)) {
      throw ERecordError("Cannot write " + path + ": " + Reason(err));
    }
  }
  std::lock_guard lock(mutex_);
  if (journal_ >= 0) {
    ::close(journal_);
    journal_ = -1;
  }
  FileOpPoint();
  ::unlink(Path(part_, kJournalExt).c_str());
}

void TRecordWriter::RemovePart(const std::string& part) {
  if (part == part_) return;
  for (const char* ext : {kPartExt, kJournalExt}) {
    struct stat st {};
    const std::string path = Path(part, ext);
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;  // warned at loading
    FileOpPoint();
    ::unlink(path.c_str());
  }
}

namespace {

// The PID written in a lock file by its holder; 0 when none can be read.
long HolderPid(int fd) {
  char buf[24] = {};
  const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
  return n > 0 ? std::strtol(buf, nullptr, 10) : 0;
}

}  // namespace

TBuildLock::TBuildLock(const std::string& targetDir, const std::string& part, bool noWait,
                       const std::function<void(const std::string&)>& tell,
                       const std::function<bool()>& stop)
    : target_(targetDir.empty() ? "." : targetDir), dir_(MakeRecordFolder(targetDir)) {
  // Shares share the whole-build lock and each holds its own.
  const bool share = part != kWholePart;
  std::vector<std::pair<std::string, int>> locks{{".lock", share ? LOCK_SH : LOCK_EX}};
  if (share) locks.emplace_back("." + part + ".lock", LOCK_EX);
  try {
    for (const auto& [name, how] : locks) {
      const std::string path = dir_ + "/" + name;
      const int fd =
          ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
      if (fd >= 0) fds_.push_back(fd);
      struct stat st {};
      if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        throw ERecordError("Cannot lock " + path + ": " + Reason(fd < 0 ? errno : EISDIR));
      }
      Take(fd, how, noWait, tell, stop);
    }
  } catch (...) {
    for (int fd : fds_) ::close(fd);
    throw;
  }
  if (share) return;
  // No share runs now, and one that starts opens its lock after this one's: they may go.
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.starts_with(".share-") && name.ends_with(".lock") && it->is_regular_file(ec) &&
        !it->is_symlink(ec)) {
      std::filesystem::remove(it->path(), ec);
    }
  }
}

TBuildLock::~TBuildLock() {
  for (int fd : fds_) ::close(fd);  // releases the locks
}

void TBuildLock::Take(int fd, int how, bool noWait,
                      const std::function<void(const std::string&)>& tell,
                      const std::function<bool()>& stop) {
  while (::flock(fd, how | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {  // a file system without locks: as before there were any
      if (tell) tell("Cannot lock the target " + target_ + ": " + Reason(errno));
      return;
    }
    const long pid = HolderPid(fd);
    const std::string who = target_ + (pid > 0 ? " (PID " + std::to_string(pid) + ")" : "");
    if (noWait) throw ERecordError("another build is writing into " + who);
    if (!told_ && tell) tell("Waiting for another build writing into " + who);
    told_ = true;
    if (stop && stop()) throw ERecordStopped("Stopped while waiting for the target " + target_);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // Fixed width, so shares holding the lock together never leave a mix of two numbers.
  char buf[16];
  std::snprintf(buf, sizeof buf, "%11ld\n", static_cast<long>(::getpid()));
  if (::pwrite(fd, buf, 12, 0) == 12) (void)::ftruncate(fd, 12);
}

}  // namespace folivant
