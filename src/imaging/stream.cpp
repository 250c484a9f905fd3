#include "imaging/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace folivant {

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  if (Read(buffer, count) != count) throw EFileError("Read beyond end of stream");
}

TMemoryStream::TMemoryStream(const void* data, std::size_t size)
    : view_(static_cast<const std::uint8_t*>(data)), viewSize_(size), isView_(true) {}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  const std::size_t size = isView_ ? viewSize_ : owned_.size();
  const std::uint8_t* data = isView_ ? view_ : owned_.data();
  if (pos_ >= size || count == 0) return 0;  // the buffer may be null then
  const std::size_t n = std::min(count, size - pos_);
  std::memcpy(buffer, data + pos_, n);
  pos_ += n;
  return n;
}

void TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (isView_) throw EFileError("Stream write error: read-only memory stream");
  if (count == 0) return;
  if (pos_ + count > owned_.size()) owned_.resize(pos_ + count);
  std::memcpy(owned_.data() + pos_, buffer, count);
  pos_ += count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = static_cast<std::int64_t>(pos_);
  if (origin == TSeekOrigin::soEnd) base = Size();
  std::int64_t target = base + offset;
  if (target < 0) target = 0;
  pos_ = static_cast<std::size_t>(target);
  return target;
}

std::int64_t TMemoryStream::Size() {
  return static_cast<std::int64_t>(isView_ ? viewSize_ : owned_.size());
}

int OpenRegularFile(const std::string& path, std::string& why) {
  struct stat st {};
  auto refuse = [&](const char* reason) {
    why = reason;
    return -1;
  };
  if (::stat(path.c_str(), &st) != 0) return refuse(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return refuse("Not a regular file");
  // Non-blocking, in case something else took the name since.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return refuse(std::strerror(errno));
  const int flags = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
      ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return refuse("Not a regular file");
  }
  return fd;
}

TFileStream::TFileStream(const std::string& path, TFileMode mode) : path_(path) {
  if (mode == TFileMode::fmCreate) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) throw EFileError("Cannot create file \"" + path + "\". " + std::strerror(errno));
    return;
  }
  std::string why;
  const int fd = OpenRegularFile(path, why);
  if (fd >= 0) {
    file_ = ::fdopen(fd, "rb");
    if (!file_) {
      why = std::strerror(errno);
      ::close(fd);
    }
  }
  if (!file_) throw EFileError("Cannot open file \"" + path + "\". " + why);
}

TFileStream::~TFileStream() {
  if (file_) std::fclose(file_);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
  return file_ ? std::fread(buffer, 1, count, file_) : 0;
}

void TFileStream::Write(const void* buffer, std::size_t count) {
  if (!file_ || std::fwrite(buffer, 1, count, file_) != count)
    throw EFileError("Cannot write to file \"" + path_ + "\". " + std::strerror(errno));
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (!file_) return 0;
  std::int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = ftello(file_);
  if (origin == TSeekOrigin::soEnd) base = Size();
  std::int64_t target = base + offset;
  if (target < 0) target = 0;
  fseeko(file_, static_cast<off_t>(target), SEEK_SET);
  return ftello(file_);
}

std::int64_t TFileStream::Size() {
  if (!file_) return 0;
  const off_t here = ftello(file_);
  fseeko(file_, 0, SEEK_END);
  const off_t size = ftello(file_);
  fseeko(file_, here, SEEK_SET);
  return size;
}

void TFileStream::Close() {
  if (!file_) return;
  const bool failed = std::fflush(file_) != 0 || std::ferror(file_);
  const int err = errno;
  const bool closeFailed = std::fclose(file_) != 0;
  file_ = nullptr;
  if (failed || closeFailed)
    throw EFileError("Cannot write to file \"" + path_ + "\". " + std::strerror(err));
}

}  // namespace folivant
