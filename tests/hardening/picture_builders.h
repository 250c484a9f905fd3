// Hostile pictures made inside the tests: GIF streams with hand-chosen LZW codes, PNG files
// with any chunk, JPEG files from our own writer with their markers edited afterwards.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "codecs/codecs.h"
#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/stream.h"

namespace folivant::test {

using Bytes = std::vector<std::uint8_t>;

inline void PutLe16(Bytes& b, int v) {
  b.push_back(static_cast<std::uint8_t>(v & 0xFF));
  b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
inline void PutBe32(Bytes& b, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
}

// LZW codes packed least significant bit first, each with its own width.
class CodeWriter {
 public:
  void Put(int code, int width) {
    acc_ |= static_cast<std::uint64_t>(code) << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      out_.push_back(static_cast<std::uint8_t>(acc_ & 0xFF));
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  // The minimum code size byte, the data in sub-blocks of 255, the terminator.
  Bytes ImageData(int minCodeSize) {
    if (bits_ > 0) out_.push_back(static_cast<std::uint8_t>(acc_ & 0xFF));
    acc_ = 0;
    bits_ = 0;
    Bytes b{static_cast<std::uint8_t>(minCodeSize)};
    for (std::size_t i = 0; i < out_.size(); i += 255) {
      const std::size_t n = std::min<std::size_t>(255, out_.size() - i);
      b.push_back(static_cast<std::uint8_t>(n));
      b.insert(b.end(), out_.begin() + static_cast<std::ptrdiff_t>(i),
               out_.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    b.push_back(0);
    return b;
  }

 private:
  Bytes out_;
  std::uint64_t acc_ = 0;
  int bits_ = 0;
};

// Image data holding the indexes as literal codes, with a clear code before the table would
// make the codes wider, so every code has minCodeSize + 1 bits. Indexes may exceed the
// palette (up to the clear code - 1).
inline Bytes LzwLiterals(int minCodeSize, const Bytes& indexes) {
  const int clear = 1 << minCodeSize;
  const int width = minCodeSize + 1;
  const int run = clear - 2;  // literals per clear code that keep the width fixed
  CodeWriter w;
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    if (i % static_cast<std::size_t>(run) == 0) w.Put(clear, width);
    w.Put(indexes[i], width);
  }
  w.Put(clear + 1, width);
  return w.ImageData(minCodeSize);
}

struct GifFrame {
  int left = 0, top = 0, width = 1, height = 1;
  bool interlaced = false;
  Bytes data;  // image data from LzwLiterals or hand-made
};

// A GIF89a with a global table of tableBits (1..8) entries of grey levels, one graphic control
// block per frame, and the frames.
inline Bytes MakeGif(int screenW, int screenH, int tableBits, const std::vector<GifFrame>& frames,
                     bool trailer = true) {
  Bytes b{'G', 'I', 'F', '8', '9', 'a'};
  PutLe16(b, screenW);
  PutLe16(b, screenH);
  b.push_back(static_cast<std::uint8_t>(0x80 | (tableBits - 1)));
  b.push_back(0);
  b.push_back(0);
  const int entries = 1 << tableBits;
  for (int i = 0; i < entries; ++i) {
    const auto v = static_cast<std::uint8_t>(entries > 1 ? i * 255 / (entries - 1) : 0);
    b.insert(b.end(), {v, v, v});
  }
  for (const GifFrame& f : frames) {
    b.insert(b.end(), {0x21, 0xF9, 4, 0, 1, 0, 0, 0});
    b.push_back(0x2C);
    PutLe16(b, f.left);
    PutLe16(b, f.top);
    PutLe16(b, f.width);
    PutLe16(b, f.height);
    b.push_back(f.interlaced ? 0x40 : 0);
    b.insert(b.end(), f.data.begin(), f.data.end());
  }
  if (trailer) b.push_back(0x3B);
  return b;
}

inline void PutChunk(Bytes& png, const char* type, const Bytes& data) {
  PutBe32(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  const uLong crc = crc32(0, png.data() + start, static_cast<uInt>(png.size() - start));
  PutBe32(png, static_cast<std::uint32_t>(crc));
}

inline Bytes Deflate(const Bytes& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(size);
  compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
  out.resize(size);
  return out;
}

// An 8-bit RGB PNG of w x h (the header may declare anything; rows are made for rowsW x rowsH
// pixels, filter 0, a colour pattern), with extra chunks placed before IDAT.
inline Bytes MakePng(std::uint32_t w, std::uint32_t h, int rowsW, int rowsH,
                     const std::vector<std::pair<std::string, Bytes>>& extra = {}) {
  Bytes png{137, 80, 78, 71, 13, 10, 26, 10};
  Bytes ihdr;
  PutBe32(ihdr, w);
  PutBe32(ihdr, h);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  PutChunk(png, "IHDR", ihdr);
  for (const auto& [type, data] : extra) PutChunk(png, type.c_str(), data);
  Bytes raw;
  for (int y = 0; y < rowsH; ++y) {
    raw.push_back(0);
    for (int x = 0; x < rowsW; ++x) {
      raw.insert(raw.end(), {static_cast<std::uint8_t>(x * 7), static_cast<std::uint8_t>(y * 11),
                             static_cast<std::uint8_t>(x + y)});
    }
  }
  PutChunk(png, "IDAT", Deflate(raw));
  PutChunk(png, "IEND", {});
  return png;
}

// A JPEG of w x h from our own writer: a colour gradient.
inline Bytes MakeJpeg(int w, int h, bool progressive, int quality = 75) {
  TBitmap bmp;
  bmp.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
      row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / (h > 1 ? h - 1 : 1));
      row[3 * x + 2] = 128;
    }
  }
  TIOParamsVals params;
  params.JpegQuality = quality;
  params.JpegProgressive = progressive;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  TMemoryStream out;
  WriteJpegStream(out, bmp, params, progress);
  return out.Bytes();
}

struct JpegSegment {
  std::size_t begin = 0, end = 0;  // end: after the segment, and for a scan its coded data
  std::uint8_t marker = 0;
};

// The marker segments of a JPEG from SOI to EOI; a scan's segment takes in its coded data.
inline std::vector<JpegSegment> JpegSegments(const Bytes& b) {
  std::vector<JpegSegment> out;
  std::size_t i = 2;
  while (i + 1 < b.size() && b[i] == 0xFF) {
    const std::uint8_t m = b[i + 1];
    if (m == 0xD9) {
      out.push_back({i, i + 2, m});
      break;
    }
    if (i + 3 >= b.size()) break;
    std::size_t end = i + 2 + ((static_cast<std::size_t>(b[i + 2]) << 8) | b[i + 3]);
    if (m == 0xDA) {
      while (end + 1 < b.size() &&
             !(b[end] == 0xFF && b[end + 1] != 0 && (b[end + 1] < 0xD0 || b[end + 1] > 0xD7))) {
        ++end;
      }
    }
    out.push_back({i, end, m});
    i = end;
  }
  return out;
}

// Sets the frame size in the SOFn segment.
inline void SetJpegSize(Bytes& jpeg, int w, int h) {
  for (const JpegSegment& s : JpegSegments(jpeg)) {
    if (s.marker >= 0xC0 && s.marker <= 0xC2) {
      jpeg[s.begin + 5] = static_cast<std::uint8_t>(h >> 8);
      jpeg[s.begin + 6] = static_cast<std::uint8_t>(h);
      jpeg[s.begin + 7] = static_cast<std::uint8_t>(w >> 8);
      jpeg[s.begin + 8] = static_cast<std::uint8_t>(w);
      return;
    }
  }
}

}  // namespace folivant::test
