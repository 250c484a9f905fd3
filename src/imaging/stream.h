// Byte streams the codecs read from and write to: a file, or memory (tests and fuzzers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace folivant {

// A file that cannot be opened or created, or a write that fails.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  // Writes count bytes; throws EFileError when they cannot all be written.
  virtual void Write(const void* buffer, std::size_t count) = 0;
  // Returns the new position. Seeking before the start clamps to 0.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual std::int64_t Size() = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
  // Reads exactly count bytes or throws EFileError.
  void ReadBuffer(void* buffer, std::size_t count);
};

// A read-only view of bytes owned elsewhere, or a growable buffer it owns.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  TMemoryStream(const void* data, std::size_t size);  // read-only view, not copied
  std::size_t Read(void* buffer, std::size_t count) override;
  void Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override;
  // The bytes written so far (only for a stream that owns its buffer).
  const std::vector<std::uint8_t>& Bytes() const { return owned_; }

 private:
  const std::uint8_t* view_ = nullptr;
  std::size_t viewSize_ = 0;
  bool isView_ = false;
  std::vector<std::uint8_t> owned_;
  std::size_t pos_ = 0;
};

// Opens an existing regular file (or a link to one) for reading, never blocking on a named
// pipe or a device: those are refused before and after the open, which does not wait for a
// writer. Returns the descriptor, or -1 with the reason in why ("Not a regular file", or the
// system's text).
int OpenRegularFile(const std::string& path, std::string& why);

enum class TFileMode { fmOpenRead, fmCreate };

class TFileStream : public TStream {
 public:
  // fmOpenRead opens an existing regular file (OpenRegularFile); fmCreate creates or
  // truncates. Throws EFileError naming the file and the reason.
  TFileStream(const std::string& path, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  void Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override;
  // Flushes and closes; throws EFileError when buffered data cannot be written.
  void Close();
  const std::string& Path() const { return path_; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
};

}  // namespace folivant
