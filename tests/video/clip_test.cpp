// Clips: what one holds, its poster, its web copy, and a build of a folder with clips.
#include <gtest/gtest.h>

#include <cstring>

#include "../common/test_files.h"
#include "catalog/clip_page.h"
#include "catalog/engine/build_engine.h"
#include "codecs/codecs.h"
#include "video/clip.h"

namespace folivant {
namespace {

using test::ReadFile;
using test::TempDir;

std::string ClipPath(const std::string& name) {
  return FOLIVANT_TEST_DATA "/clips/" + name;
}

std::string Probe(const std::string& bytes, TClipFacts& facts) {
  TMemoryStream s(bytes.data(), bytes.size());
  return ProbeClip(s, facts);
}

TEST(Clip, FactsAndRefusals) {
  InstallCodecs();
  struct Row {
    const char* file;
    const char* codec;
    int w, h, rotation;
    bool plays;
    const char* refused;  // a part of the reason
  };
  const Row rows[] = {
      {"h264.mp4", "h264", 96, 64, 0, true, nullptr},
      {"vp9.webm", "vp9", 96, 64, 0, true, nullptr},
      {"hevc.MOV", "hevc", 96, 64, 0, false, nullptr},
      {"sideways.mp4", "h264", 64, 96, 90, true, nullptr},
      {"mpeg4.avi", "mpeg4", 96, 64, 0, false, nullptr},
      {"damaged.mp4", "", 0, 0, 0, false, "not a valid video clip"},
      {"sound.mp4", "", 0, 0, 0, false, "it holds no video"},
      {"wide.webm", "", 0, 0, 0, false, "16384 x 16 pixels, larger than the limit"},
  };
  for (const Row& row : rows) {
    TClipFacts f;
    const std::string why = Probe(ReadFile(ClipPath(row.file)), f);
    if (row.refused) {
      EXPECT_NE(why.find(row.refused), std::string::npos) << row.file << ": " << why;
      continue;
    }
    EXPECT_EQ(why, "") << row.file;
    EXPECT_EQ(f.VideoCodec, row.codec) << row.file;
    EXPECT_EQ(f.Width * 1000 + f.Height, row.w * 1000 + row.h) << row.file;
    EXPECT_EQ(f.Rotation, row.rotation) << row.file;
    EXPECT_EQ(f.BrowserPlays, row.plays) << row.file;
    EXPECT_NEAR(static_cast<double>(f.DurationMs), 1500, 60) << row.file;
  }
  // Forty hours, as the movie header says.
  std::string bytes = ReadFile(ClipPath("h264.mp4"));
  const std::size_t mvhd = bytes.find("mvhd");
  ASSERT_NE(mvhd, std::string::npos);
  const unsigned char hours40[4] = {0x08, 0x95, 0x44, 0x00};  // 144 000 000 ms
  std::memcpy(bytes.data() + mvhd + 20, hours40, 4);
  TClipFacts f;
  EXPECT_EQ(Probe(bytes, f), "it lasts 40.0 hours, longer than the limit of 24 hours");
}

TEST(Clip, PosterIsTheFirstVariedKeyFrameUpright) {
  TBitmap flat, turned;
  TClipFacts f;
  TFileStream a(ClipPath("h264.mp4"), TFileMode::fmOpenRead);
  ASSERT_EQ(ReadPosterFrame(a, flat, f), "");
  TFileStream b(ClipPath("sideways.mp4"), TFileMode::fmOpenRead);
  ASSERT_EQ(ReadPosterFrame(b, turned, f), "");
  ASSERT_EQ(flat.Width() * 1000 + flat.Height(), 96064);
  ASSERT_EQ(turned.Width() * 1000 + turned.Height(), 64096);
  // Not the black start: most of the test picture is bright.
  int bright = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 96; ++x)
      bright += flat.ScanLine(y)[3 * x] + flat.ScanLine(y)[3 * x + 1] > 200;
  EXPECT_GT(bright, 96 * 64 / 2);
  // The same frame, turned a quarter clockwise.
  for (int y = 0; y < 96; y += 7)
    for (int x = 0; x < 64; x += 5)
      ASSERT_EQ(std::memcmp(turned.ScanLine(y) + 3 * x, flat.ScanLine(63 - x) + 3 * y, 3), 0);
}

TEST(Clip, WebCopyIsH264WithAacAndTheSameBytesEachTime) {
  TempDir dir;
  for (const char* name : {"hevc.MOV", "mpeg4.avi"}) {
    std::vector<int> told;
    for (const char* out : {"a.mp4", "b.mp4"}) {
      test::WriteFile(dir / out, "");
      ASSERT_EQ(
          MakeWebClip(ClipPath(name), dir / out, [&](int p) { return told.push_back(p), true; }),
          "")
          << name;
    }
    EXPECT_EQ(ReadFile(dir / "a.mp4"), ReadFile(dir / "b.mp4")) << name;
    EXPECT_TRUE(std::is_sorted(told.begin(), told.begin() + told.size() / 2)) << name;
    EXPECT_GE(told[told.size() / 2 - 1], 90) << name;
    TClipFacts f;
    EXPECT_EQ(Probe(ReadFile(dir / "a.mp4"), f), "");
    EXPECT_EQ(f.VideoCodec + " " + f.AudioCodec, "h264 aac") << name;
    EXPECT_TRUE(f.BrowserPlays && f.Width == 96 && f.Height == 64) << name;
  }
  // Stopped on request: an error, not a half copy taken for whole.
  EXPECT_EQ(MakeWebClip(ClipPath("hevc.MOV"), dir / "c.mp4", [](int) { return false; }), "stopped");
}

TEST(Clip, DurationText) {
  EXPECT_EQ(ClipDurationText(42'000), "0:42");
  EXPECT_EQ(ClipDurationText(3'723'400), "1:02:03");
  EXPECT_EQ(ClipDurationText(-1), "");
}

// A folder of photos and clips builds; pages play the clip or its web copy; nothing is made
// again on a rebuild.
TEST(Clip, BuildOfAFolderWithClips) {
  InstallCodecs();
  TempDir out;
  TBuildRequest request;
  request.Options.TargetDir = out.Path();
  for (const char* name : {"h264.mp4", "hevc.MOV", "sideways.mp4", "vp9.webm"})
    request.Pictures.push_back({name, ClipPath(name)});
  request.Jobs = 2;
  IBuildObserver quiet;
  TBuildEngine engine;
  const TBuildResult r = engine.Run(request, quiet);
  ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
  EXPECT_NE(ReadFile(out / "hevc_MOV.html")
                .find("<video controls preload=\"metadata\" src=\"hevc.MOV.mp4\" "
                      "poster=\"hevc.MOV.jpg\" width=\"96\" height=\"64\">"),
            std::string::npos);
  EXPECT_NE(
      ReadFile(out / "sideways_mp4.html")
          .find("src=\"sideways.mp4\" poster=\"sideways.mp4.jpg\" width=\"64\" height=\"96\""),
      std::string::npos);
  EXPECT_FALSE(test::Exists(out / "h264.mp4.mp4"));
  EXPECT_NE(ReadFile(out / "page1.html").find(">64x96 - 0:02 - 11Kb<"), std::string::npos);
  EXPECT_EQ(engine.Run(request, quiet).PicturesReused, 4);
}

}  // namespace
}  // namespace folivant
