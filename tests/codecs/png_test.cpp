#include <fstream>

#include "codec_test_util.h"

namespace folivant::test {
namespace {

void ReadPng(CodecRun& r, const std::vector<std::uint8_t>& bytes, bool paramsOnly = false) {
  TMemoryStream s(bytes.data(), bytes.size());
  ReadPngStream(s, r.bmp, r.params, paramsOnly, r.progress);
}

struct PngCase {
  std::string name;
  int bg[3];
  bool oneBit;
  int bits, samples;
  bool interlaced;
  int tolerance, paletteCount;
};

std::vector<PngCase> LoadManifest() {
  std::ifstream f(DataPath("png/manifest.txt"));
  std::vector<PngCase> cases;
  std::string line;
  while (std::getline(f, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    PngCase c;
    int oneBit = 0, interlaced = 0;
    in >> c.name >> c.bg[0] >> c.bg[1] >> c.bg[2] >> oneBit >> c.bits >> c.samples >> interlaced >>
        c.tolerance >> c.paletteCount;
    c.oneBit = oneBit != 0;
    c.interlaced = interlaced != 0;
    cases.push_back(c);
  }
  return cases;
}

// Every colour type and depth, against the samples the fixture was written from.
TEST(PngRead, EveryFixtureOfTheManifest) {
  const std::vector<PngCase> cases = LoadManifest();
  ASSERT_GE(cases.size(), 20u);
  for (const PngCase& c : cases) {
    SCOPED_TRACE(c.name);
    CodecRun r;
    r.params.PngBackground =
        TRGB{static_cast<std::uint8_t>(c.bg[2]), static_cast<std::uint8_t>(c.bg[1]),
             static_cast<std::uint8_t>(c.bg[0])};
    ReadPng(r, ReadBytes("png/" + c.name + ".png"));
    ASSERT_FALSE(r.aborting);
    EXPECT_EQ(r.bmp.PixelFormat(), c.oneBit ? TPixelFormat::pf1bit : TPixelFormat::pf24bit);
    EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm("png/" + c.name + ".ref.ppm"), c.tolerance));
    EXPECT_EQ(r.params.BitsPerSample, c.bits);
    EXPECT_EQ(r.params.SamplesPerPixel, c.samples);
    EXPECT_EQ(r.params.PngInterlaced, c.interlaced);
    EXPECT_EQ(r.params.ColorMapCount, c.paletteCount);
    EXPECT_EQ(r.params.ColorMap.size(), static_cast<std::size_t>(c.paletteCount));
    EXPECT_EQ(r.params.Width, 13);
    EXPECT_EQ(r.params.Height, 11);
    const std::size_t units = static_cast<std::size_t>(11) * (c.interlaced ? 7 : 1);
    EXPECT_EQ(r.reports.size(), units);
    EXPECT_EQ(r.reports.back(), 100);
  }
}

TEST(PngRead, BackgroundLeavesOpaquePicturesAlone) {
  for (const char* name : {"grey1", "palette1-bw", "grey2", "rgb8", "palette4"}) {
    CodecRun r;
    r.params.PngBackground = TRGB{255, 255, 255};
    ReadPng(r, ReadBytes(std::string("png/") + name + ".png"));
    EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm(std::string("png/") + name + ".ref.ppm"), 0)) << name;
  }
}

TEST(PngRead, BackgroundFromBkgdIsReportedBack) {
  CodecRun r;
  r.params.PngBackground = TRGB{1, 2, 3};
  ReadPng(r, ReadBytes("png/rgba8-bkgd.png"));
  EXPECT_EQ(r.params.PngBackground, (TRGB{30, 200, 10}));
  CodecRun g;
  ReadPng(g, ReadBytes("png/greyalpha8-bkgd.png"));
  EXPECT_EQ(g.params.PngBackground, (TRGB{90, 90, 90}));
  CodecRun none;  // no bKGD: the colour given stays
  none.params.PngBackground = TRGB{1, 2, 3};
  ReadPng(none, ReadBytes("png/rgba8.png"));
  EXPECT_EQ(none.params.PngBackground, (TRGB{1, 2, 3}));
}

TEST(PngRead, PaletteToColorMap) {
  CodecRun r;
  ReadPng(r, ReadBytes("png/palette1-redblue.png"));
  ASSERT_EQ(r.params.ColorMapCount, 2);
  EXPECT_EQ(r.params.ColorMap[0], (TRGB{0, 0, 255}));
  EXPECT_EQ(r.params.ColorMap[1], (TRGB{255, 0, 0}));
}

TEST(PngRead, Resolution) {
  CodecRun r;
  ReadPng(r, ReadBytes("png/rgb8-phys.png"));
  EXPECT_EQ(r.params.DpiX, 72);  // 2835 pixels a metre
  EXPECT_EQ(r.params.DpiY, 96);  // 3780
  CodecRun none;
  ReadPng(none, ReadBytes("png/rgb8.png"));
  EXPECT_EQ(none.params.DpiX, ScreenDpi().X);
}

TEST(PngRead, ParamsOnly) {
  CodecRun r;
  r.bmp.SetSize(2, 2);
  ReadPng(r, ReadBytes("png/rgb16.png"), true);
  EXPECT_FALSE(r.aborting);
  EXPECT_EQ(r.bmp.Width(), 2);
  EXPECT_EQ(r.params.Width, 13);
  EXPECT_EQ(r.params.BitsPerSample, 16);
  EXPECT_TRUE(r.reports.empty());
}

TEST(PngRead, BadSignature) {
  const std::vector<std::uint8_t> bytes = ReadBytes("bad/png-bad-signature.png");
  TMemoryStream s(bytes.data(), bytes.size());
  EXPECT_FALSE(IsPngStream(s));
  EXPECT_EQ(s.Position(), 0);
  CodecRun r;
  r.bmp.SetSize(4, 1);
  ReadPng(r, bytes);
  EXPECT_TRUE(r.aborting);
  EXPECT_EQ(r.bmp.Width(), 4);
  const std::vector<std::uint8_t> good = ReadBytes("png/rgb8.png");
  TMemoryStream g(good.data(), good.size());
  EXPECT_TRUE(IsPngStream(g));
  EXPECT_EQ(g.Position(), 0);
}

TEST(PngRead, TruncatedInImageDataKeepsEarlierRows) {
  CodecRun r;
  ReadPng(r, ReadBytes("png/truncated.png"));
  EXPECT_TRUE(r.aborting);
  EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm("png/truncated.ref.ppm"), 0, 4));
}

TEST(PngRead, CancelStopsAfterTheCurrentRow) {
  CodecRun r;
  r.progress.fOnProgress = [&r](const void*, int) {
    r.reports.push_back(0);
    if (r.reports.size() == 3) r.aborting = true;
  };
  ReadPng(r, ReadBytes("png/rgb8-adam7.png"));
  EXPECT_TRUE(r.aborting);
  EXPECT_EQ(r.reports.size(), 3u);
}

TEST(PngRead, ExceptionFromProgressEndsTheReadAsFailure) {
  CodecRun r;
  r.progress.fOnProgress = [](const void*, int) { throw std::runtime_error("boom"); };
  EXPECT_NO_THROW(ReadPng(r, ReadBytes("png/rgb8.png")));
  EXPECT_TRUE(r.aborting);
}

}  // namespace
}  // namespace folivant::test
