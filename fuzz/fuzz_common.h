// Shared by the fuzz targets: one-time set-up, a check that stops the run loudly, and a
// byte reader over the fuzzer's input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "codecs/codecs.h"
#include "imaging/types.h"

namespace folivant::fuzz {

// A property that must hold whatever the input: report and abort so that libFuzzer (and
// ctest's replay) count it as a crash.
#define FUZZ_CHECK(cond)                                                               \
  do {                                                                                 \
    if (!(cond)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

// Codecs installed and the picture limit lowered, so that inputs declaring big pictures are
// refused quickly instead of spending the run filling memory. The readers must check the
// limit before allocating; a reader that does not is caught by libFuzzer's malloc limit.
inline void SetUpCodecs() {
  static const bool done = [] {
    InstallCodecs();
    PictureLimits().MaxSide = 16384;
    PictureLimits().MaxPixels = 1 << 18;
    return true;
  }();
  (void)done;
}

// Takes bytes from the front of the input; reads past the end give 0.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t Word() {
    const std::uint16_t lo = Byte();
    return static_cast<std::uint16_t>(lo | (Byte() << 8));
  }
  const std::uint8_t* Rest() const { return data_ + (pos_ < size_ ? pos_ : size_); }
  std::size_t RestSize() const { return pos_ < size_ ? size_ - pos_ : 0; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace folivant::fuzz
