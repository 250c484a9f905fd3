// The HEIF, AVIF, WebP and TIFF readers against their libraries' own decodes, the orientation
// and colour profile every reader reports, and the profile carried into a written JPEG.
#include <array>
#include <string_view>

#include "codec_test_util.h"
#include "codecs/picture_facts.h"

namespace folivant::test {
namespace {

using ReadFn = void (*)(TStream&, TBitmap&, TIOParamsVals&, bool, TProgressRec&);

void Read(CodecRun& r, ReadFn read, const std::vector<std::uint8_t>& bytes,
          bool paramsOnly = false) {
  TMemoryStream s(bytes.data(), bytes.size());
  read(s, r.bmp, r.params, paramsOnly, r.progress);
}

int Count(const std::vector<std::uint8_t>& bytes, std::string_view what) {
  int n = 0;
  const std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  for (std::size_t at = all.find(what); at != std::string_view::npos; at = all.find(what, at + 1))
    ++n;
  return n;
}

TEST(FormatRead, PicturesOrientationAndProfileOfEveryReader) {
  const TRGB white{255, 255, 255};
  const struct {
    const char* file;
    ReadFn read;
    const char* ref;
    int orientation;
    bool profile;
    TPixelFormat format;
  } cases[] = {
      // Turned upright by its irot and imir boxes as it is read; P3 from its colr box.
      {"p3-rotated.heic", ReadHeifStream, "p3-rotated", 1, true, TPixelFormat::pf24bit},
      // P3 described by colour parameters: a profile is made for it.
      {"nclx-p3.avif", ReadHeifStream, "nclx-p3", 1, true, TPixelFormat::pf24bit},
      // Shown as stored whatever its EXIF chunk says, as browsers show it; alpha over white.
      {"exif6-alpha.webp", ReadWebpStream, "exif6-alpha", 1, true, TPixelFormat::pf24bit},
      // The first of two pages, as stored, with the orientation and profile of its tags.
      {"two-pages.tif", ReadTiffStream, "two-pages", 6, true, TPixelFormat::pf24bit},
      {"bilevel-g4.tif", ReadTiffStream, "bilevel-g4", 1, false, TPixelFormat::pf1bit},
      {"p3-exif6.png", ReadPngStream, "upright", 6, true, TPixelFormat::pf24bit},
      {"orient-7.jpg", ReadJpegStream, nullptr, 7, false, TPixelFormat::pf24bit},
      {"srgb-profile.jpg", ReadJpegStream, nullptr, 1, false, TPixelFormat::pf24bit},
      {"p3-large.jpg", ReadJpegStream, "upright", 1, true, TPixelFormat::pf24bit},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::vector<std::uint8_t> bytes = ReadBytes(std::string("formats/") + c.file);
    CodecRun header;
    Read(header, c.read, bytes, true);
    ASSERT_FALSE(header.aborting);
    EXPECT_EQ(header.bmp.Width(), 0);
    CodecRun r;
    r.params.PngBackground = white;
    r.params.ExifOrientation = 3;  // from an earlier picture: never kept
    Read(r, c.read, bytes);
    ASSERT_FALSE(r.aborting);
    EXPECT_EQ(r.bmp.PixelFormat(), c.format);
    EXPECT_EQ(r.bmp.Width(), header.params.Width);
    EXPECT_EQ(r.bmp.Height(), header.params.Height);
    if (c.ref) {
      const Ppm ref = LoadPpm(std::string("formats/") + c.ref + ".ref.ppm");
      EXPECT_TRUE(MatchesPpm(r.bmp, ref, c.read == ReadJpegStream ? 8 : 0));
    }
    EXPECT_EQ(r.params.ExifOrientation, c.orientation);
    EXPECT_EQ(header.params.ExifOrientation, c.orientation);
    EXPECT_EQ(!r.params.IccProfile.empty(), c.profile);
    EXPECT_EQ(header.params.IccProfile, r.params.IccProfile);
    EXPECT_FALSE(r.params.IccProfileTooLarge);
    EXPECT_FALSE(r.reports.empty());
    EXPECT_EQ(r.reports.back(), 100);
  }
}

TEST(FormatRead, DamagedFilesAreRefused) {
  const std::pair<const char*, ReadFn> cases[] = {
      {"bad/heif-truncated.heic", ReadHeifStream}, {"bad/avif-truncated.avif", ReadHeifStream},
      {"bad/webp-damaged.webp", ReadWebpStream},   {"bad/tiff-bad-directory.tif", ReadTiffStream},
      {"formats/orient-1.jpg", ReadHeifStream},    {"formats/orient-1.jpg", ReadWebpStream},
      {"formats/orient-1.jpg", ReadTiffStream},
  };
  for (const auto& [file, read] : cases) {
    SCOPED_TRACE(file);
    CodecRun r;
    Read(r, read, ReadBytes(file));
    EXPECT_TRUE(r.aborting);
  }
}

// Alpha of either kind over the page colour: unassociated samples blended as stored, associated
// ones already multiplied. Valid pictures of a kind not handled say so instead of "damaged".
TEST(FormatRead, TiffAlphaAndKindsNotSupported) {
  const struct {
    const char* file;
    ReadFn read;
    std::array<int, 6> pixels;  // two pixels, red green blue
    const char* reason;
  } cases[] = {
      {"tiff/grey8-alpha.tif", ReadTiffStream, {177, 177, 177, 30, 30, 30}, nullptr},
      {"tiff/grey8-alpha-tiled.tif", ReadTiffStream, {177, 177, 177, 30, 30, 30}, nullptr},
      {"tiff/grey16-alpha.tif", ReadTiffStream, {177, 177, 177, 30, 30, 30}, nullptr},
      {"tiff/grey8-premultiplied.tif", ReadTiffStream, {177, 177, 177, 30, 30, 30}, nullptr},
      {"tiff/rgb8-alpha.tif", ReadTiffStream, {227, 127, 127, 30, 60, 90}, nullptr},
      {"tiff/rgb8-premultiplied.tif", ReadTiffStream, {227, 127, 127, 30, 60, 90}, nullptr},
      {"tiff/float32.tif", ReadTiffStream, {}, "floating-point TIFF is not supported"},
      {"jpeg/12-bit.jpg", ReadJpegStream, {}, "12-bit JPEG is not supported"},
      {"jpeg/lossless.jpg", ReadJpegStream, {}, "lossless JPEG is not supported"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    CodecRun r;
    std::string reason;
    r.progress.Reason = &reason;
    r.params.PngBackground = {255, 255, 255};
    Read(r, c.read, ReadBytes(c.file));
    EXPECT_EQ(reason, c.reason ? c.reason : "");
    if (c.reason) continue;
    ASSERT_EQ(r.bmp.Width(), 2);
    const std::uint8_t* p = r.bmp.ScanLine(0);
    EXPECT_EQ((std::array<int, 6>{p[2], p[1], p[0], p[5], p[4], p[3]}), c.pixels);
  }
}

// A wide-gamut profile larger than one marker holds is read whole from its chunks, written
// into a thumbnail split the same way, and read back the same; sRGB and no profile add nothing.
TEST(FormatRead, ProfileRoundTripThroughTheJpegWriter) {
  CodecRun in;
  Read(in, ReadJpegStream, ReadBytes("formats/p3-large.jpg"));
  ASSERT_GT(in.params.IccProfile.size(), 65519u);
  EXPECT_FALSE(IsSrgbProfile(in.params.IccProfile.data(), in.params.IccProfile.size()));
  TMemoryStream out;
  in.params.JpegColorSpace = 0;
  WriteJpegStream(out, in.bmp, in.params, in.progress);
  ASSERT_FALSE(in.aborting);
  EXPECT_EQ(Count(out.Bytes(), "ICC_PROFILE"), 2);
  CodecRun back;
  Read(back, ReadJpegStream, out.Bytes());
  EXPECT_EQ(back.params.IccProfile, in.params.IccProfile);

  // A profile over the limit is left out and said so.
  std::vector<std::uint8_t> large(kMaxIccProfileBytes + 1);
  TakeIccProfile(back.params, large.data(), large.size());
  EXPECT_TRUE(back.params.IccProfile.empty());
  EXPECT_TRUE(back.params.IccProfileTooLarge);

  // Colour parameters that mean sRGB, or that no ICC curve describes, give no profile.
  EXPECT_TRUE(ProfileFromColourCodes(1, 13).empty());
  EXPECT_TRUE(ProfileFromColourCodes(2, 2).empty());
  EXPECT_TRUE(ProfileFromColourCodes(9, 16).empty());
  const std::vector<std::uint8_t> p3 = ProfileFromColourCodes(12, 13);
  EXPECT_FALSE(p3.empty());
  EXPECT_EQ(p3, ProfileFromColourCodes(12, 13));  // no clock in it

  CodecRun plain;
  Read(plain, ReadJpegStream, ReadBytes("formats/srgb-profile.jpg"));
  TMemoryStream none;
  WriteJpegStream(none, plain.bmp, plain.params, plain.progress);
  EXPECT_EQ(Count(none.Bytes(), "ICC_PROFILE"), 0);
}

}  // namespace
}  // namespace folivant::test
