// Faults found by trying the builder as a new user would, each pinned by one test.
#include <gtest/gtest.h>

#include "../hardening/picture_builders.h"
#include "catalog/engine/build_engine.h"
#include "test_pictures.h"

namespace folivant::test {
namespace {

class Reports : public IBuildObserver {
 public:
  void Error(const std::string& message) override { errors.push_back(message); }
  std::vector<std::string> errors;
};

class Faults : public ::testing::Test {
 protected:
  void SetUp() override { InstallCodecs(); }

  void Add(const std::string& name, const Bytes& bytes) {
    WriteFile(src / name, std::string(bytes.begin(), bytes.end()));
    request.Pictures.push_back({name, src / name});
  }
  void AddJpeg(const std::string& name, int seed) {
    WriteJpeg(src / name, 40, 30, seed);
    request.Pictures.push_back({name, src / name});
  }
  TBuildResult Build(const std::string& target, int jobs = 1) {
    request.Options.TargetDir = target;
    request.Jobs = jobs;
    TBuildEngine engine;
    return engine.Run(request, reports);
  }

  TempDir src;
  TBuildRequest request;
  Reports reports;
};

// Every load is checked, and a refusal says why. The picture in the middle follows a good one
// on the same worker, so a load that leaves the bitmap as it was would show p1's thumbnail.
TEST_F(Faults, EveryLoadIsCheckedAndSaysWhyItFailed) {
  const struct {
    const char* name;
    Bytes bytes;
    const char* message;  // empty: the build succeeds
  } cases[] = {
      {"none.gif", MakeGif(16, 16, 1, {}), "Cannot read picture none.gif: not a valid GIF file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir out;
    request = TBuildRequest();
    AddJpeg("p1.jpg", 1);
    Add(c.name, c.bytes);
    AddJpeg("p3.jpg", 3);
    const TBuildResult r = Build(out.Path());
    EXPECT_EQ(r.Message, c.message);
  }
}

// A GIF load sets the component's background colour; a PNG composites against it. The
// transparent picture must come out the same after a GIF, first, and on any worker, in the
// pages' background colour.
TEST_F(Faults, TransparentAreasTakeThePageColourWhateverCameBefore) {
  WriteGif(src / "g.gif", 20, 20, 5);
  WriteJpeg(src / "p.jpg", 40, 30, 1);
  const Bytes clear = MakePng(1, 1, 1, 1, {{"tRNS", Bytes(6, 0)}});  // its black is transparent
  WriteFile(src / "t.png", std::string(clear.begin(), clear.end()));
  std::string first;
  for (const auto& [gifFirst, jobs] : {std::pair{true, 1}, {true, 3}, {false, 1}, {false, 3}}) {
    SCOPED_TRACE(std::to_string(gifFirst) + " " + std::to_string(jobs));
    TempDir out;
    request = TBuildRequest();
    request.Options.BackColorHtml = "#3366CC";
    for (const char* name : {"g.gif", "t.png", "p.jpg"})
      request.Pictures.push_back({name, src / name});
    if (!gifFirst) std::swap(request.Pictures[0], request.Pictures[1]);
    ASSERT_EQ(Build(out.Path(), jobs).Outcome, TBuildOutcome::boDone);
    const std::string thumbnail = ReadFile(out / "tnt.jpg");
    if (first.empty()) first = thumbnail;
    EXPECT_TRUE(thumbnail == first) << "differs from the first build's";
  }
  TImageBox box;
  TMemoryStream s(first.data(), first.size());
  box.IO().LoadFromStream(s);
  ASSERT_GT(box.Bitmap().Height(), 0);
  const std::uint8_t* bgr = box.Bitmap().ScanLine(box.Bitmap().Height() / 2);
  EXPECT_NEAR(bgr[0], 0xCC, 2);
  EXPECT_NEAR(bgr[1], 0x66, 2);
  EXPECT_NEAR(bgr[2], 0x33, 2);
}

}  // namespace
}  // namespace folivant::test
