// Hostile input through every reader: the committed bad files (also replayed by the fuzz
// targets), every fixture cut short, and what no committed file can hold. Each read must end
// in a clear failure or a whole picture, and a refused picture must not cost memory. Random
// damage is the fuzzers' work.
#include <random>

#include "../common/pictures.h"

namespace folivant::test {
namespace {

// What a bare reader or the I/O object left: a failure, or a picture of the size it reports.
::testing::AssertionResult Clean(bool failed, const TBitmap& bmp, const TIOParamsVals& params) {
  if (!PictureSizeAllowed(bmp.Width(), bmp.Height()))
    return ::testing::AssertionFailure() << "a bitmap of " << bmp.Width() << " x " << bmp.Height();
  if (!failed && (bmp.Width() != params.Width || bmp.Height() != params.Height))
    return ::testing::AssertionFailure() << "read as " << bmp.Width() << " x " << bmp.Height()
                                         << " for " << params.Width << " x " << params.Height;
  return ::testing::AssertionSuccess();
}

// Every bad file through the three readers and the I/O object (which picks a reader by
// content), each file in a child process whose peak memory is measured. Only the oversized
// text chunk is refused on its own, leaving a good picture.
TEST(Hostile, EveryBadFileFailsInEveryReaderWithinMemory) {
  const std::vector<std::string> names = Listing(DataPath("bad"));
  ASSERT_GE(names.size(), 38u);
  for (const std::string& name : names) {
    const Bytes bytes = ReadBytes("bad/" + name);
    bool ok = false;
    const long growth = ChildPeakGrowthKb(
        [&] {
          const bool readable = name == "png-ztxt-bomb.png";
          bool good = true;
          for (Kind kind : {Kind::Jpeg, Kind::Gif, Kind::Png}) {
            CodecRun r;
            r.Read(kind, bytes);
            const bool failed = r.aborting || r.refused;
            const bool expectRead = readable && kind == Kind::Png;
            if (failed == expectRead || !Clean(failed, r.bmp, r.params) ||
                (expectRead && r.bmp.Width() != 4)) {
              std::fprintf(stderr, "%s: reader %d %s\n", name.c_str(), static_cast<int>(kind),
                           failed ? "failed" : "read it");
              good = false;
            }
          }
          TImageBox box;
          TMemoryStream s(bytes.data(), bytes.size());
          try {
            box.IO().LoadFromStream(s);
          } catch (const EImageSizeError&) {
            return good;
          }
          return good && box.Aborting() != readable &&
                 Clean(box.Aborting(), box.Bitmap(), box.IOParams());
        },
        ok);
    EXPECT_TRUE(ok) << name;
    EXPECT_LT(growth, 64 * 1024) << name << ": peak memory rose by " << growth << " KB";
  }
}

// Every fixture cut at about 150 offsets, through its reader.
TEST(Hostile, FixturesCutShort) {
  for (const char* dir : {"jpeg", "gif", "png"}) {
    for (const std::string& name : Listing(DataPath(dir))) {
      if (name.ends_with(".ppm") || name.ends_with(".txt")) continue;
      const Bytes whole = ReadBytes(std::string(dir) + "/" + name);
      const std::size_t step = std::max<std::size_t>(1, whole.size() / 150);
      for (std::size_t len = 0; len < whole.size(); len += step) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(len));
        CodecRun r;
        r.Read(KindOf(name), cut);
        ASSERT_TRUE(Clean(r.aborting || r.refused, r.bmp, r.params)) << name << " cut at " << len;
      }
    }
  }
}

// Refused by its full size also when read at an eighth of it, with the reason saying so.
TEST(Hostile, JpegOverTheLimitIsRefusedAtAFractionOfItsSize) {
  CodecRun r;
  std::string reason;
  r.progress.Reason = &reason;
  r.params.JpegScale = 4;
  EXPECT_TRUE(r.Read(Kind::Jpeg, ReadBytes("bad/jpeg-20000-progressive.jpg")).aborting);
  EXPECT_EQ(r.bmp.Width(), 0);
  EXPECT_NE(reason.find("20000 x 20000"), std::string::npos) << reason;
}

// Ten megabytes of stored bytes that are no zlib stream in an ancillary chunk (a small chunk
// inflating to 20 MB is a bad file): the picture must still come through, and cheaply.
TEST(Hostile, TenMegabyteTextChunkIsStepped) {
  Bytes chunk = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
  std::mt19937 rng(7);
  for (int i = 0; i < (10 << 20); ++i) chunk.push_back(static_cast<std::uint8_t>(rng()));
  const Bytes png = MakePng(7, 5, 7, 5, {{"zTXt", chunk}});
  bool readWell = false;
  const long growth = ChildPeakGrowthKb(
      [&] {
        CodecRun r;
        r.Read(Kind::Png, png);
        return !r.aborting && r.bmp.Width() == 7 && r.bmp.ScanLine(2)[3 * 4 + 2] == 28;
      },
      readWell);
  EXPECT_TRUE(readWell);
  EXPECT_LT(growth, 64 * 1024) << "peak memory rose by " << growth << " KB";
}

}  // namespace
}  // namespace folivant::test
