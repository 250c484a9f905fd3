#include "catalog/engine/target_files.h"

#include "imaging/stream.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace folivant {
namespace {

std::string Reason(int err) {
  return std::strerror(err);
}

// Closes the descriptor and removes the temporary file unless Release() was called.
class TempFile {
 public:
  // Creates a new, empty file with a name no other writer uses (mode 0666 less the umask).
  explicit TempFile(const std::string& dir) {
    static std::atomic<unsigned long> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = JoinPath(dir, ".folivant-" + std::to_string(::getpid()) + "-" +
                                std::to_string(counter.fetch_add(1)) + ".tmp");
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0 || errno != EEXIST) break;
    }
    if (fd_ < 0) error_ = errno;
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!released_ && error_ == 0) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int Error() const { return error_; }
  const std::string& Path() const { return path_; }

  // Writes everything; 0 or the errno of the failure.
  int Write(const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(fd_, data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return 0;
  }
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
  }
  void Release() { released_ = true; }

 private:
  std::string path_;
  int fd_ = -1;
  int error_ = 0;
  bool released_ = false;
};

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

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void WriteFileReplacing(const std::string& dir, const std::string& name, std::string_view bytes) {
  const std::string path = JoinPath(dir, name);
  TempFile temp(dir);
  int err = temp.Error();
  if (err == 0) err = temp.Write(bytes.data(), bytes.size());
  if (err == 0) err = temp.Close();
  if (err == 0 && ::rename(temp.Path().c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) throw ETargetFileError("Cannot write " + path + ": " + Reason(err));
  temp.Release();
}

void CheckTargetName(const std::string& dir, const std::string& name) {
  const std::string path = JoinPath(dir, name);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return;
  const char* kind = nullptr;
  if (::stat(path.c_str(), &st) != 0) {
    kind = "a link to nothing";
  } else if (S_ISREG(st.st_mode)) {
    return;
  } else if (S_ISDIR(st.st_mode)) {
    kind = "a folder";
  } else if (S_ISFIFO(st.st_mode)) {
    kind = "a named pipe";
  } else if (S_ISSOCK(st.st_mode)) {
    kind = "a socket";
  } else {
    kind = "a device";
  }
  throw ETargetFileError("Cannot use " + path + ": it is " + kind + ", not a regular file");
}

bool CopyFileNoReplace(const std::string& source, const std::string& dir, const std::string& name,
                       const std::function<bool()>& stop,
                       const std::function<void(std::uint64_t)>& copied) {
  const std::string path = JoinPath(dir, name);
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    CheckTargetName(dir, name);
    return false;
  }
  std::string why;
  const int in = OpenRegularFile(source, why);
  if (in < 0) throw ETargetFileError("Cannot copy " + source + " to " + path + ": " + why);
  auto fail = [&](int err) -> bool {
    throw ETargetFileError("Cannot copy " + source + " to " + path + ": " + Reason(err));
  };
  struct InClose {
    int fd;
    ~InClose() { ::close(fd); }
  } inClose{in};

  TempFile temp(dir);
  if (temp.Error() != 0) return fail(temp.Error());
  std::string buffer(1 << 16, '\0');
  std::uint64_t total = 0;
  for (;;) {
    if (stop && stop()) throw EBuildStopped("Copy of " + source + " stopped");
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    if (n == 0) break;
    if (const int err = temp.Write(buffer.data(), static_cast<std::size_t>(n))) return fail(err);
    total += static_cast<std::uint64_t>(n);
    if (copied) copied(total);
  }
  if (const int err = temp.Close()) return fail(err);
  const int err = RenameNoReplace(temp.Path(), path);
  if (err == EEXIST) return false;  // appeared meanwhile: that file stays
  if (err != 0) return fail(err);
  temp.Release();
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool SameContent(const std::string& a, const std::string& b) {
  std::string why;
  const int fa = OpenRegularFile(a, why);
  if (fa < 0) return true;
  const int fb = OpenRegularFile(b, why);
  struct Closer {
    int a, b;
    ~Closer() {
      ::close(a);
      if (b >= 0) ::close(b);
    }
  } closer{fa, fb};
  struct stat sa {};
  struct stat sb {};
  if (fb < 0 || ::fstat(fa, &sa) != 0 || ::fstat(fb, &sb) != 0) return true;
  if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino) return true;
  if (sa.st_size != sb.st_size) return false;
  std::string ba(1 << 16, '\0'), bb(1 << 16, '\0');
  for (;;) {
    const ssize_t na = ::read(fa, ba.data(), ba.size());
    if (na <= 0) return true;  // the end (sizes are equal), or a read error: nothing to say
    std::size_t got = 0;
    while (got < static_cast<std::size_t>(na)) {
      const ssize_t nb = ::read(fb, bb.data() + got, static_cast<std::size_t>(na) - got);
      if (nb <= 0) return true;
      got += static_cast<std::size_t>(nb);
    }
    if (std::memcmp(ba.data(), bb.data(), got) != 0) return false;
  }
}

}  // namespace folivant
