#include "catalog/engine/target_files.h"

#include "catalog/atomic_file.h"
#include "imaging/stream.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace folivant {
namespace {

std::string Reason(int err) {
  return std::strerror(err);
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
  if (const int err = WriteFileAtomically(dir, name, bytes, false)) {
    throw ETargetFileError("Cannot write " + JoinPath(dir, name) + ": " + Reason(err));
  }
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

std::optional<std::unordered_set<std::string>> OddEntries(const std::string& dir) {
  DIR* folder = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!folder) return std::nullopt;
  std::unordered_set<std::string> odd;
  while (const dirent* entry = ::readdir(folder)) {
    if (entry->d_type != DT_REG) odd.insert(entry->d_name);
  }
  ::closedir(folder);
  return odd;
}

bool StrikeListed(const std::string& dir, std::unordered_set<std::string_view>& names) {
  DIR* folder = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!folder) return false;
  while (const dirent* entry = ::readdir(folder)) names.erase(entry->d_name);
  ::closedir(folder);
  return true;
}

std::unique_ptr<TTempFile> CopyToTemp(const std::string& source, const std::string& dir,
                                      const std::string& name, const std::function<bool()>& stop,
                                      const std::function<void(std::uint64_t)>& progress) {
  const std::string path = JoinPath(dir, name);
  std::string why;
  const int in = OpenRegularFile(source, why);
  if (in < 0) throw ETargetFileError("Cannot copy " + source + " to " + path + ": " + why);
  auto fail = [&](int err) {
    throw ETargetFileError("Cannot copy " + source + " to " + path + ": " + Reason(err));
  };
  struct InClose {
    int fd;
    ~InClose() { ::close(fd); }
  } inClose{in};

  auto temp = std::make_unique<TTempFile>(dir);
  if (temp->Error() != 0) fail(temp->Error());
  std::string buffer(1 << 16, '\0');
  for (;;) {
    if (stop && stop()) throw EBuildStopped("Copy of " + source + " stopped");
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    if (n == 0) break;
    if (const int err = temp->Write({buffer.data(), static_cast<std::size_t>(n)})) fail(err);
    if (progress) progress(static_cast<std::uint64_t>(n));
  }
  if (const int err = temp->Close(false)) fail(err);
  return temp;
}

bool CopyFileNoReplace(const std::string& source, const std::string& dir, const std::string& name,
                       const std::function<bool()>& stop,
                       const std::function<void(std::uint64_t)>& progress) {
  struct stat st {};
  if (::lstat(JoinPath(dir, name).c_str(), &st) == 0) {
    CheckTargetName(dir, name);
    return false;
  }
  const auto temp = CopyToTemp(source, dir, name, stop, progress);
  const int err = temp->Commit(name, false);
  if (err == EEXIST) return false;  // appeared meanwhile: that file stays
  if (err != 0) {
    throw ETargetFileError("Cannot copy " + source + " to " + JoinPath(dir, name) + ": " +
                           Reason(err));
  }
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
