#include "../common/pictures.h"

namespace folivant::test {
namespace {

// Every fixture decodes to djpeg's reference (same library, same settings) and reports one
// progress step a row.
TEST(JpegRead, FixturesMatchTheirReferences) {
  const struct {
    const char *file, *ref;
    int dct, space, tolerance;
    // clang-format off
  } cases[] = {{"grey", "grey", 0, 1, 0}, {"ycc420", "ycc420", 0, 2, 0}, {"ycc444", "ycc444", 0, 2, 0},
               {"ycc444", "ycc444.fast", 1, 2, 0}, {"ycc444", "ycc444.float", 2, 2, 0},
               {"rgb", "rgb", 0, 0, 0}, {"progressive", "progressive", 0, 2, 0},
               {"restart", "restart", 0, 2, 0}, {"cmyk", "cmyk", 0, 3, 1},
               {"error-after-last-row", "ycc444", 0, 2, 0}};  // a good picture all the same
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " read as " + c.ref);
    CodecRun r;
    r.params.JpegDctMethod = static_cast<std::uint8_t>(c.dct);
    r.Read(Kind::Jpeg, ReadBytes(std::string("jpeg/") + c.file + ".jpg"));
    ASSERT_FALSE(r.aborting);
    EXPECT_EQ(r.bmp.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm(std::string("jpeg/") + c.ref + ".ref.ppm"), c.tolerance));
    EXPECT_EQ(r.params.Width * 10000 + r.params.Height, r.bmp.Width() * 10000 + r.bmp.Height());
    EXPECT_EQ(r.params.BitsPerSample * 10 + r.params.SamplesPerPixel, 83);
    EXPECT_EQ(r.params.JpegColorSpace, c.space);
    EXPECT_EQ(r.params.JpegProgressive, std::string(c.file) == "progressive");
    EXPECT_EQ(r.reports.size() * 1000 + r.reports.back(), r.bmp.Height() * 1000u + 100);
  }
}

TEST(JpegRead, DensityAndScale) {
  const std::pair<const char*, int> densities[] = {
      {"density-inch", 300150}, {"density-cm", 254127}, {"grey", 1001}};
  for (const auto& [file, dpi] : densities) {
    CodecRun r;
    r.Read(Kind::Jpeg, ReadBytes(std::string("jpeg/") + file + ".jpg"));
    EXPECT_EQ(r.params.DpiX * 1000 + r.params.DpiY, dpi) << file;
  }
  // {JpegScale, requested width and height (for the automatic scale), width read}
  const int scales[][4] = {{1, 0, 0, 64}, {2, 0, 0, 32},   {3, 0, 0, 16},
                           {4, 0, 0, 8},  {0, 16, 12, 16}, {0, 0, 0, 64}};
  for (const auto& s : scales) {
    CodecRun r;
    r.params.JpegScale = static_cast<std::uint8_t>(s[0]);
    r.params.Width = s[1];
    r.params.Height = s[2];
    r.Read(Kind::Jpeg, ReadBytes("jpeg/scale64x48.jpg"));
    EXPECT_EQ(r.bmp.Width() * 1000 + r.bmp.Height() * 4 / 3, s[3] * 1001) << "scale " << s[0];
    EXPECT_EQ(r.params.Width, s[3]);
  }
}

TEST(JpegRead, TruncationCancelAndErrors) {
  CodecRun cut;  // a premature end is a warning: the rows before the break are kept
  EXPECT_FALSE(cut.Read(Kind::Jpeg, ReadBytes("jpeg/truncated.jpg")).aborting);
  EXPECT_TRUE(MatchesPpm(cut.bmp, LoadPpm("jpeg/truncated.ref.ppm"), 0, 16));

  CodecRun c;  // cancelled half-way over the same picture read whole: the rest is blank
  c.Read(Kind::Jpeg, ReadBytes("jpeg/ycc444.jpg")).reports.clear();
  c.progress.fOnProgress = [&c](const void*, int per) {
    c.reports.push_back(per);
    c.aborting = per >= 50;
  };
  EXPECT_TRUE(c.Read(Kind::Jpeg, ReadBytes("jpeg/ycc444.jpg")).aborting);
  EXPECT_EQ(c.reports.size(), 12u);
  const std::uint8_t* last = c.bmp.ScanLine(c.bmp.Height() - 1);
  EXPECT_EQ(std::count(last, last + 3 * c.bmp.Width(), 0), 3 * c.bmp.Width());

  CodecRun t;  // thrown by the progress handler: reaches the caller after clean-up
  t.progress.fOnProgress = [](const void*, int) { throw std::runtime_error("stop"); };
  EXPECT_THROW(t.Read(Kind::Jpeg, ReadBytes("jpeg/ycc420.jpg")), std::runtime_error);
}

// ---- writer

// Blue on the left half, red on the right, green rising downwards.
TBitmap Pattern(int w, int h) {
  TBitmap b;
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x < w / 2 ? 200 : 20);
      p[1] = static_cast<std::uint8_t>(y * 255 / (h - 1));
      p[2] = static_cast<std::uint8_t>(x < w / 2 ? 30 : 220);
    }
  return b;
}

// What the file's bytes say about a written file, read back by our reader
// (compared away from the colour edge in the middle, where subsampled chroma bleeds).
TEST(JpegWrite, RoundTripsInEveryColourSpace) {
  const TBitmap src = Pattern(40, 24);
  TBitmap oneBit;
  oneBit.SetPixelFormat(TPixelFormat::pf1bit);
  oneBit.SetSize(40, 24);
  for (int y = 0; y < 24; ++y) oneBit.ScanLine(y)[0] = 0xF0;  // four white pixels on the left
  const struct {
    int space;
    bool progressive, oneBit;
    int tolerance;
  } cases[] = {{0, false, false, 12},  {2, false, false, 12}, {2, true, false, 12},
               {1, false, false, 255}, {3, false, false, 6},  {2, false, true, 255}};
  for (const auto& c : cases) {
    SCOPED_TRACE("colour space " + std::to_string(c.space) + (c.oneBit ? " from 1-bit" : ""));
    CodecRun w;
    w.params.JpegColorSpace = static_cast<std::uint8_t>(c.space);
    w.params.JpegProgressive = c.progressive;
    w.params.JpegQuality = 100;
    w.params.DpiX = 300;
    w.params.DpiY = 200;
    TMemoryStream out;
    WriteJpegStream(out, c.oneBit ? oneBit : src, w.params, w.progress);
    EXPECT_FALSE(w.aborting);
    EXPECT_EQ(w.reports.size(), 24u);
    EXPECT_EQ(oneBit.PixelFormat(), TPixelFormat::pf1bit);  // written from a copy
    const Bytes& bytes = out.Bytes();
    // JFIF (grey and YCbCr only) in the bytes: "JFIF\0", version, unit 1 (inch), 300 x 200.
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t jfif = text.find(std::string("JFIF\0", 5));
    ASSERT_EQ(jfif != std::string::npos, c.space == 1 || c.space == 2);
    EXPECT_TRUE(jfif == std::string::npos ||
                text.substr(jfif + 7, 5) == std::string("\x01\x01\x2C\x00\xC8", 5));
    // An Adobe marker for RGB and CMYK; a progressive frame header (no other place holds its
    // marker: 0xFF in coded data is followed by 0).
    EXPECT_EQ(text.find("Adobe") != std::string::npos, c.space == 0 || c.space == 3);
    EXPECT_EQ(text.find("\xFF\xC2") != std::string::npos, c.progressive);
    CodecRun r;
    r.Read(Kind::Jpeg, bytes);
    EXPECT_EQ(r.params.JpegColorSpace * 10 + r.params.JpegProgressive,
              c.space * 10 + c.progressive);
    int worst = 0;
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 40 && c.tolerance < 255; ++x)
        for (int k = 0; k < 3 && std::abs(x - 20) > 4; ++k)
          worst =
              std::max(worst, std::abs(r.bmp.ScanLine(y)[3 * x + k] - src.ScanLine(y)[3 * x + k]));
    EXPECT_LE(worst, c.tolerance);
    EXPECT_TRUE(c.space != 1 || r.bmp.ScanLine(3)[0] == r.bmp.ScanLine(3)[2]);
    EXPECT_TRUE(!c.oneBit || (r.bmp.ScanLine(4)[0] > 230 && r.bmp.ScanLine(4)[36] < 25));
  }
}

// A stream whose writes fail.
class FailingStream : public TMemoryStream {
 public:
  void Write(const void*, std::size_t) override { throw EFileError("disk full"); }
};

TEST(JpegWrite, FailuresAbort) {
  CodecRun cancel, full;
  cancel.progress.fOnProgress = [&cancel](const void*, int) { cancel.aborting = true; };
  TMemoryStream out;
  WriteJpegStream(out, Pattern(16, 64), cancel.params, cancel.progress);
  FailingStream failing;  // its error reaches the caller after the codec is destroyed
  EXPECT_THROW(WriteJpegStream(failing, Pattern(64, 64), full.params, full.progress), EFileError);
  EXPECT_TRUE(cancel.aborting && full.aborting);
}

}  // namespace
}  // namespace folivant::test
