// The GIF LZW coder: the decoder behind DefGifLzwDecompress and a plain encoder.
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/codecs.h"

namespace folivant {

namespace {

constexpr int kMaxCodes = 4096;
constexpr int kMaxWidth = 12;

// Codes of w bits, least significant bit first; bytes past the end read as 0.
class CodeReader {
 public:
  CodeReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Exhausted() const { return (bitPos_ >> 3) >= size_; }
  int Read(int width) {
    const std::size_t byte = bitPos_ >> 3;
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 3; ++i)
      if (byte + i < size_) v |= static_cast<std::uint32_t>(data_[byte + i]) << (8 * i);
    v >>= (bitPos_ & 7);
    bitPos_ += static_cast<std::uint64_t>(width);
    return static_cast<int>(v & ((1u << width) - 1));
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::uint64_t bitPos_ = 0;
};

// Where the next decoded index goes, in display order, interlaced or not.
class PixelCursor {
 public:
  PixelCursor(std::uint8_t* pixels, int width, int height, bool interlaced)
      : pixels_(pixels), width_(width), height_(height), interlaced_(interlaced) {
    done_ = pixels == nullptr || width <= 0 || height <= 0;
  }
  bool Done() const { return done_; }
  void Put(std::uint8_t v) {
    if (done_) return;
    pixels_[static_cast<std::size_t>(y_) * static_cast<std::size_t>(width_) +
            static_cast<std::size_t>(x_)] = v;
    if (++x_ < width_) return;
    x_ = 0;
    if (!interlaced_) {
      done_ = ++y_ >= height_;
      return;
    }
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    y_ += kStep[pass_];
    while (y_ >= height_) {
      // Passes without rows for a small height are skipped; data past the last pass is dropped.
      if (++pass_ >= 4) {
        done_ = true;
        return;
      }
      y_ = kStart[pass_];
    }
  }

 private:
  std::uint8_t* pixels_;
  int width_, height_;
  bool interlaced_;
  int x_ = 0, y_ = 0, pass_ = 0;
  bool done_ = false;
};

// The sub-blocks of one image, gathered into one buffer; the stream ends after the terminator
// (or at its end). Every code but a clear code gives at least one pixel, so data beyond two
// bytes a pixel (plus room for clear codes) cannot be needed: it is read past, not kept.
std::vector<std::uint8_t> GatherSubBlocks(TStream& s, std::size_t pixels) {
  const std::size_t keep = 2 * pixels + 65536;
  std::vector<std::uint8_t> data;
  std::uint8_t scratch[255];
  for (;;) {
    std::uint8_t n = 0;
    if (s.Read(&n, 1) != 1 || n == 0) break;
    if (data.size() + n > keep) {
      if (s.Read(scratch, n) < n) break;
      continue;
    }
    const std::size_t old = data.size();
    data.resize(old + n);
    const std::size_t got = s.Read(data.data() + old, n);
    data.resize(old + got);
    if (got < n) break;
  }
  return data;
}

struct LzwTables {
  std::array<std::uint16_t, kMaxCodes> prefix;
  std::array<std::uint8_t, kMaxCodes> suffix;
  std::array<std::uint8_t, kMaxCodes> first;  // first byte of each code's string
  std::array<std::uint8_t, kMaxCodes> stack;
};

// Decodes the gathered codes; false rejects the image.
bool DecodeCodes(const std::vector<std::uint8_t>& data, int minSize, PixelCursor& out,
                 LzwTables& t) {
  const int clear = 1 << minSize;
  const int end = clear + 1;
  for (int i = 0; i < clear; ++i) {
    t.prefix[i] = 0;
    t.suffix[i] = t.first[i] = static_cast<std::uint8_t>(i);
  }
  int width = minSize + 1;
  int next = end + 1;
  int limit = 1 << width;
  int prev = -1;

  auto reset = [&] {
    width = minSize + 1;
    next = end + 1;
    limit = 1 << width;
  };
  auto add = [&](int pre, std::uint8_t firstByte) {
    if (next >= kMaxCodes) return;  // full: entries wait for a clear code
    t.prefix[next] = static_cast<std::uint16_t>(pre);
    t.suffix[next] = firstByte;
    t.first[next] = t.first[pre];
    if (++next >= limit && width < kMaxWidth) {
      limit <<= 1;
      ++width;
    }
  };
  auto emit = [&](int code) {
    if (out.Done()) return;  // nothing more to store: only the table matters
    int sp = 0;
    while (code >= clear && sp < kMaxCodes - 1) {
      t.stack[sp++] = t.suffix[code];
      code = t.prefix[code];
    }
    t.stack[sp++] = static_cast<std::uint8_t>(code);
    while (sp > 0) out.Put(t.stack[--sp]);
  };

  CodeReader in(data.data(), data.size());
  if (in.Exhausted()) return true;
  int code = in.Read(width);
  for (;;) {
    if (code == end) return true;
    if (code == clear) {
      reset();
      do {
        if (in.Exhausted()) return true;
        code = in.Read(width);
      } while (code == clear);
      if (code == end) return false;
      if (code >= next) code = 0;
      emit(code);
      prev = code;
    } else if (code < next) {
      if (prev >= 0) add(prev, t.first[code]);
      emit(code);
      prev = code;
    } else if (code == next && prev >= 0) {
      add(prev, t.first[prev]);
      emit(code);
      prev = code;
    } else {
      return false;
    }
    if (in.Exhausted()) return true;
    code = in.Read(width);
  }
}

// Packs codes into sub-blocks of at most 255 bytes.
class CodeWriter {
 public:
  void Put(int code, int width) {
    acc_ |= static_cast<std::uint32_t>(code) << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      bytes_.push_back(static_cast<std::uint8_t>(acc_ & 0xFF));
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  void Finish(TStream& s) {
    if (bits_ > 0) bytes_.push_back(static_cast<std::uint8_t>(acc_ & 0xFF));
    acc_ = 0;
    bits_ = 0;
    for (std::size_t i = 0; i < bytes_.size(); i += 255) {
      const std::uint8_t n =
          static_cast<std::uint8_t>(std::min<std::size_t>(255, bytes_.size() - i));
      s.Write(&n, 1);
      s.Write(bytes_.data() + i, n);
    }
    const std::uint8_t zero = 0;
    s.Write(&zero, 1);
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint32_t acc_ = 0;
  int bits_ = 0;
};

}  // namespace

void DecodeGifLzw(TStream& s, int height, int width, bool interlaced, std::uint8_t* pixels) {
  const std::int64_t start = s.Position();
  std::uint8_t minSize = 0;
  if (s.Read(&minSize, 1) != 1 || minSize < 2 || minSize > 9) {
    s.SetPosition(start);
    return;
  }
  const std::size_t count = width > 0 && height > 0
                                ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height)
                                : 0;
  const std::vector<std::uint8_t> data = GatherSubBlocks(s, count);
  if (data.empty()) return;
  PixelCursor out(pixels, width, height, interlaced);
  auto tables = std::make_unique<LzwTables>();
  if (!DecodeCodes(data, minSize, out, *tables)) s.SetPosition(start);
}

void EncodeGifLzw(TStream& s, int height, int width, bool interlaced, int bitsPerPixel,
                  const std::uint8_t* pixels) {
  const int minSize = std::clamp(bitsPerPixel, 2, 8);
  const std::uint8_t sizeByte = static_cast<std::uint8_t>(minSize);
  s.Write(&sizeByte, 1);
  const int clear = 1 << minSize;
  const int end = clear + 1;
  const std::uint8_t mask = static_cast<std::uint8_t>((1 << minSize) - 1);

  // Rows in stored order.
  std::vector<int> rows;
  if (interlaced) {
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    for (int p = 0; p < 4; ++p)
      for (int y = kStart[p]; y < height; y += kStep[p]) rows.push_back(y);
  } else {
    for (int y = 0; y < height; ++y) rows.push_back(y);
  }

  // (prefix code, byte) -> code, open addressing.
  constexpr std::size_t kHashSize = 8192;
  std::vector<std::int32_t> keys(kHashSize, -1);
  std::vector<std::uint16_t> codes(kHashSize, 0);
  auto slot = [&](std::int32_t key) {
    std::size_t h = (static_cast<std::uint32_t>(key) * 2654435761u) & (kHashSize - 1);
    while (keys[h] != -1 && keys[h] != key) h = (h + 1) & (kHashSize - 1);
    return h;
  };

  CodeWriter w;
  int codeWidth = minSize + 1;
  int next = end + 1;
  w.Put(clear, codeWidth);
  int prefix = -1;
  for (int y : rows) {
    if (width <= 0) break;
    const std::uint8_t* row =
        pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    for (int x = 0; x < width; ++x) {
      const int k = row[x] & mask;
      if (prefix < 0) {
        prefix = k;
        continue;
      }
      const std::int32_t key = (prefix << 8) | k;
      const std::size_t h = slot(key);
      if (keys[h] == key) {
        prefix = codes[h];
        continue;
      }
      w.Put(prefix, codeWidth);
      keys[h] = key;
      codes[h] = static_cast<std::uint16_t>(next);
      ++next;
      if (next > (1 << codeWidth) && codeWidth < kMaxWidth) ++codeWidth;
      if (next >= kMaxCodes) {
        w.Put(clear, codeWidth);
        std::fill(keys.begin(), keys.end(), -1);
        codeWidth = minSize + 1;
        next = end + 1;
      }
      prefix = k;
    }
  }
  if (prefix >= 0) {
    w.Put(prefix, codeWidth);
    // The decoder adds one more entry on this code, which may widen the end code.
    if (next + 1 > (1 << codeWidth) && codeWidth < kMaxWidth) ++codeWidth;
  }
  w.Put(end, codeWidth);
  w.Finish(s);
}

}  // namespace folivant
