// The GIF container reader: walks the blocks, picks the wanted image, hands its data to the
// LZW hook and turns palette indexes into bitmap pixels.
#include <array>
#include <cstring>
#include <vector>

#include "codecs/codecs.h"
#include "imaging/types.h"

namespace folivant {

namespace {

using TColorTable = std::array<TRGB, 256>;

// The stream with its position kept here: asking a file for its position or size costs a
// seek that drops its read buffer, which a walk over stray bytes would pay byte by byte.
class GifInput {
 public:
  explicit GifInput(TStream& s) : s_(s), pos_(s.Position()), size_(s.Size()) {}
  std::size_t Read(void* buffer, std::size_t count) {
    const std::size_t n = s_.Read(buffer, count);
    pos_ += static_cast<std::int64_t>(n);
    return n;
  }
  bool AtEnd() const { return pos_ >= size_; }
  std::int64_t Position() const { return pos_; }
  // After someone else (the LZW hook) moved the stream.
  void Sync() { pos_ = s_.Position(); }

 private:
  TStream& s_;
  std::int64_t pos_;
  std::int64_t size_;
};

// Reads n red-green-blue entries into blue-green-red; missing bytes give black.
void ReadColorTable(GifInput& s, int n, TColorTable& table) {
  std::uint8_t raw[256 * 3] = {};
  s.Read(raw, static_cast<std::size_t>(n) * 3);
  table.fill(TRGB{});
  for (int i = 0; i < n; ++i) table[i] = TRGB{raw[3 * i + 2], raw[3 * i + 1], raw[3 * i]};
}

// Passes over sub-blocks up to a zero size byte or the end of the stream. Their bytes go
// through a small scratch buffer: nothing is kept, and a file's read buffer is not dropped
// by a seek for every (possibly one-byte) block.
void SkipSubBlocks(GifInput& s) {
  std::uint8_t scratch[255];
  for (;;) {
    std::uint8_t n = 0;
    if (s.Read(&n, 1) != 1 || n == 0) return;
    if (s.Read(scratch, n) != n) return;
  }
}

std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

bool IsBlackThenWhite(const TColorTable& t, int count) {
  return count == 2 && t[0] == TRGB{0, 0, 0} && t[1] == TRGB{255, 255, 255};
}

// The header and global colour table into params: the global table's bits, or 0 when the
// stream is no GIF (aborting set).
int ReadGifHeader(GifInput& s, TIOParamsVals& params, TColorTable& global, bool& aborting) {
  std::uint8_t header[13] = {};
  const std::size_t got = s.Read(header, sizeof header);
  if (got < 3 || std::memcmp(header, "GIF", 3) != 0) {
    aborting = true;
    return 0;
  }
  std::size_t versionLen = 0;
  while (versionLen < 6 && versionLen < got && header[versionLen] != 0) ++versionLen;
  params.GifVersion.assign(reinterpret_cast<const char*>(header), versionLen);
  params.GifWinWidth = Le16(header + 6);
  params.GifWinHeight = Le16(header + 8);
  params.GifRatio = header[12];
  params.DpiX = ScreenDpi().X;
  params.DpiY = ScreenDpi().Y;
  params.SamplesPerPixel = 1;
  const int globalBits = (header[10] & 7) + 1;
  if ((header[10] & 0x80) != 0) {
    ReadColorTable(s, 1 << globalBits, global);
    params.GifBackground = global[header[11]];
  }
  if (got < sizeof header || s.AtEnd()) aborting = true;
  return globalBits;
}

// The wanted image's colour indexes; false when the read is to stop (aborting or the size
// refused).
bool DecodeGifIndexes(TStream& stream, GifInput& s, const TIOParamsVals& params, int width,
                      int height, TProgressRec& progress, std::vector<std::uint8_t>& indexes) {
  // Nothing is allocated for a picture the size limit refuses, or for an empty one. The
  // logical screen is never allocated, so its size does not matter.
  if (!PictureSizeAllowed(width, height)) {
    progress.RefuseSize(width, height);
    return false;
  }
  if (width == 0 || height == 0) {
    *progress.Aborting = true;
    return false;
  }
  indexes.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  const std::int64_t before = s.Position();
  const TGifLzwDecompress hook =
      params.GifLzwDecompress ? params.GifLzwDecompress : DefGifLzwDecompress;
  if (hook) hook(stream, height, width, params.GifInterlaced, indexes.data());
  s.Sync();
  if (s.Position() == before) {
    *progress.Aborting = true;
    return false;
  }
  progress.Report(70);
  return !*progress.Aborting;
}

// The indexes in their colours; transparent pixels show the page behind them, as in a browser.
void PaintGifImage(const std::vector<std::uint8_t>& indexes, const TColorTable& table,
                   const TIOParamsVals& params, int transIndex, int width, int height,
                   TBitmap& bmp) {
  const bool transparent = params.GifTransparent;
  const std::uint8_t clear = static_cast<std::uint8_t>(transIndex);
  const TRGB& page = params.PngBackground;
  const bool oneBit = !transparent && IsBlackThenWhite(table, params.ColorMapCount);
  bmp.SetPixelFormat(oneBit ? TPixelFormat::pf1bit : TPixelFormat::pf24bit);
  bmp.SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* src = indexes.data() + static_cast<std::size_t>(y) * width;
    std::uint8_t* row = bmp.ScanLine(y);
    if (oneBit) {
      std::memset(row, 0, bmp.RowBytes());
      for (int x = 0; x < width; ++x)
        if (src[x]) row[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    } else {
      for (int x = 0; x < width; ++x) {
        const TRGB& c = transparent && src[x] == clear ? page : table[src[x]];
        row[3 * x] = c.b;
        row[3 * x + 1] = c.g;
        row[3 * x + 2] = c.r;
      }
    }
  }
}

}  // namespace

void ReadGifStream(TStream& stream, TBitmap& bmp, int& numImages, bool paramsOnly,
                   TProgressRec& progress, TIOParamsVals& params) {
  bool& aborting = *progress.Aborting;
  numImages = 0;
  progress.Report(0);
  if (aborting) return;

  GifInput s(stream);
  TColorTable global{};
  const int globalBits = ReadGifHeader(s, params, global, aborting);
  if (globalBits == 0) return;

  int counter = 0;
  bool gotImage = false;
  int gcFlags = 0, gcDelay = 0, gcTransIndex = 0;
  TColorTable local{};
  while (!aborting) {
    std::uint8_t intro = 0;
    s.Read(&intro, 1);
    if (s.AtEnd()) intro = 0x3B;

    if (intro == 0x3B) break;
    if (intro == 0x21) {
      std::uint8_t label = 0;
      s.Read(&label, 1);
      if (label == 0xF9 && counter == params.GifImageIndex) {
        std::uint8_t gc[6] = {};
        s.Read(gc, sizeof gc);
        gcFlags = gc[1];
        gcDelay = Le16(gc + 2);
        gcTransIndex = gc[4];
      } else {
        SkipSubBlocks(s);
      }
      continue;
    }
    if (intro != 0x2C) continue;

    std::uint8_t desc[9] = {};
    s.Read(desc, sizeof desc);
    const bool hasLocal = (desc[8] & 0x80) != 0;
    const bool interlaced = (desc[8] & 0x40) != 0;
    const int localBits = (desc[8] & 7) + 1;
    if (hasLocal) ReadColorTable(s, 1 << localBits, local);

    if (counter != params.GifImageIndex) {
      std::uint8_t minCodeSize = 0;
      s.Read(&minCodeSize, 1);
      SkipSubBlocks(s);
      numImages = ++counter;
      continue;
    }

    // The wanted image.
    progress.Report(30);
    if (aborting) break;
    const TColorTable& table = hasLocal ? local : global;
    const int bits = hasLocal ? localBits : globalBits;
    const int width = Le16(desc + 4);
    const int height = Le16(desc + 6);
    params.GifTranspColor = table[gcTransIndex];
    params.GifXPos = Le16(desc);
    params.GifYPos = Le16(desc + 2);
    params.Width = width;
    params.Height = height;
    params.GifDelayTime = gcDelay;
    params.GifTransparent = (gcFlags & 1) != 0;
    params.GifInterlaced = interlaced;

    std::vector<std::uint8_t> indexes;
    if (paramsOnly) {
      std::uint8_t minCodeSize = 0;
      s.Read(&minCodeSize, 1);
      SkipSubBlocks(s);
    } else {
      if (!DecodeGifIndexes(stream, s, params, width, height, progress, indexes)) break;
      bmp.SetSize(1, 1);
    }

    params.BitsPerSample = bits;
    params.ColorMapCount = 1 << bits;
    params.ColorMap.assign(table.begin(), table.begin() + params.ColorMapCount);

    if (!paramsOnly) PaintGifImage(indexes, table, params, gcTransIndex, width, height, bmp);
    gotImage = true;
    numImages = ++counter;
  }
  // A stream that ends before the wanted image has no picture to give.
  if (!paramsOnly && !gotImage && !aborting) progress.Refuse("the file holds no image");
  if (!aborting) progress.Report(100);
}

void ReadGifPicture(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                    TProgressRec& progress) {
  int numImages = 0;
  ReadGifStream(s, bmp, numImages, paramsOnly, progress, params);
}

}  // namespace folivant
