#include <fstream>

#include "../common/pictures.h"

namespace folivant::test {
namespace {

// Every colour type and depth against the samples the fixture was written from (manifest
// rows: name, background R G B, 1-bit, bits per sample, samples per pixel, interlaced,
// tolerance, palette entries). Opaque pictures read the same on a white background.
TEST(PngRead, EveryFixtureOfTheManifest) {
  std::ifstream manifest(DataPath("png/manifest.txt"));
  int rows = 0;
  for (std::string line; std::getline(manifest, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    std::string name;
    int bg[3], oneBit, bits, samples, interlaced, tolerance, palette;
    in >> name >> bg[0] >> bg[1] >> bg[2] >> oneBit >> bits >> samples >> interlaced >> tolerance >>
        palette;
    const bool opaque = samples != 2 && samples != 4 && name.find("trns") == std::string::npos;
    for (int white = 0; white <= (opaque ? 1 : 0); ++white) {
      SCOPED_TRACE(name + (white ? " on white" : ""));
      ++rows;
      CodecRun r;
      r.params.PngBackground =
          white ? TRGB{255, 255, 255}
                : TRGB{static_cast<std::uint8_t>(bg[2]), static_cast<std::uint8_t>(bg[1]),
                       static_cast<std::uint8_t>(bg[0])};
      r.Read(Kind::Png, ReadBytes("png/" + name + ".png"));
      ASSERT_FALSE(r.aborting);
      EXPECT_EQ(r.bmp.PixelFormat(), oneBit ? TPixelFormat::pf1bit : TPixelFormat::pf24bit);
      EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm("png/" + name + ".ref.ppm"), tolerance));
      EXPECT_EQ(r.params.BitsPerSample * 10 + r.params.SamplesPerPixel, bits * 10 + samples);
      EXPECT_EQ(r.params.PngInterlaced, interlaced != 0);
      EXPECT_EQ(r.params.ColorMapCount * 1000 + std::ssize(r.params.ColorMap), palette * 1001);
      EXPECT_EQ(r.params.Width * 100 + r.params.Height, 1311);
      EXPECT_EQ(r.reports.size(), interlaced ? 22u : 11u);  // a report per row of each pass
      EXPECT_EQ(r.reports.back(), 100);
    }
  }
  EXPECT_GE(rows, 30);
}

TEST(PngRead, HeaderFields) {
  for (const char* file : {"rgba8-bkgd", "greyalpha8-bkgd", "grey2-trns-bkgd"}) {
    CodecRun r;  // the page colour handed in stays: a bKGD chunk does not replace it
    r.params.PngBackground = {1, 2, 3};
    r.Read(Kind::Png, ReadBytes(std::string("png/") + file + ".png"));
    EXPECT_EQ(r.params.PngBackground, (TRGB{1, 2, 3})) << file;
  }
  CodecRun pal;
  pal.Read(Kind::Png, ReadBytes("png/palette1-redblue.png"));
  EXPECT_EQ(pal.params.ColorMap, (std::vector<TRGB>{{0, 0, 255}, {255, 0, 0}}));
  CodecRun phys;  // 2835 and 3780 pixels a metre
  phys.Read(Kind::Png, ReadBytes("png/rgb8-phys.png"));
  EXPECT_EQ(phys.params.DpiX * 1000 + phys.params.DpiY, 72096);
  CodecRun none;  // header only; no pHYs: the display's resolution
  none.Read(Kind::Png, ReadBytes("png/rgb16.png"), true);
  EXPECT_TRUE(none.params.DpiX == ScreenDpi().X && none.bmp.Width() == 0 && none.reports.empty());
}

TEST(PngRead, SignatureTruncationCancelAndErrors) {
  const Bytes bad = ReadBytes("bad/png-bad-signature.png"), good = ReadBytes("png/rgb8.png");
  TMemoryStream b(bad.data(), bad.size()), g(good.data(), good.size());
  EXPECT_FALSE(IsPngStream(b));
  EXPECT_TRUE(IsPngStream(g));
  EXPECT_EQ(b.Position() + g.Position(), 0);

  CodecRun cut;
  cut.Read(Kind::Png, ReadBytes("png/truncated.png"));
  EXPECT_TRUE(cut.aborting);
  EXPECT_TRUE(MatchesPpm(cut.bmp, LoadPpm("png/truncated.ref.ppm"), 0, 4));

  CodecRun cancel;  // stops after the current row
  cancel.progress.fOnProgress = [&cancel](const void*, int per) {
    cancel.reports.push_back(per);
    cancel.aborting = cancel.reports.size() == 3;
  };
  cancel.Read(Kind::Png, ReadBytes("png/rgb8-adam7.png"));
  EXPECT_TRUE(cancel.aborting);
  EXPECT_EQ(cancel.reports.size(), 3u);

  CodecRun thrown;  // an exception from the progress handler ends the read as a failure
  thrown.progress.fOnProgress = [](const void*, int) { throw std::runtime_error("boom"); };
  EXPECT_NO_THROW(thrown.Read(Kind::Png, good));
  EXPECT_TRUE(thrown.aborting);
}

}  // namespace
}  // namespace folivant::test
