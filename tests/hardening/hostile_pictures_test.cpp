// Pictures made to hurt a reader: sizes far past the limit, LZW streams at the edges of the
// table, frames outside their screen, thousands of frames or scans, huge ancillary chunks,
// files cut short anywhere. Each must end with a clear failure or a correct picture, and a
// refused picture must not cost memory.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <random>

#include "codecs/codecs.h"
#include "imaging/image_box.h"
#include "picture_builders.h"

namespace folivant::test {
namespace {

enum class Kind { Gif, Png, Jpeg };

struct ReadResult {
  bool aborting = false;
  bool refused = false;  // the size limit's exception came through
  int images = 0;
  TBitmap bmp;
  TIOParamsVals params;
};

ReadResult Read(Kind kind, const Bytes& bytes, int gifIndex = 0) {
  InstallCodecs();
  ReadResult r;
  r.params.GifImageIndex = gifIndex;
  TProgressRec progress;
  progress.Aborting = &r.aborting;
  TMemoryStream s(bytes.data(), bytes.size());
  try {
    switch (kind) {
      case Kind::Gif:
        ReadGifStream(s, r.bmp, r.images, false, progress, r.params);
        break;
      case Kind::Png:
        ReadPngStream(s, r.bmp, r.params, false, progress);
        break;
      case Kind::Jpeg:
        ReadJpegStream(s, r.bmp, r.params, false, progress);
        break;
    }
  } catch (const EImageSizeError&) {
    r.refused = true;
  }
  return r;
}

// Grey level of the pixel (x, y) of a 24-bit or 1-bit bitmap (blue byte for 24-bit).
int Grey(const TBitmap& bmp, int x, int y) {
  const std::uint8_t* row = bmp.ScanLine(y);
  if (bmp.PixelFormat() == TPixelFormat::pf1bit) return (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
  return row[3 * x];
}

long ResidentKb() {
  long size = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Runs fn in a child process. Returns how far the child's peak resident memory rose above
// what it inherited, in KB; fnResult receives fn's answer (false when the child died).
long ChildPeakGrowthKb(const std::function<bool()>& fn, bool& fnResult) {
  std::fflush(nullptr);
  const long before = ResidentKb();
  const pid_t pid = fork();
  if (pid == 0) _exit(fn() ? 0 : 1);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  fnResult = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return usage.ru_maxrss - before;
}

GifFrame Frame(int w, int h, const Bytes& indexes, int minCodeSize = 2) {
  GifFrame f;
  f.width = w;
  f.height = h;
  f.data = LzwLiterals(minCodeSize, indexes);
  return f;
}

Bytes Ramp(int n, int mod) {
  Bytes b(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i % mod);
  return b;
}

TEST(HostilePictures, HugeDeclaredSizesAreRefusedBeforeAllocating) {
  const Bytes tinyLzw = LzwLiterals(2, {1, 2, 3});
  GifFrame huge;
  huge.width = 65535;
  huge.height = 65535;
  huge.data = tinyLzw;
  GifFrame wideHigh = huge;  // each side allowed, the pixel count not
  wideHigh.width = 20000;
  wideHigh.height = 20000;
  Bytes jpegHuge = MakeJpeg(16, 16, false);
  SetJpegSize(jpegHuge, 65535, 65535);
  Bytes jpegProgHuge = MakeJpeg(16, 16, true);
  SetJpegSize(jpegProgHuge, 65535, 65535);
  Bytes jpegManyPixels = MakeJpeg(16, 16, true);
  SetJpegSize(jpegManyPixels, 20000, 20000);

  const struct {
    const char* what;
    Kind kind;
    Bytes bytes;
  } cases[] = {
      {"GIF 65535 x 65535 frame and screen", Kind::Gif, MakeGif(65535, 65535, 2, {huge})},
      {"GIF 65535 x 65535 frame on a small screen", Kind::Gif, MakeGif(10, 10, 2, {huge})},
      {"GIF 20000 x 20000", Kind::Gif, MakeGif(20000, 20000, 2, {wideHigh})},
      {"PNG 65535 x 65535", Kind::Png, MakePng(65535, 65535, 4, 4)},
      {"PNG 20000 x 20000", Kind::Png, MakePng(20000, 20000, 4, 4)},
      {"PNG 2^31-1 x 1", Kind::Png, MakePng(0x7FFFFFFF, 1, 4, 1)},
      {"JPEG 65535 x 65535 baseline", Kind::Jpeg, jpegHuge},
      {"JPEG 65535 x 65535 progressive", Kind::Jpeg, jpegProgHuge},
      {"JPEG 20000 x 20000 progressive", Kind::Jpeg, jpegManyPixels},
  };
  for (const auto& c : cases) {
    bool failedCleanly = false;
    const long growth = ChildPeakGrowthKb(
        [&] {
          ReadResult r = Read(c.kind, c.bytes);
          return (r.aborting || r.refused) && r.bmp.Width() == 0;
        },
        failedCleanly);
    EXPECT_TRUE(failedCleanly) << c.what;
    EXPECT_LT(growth, 64 * 1024) << c.what << ": peak memory rose by " << growth << " KB";
  }
}

// Clear, one literal, then codes that each name the entry being made (K w K w K): every string
// is one longer than the one before, until the table is full at 4095.
Bytes FullDepthChain(int literal, bool deferClear) {
  const int s = 2, clear = 4, end = 5;
  CodeWriter w;
  int width = s + 1, next = end + 1, limit = 1 << width;
  w.Put(clear, width);
  w.Put(literal, width);
  bool full = false;
  while (!full) {
    w.Put(next, width);
    ++next;
    if (next >= limit) {
      if (width < 12) {
        ++width;
        limit <<= 1;
      } else {
        full = true;
      }
    }
  }
  // The table is full: a clear code now, or (a deferred clear) more codes at width 12 first.
  if (deferClear) {
    w.Put(literal, 12);
    w.Put(4000, 12);
  }
  w.Put(clear, 12);
  w.Put(literal, s + 1);
  w.Put(end, s + 1);
  return w.ImageData(s);
}

TEST(HostileGif, LzwChainsAtFullDepthDecode) {
  for (bool defer : {false, true}) {
    const Bytes data = FullDepthChain(3, defer);
    // The decoder alone: a small picture takes the first strings; the rest falls off its end.
    Bytes pixels(60 * 40, 0);
    TMemoryStream s(data.data(), data.size());
    DecodeGifLzw(s, 40, 60, false, pixels.data());
    EXPECT_EQ(s.Position(), static_cast<std::int64_t>(data.size())) << "defer " << defer;
    for (std::uint8_t p : pixels) ASSERT_EQ(p, 3) << "defer " << defer;

    // The same through the reader, interlaced.
    GifFrame f;
    f.width = 300;
    f.height = 200;
    f.interlaced = true;
    f.data = data;
    ReadResult r = Read(Kind::Gif, MakeGif(300, 200, 2, {f}));
    ASSERT_FALSE(r.aborting) << "defer " << defer;
    ASSERT_EQ(r.bmp.Width(), 300);
    ASSERT_EQ(r.bmp.Height(), 200);
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 300; ++x) ASSERT_EQ(Grey(r.bmp, x, y), 255) << x << "," << y;
    }
  }
}

TEST(HostileGif, CodeAboveTheNextFreeCodeFails) {
  CodeWriter w;
  w.Put(4, 3);  // clear
  w.Put(1, 3);  // literal; the next free code is 6
  w.Put(7, 3);  // above it
  w.Put(5, 3);
  GifFrame f;
  f.width = 4;
  f.height = 4;
  f.data = w.ImageData(2);
  ReadResult r = Read(Kind::Gif, MakeGif(4, 4, 2, {f}));
  EXPECT_TRUE(r.aborting);
  EXPECT_EQ(r.bmp.Width(), 0);

  // A first code equal to the next free code has no previous string to extend.
  CodeWriter w2;
  w2.Put(4, 3);
  w2.Put(6, 3);
  w2.Put(5, 3);
  f.data = w2.ImageData(2);
  r = Read(Kind::Gif, MakeGif(4, 4, 2, {f}));
  EXPECT_TRUE(r.aborting || r.bmp.Width() == 4);
}

TEST(HostileGif, FramesLargerThanOrOutsideTheirScreenReadAtTheirOwnSize) {
  GifFrame big = Frame(10, 6, Ramp(60, 4));
  big.left = 2;
  big.top = 3;
  GifFrame away = Frame(3, 3, Ramp(9, 4));
  away.left = 60000;
  away.top = 65000;
  for (const GifFrame& f : {big, away}) {
    ReadResult r = Read(Kind::Gif, MakeGif(4, 4, 2, {f}));
    ASSERT_FALSE(r.aborting);
    ASSERT_EQ(r.bmp.Width(), f.width);
    ASSERT_EQ(r.bmp.Height(), f.height);
    EXPECT_EQ(r.params.GifXPos, f.left);
    EXPECT_EQ(r.params.GifYPos, f.top);
    for (int y = 0; y < f.height; ++y) {
      for (int x = 0; x < f.width; ++x) {
        EXPECT_EQ(Grey(r.bmp, x, y), ((y * f.width + x) % 4) * 85) << x << "," << y;
      }
    }
  }
}

TEST(HostileGif, PaletteIndexesBeyondTheTableStayInside) {
  // A four-entry table and indexes up to 255: colours are free, memory access is not.
  ReadResult r = Read(Kind::Gif, MakeGif(16, 16, 2, {Frame(16, 16, Ramp(256, 256), 8)}));
  ASSERT_FALSE(r.aborting);
  ASSERT_EQ(r.bmp.Width(), 16);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Grey(r.bmp, i, 0), i * 85);
  // A two-entry black and white table read as 1-bit: any index but 0 is white.
  r = Read(Kind::Gif, MakeGif(16, 16, 1, {Frame(16, 16, Ramp(256, 256), 8)}));
  ASSERT_FALSE(r.aborting);
  EXPECT_EQ(r.bmp.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(Grey(r.bmp, 0, 0), 0);
  EXPECT_EQ(Grey(r.bmp, 9, 3), 255);
}

TEST(HostileGif, TwentyThousandFrames) {
  std::vector<GifFrame> frames;
  for (int i = 0; i < 20000; ++i) frames.push_back(Frame(1, 1, {static_cast<std::uint8_t>(i % 4)}));
  const Bytes gif = MakeGif(1, 1, 2, frames);
  ReadResult first = Read(Kind::Gif, gif, 0);
  ASSERT_FALSE(first.aborting);
  EXPECT_EQ(first.images, 20000);
  EXPECT_EQ(Grey(first.bmp, 0, 0), 0);
  ReadResult last = Read(Kind::Gif, gif, 19999);
  ASSERT_FALSE(last.aborting);
  EXPECT_EQ(last.images, 20000);
  ASSERT_EQ(last.bmp.Width(), 1);
  EXPECT_EQ(Grey(last.bmp, 0, 0), (19999 % 4) * 85);
  ReadResult beyond = Read(Kind::Gif, gif, 20000);
  EXPECT_TRUE(beyond.aborting);  // no such image: nothing to show
  EXPECT_EQ(beyond.images, 20000);
  EXPECT_EQ(beyond.bmp.Width(), 0);
}

TEST(HostilePictures, ZeroSizesFailCleanly) {
  Bytes jpegZeroW = MakeJpeg(8, 8, false);
  SetJpegSize(jpegZeroW, 0, 8);
  Bytes jpegZeroH = MakeJpeg(8, 8, true);
  SetJpegSize(jpegZeroH, 8, 0);
  const struct {
    const char* what;
    Kind kind;
    Bytes bytes;
  } cases[] = {
      {"GIF frame 0 wide", Kind::Gif, MakeGif(5, 5, 2, {Frame(0, 5, {})})},
      {"GIF frame 0 high", Kind::Gif, MakeGif(5, 5, 2, {Frame(5, 0, {})})},
      {"GIF screen 0 x 0", Kind::Gif, MakeGif(0, 0, 2, {Frame(0, 0, {})})},
      {"PNG 0 wide", Kind::Png, MakePng(0, 5, 0, 5)},
      {"PNG 0 high", Kind::Png, MakePng(5, 0, 5, 0)},
      {"JPEG 0 wide", Kind::Jpeg, jpegZeroW},
      {"JPEG 0 high", Kind::Jpeg, jpegZeroH},
      {"empty file GIF", Kind::Gif, {}},
      {"empty file PNG", Kind::Png, {}},
      {"empty file JPEG", Kind::Jpeg, {}},
  };
  for (const auto& c : cases) {
    ReadResult r = Read(c.kind, c.bytes);
    EXPECT_TRUE(r.aborting || r.refused) << c.what;
    EXPECT_EQ(r.bmp.Width(), 0) << c.what;
  }
}

TEST(HostilePng, TenMegabyteZtxtChunksAreStepped) {
  // Ten megabytes of stored bytes that are no zlib stream, and a small chunk that inflates to
  // ten megabytes: both ancillary, so the picture itself must still come through.
  Bytes stored = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
  std::mt19937 rng(7);
  stored.resize(stored.size() + (10u << 20));
  for (std::size_t i = 9; i < stored.size(); ++i) stored[i] = static_cast<std::uint8_t>(rng());
  Bytes bomb = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
  const Bytes packed = Deflate(Bytes(10u << 20, 'A'));
  bomb.insert(bomb.end(), packed.begin(), packed.end());
  for (const Bytes& chunk : {stored, bomb}) {
    const Bytes png = MakePng(7, 5, 7, 5, {{"zTXt", chunk}});
    bool readWell = false;
    const long growth = ChildPeakGrowthKb(
        [&] {
          ReadResult r = Read(Kind::Png, png);
          return !r.aborting && r.bmp.Width() == 7 && r.bmp.Height() == 5 &&
                 r.bmp.ScanLine(2)[3 * 4 + 2] == 28;  // red of (4, 2) is 4 * 7
        },
        readWell);
    EXPECT_TRUE(readWell) << "zTXt of " << chunk.size() << " bytes";
    EXPECT_LT(growth, 64 * 1024) << "zTXt of " << chunk.size() << " bytes";
  }
}

// A chunk header may declare up to 2 GB in a file of a few bytes; nothing may be allocated
// (let alone cleared) from that number before the bytes are there.
TEST(HostilePng, ChunkLengthsDeclaredButNotThereCostNoMemory) {
  for (const char* type : {"zTXt", "tEXt", "iTXt", "iCCP", "sPLT", "pCAL", "eXIf", "abCd"}) {
    Bytes png = MakePng(7, 5, 7, 5);
    const std::size_t idat = 8 + 25;  // signature, IHDR
    Bytes chunk;
    PutBe32(chunk, 0x7FFFFF00u);  // declared length
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), {'k', 0, 0, 'x', 'y'});
    png.insert(png.begin() + static_cast<std::ptrdiff_t>(idat), chunk.begin(), chunk.end());
    bool failedCleanly = false;
    const long growth = ChildPeakGrowthKb(
        [&] {
          ReadResult r = Read(Kind::Png, png);
          return r.aborting;
        },
        failedCleanly);
    EXPECT_TRUE(failedCleanly) << type;
    EXPECT_LT(growth, 64 * 1024) << type << ": peak memory rose by " << growth << " KB";
  }
}

TEST(HostileJpeg, AThousandScansEndCleanly) {
  const Bytes jpeg = MakeJpeg(64, 48, true);
  const std::vector<JpegSegment> segs = JpegSegments(jpeg);
  ASSERT_GE(segs.size(), 3u);
  const JpegSegment& lastScan = segs[segs.size() - 2];
  ASSERT_EQ(lastScan.marker, 0xDA);
  Bytes many(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(lastScan.end));
  for (int i = 0; i < 1000 - 9; ++i) {
    many.insert(many.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(lastScan.begin),
                jpeg.begin() + static_cast<std::ptrdiff_t>(lastScan.end));
  }
  many.insert(many.end(), {0xFF, 0xD9});
  ReadResult r = Read(Kind::Jpeg, many);
  if (!r.aborting) {
    EXPECT_EQ(r.bmp.Width(), 64);
    EXPECT_EQ(r.bmp.Height(), 48);
  }
  // The baseline form: a thousand copies of the one scan.
  const Bytes base = MakeJpeg(32, 32, false);
  const std::vector<JpegSegment> bsegs = JpegSegments(base);
  const JpegSegment& scan = bsegs[bsegs.size() - 2];
  Bytes repeated(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(scan.end));
  for (int i = 0; i < 999; ++i) {
    repeated.insert(repeated.end(), base.begin() + static_cast<std::ptrdiff_t>(scan.begin),
                    base.begin() + static_cast<std::ptrdiff_t>(scan.end));
  }
  repeated.insert(repeated.end(), {0xFF, 0xD9});
  r = Read(Kind::Jpeg, repeated);
  if (!r.aborting) {
    EXPECT_EQ(r.bmp.Width(), 32);
  }
}

// Every prefix of a picture through the I/O object, as a build loads it: a clear failure, or
// the picture at its full size (a cut-off JPEG is padded by the library).
TEST(HostilePictures, CutOffAtEveryOffset) {
  InstallCodecs();
  GifFrame a = Frame(9, 7, Ramp(63, 4));
  a.interlaced = true;
  const Bytes gif = MakeGif(9, 7, 2, {a, Frame(2, 2, Ramp(4, 4))});
  const Bytes png = MakePng(9, 7, 9, 7, {{"tEXt", {'a', 0, 'b'}}});
  const Bytes jpeg = MakeJpeg(24, 16, true);
  for (const Bytes* whole : {&gif, &png, &jpeg}) {
    for (std::size_t n = 0; n <= whole->size(); ++n) {
      TImageBox box;
      TMemoryStream s(whole->data(), n);
      box.IO().LoadFromStream(s);
      if (!box.Aborting()) {
        ASSERT_TRUE(box.Bitmap().Width() == box.IOParams().Width &&
                    box.Bitmap().Height() == box.IOParams().Height)
            << n << " of " << whole->size() << " bytes";
      } else {
        ASSERT_LE(box.Bitmap().Width(), 24);
      }
    }
  }
}

}  // namespace
}  // namespace folivant::test
