#include "catalog/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>

namespace folivant {
namespace {

constexpr std::string_view kTempPrefix = ".folivant-";
constexpr std::string_view kTempSuffix = ".tmp";

std::atomic<TFileOpHook> fileOpHook{nullptr};

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

int SyncFolder(const std::string& dir) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int err = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return err;
}

// Moves from to to unless to exists. 0 on success, EEXIST when to exists, else errno.
int RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
  // File systems without the flag: a hard link fails on an existing name as well.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  return errno;
}

}  // namespace

void SetFileOpHook(TFileOpHook hook) {
  fileOpHook.store(hook);
}

void FileOpPoint() {
  if (const TFileOpHook hook = fileOpHook.load()) hook();
}

std::string TempFileName() {
  static std::atomic<unsigned long> counter{0};
  return std::string(kTempPrefix) + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1)) + std::string(kTempSuffix);
}

pid_t TempFilePid(std::string_view name) {
  if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix)) return 0;
  name.remove_prefix(kTempPrefix.size());
  name.remove_suffix(kTempSuffix.size());
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || dash == 0) return 0;
  pid_t pid = 0;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + dash, pid);
  return ec == std::errc() && end == name.data() + dash && pid > 0 ? pid : 0;
}

int WriteAll(int fd, const char* data, std::size_t size) {
  FileOpPoint();
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

TTempFile::TTempFile(std::string dir) : dir_(std::move(dir)) {
  FileOpPoint();
  for (int attempt = 0; attempt < 100; ++attempt) {
    path_ = Join(dir_, TempFileName());
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) error_ = errno;
}

TTempFile::~TTempFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!done_ && error_ == 0) ::unlink(path_.c_str());
}

int TTempFile::Close(bool sync) {
  int err = sync && ::fsync(fd_) != 0 ? errno : 0;
  if (::close(fd_) != 0 && err == 0) err = errno;
  fd_ = -1;
  return err;
}

int TTempFile::Commit(const std::string& name, bool replace, bool sync) {
  FileOpPoint();
  const std::string to = Join(dir_, name);
  const int err =
      replace ? (::rename(path_.c_str(), to.c_str()) == 0 ? 0 : errno) : RenameNoReplace(path_, to);
  if (err != 0) return err;
  done_ = true;
  return sync ? SyncFolder(dir_) : 0;
}

int WriteFileAtomically(const std::string& dir, const std::string& name, std::string_view bytes,
                        bool sync) {
  TTempFile temp(dir);
  int err = temp.Error();
  if (err == 0) err = temp.Write(bytes);
  if (err == 0) err = temp.Close(sync);
  if (err == 0) err = temp.Commit(name, true, sync);
  return err;
}

std::vector<std::string> RemoveStaleTempFiles(const std::string& dir) {
  std::vector<std::string> removed;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return removed;
  while (const dirent* e = ::readdir(d)) {
    const pid_t pid = TempFilePid(e->d_name);
    if (pid == 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
    struct stat st {};
    const std::string path = Join(dir, e->d_name);
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    FileOpPoint();
    if (::unlink(path.c_str()) == 0) removed.push_back(e->d_name);
  }
  ::closedir(d);
  return removed;
}

}  // namespace folivant
