#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "codec_test_util.h"

namespace folivant::test {
namespace {

void ReadJpeg(CodecRun& r, const std::vector<std::uint8_t>& bytes, bool paramsOnly = false) {
  TMemoryStream s(bytes.data(), bytes.size());
  ReadJpegStream(s, r.bmp, r.params, paramsOnly, r.progress);
}

void ReadJpegFixture(CodecRun& r, const std::string& name) {
  ReadJpeg(r, ReadBytes("jpeg/" + name));
}

// The fixture decodes to djpeg's reference exactly: same library, same decoder settings.
class JpegReference : public ::testing::TestWithParam<const char*> {};

TEST_P(JpegReference, MatchesDjpegDecode) {
  const std::string name = GetParam();
  CodecRun r;
  ReadJpegFixture(r, name + ".jpg");
  ASSERT_FALSE(r.aborting);
  EXPECT_EQ(r.bmp.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm("jpeg/" + name + ".ref.ppm"), 0));
  EXPECT_EQ(r.params.Width, r.bmp.Width());
  EXPECT_EQ(r.params.Height, r.bmp.Height());
  EXPECT_EQ(r.params.BitsPerSample, 8);
  EXPECT_EQ(r.params.SamplesPerPixel, 3);
  EXPECT_EQ(r.params.JpegProgressive, name == "progressive");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, JpegReference,
                         ::testing::Values("grey", "ycc420", "ycc444", "rgb", "progressive",
                                           "restart"));

TEST(JpegRead, ColourSpaceCodes) {
  const std::pair<const char*, int> cases[] = {
      {"grey.jpg", 1}, {"ycc420.jpg", 2}, {"rgb.jpg", 0}, {"cmyk.jpg", 3}};
  for (const auto& [file, code] : cases) {
    CodecRun r;
    r.params.JpegColorSpace = 9;
    ReadJpegFixture(r, file);
    EXPECT_FALSE(r.aborting) << file;
    EXPECT_EQ(r.params.JpegColorSpace, code) << file;
  }
}

TEST(JpegRead, DctMethods) {
  const std::pair<int, const char*> cases[] = {{0, "jpeg/ycc444.ref.ppm"},
                                               {1, "jpeg/ycc444.fast.ref.ppm"},
                                               {2, "jpeg/ycc444.float.ref.ppm"}};
  for (const auto& [method, ref] : cases) {
    CodecRun r;
    r.params.JpegDctMethod = static_cast<std::uint8_t>(method);
    ReadJpegFixture(r, "ycc444.jpg");
    EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm(ref), 0)) << method;
  }
}

TEST(JpegRead, CmykWhiteBlackAndInks) {
  CodecRun r;
  ReadJpegFixture(r, "cmyk.jpg");
  ASSERT_FALSE(r.aborting);
  EXPECT_TRUE(MatchesPpm(r.bmp, LoadPpm("jpeg/cmyk.ref.ppm"), 1));
  int px[3];
  PixelRgb(r.bmp, 0, 0, px);  // no ink
  EXPECT_EQ(px[0] + px[1] + px[2], 3 * 255);
  PixelRgb(r.bmp, 8, 0, px);  // full black
  EXPECT_EQ(px[0] + px[1] + px[2], 0);
}

TEST(JpegRead, Density) {
  CodecRun inch;
  ReadJpegFixture(inch, "density-inch.jpg");
  EXPECT_EQ(inch.params.DpiX, 300);
  EXPECT_EQ(inch.params.DpiY, 150);
  CodecRun cm;
  ReadJpegFixture(cm, "density-cm.jpg");
  EXPECT_EQ(cm.params.DpiX, 254);
  EXPECT_EQ(cm.params.DpiY, 127);
  CodecRun unit0;  // cjpeg writes unit 0 with an aspect ratio of 1:1
  ReadJpegFixture(unit0, "grey.jpg");
  EXPECT_EQ(unit0.params.DpiX, 1);
  EXPECT_EQ(unit0.params.DpiY, 1);
}

TEST(JpegRead, ScaleCodesAndAutomatic) {
  const std::pair<int, int> cases[] = {{1, 64}, {2, 32}, {3, 16}, {4, 8}};
  for (const auto& [code, width] : cases) {
    CodecRun r;
    r.params.JpegScale = static_cast<std::uint8_t>(code);
    ReadJpegFixture(r, "scale64x48.jpg");
    EXPECT_EQ(r.bmp.Width(), width) << code;
    EXPECT_EQ(r.params.Width, width);
  }
  CodecRun autoQuarter;
  autoQuarter.params.JpegScale = 0;
  autoQuarter.params.Width = 16;
  autoQuarter.params.Height = 12;
  ReadJpegFixture(autoQuarter, "scale64x48.jpg");
  EXPECT_EQ(autoQuarter.bmp.Width(), 16);
  EXPECT_EQ(autoQuarter.bmp.Height(), 12);
  CodecRun autoNone;
  autoNone.params.JpegScale = 0;  // requested area 0: full size
  ReadJpegFixture(autoNone, "scale64x48.jpg");
  EXPECT_EQ(autoNone.bmp.Width(), 64);
}

TEST(JpegRead, ParamsOnlyLeavesBitmap) {
  CodecRun p;
  p.bmp.SetSize(3, 2);
  ReadJpeg(p, ReadBytes("jpeg/progressive.jpg"), true);
  EXPECT_FALSE(p.aborting);
  EXPECT_EQ(p.bmp.Width(), 3);
  EXPECT_EQ(p.params.Width, 32);
  EXPECT_EQ(p.params.Height, 24);
  EXPECT_TRUE(p.params.JpegProgressive);
  EXPECT_TRUE(p.reports.empty());
}

TEST(JpegRead, NotAJpeg) {
  CodecRun r;
  r.bmp.SetSize(2, 2);
  r.params.Width = 77;
  const std::vector<std::uint8_t> comment = ReadBytes("bad/jpeg-comment-start.jpg");
  TMemoryStream s(comment.data(), comment.size());
  EXPECT_FALSE(IsJpegStream(s));
  EXPECT_EQ(s.Position(), 0);
  ReadJpeg(r, comment);
  EXPECT_TRUE(r.aborting);
  EXPECT_EQ(r.bmp.Width(), 2);
  EXPECT_EQ(r.params.Width, 77);
}

TEST(JpegRead, TruncatedKeepsRowsBeforeTheBreak) {
  CodecRun r;
  ReadJpegFixture(r, "truncated.jpg");
  EXPECT_FALSE(r.aborting);  // premature end is a warning
  const Ppm ref = LoadPpm("jpeg/truncated.ref.ppm");
  EXPECT_TRUE(MatchesPpm(r.bmp, ref, 0, 16));
}

TEST(JpegRead, ProgressPerRowAndCancel) {
  CodecRun r;
  ReadJpegFixture(r, "ycc444.jpg");
  ASSERT_EQ(r.reports.size(), 24u);
  EXPECT_EQ(r.reports.back(), 100);

  CodecRun c;
  c.progress.fOnProgress = [&c](const void*, int per) {
    c.reports.push_back(per);
    if (per >= 50) c.aborting = true;
  };
  ReadJpegFixture(c, "ycc444.jpg");
  EXPECT_TRUE(c.aborting);
  EXPECT_EQ(c.reports.size(), 12u);
}

TEST(JpegRead, ProgressExceptionReachesCallerAfterCleanUp) {
  CodecRun r;
  r.progress.fOnProgress = [](const void*, int) { throw std::runtime_error("stop"); };
  EXPECT_THROW(ReadJpegFixture(r, "ycc420.jpg"), std::runtime_error);
}

// ---- writer

TBitmap Pattern(int w, int h) {
  TBitmap b;
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x < w / 2 ? 200 : 20);  // blue left
      p[1] = static_cast<std::uint8_t>(y * 255 / (h - 1));
      p[2] = static_cast<std::uint8_t>(x < w / 2 ? 30 : 220);  // red right
    }
  return b;
}

std::vector<std::uint8_t> Write(const TBitmap& bmp, int colorSpace, bool progressive,
                                int quality = 95) {
  CodecRun r;
  r.params.JpegColorSpace = static_cast<std::uint8_t>(colorSpace);
  r.params.JpegProgressive = progressive;
  r.params.JpegQuality = quality;
  r.params.DpiX = 300;
  r.params.DpiY = 200;
  TMemoryStream out;
  WriteJpegStream(out, bmp, r.params, r.progress);
  EXPECT_FALSE(r.aborting);
  EXPECT_EQ(r.reports.size(), static_cast<std::size_t>(bmp.Height()));
  return out.Bytes();
}

// What libjpeg itself says about a file.
struct Header {
  J_COLOR_SPACE space;
  int components;
  bool jfif, adobe, progressive;
  int hSamp[3];
};

Header Inspect(const std::vector<std::uint8_t>& bytes) {
  jpeg_decompress_struct ci{};
  jpeg_error_mgr err{};
  ci.err = jpeg_std_error(&err);
  jpeg_create_decompress(&ci);
  jpeg_mem_src(&ci, bytes.data(), bytes.size());
  jpeg_read_header(&ci, TRUE);
  Header h{ci.jpeg_color_space,      ci.num_components,        ci.saw_JFIF_marker != 0,
           ci.saw_Adobe_marker != 0, ci.progressive_mode != 0, {}};
  for (int i = 0; i < ci.num_components && i < 3; ++i) h.hSamp[i] = ci.comp_info[i].h_samp_factor;
  jpeg_destroy_decompress(&ci);
  return h;
}

// Away from the colour edge in the middle, where subsampled chroma bleeds.
void ExpectClose(const TBitmap& a, const TBitmap& b, int tolerance) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  int worst = 0;
  const int mid = a.Width() / 2;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      if (std::abs(x - mid) <= 4) continue;
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(a.ScanLine(y)[3 * x + c] - b.ScanLine(y)[3 * x + c]));
    }
  EXPECT_LE(worst, tolerance);
}

// RGB (Adobe marker, no subsampling), YCbCr (JFIF, density kept), progressive.
TEST(JpegWrite, RoundTrips) {
  const TBitmap src = Pattern(40, 24);
  const struct {
    int space;
    bool progressive;
    J_COLOR_SPACE libSpace;
  } cases[] = {{0, false, JCS_RGB}, {2, false, JCS_YCbCr}, {2, true, JCS_YCbCr}};
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> bytes = Write(src, c.space, c.progressive);
    const Header h = Inspect(bytes);
    EXPECT_EQ(h.space, c.libSpace);
    EXPECT_EQ(h.adobe, c.space == 0);
    EXPECT_EQ(h.jfif, c.space != 0);
    EXPECT_EQ(h.progressive, c.progressive);
    if (c.space == 0) {
      EXPECT_EQ(h.hSamp[0] + h.hSamp[1], 2);
    }
    CodecRun r;
    ReadJpeg(r, bytes);
    EXPECT_EQ(r.params.JpegColorSpace, c.space);
    EXPECT_EQ(r.params.JpegProgressive, c.progressive);
    if (c.space != 0) {
      EXPECT_EQ(r.params.DpiX * 1000 + r.params.DpiY, 300200);
    }
    ExpectClose(r.bmp, src, 12);
    EXPECT_GT(r.bmp.ScanLine(5)[0], 150);           // blue on the left
    EXPECT_GT(r.bmp.ScanLine(5)[3 * 39 + 2], 150);  // red on the right
  }
}

TEST(JpegWrite, GreyAndCmyk) {
  const TBitmap src = Pattern(16, 16);
  CodecRun g;
  ReadJpeg(g, Write(src, 1, false));
  EXPECT_EQ(g.params.JpegColorSpace, 1);
  const std::uint8_t* p = g.bmp.ScanLine(3);
  EXPECT_EQ(p[0], p[1]);
  EXPECT_EQ(p[1], p[2]);
  CodecRun c;
  ReadJpeg(c, Write(src, 3, false, 100));
  EXPECT_EQ(c.params.JpegColorSpace, 3);
  ExpectClose(c.bmp, src, 6);
}

TEST(JpegWrite, OneBitFromTemporaryCopy) {
  TBitmap bw;
  bw.SetPixelFormat(TPixelFormat::pf1bit);
  bw.SetSize(21, 9);
  for (int y = 0; y < 9; ++y) bw.ScanLine(y)[0] = 0xF0;  // four white pixels on the left
  const std::vector<std::uint8_t> bytes = Write(bw, 2, false, 100);
  EXPECT_EQ(bw.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(Inspect(bytes).components, 3);
  CodecRun r;
  ReadJpeg(r, bytes);
  ASSERT_EQ(r.bmp.Width(), 21);
  EXPECT_GT(r.bmp.ScanLine(4)[0], 230);
  EXPECT_LT(r.bmp.ScanLine(4)[3 * 12], 25);
}

TEST(JpegWrite, OptimalHuffmanAndSmoothingAreApplied) {
  const TBitmap src = Pattern(64, 64);
  auto write = [&src](bool optimal, int smoothing) {
    CodecRun r;
    r.params.JpegOptimalHuffman = optimal;
    r.params.JpegSmoothing = smoothing;
    TMemoryStream out;
    WriteJpegStream(out, src, r.params, r.progress);
    EXPECT_FALSE(r.aborting);
    return out.Bytes();
  };
  const std::vector<std::uint8_t> plain = write(false, 0);
  EXPECT_LT(write(true, 0).size(), plain.size());
  EXPECT_NE(write(false, 50), plain);
  EXPECT_EQ(write(false, 0), plain);  // deterministic
}

TEST(JpegWrite, EmptyBitmapAborts) {
  CodecRun r;
  TMemoryStream out;
  WriteJpegStream(out, TBitmap{}, r.params, r.progress);
  EXPECT_TRUE(r.aborting);
}

TEST(JpegWrite, CancelStopsEarly) {
  CodecRun r;
  r.progress.fOnProgress = [&r](const void*, int) { r.aborting = true; };
  TMemoryStream out;
  WriteJpegStream(out, Pattern(16, 64), r.params, r.progress);
  EXPECT_TRUE(r.aborting);
}

// A stream whose writes fail: the error reaches the caller after the codec is destroyed.
class FailingStream : public TMemoryStream {
 public:
  void Write(const void*, std::size_t) override { throw EFileError("disk full"); }
};

TEST(JpegWrite, StreamErrorReachesCaller) {
  CodecRun r;
  FailingStream out;
  EXPECT_THROW(WriteJpegStream(out, Pattern(64, 64), r.params, r.progress), EFileError);
  EXPECT_TRUE(r.aborting);
}

}  // namespace
}  // namespace folivant::test
