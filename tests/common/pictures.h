// Pictures for every test: files made on the spot (JPEG from our writer, GIF streams with
// hand-chosen LZW codes, PNG files with any chunk), the committed fixtures' reference pixels,
// one run of a bare reader, and the peak memory a piece of work costs.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "codecs/codecs.h"
#include "imaging/image_box.h"
#include "imaging/stream.h"
#include "test_files.h"

namespace folivant::test {

using Bytes = std::vector<std::uint8_t>;

inline void PutLe16(Bytes& b, int v) {
  b.insert(b.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
}
inline void PutBe32(Bytes& b, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
}

// ---- GIF

// LZW codes packed least significant bit first, each with its own width.
class CodeWriter {
 public:
  void Put(int code, int width) {
    acc_ |= static_cast<std::uint64_t>(code) << bits_;
    for (bits_ += width; bits_ >= 8; bits_ -= 8, acc_ >>= 8)
      out_.push_back(static_cast<std::uint8_t>(acc_));
  }
  // The minimum code size byte, the data in sub-blocks of 255, the terminator.
  Bytes ImageData(int minCodeSize) {
    if (bits_ > 0) out_.push_back(static_cast<std::uint8_t>(acc_));
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
// make the codes wider, so every code has minCodeSize + 1 bits.
inline Bytes LzwLiterals(int minCodeSize, const Bytes& indexes) {
  const int clear = 1 << minCodeSize;
  CodeWriter w;
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    if (i % static_cast<std::size_t>(clear - 2) == 0) w.Put(clear, minCodeSize + 1);
    w.Put(indexes[i], minCodeSize + 1);
  }
  w.Put(clear + 1, minCodeSize + 1);
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
  b.insert(b.end(), {static_cast<std::uint8_t>(0x80 | (tableBits - 1)), 0, 0});
  const int entries = 1 << tableBits;
  for (int i = 0; i < entries; ++i)
    b.insert(b.end(), 3, static_cast<std::uint8_t>(entries > 1 ? i * 255 / (entries - 1) : 0));
  for (const GifFrame& f : frames) {
    b.insert(b.end(), {0x21, 0xF9, 4, 0, 1, 0, 0, 0, 0x2C});
    for (int v : {f.left, f.top, f.width, f.height}) PutLe16(b, v);
    b.push_back(f.interlaced ? 0x40 : 0);
    b.insert(b.end(), f.data.begin(), f.data.end());
  }
  if (trailer) b.push_back(0x3B);
  return b;
}

// ---- PNG

inline void PutChunk(Bytes& png, const char* type, const Bytes& data) {
  PutBe32(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  PutBe32(png, static_cast<std::uint32_t>(
                   crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
}

inline Bytes Deflate(const Bytes& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(size);
  compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
  out.resize(size);
  return out;
}

// An 8-bit RGB PNG declaring w x h, with rows made for rowsW x rowsH pixels (red x * 7, green
// y * 11, blue x + y), and extra chunks placed before IDAT.
inline Bytes MakePng(std::uint32_t w, std::uint32_t h, int rowsW, int rowsH,
                     const std::vector<std::pair<std::string, Bytes>>& extra = {}) {
  Bytes png{137, 80, 78, 71, 13, 10, 26, 10}, ihdr, raw;
  PutBe32(ihdr, w);
  PutBe32(ihdr, h);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  PutChunk(png, "IHDR", ihdr);
  for (const auto& [type, data] : extra) PutChunk(png, type.c_str(), data);
  for (int y = 0; y < rowsH; ++y) {
    raw.push_back(0);
    for (int x = 0; x < rowsW; ++x)
      raw.insert(raw.end(), {std::uint8_t(x * 7), std::uint8_t(y * 11), std::uint8_t(x + y)});
  }
  PutChunk(png, "IDAT", Deflate(raw));
  PutChunk(png, "IEND", {});
  return png;
}

// ---- JPEG

// A w x h picture with structure in it (gradients and a seeded pattern), so that thumbnails
// of different pictures differ.
inline void FillPicture(TBitmap& bmp, int w, int h, int seed) {
  bmp.SetSize(w, h);
  std::uint32_t state = 2463534242u + static_cast<std::uint32_t>(seed) * 7919u;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      std::uint8_t* p = bmp.ScanLine(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
      p[1] = static_cast<std::uint8_t>(y * 255 / (h > 1 ? h - 1 : 1));
      p[2] = static_cast<std::uint8_t>(((x / 8 + y / 8 + seed) % 2) * 160 + (state & 31));
    }
}

inline Bytes MakeJpeg(int w, int h, bool progressive, int quality = 75, int seed = 0) {
  InstallCodecs();
  TBitmap bmp;
  FillPicture(bmp, w, h, seed);
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
  for (std::size_t i = 2; i + 1 < b.size() && b[i] == 0xFF; i = out.back().end) {
    const std::uint8_t m = b[i + 1];
    if (m != 0xD9 && i + 3 >= b.size()) break;
    std::size_t end = m == 0xD9 ? i + 2 : i + 2 + (std::size_t{b[i + 2]} << 8 | b[i + 3]);
    while (m == 0xDA && end + 1 < b.size() &&
           !(b[end] == 0xFF && b[end + 1] && (b[end + 1] & 0xF8) != 0xD0))
      ++end;
    out.push_back({i, end, m});
    if (m == 0xD9) break;
  }
  return out;
}

// Sets the frame size in the SOFn segment.
inline void SetJpegSize(Bytes& jpeg, int w, int h) {
  for (const JpegSegment& s : JpegSegments(jpeg))
    if (s.marker >= 0xC0 && s.marker <= 0xC2) {
      const int v[4] = {h >> 8, h, w >> 8, w};
      for (int k = 0; k < 4; ++k) jpeg[s.begin + 5 + k] = static_cast<std::uint8_t>(v[k]);
      return;
    }
}

// ---- picture files

inline void WriteBytes(const std::string& path, const Bytes& b) {
  WriteFile(path, std::string(b.begin(), b.end()));
}

inline void WriteJpeg(const std::string& path, int w, int h, int seed = 0) {
  WriteBytes(path, MakeJpeg(w, h, false, 90, seed));
}

// A GIF89a of w x h with a 16-colour palette; pixel (x, y) takes colour (x / 4 + y / 4 + seed).
inline void WriteGif(const std::string& path, int w, int h, int seed = 0) {
  InstallCodecs();
  Bytes pixels, b{'G', 'I', 'F', '8', '9', 'a'};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      pixels.push_back(static_cast<std::uint8_t>((x / 4 + y / 4 + seed) % 16));
  PutLe16(b, w);
  PutLe16(b, h);
  b.insert(b.end(), {0x80 | 0x30 | 3, 0, 0});
  for (int i = 0; i < 16; ++i)
    b.insert(b.end(),
             {std::uint8_t(i * 16), std::uint8_t(255 - i * 16), std::uint8_t(i * 97 + seed * 31)});
  b.push_back(0x2C);
  for (int v : {0, 0, w, h}) PutLe16(b, v);
  b.push_back(0);
  TMemoryStream lzw;
  EncodeGifLzw(lzw, h, w, false, 4, pixels.data());
  b.insert(b.end(), lzw.Bytes().begin(), lzw.Bytes().end());
  b.push_back(0x3B);
  WriteBytes(path, b);
}

// Width and height of a picture file as the toolkit loads it.
inline std::pair<int, int> PictureSize(const std::string& path) {
  InstallCodecs();
  TImageBox box;
  box.LoadFromFile(path);
  return {box.Bitmap().Width(), box.Bitmap().Height()};
}

// ---- reference pixels of the committed fixtures (8-bit binary PPM)

struct Ppm {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  const std::uint8_t* Pixel(int x, int y) const {
    return rgb.data() + (std::size_t(y) * width + x) * 3;
  }
};

#ifdef FOLIVANT_TEST_DATA
inline Ppm LoadPpm(const std::string& rel) {
  const std::string bytes = ReadFile(DataPath(rel));
  std::istringstream in(bytes);
  std::string magic;
  int maxval = 0;
  Ppm p;
  in >> magic >> p.width >> p.height >> maxval;
  p.rgb.assign(
      bytes.begin() + std::min<std::ptrdiff_t>(in.tellg() + std::streamoff(1), std::ssize(bytes)),
      bytes.end());
  EXPECT_EQ(magic + std::to_string(maxval) + " " + std::to_string(p.rgb.size()),
            "P6255 " + std::to_string(std::size_t(p.width) * p.height * 3))
      << rel;
  return p;
}
#endif

// The bitmap's pixel (x, y) as red, green, blue, for either pixel format.
inline void PixelRgb(const TBitmap& bmp, int x, int y, int out[3]) {
  const std::uint8_t* row = bmp.ScanLine(y);
  for (int c = 0; c < 3; ++c)
    out[c] = bmp.PixelFormat() == TPixelFormat::pf1bit
                 ? ((row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0)
                 : row[3 * x + 2 - c];
}

// Compares rows [0, rows) of the bitmap with the reference; reports the first difference.
inline ::testing::AssertionResult MatchesPpm(const TBitmap& bmp, const Ppm& ref, int tolerance,
                                             int rows = -1) {
  if (bmp.Width() != ref.width || bmp.Height() != ref.height)
    return ::testing::AssertionFailure() << "size " << bmp.Width() << "x" << bmp.Height()
                                         << " expected " << ref.width << "x" << ref.height;
  for (int y = 0; y < (rows < 0 ? ref.height : rows); ++y)
    for (int x = 0; x < ref.width; ++x) {
      int got[3];
      PixelRgb(bmp, x, y, got);
      for (int c = 0; c < 3; ++c)
        if (std::abs(got[c] - ref.Pixel(x, y)[c]) > tolerance)
          return ::testing::AssertionFailure()
                 << "pixel (" << x << "," << y << ") channel " << c << ": got " << got[c]
                 << " expected " << int(ref.Pixel(x, y)[c]);
    }
  return ::testing::AssertionSuccess();
}

// ---- one run of a bare reader

enum class Kind { Jpeg, Gif, Png };

inline Kind KindOf(const std::string& name) {
  return name.ends_with(".gif") ? Kind::Gif : name.ends_with(".png") ? Kind::Png : Kind::Jpeg;
}

// A codec run: parameter record, progress record with its aborting flag and the reports.
struct CodecRun {
  TIOParamsVals params;
  TProgressRec progress;
  bool aborting = false, refused = false;  // refused: the size limit's exception came through
  int images = 0;
  std::vector<int> reports;
  TBitmap bmp;

  CodecRun() {
    InstallCodecs();
    params.SetDefaultParams();
    progress.Aborting = &aborting;
    progress.Sender = this;
    progress.fOnProgress = [this](const void*, int per) { reports.push_back(per); };
  }
  CodecRun(const CodecRun&) = delete;
  CodecRun& operator=(const CodecRun&) = delete;

  // The reader of kind over bytes.
  CodecRun& Read(Kind kind, const Bytes& bytes, bool paramsOnly = false) {
    TMemoryStream s(bytes.data(), bytes.size());
    try {
      if (kind == Kind::Jpeg) ReadJpegStream(s, bmp, params, paramsOnly, progress);
      if (kind == Kind::Gif) ReadGifStream(s, bmp, images, paramsOnly, progress, params);
      if (kind == Kind::Png) ReadPngStream(s, bmp, params, paramsOnly, progress);
    } catch (const EImageSizeError&) {
      refused = true;
    }
    return *this;
  }
};

// ---- memory

// Runs fn in a child process. Returns how far the child's peak resident memory rose above
// what it inherited, in KB; fnResult receives fn's answer (false when the child died).
inline long ChildPeakGrowthKb(const std::function<bool()>& fn, bool& fnResult) {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) _exit(fn() ? 0 : 1);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  fnResult = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return usage.ru_maxrss - resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace folivant::test
