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

}  // namespace
}  // namespace folivant::test
