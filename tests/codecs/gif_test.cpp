#include <numeric>

#include "../common/pictures.h"

namespace folivant::test {
namespace {

// Fixtures that read to their reference exactly. Only a black-then-white table gives a 1-bit
// bitmap; transparent pixels show the page colour (a transparent one is never 1-bit); frames are
// read at their own size wherever they sit; indexes past the table read as black (1-bit: white);
// strings at the full depth of the LZW table, cleared or not.
TEST(GifRead, FixturesMatchTheirReferences) {
  const struct {
    const char *file, *ref;
    int index, images;
    bool oneBit, interlaced, transparent;
    int x, y, bits;
  } cases[] = {
      {"87a", "pattern", 0, 1, false, false, false, 0, 0, 4},
      {"89a", "pattern", 0, 1, false, false, false, 0, 0, 4},
      {"no-trailer", "pattern", 0, 1, false, false, false, 0, 0, 4},
      {"transparent", "transparent", 0, 1, false, false, true, 0, 0, 4},
      {"bw", "bw", 0, 1, true, false, false, 0, 0, 1},
      {"bw-transparent", "bw-transparent", 0, 1, false, false, true, 0, 0, 1},
      {"wb", "wb", 0, 1, false, false, false, 0, 0, 1},
      {"interlaced5", "interlaced5", 0, 1, false, true, false, 0, 0, 4},  // rows 0, 4, 2, 1, 3
      {"deferred-clear", "deferred-clear", 0, 1, false, false, false, 0, 0, 8},
      {"frames3", "frames3", 1, 3, false, false, true, 2, 1, 4},
      {"local", "local", 0, 1, false, false, true, 0, 0, 3},
      {"frame-larger-than-screen", "frame-larger-than-screen", 0, 1, false, false, false, 2, 3, 2},
      {"frame-far-outside", "frame-far-outside", 0, 1, false, false, false, 60000, 65000, 2},
      {"index-beyond-table", "index-beyond-table", 0, 1, false, false, false, 0, 0, 2},
      {"index-beyond-bw", "index-beyond-bw", 0, 1, true, false, false, 0, 0, 1},
      {"lzw-chain", "white60x40", 0, 1, false, true, false, 0, 0, 2},
      {"lzw-chain-deferred", "white60x40", 0, 1, false, true, false, 0, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    CodecRun r;
    r.params.GifImageIndex = c.index;
    r.params.PngBackground = TRGB{50, 100, 200};
    r.Read(Kind::Gif, ReadBytes(std::string("gif/") + c.file + ".gif"));
    ASSERT_FALSE(r.aborting);
    EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm(std::string("gif/") + c.ref + ".ref.ppm"), 0));
    const TIOParamsVals& p = r.params;
    EXPECT_EQ(r.bmp.PixelFormat(), c.oneBit ? TPixelFormat::pf1bit : TPixelFormat::pf24bit);
    EXPECT_EQ(p.Width * 10000 + p.Height, r.bmp.Width() * 10000 + r.bmp.Height());
    EXPECT_EQ(std::vector<int>({r.images, p.GifInterlaced, p.GifTransparent, p.GifXPos, p.GifYPos,
                                p.BitsPerSample, p.ColorMapCount, int(p.ColorMap.size()),
                                p.SamplesPerPixel, p.DpiX}),
              std::vector<int>({c.images, c.interlaced, c.transparent, c.x, c.y, c.bits,
                                1 << c.bits, 1 << c.bits, 1, ScreenDpi().X}));
    EXPECT_EQ(r.reports, (std::vector<int>{0, 30, 70, 100}));
  }
}

// The component hands its background (the page colour) to the reader, from a file or a stream.
TEST(GifRead, TransparentPixelsShowTheComponentsBackground) {
  InstallCodecs();
  const Bytes gif = ReadBytes("gif/transparent.gif");
  for (const bool stream : {false, true}) {
    TImageBox box;
    box.SetBackground(0xC06030);
    TMemoryStream s(gif.data(), gif.size());
    stream ? box.IO().LoadFromStream(s) : box.LoadFromFile(DataPath("gif/transparent.gif"));
    const std::uint8_t* p = box.Bitmap().ScanLine(0) + 3 * 2;  // index 2 is the transparent one
    EXPECT_EQ(p[0] << 16 | p[1] << 8 | p[2], 0xC06030) << stream;
  }
}

TEST(GifRead, HeaderFields) {
  CodecRun a, b, f, l;
  a.Read(Kind::Gif, ReadBytes("gif/87a.gif"));
  b.Read(Kind::Gif, ReadBytes("gif/transparent.gif"));
  f.params.GifImageIndex = 1;
  f.Read(Kind::Gif, ReadBytes("gif/frames3.gif"));
  l.Read(Kind::Gif, ReadBytes("gif/local.gif"), true);  // header only
  EXPECT_EQ(a.params.GifVersion + b.params.GifVersion, "GIF87aGIF89a");
  EXPECT_EQ(a.params.GifWinWidth * 100 + f.params.GifWinWidth, 2012);
  EXPECT_EQ(f.params.GifDelayTime, 20);
  // Colours are stored blue, green, red: the background is index 3 of the global table, the
  // transparent colour an entry of the table the image uses.
  EXPECT_EQ(a.params.GifBackground, (TRGB{159, 207, 48}));
  EXPECT_EQ(b.params.GifTranspColor, (TRGB{106, 223, 32}));
  EXPECT_EQ(l.params.GifTranspColor, (TRGB{155, 50, 200}));
  EXPECT_EQ(l.params.ColorMap[2], (TRGB{215, 20, 200}));
  EXPECT_EQ(l.bmp.Width() * 100 + l.params.Width, 9);
}

TEST(GifRead, NothingDecodedLeavesTheBitmap) {
  CodecRun beyond;  // an index past the last image: nothing to show, a failure
  beyond.bmp.SetSize(5, 5);
  beyond.params.GifImageIndex = 7;
  EXPECT_TRUE(beyond.Read(Kind::Gif, ReadBytes("gif/frames3.gif")).aborting);
  EXPECT_EQ(beyond.images * 10 + beyond.bmp.Width(), 35);

  CodecRun noHook;
  const TGifLzwDecompress saved = DefGifLzwDecompress;
  DefGifLzwDecompress = nullptr;
  noHook.params.GifLzwDecompress = nullptr;
  noHook.Read(Kind::Gif, ReadBytes("gif/87a.gif"));
  DefGifLzwDecompress = saved;
  EXPECT_TRUE(noHook.aborting);

  for (int at : {30, 70}) {
    CodecRun r;
    r.progress.fOnProgress = [&r, at](const void*, int per) { r.aborting = per == at; };
    EXPECT_TRUE(r.Read(Kind::Gif, ReadBytes("gif/87a.gif")).aborting && r.bmp.Width() == 0) << at;
  }
}

// ---- the LZW coder on its own

Bytes Encode(int w, int h, bool interlaced, int bits, const Bytes& px) {
  TMemoryStream out;
  EncodeGifLzw(out, h, w, interlaced, bits, px.data());
  return out.Bytes();
}

// Decodes into a picture of w x h; returns the stream position after it (0: rejected).
std::int64_t Decode(const Bytes& data, int w, int h, bool interlaced, Bytes& px) {
  TMemoryStream in(data.data(), data.size());
  DecodeGifLzw(in, h, w, interlaced, px.data());
  return in.Position();
}

TEST(GifLzw, ShortOrEmptyDataKeepsWhatWasDecoded) {
  Bytes px(40 * 40);
  std::iota(px.begin(), px.end(), 0);
  Bytes cut = Encode(40, 40, false, 8, px);
  cut.resize(cut.size() / 2);  // inside the sub-blocks: no terminator, no end code
  Bytes got(px.size(), 0);
  EXPECT_NE(Decode(cut, 40, 40, false, got), 0);
  EXPECT_TRUE(std::equal(px.begin(), px.begin() + 200, got.begin()));

  Bytes none(4, 9);
  EXPECT_EQ(Decode({8, 0}, 2, 2, false, none), 2);
  EXPECT_EQ(none[0], 9);
}

// A 2 x 2 picture whose data runs on for 32 MB: decoded, the stream at its end, and the data
// past what the picture can use is read past, not kept.
TEST(GifLzw, DataFarBeyondThePictureIsPassedOverWithoutKeepingIt) {
  const Bytes px = {1, 2, 3, 1};
  Bytes bytes = Encode(2, 2, false, 2, px);
  bytes.pop_back();                                   // terminator
  const std::uint8_t clears[3] = {0x24, 0x49, 0x92};  // 3-bit clear codes
  bytes.reserve(bytes.size() + (33u << 20));
  for (int i = 0; i < (32 << 20) / 256; ++i) {
    bytes.push_back(255);
    for (int j = 0; j < 255; ++j) bytes.push_back(clears[j % 3]);
  }
  bytes.push_back(0);
  bool decoded = false;
  const long growth = ChildPeakGrowthKb(
      [&] {
        Bytes got(4, 0);
        return Decode(bytes, 2, 2, false, got) == static_cast<std::int64_t>(bytes.size()) &&
               got == px;
      },
      decoded);
  EXPECT_TRUE(decoded);
  EXPECT_LT(growth, 8 * 1024) << "peak memory rose by " << growth << " KB";
}

}  // namespace
}  // namespace folivant::test
