#include <numeric>

#include "codec_test_util.h"

namespace folivant::test {
namespace {

int ReadGif(CodecRun& r, const std::vector<std::uint8_t>& bytes, bool paramsOnly = false) {
  TMemoryStream s(bytes.data(), bytes.size());
  int count = -1;
  ReadGifStream(s, r.bmp, count, paramsOnly, r.progress, r.params);
  return count;
}

int ReadGifFixture(CodecRun& r, const std::string& name) {
  return ReadGif(r, ReadBytes(name));
}

TEST(GifRead, Version87aAnd89a) {
  for (const char* name : {"87a", "89a"}) {
    CodecRun r;
    EXPECT_EQ(ReadGifFixture(r, std::string("gif/") + name + ".gif"), 1);
    ASSERT_FALSE(r.aborting) << name;
    EXPECT_EQ(r.params.GifVersion, std::string("GIF") + name);
    EXPECT_EQ(r.bmp.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm("gif/pattern.ref.ppm"), 0)) << name;
    EXPECT_EQ(r.params.Width, 20);
    EXPECT_EQ(r.params.Height, 10);
    EXPECT_EQ(r.params.GifWinWidth, 20);
    EXPECT_EQ(r.params.BitsPerSample, 4);
    EXPECT_EQ(r.params.SamplesPerPixel, 1);
    EXPECT_EQ(r.params.ColorMapCount, 16);
    EXPECT_EQ(r.params.DpiX, ScreenDpi().X);
    EXPECT_EQ(r.reports, (std::vector<int>{0, 30, 70, 100}));
  }
  CodecRun r;
  ReadGifFixture(r, "gif/87a.gif");
  // Background index 3 of the global table, blue-green-red.
  EXPECT_EQ(r.params.GifBackground, (TRGB{static_cast<std::uint8_t>(3 * 53), 255 - 48, 48}));
}

// Fixtures that read to their reference exactly; only black-then-white gives a 1-bit bitmap.
TEST(GifRead, FixturesMatchTheirReferences) {
  const struct {
    const char *file, *ref;
    bool oneBit;
  } cases[] = {{"bw", "bw", true},
               {"wb", "wb", false},
               {"interlaced5", "interlaced5", false},  // rows 0, 4, 2, 1, 3
               {"transparent", "pattern", false},      // transparent pixels keep their colour
               {"deferred-clear", "deferred-clear", false},
               {"no-trailer", "pattern", false}};
  for (const auto& c : cases) {
    CodecRun r;
    EXPECT_EQ(ReadGifFixture(r, std::string("gif/") + c.file + ".gif"), 1) << c.file;
    ASSERT_FALSE(r.aborting) << c.file;
    EXPECT_EQ(r.bmp.PixelFormat(), c.oneBit ? TPixelFormat::pf1bit : TPixelFormat::pf24bit);
    EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm(std::string("gif/") + c.ref + ".ref.ppm"), 0)) << c.file;
    EXPECT_EQ(r.params.GifInterlaced, std::string(c.file) == "interlaced5");
    if (std::string(c.file) == "transparent") {
      EXPECT_TRUE(r.params.GifTransparent);
    }
  }
}

TEST(GifRead, SecondOfThreeFrames) {
  CodecRun r;
  r.params.GifImageIndex = 1;
  EXPECT_EQ(ReadGifFixture(r, "gif/frames3.gif"), 3);
  ASSERT_FALSE(r.aborting);
  EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm("gif/frames3.ref.ppm"), 0));
  EXPECT_EQ(r.params.GifDelayTime, 20);
  EXPECT_TRUE(r.params.GifTransparent);
  EXPECT_EQ(r.params.GifXPos, 2);
  EXPECT_EQ(r.params.GifYPos, 1);
  EXPECT_EQ(r.params.GifWinWidth, 12);
}

TEST(GifRead, IndexBeyondLastImageDecodesNothingAndFails) {
  CodecRun r;
  r.bmp.SetSize(5, 5);
  r.params.GifImageIndex = 7;
  EXPECT_EQ(ReadGifFixture(r, "gif/frames3.gif"), 3);
  EXPECT_TRUE(r.aborting);
  EXPECT_EQ(r.bmp.Width(), 5);
}

TEST(GifRead, LocalTableAndTransparency) {
  CodecRun r;
  ReadGifFixture(r, "gif/local.gif");
  ASSERT_FALSE(r.aborting);
  EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm("gif/local.ref.ppm"), 0));
  EXPECT_EQ(r.params.BitsPerSample, 3);
  EXPECT_EQ(r.params.ColorMapCount, 8);
  EXPECT_EQ(r.params.ColorMap[2], (TRGB{255 - 40, 20, 200}));
  EXPECT_TRUE(r.params.GifTransparent);
  EXPECT_EQ(r.params.GifTranspColor, (TRGB{255 - 100, 50, 200}));  // local entry 5
}

TEST(GifRead, ParamsOnlyFillsImageFields) {
  CodecRun r;
  r.bmp.SetSize(2, 3);
  ReadGif(r, ReadBytes("gif/local.gif"), true);
  EXPECT_FALSE(r.aborting);
  EXPECT_EQ(r.bmp.Width(), 2);
  EXPECT_EQ(r.params.Width, 9);
  EXPECT_EQ(r.params.ColorMapCount, 8);
}

TEST(GifRead, DecoderFailuresRejectTheImage) {
  for (const char* name : {"bad/gif-min-code-size-1.gif", "bad/gif-min-code-size-12.gif",
                           "bad/gif-code-above-next.gif", "bad/gif-end-after-clear.gif"}) {
    CodecRun r;
    r.bmp.SetSize(3, 3);
    ReadGifFixture(r, name);
    EXPECT_TRUE(r.aborting) << name;
    EXPECT_EQ(r.bmp.Width(), 3) << name;    // earlier content kept
    EXPECT_EQ(r.params.Width, 20) << name;  // image fields already filled
  }
}

TEST(GifRead, NoHookInstalledFails) {
  CodecRun r;
  const TGifLzwDecompress saved = DefGifLzwDecompress;
  DefGifLzwDecompress = nullptr;
  r.params.GifLzwDecompress = nullptr;
  ReadGifFixture(r, "gif/87a.gif");
  DefGifLzwDecompress = saved;
  EXPECT_TRUE(r.aborting);
  EXPECT_EQ(r.params.GifVersion, "GIF87a");
}

TEST(GifRead, CancelAt30Or70) {
  for (int at : {30, 70}) {
    CodecRun r;
    r.progress.fOnProgress = [&r, at](const void*, int per) {
      if (per == at) r.aborting = true;
    };
    ReadGifFixture(r, "gif/87a.gif");
    EXPECT_TRUE(r.aborting);
    EXPECT_EQ(r.bmp.Width(), 0) << at;
  }
}

TEST(GifRead, FileByName) {
  CodecRun r;
  int count = 0;
  ReadGifFile(DataPath("gif/87a.gif"), r.bmp, count, r.progress, r.params);
  EXPECT_EQ(count, 1);
  EXPECT_FALSE(r.aborting);
  EXPECT_THROW(ReadGifFile(DataPath("gif/missing.gif"), r.bmp, count, r.progress, r.params),
               EFileError);
}

TEST(GifRead, StrayBytesBetweenBlocksAreSkipped) {
  // 200 000 stray bytes before the image, read from a file.
  std::vector<std::uint8_t> bytes = ReadBytes("gif/87a.gif");
  const std::size_t descriptor = 13 + 16 * 3;
  ASSERT_EQ(bytes[descriptor], 0x2C);
  bytes.insert(bytes.begin() + descriptor, 200000, 0x00);
  TempDir dir;
  WriteFile(dir / "stray.gif", std::string(bytes.begin(), bytes.end()));
  CodecRun r;
  int count = 0;
  ReadGifFile(dir / "stray.gif", r.bmp, count, r.progress, r.params);
  EXPECT_FALSE(r.aborting);
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm("gif/pattern.ref.ppm"), 0));
}

// ---- the LZW coder on its own

std::vector<std::uint8_t> EncodeToBytes(int w, int h, bool interlaced, int bits,
                                        const std::vector<std::uint8_t>& px) {
  TMemoryStream out;
  EncodeGifLzw(out, h, w, interlaced, bits, px.data());
  return out.Bytes();
}

TEST(GifLzw, EncodeDecodeRoundTrip) {
  // Long runs (long strings), noise (table fills and clears), both orders.
  const int w = 300, h = 120;
  std::vector<std::uint8_t> px(w * h);
  std::uint32_t seed = 1;
  for (int i = 0; i < w * h; ++i) {
    seed = seed * 1103515245u + 12345u;
    px[i] = static_cast<std::uint8_t>(i < w * h / 2 ? (i / 97) % 256 : (seed >> 16) % 256);
  }
  for (bool interlaced : {false, true}) {
    const std::vector<std::uint8_t> bytes = EncodeToBytes(w, h, interlaced, 8, px);
    TMemoryStream in(bytes.data(), bytes.size());
    std::vector<std::uint8_t> got(w * h, 0xEE);
    DecodeGifLzw(in, h, w, interlaced, got.data());
    EXPECT_EQ(in.Position(), static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(got, px) << interlaced;
  }
  for (int bits : {1, 2, 4}) {
    std::vector<std::uint8_t> small(64 * 3);
    for (std::size_t i = 0; i < small.size(); ++i)
      small[i] = static_cast<std::uint8_t>((i * 7 / 5) % (1u << bits));
    const std::vector<std::uint8_t> bytes = EncodeToBytes(64, 3, false, bits, small);
    TMemoryStream in(bytes.data(), bytes.size());
    std::vector<std::uint8_t> got(small.size());
    DecodeGifLzw(in, 3, 64, false, got.data());
    EXPECT_EQ(got, small) << bits;
  }
}

TEST(GifLzw, ShortDataKeepsWhatWasDecoded) {
  std::vector<std::uint8_t> px(40 * 40);
  std::iota(px.begin(), px.end(), 0);
  std::vector<std::uint8_t> bytes = EncodeToBytes(40, 40, false, 8, px);
  bytes.resize(bytes.size() / 2);  // cut inside the sub-blocks: no terminator, no end code
  TMemoryStream in(bytes.data(), bytes.size());
  std::vector<std::uint8_t> got(px.size(), 0);
  DecodeGifLzw(in, 40, 40, false, got.data());
  EXPECT_NE(in.Position(), 0);  // success
  EXPECT_TRUE(std::equal(px.begin(), px.begin() + 200, got.begin()));
}

TEST(GifLzw, DataFarBeyondThePictureIsPassedOver) {
  // A 2 x 2 picture whose data runs on for 300 000 more bytes: decoded, stream at the end.
  std::vector<std::uint8_t> px = {1, 2, 3, 1};
  std::vector<std::uint8_t> bytes = EncodeToBytes(2, 2, false, 2, px);
  bytes.pop_back();                                   // terminator
  const std::uint8_t clears[3] = {0x24, 0x49, 0x92};  // 3-bit clear codes
  for (int i = 0; i < 300000 / 255; ++i) {
    bytes.push_back(255);
    for (int j = 0; j < 255; ++j) bytes.push_back(clears[j % 3]);
  }
  bytes.push_back(0);
  TMemoryStream in(bytes.data(), bytes.size());
  std::vector<std::uint8_t> got(4, 0);
  DecodeGifLzw(in, 2, 2, false, got.data());
  EXPECT_EQ(in.Position(), static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(got, px);
}

TEST(GifLzw, EmptyDataIsSuccessWithoutPixels) {
  const std::uint8_t bytes[] = {8, 0};
  TMemoryStream in(bytes, sizeof bytes);
  std::uint8_t px[4] = {9, 9, 9, 9};
  DecodeGifLzw(in, 2, 2, false, px);
  EXPECT_EQ(in.Position(), 2);
  EXPECT_EQ(px[0], 9);
}

}  // namespace
}  // namespace folivant::test
