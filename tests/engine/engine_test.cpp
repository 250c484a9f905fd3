#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <functional>
#include <map>
#include <mutex>
#include <random>

#include <gtest/gtest.h>

#include "catalog/engine/build_engine.h"
#include "catalog/engine/target_files.h"
#include "catalog/record/build_record.h"
#include "test_pictures.h"

namespace folivant {
namespace {

using test::Exists;
using test::Listing;
using test::PictureSize;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using test::WriteGif;
using test::WriteJpeg;

// Records everything the engine reports; hooks let a test act on a report.
class Recorder : public IBuildObserver {
 public:
  void Status(const std::string& text) override {
    std::lock_guard lock(mutex);
    statuses.push_back(text);
    if (onStatus) onStatus(text);
  }
  void OverallProgress(int position, int maximum) override {
    std::lock_guard lock(mutex);
    overall.push_back(position);
    overallMax = maximum;
  }
  void CurrentProgress(int percent) override {
    std::lock_guard lock(mutex);
    current.push_back(percent);
  }
  bool AskCreateTarget(const std::string& dir) override {
    asked.push_back(dir);
    return answer;
  }
  void Information(const std::string& message) override { information.push_back(message); }
  void Error(const std::string& message) override { errors.push_back(message); }
  void OpenDocument(const std::string& path) override { opened.push_back(path); }
  void PictureDone(int index) override {
    done.push_back(index);
    if (onDone) onDone(index);
  }

  std::mutex mutex;
  std::function<void(const std::string&)> onStatus;
  std::function<void(int)> onDone;
  bool answer = true;
  std::vector<std::string> statuses, asked, information, errors, opened;
  std::vector<int> overall, current, done;
  int overallMax = 0;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallCodecs(); }

  // n JPEG pictures p1.jpg .. pn.jpg of w x h in the source folder.
  void MakeJpegs(int n, int w = 64, int h = 48) {
    for (int i = 1; i <= n; ++i) Add("p" + std::to_string(i) + ".jpg", w, h, i);
  }
  void Add(const std::string& name, int w, int h, int seed = 0) {
    const std::string path = src / name;
    if (name.ends_with(".gif")) {
      WriteGif(path, w, h, seed);
    } else {
      WriteJpeg(path, w, h, seed);
    }
    request.Pictures.push_back({name, path});
  }
  TBuildResult Run(const std::string& target) {
    request.Options.TargetDir = target;
    return engine.Run(request, recorder);
  }

  TempDir src, out;
  TBuildRequest request;
  TBuildEngine engine;
  Recorder recorder;
};

TEST_F(EngineTest, FewerThanThreePicturesAreRefusedWithNothingWritten) {
  MakeJpegs(2);
  const std::string target = out / "new";
  const TBuildResult r = Run(target);
  EXPECT_EQ(r.Outcome, TBuildOutcome::boRefused);
  ASSERT_EQ(recorder.information.size(), 1u);
  EXPECT_EQ(recorder.information[0], "You MUST select at least 3 files !");
  EXPECT_TRUE(recorder.asked.empty());
  EXPECT_FALSE(Exists(target));
  EXPECT_TRUE(recorder.statuses.empty());
}

TEST_F(EngineTest, ThreePicturesInAFourByFourTable) {
  MakeJpegs(3);
  request.Options.ShowInBrowser = true;
  request.Jobs = 1;  // every status is then shown: with more, those of the oldest picture
  const TBuildResult r = Run(out.Path());
  ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
  EXPECT_EQ(r.PicturesDone, 3);
  EXPECT_EQ(r.PagesWritten, 1);
  EXPECT_EQ(
      Listing(out.Path()),
      (std::vector<std::string>{"p1.jpg", "p1_jpg.html", "p2.jpg", "p2_jpg.html", "p3.jpg",
                                "p3_jpg.html", "page1.html", "tnp1.jpg", "tnp2.jpg", "tnp3.jpg"}));

  // Reports: three steps per picture, then the bars back at 0 and "Ready.".
  EXPECT_EQ(recorder.overallMax, 9);
  EXPECT_NE(std::find(recorder.overall.begin(), recorder.overall.end(), 9), recorder.overall.end());
  EXPECT_EQ(recorder.overall.back(), 0);
  EXPECT_EQ(recorder.current.back(), 0);
  EXPECT_EQ(recorder.statuses.back(), "Ready.");
  for (const char* s : {"Opening file p2.jpg", "Resampling file p2.jpg", "Saving file tnp2.jpg"}) {
    EXPECT_NE(std::find(recorder.statuses.begin(), recorder.statuses.end(), s),
              recorder.statuses.end())
        << s;
  }
  ASSERT_EQ(recorder.opened.size(), 1u);
  EXPECT_TRUE(recorder.opened[0].ends_with("/page1.html"));
  EXPECT_EQ(recorder.opened[0][0], '/');
  EXPECT_EQ(recorder.done, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(recorder.errors.empty());
}

TEST_F(EngineTest, TargetEqualToThePicturesFolderCopiesNothing) {
  MakeJpegs(3);
  const std::string before = ReadFile(src / "p1.jpg");
  const TBuildResult r = Run(src.Path());
  ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
  EXPECT_EQ(ReadFile(src / "p1.jpg"), before);
  EXPECT_EQ(Listing(src.Path()).size(), 10u);  // 3 pictures, 3 thumbnails, 3 pages, page1
}

TEST_F(EngineTest, AnExistingFileIsNotReplacedAndIsTheOneUsed) {
  MakeJpegs(3, 64, 48);
  WriteJpeg(out / "p2.jpg", 200, 100, 9);  // another picture of the same name
  const std::string existing = ReadFile(out / "p2.jpg");
  const TBuildResult r = Run(out.Path());
  ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
  EXPECT_EQ(ReadFile(out / "p2.jpg"), existing);
  EXPECT_EQ(r.Items[1].OrigWidth, "200");
  EXPECT_EQ(r.Items[1].OrigHeight, "100");
  EXPECT_EQ(r.Items[1].TnWidth, "192");
  EXPECT_NE(ReadFile(out / "p2_jpg.html").find("width=\"200\" height=\"100\""), std::string::npos);
}

TEST_F(EngineTest, ThumbnailSizesFollowTheTruncatingArithmetic) {
  for (bool prescale : {true, false}) {
    SCOPED_TRACE(prescale ? "reduced decoding" : "whole decoding");
    TempDir pics, height, width;
    request = TBuildRequest();
    request.JpegPrescale = prescale;
    for (auto [name, w, h] : {std::tuple{"a.jpg", 800, 600}, std::tuple{"b.jpg", 600, 800},
                              std::tuple{"c.jpg", 1000, 333}}) {
      WriteJpeg(pics / name, w, h, w);
      request.Pictures.push_back({name, pics / name});
    }
    request.Options.Filter = 6;
    TBuildResult r = Run(height.Path());
    ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
    EXPECT_EQ(PictureSize(height / "tna.jpg"), std::pair(128, 96));
    EXPECT_EQ(PictureSize(height / "tnb.jpg"), std::pair(72, 96));
    EXPECT_EQ(r.Items[0].OrigWidth, "800");
    EXPECT_EQ(r.Items[0].TnWidth, "128");
    EXPECT_EQ(r.Items[1].TnWidth, "72");

    request.Options.ThumbMode = TThumbMode::tmFixedWidth;
    request.Options.ThumbWidth = 70;
    r = Run(width.Path());
    ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
    EXPECT_EQ(PictureSize(width / "tnc.jpg"), std::pair(70, 23));
    EXPECT_EQ(r.Items[2].TnHeight, "23");
    EXPECT_EQ(r.Items[2].OrigWidth, "1000");
    EXPECT_EQ(r.Items[2].OrigHeight, "333");
  }
}

TEST_F(EngineTest, SmallPicturesAreEnlarged) {
  MakeJpegs(3, 20, 10);
  const TBuildResult r = Run(out.Path());
  ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
  EXPECT_EQ(PictureSize(out / "tnp1.jpg"), std::pair(192, 96));
}

TEST_F(EngineTest, CancelDuringTheSecondOfFiveFinishesItAndWritesNoCatalogPage) {
  MakeJpegs(5);
  request.Jobs = 1;
  request.Options.ShowInBrowser = true;
  recorder.onStatus = [&](const std::string& text) {
    if (text == "Resampling file p2.jpg") engine.Cancel();
  };
  const TBuildResult r = Run(out.Path());
  EXPECT_EQ(r.Outcome, TBuildOutcome::boCancelled);
  EXPECT_EQ(r.PicturesDone, 2);
  EXPECT_TRUE(Exists(out / "tnp1.jpg"));
  EXPECT_TRUE(Exists(out / "tnp2.jpg"));
  EXPECT_TRUE(Exists(out / "p2_jpg.html"));
  EXPECT_FALSE(Exists(out / "tnp3.jpg"));
  EXPECT_FALSE(Exists(out / "p3_jpg.html"));
  EXPECT_FALSE(Exists(out / "page1.html"));
  EXPECT_EQ(recorder.statuses.back(), "Ready.");
  EXPECT_EQ(recorder.overall.back(), 0);
  EXPECT_EQ(recorder.current.back(), 0);
  EXPECT_TRUE(recorder.opened.empty());
  EXPECT_TRUE(recorder.errors.empty());
}

TEST_F(EngineTest, CancelWithManyWorkersFinishesEveryPictureBegun) {
  MakeJpegs(8);
  request.Jobs = 3;
  // Pictures are written in list order and a worker takes a new picture only after writing
  // its last one, so when the second is written at most five have begun.
  recorder.onDone = [&](int index) {
    if (index == 1) engine.Cancel();
  };
  const TBuildResult r = Run(out.Path());
  EXPECT_EQ(r.Outcome, TBuildOutcome::boCancelled);
  EXPECT_GE(r.PicturesDone, 2);
  EXPECT_LT(r.PicturesDone, 8);
  // The pictures written are a prefix of the list, each with thumbnail and page.
  for (int i = 1; i <= 8; ++i) {
    const bool written = i <= r.PicturesDone;
    EXPECT_EQ(Exists(out / ("tnp" + std::to_string(i) + ".jpg")), written) << i;
    EXPECT_EQ(Exists(out / ("p" + std::to_string(i) + "_jpg.html")), written) << i;
  }
  EXPECT_FALSE(Exists(out / "page1.html"));
}

// Builds the same request with 1 and with 4 workers; every file must be the same.
TEST_F(EngineTest, ManyWorkersWriteTheSameBytesAsOne) {
  int seed = 0;
  for (auto [w, h] : {std::pair{640, 480}, {300, 900}, {1200, 200}, {50, 50}, {801, 601}}) {
    Add("j" + std::to_string(seed) + ".jpg", w, h, seed);
    ++seed;
  }
  Add("g1.gif", 120, 80, 1);
  Add("g2.gif", 33, 77, 2);
  Add("j9.jpg", 2000, 1500, 9);
  request.Options.Filter = 5;
  request.Options.Progressive = true;
  request.Options.TableRows = "2";
  request.Options.TableCols = "2";
  for (bool prescale : {true, false}) {
    SCOPED_TRACE(prescale ? "reduced decoding" : "whole decoding");
    request.JpegPrescale = prescale;
    TempDir one, many;
    request.Jobs = 1;
    ASSERT_EQ(Run(one.Path()).Outcome, TBuildOutcome::boDone);
    request.Jobs = 4;
    ASSERT_EQ(Run(many.Path()).Outcome, TBuildOutcome::boDone);
    const auto files = Listing(one.Path());
    EXPECT_EQ(files, Listing(many.Path()));
    EXPECT_EQ(files.size(), 8u * 3 + 2);
    for (const std::string& f : files) EXPECT_EQ(ReadFile(one / f), ReadFile(many / f)) << f;
  }
}

TEST_F(EngineTest, TheLaterOfTwoPicturesSharingAThumbnailNameWins) {
  Add("x.jpg", 400, 100, 1);  // tnx.jpg would be 384 x 96
  Add("x.gif", 100, 100, 2);  // tnx.jpg is 96 x 96
  Add("y.jpg", 64, 64, 3);
  for (int jobs : {1, 3}) {
    TempDir target;
    request.Jobs = jobs;
    const TBuildResult r = Run(target.Path());
    ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
    EXPECT_EQ(PictureSize(target / "tnx.jpg"), std::pair(96, 96)) << jobs;
    EXPECT_TRUE(Exists(target / "x_jpg.html"));
    EXPECT_TRUE(Exists(target / "x_gif.html"));
  }
}

// A picture that does not load stops the build with its name; what came before stays, nothing
// after it is written, and no catalog page. Hostile pictures of every kind: tests/hardening.
TEST_F(EngineTest, APictureThatDoesNotLoadStopsTheBuildNamingIt) {
  const struct {
    const char *name, *message;
  } cases[] = {{"broken.jpg", "Cannot read picture broken.jpg: not a valid JPEG file"},
               {"broken.HEIC", "Cannot read picture broken.HEIC: not a valid HEIF file"},
               {"broken.avif", "Cannot read picture broken.avif: not a valid AVIF file"},
               {"broken.webp", "Cannot read picture broken.webp: not a valid WebP file"},
               {"broken.tiff", "Cannot read picture broken.tiff: not a valid TIFF file"},
               {"notes.txt", "Cannot read picture notes.txt: no reader for this kind of file"}};
  for (const auto& c : cases) {
    TempDir target;
    recorder.errors.clear();
    request = TBuildRequest();
    MakeJpegs(2);
    WriteFile(src / c.name, "this is not a picture at all");
    request.Pictures.push_back({c.name, src / c.name});
    Add("p4.jpg", 64, 48, 4);
    request.Jobs = 2;
    const TBuildResult r = Run(target.Path());
    EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
    EXPECT_EQ(r.Message, c.message);
    EXPECT_EQ(recorder.errors, std::vector<std::string>{r.Message});
    EXPECT_TRUE(Exists(target / "tnp1.jpg"));
    EXPECT_TRUE(Exists(target / "p2_jpg.html"));
    const std::string name = c.name;
    EXPECT_FALSE(Exists(target / ("tn" + name.substr(0, name.rfind('.')) + ".jpg")));
    EXPECT_FALSE(Exists(target / "tnp4.jpg"));
    EXPECT_FALSE(Exists(target / "page1.html"));
    EXPECT_EQ(recorder.statuses.back(), "Ready.");
    EXPECT_EQ(recorder.overall.back(), 0);
  }
}

TEST_F(EngineTest, AMissingSourceStopsTheCopyStepNamingIt) {
  MakeJpegs(3);
  request.Pictures[1].Path = src / "gone.jpg";
  const TBuildResult r = Run(out.Path());
  EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
  EXPECT_NE(r.Message.find("gone.jpg"), std::string::npos) << r.Message;
  EXPECT_TRUE(Exists(out / "p1.jpg"));  // the copy made before stays
  EXPECT_FALSE(Exists(out / "p2.jpg"));
  EXPECT_FALSE(Exists(out / "tnp1.jpg"));
}

TEST_F(EngineTest, BadTableTextStopsAtTheFirstPageAfterItsThumbnail) {
  MakeJpegs(3);
  request.Options.TableRows = "abc";
  request.Jobs = 1;
  const TBuildResult r = Run(out.Path());
  EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
  EXPECT_NE(r.Message.find("'abc'"), std::string::npos) << r.Message;
  EXPECT_TRUE(Exists(out / "tnp1.jpg"));
  EXPECT_FALSE(Exists(out / "p1_jpg.html"));
  EXPECT_FALSE(Exists(out / "tnp2.jpg"));
}

TEST_F(EngineTest, AMissingCopyWhenSizesAreReadStopsTheBuild) {
  MakeJpegs(3);
  recorder.onStatus = [&](const std::string& text) {
    if (text == "Saving file tnp3.jpg") std::filesystem::remove(out / "p2.jpg");
  };
  request.Jobs = 1;
  const TBuildResult r = Run(out.Path());
  EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
  EXPECT_NE(r.Message.find("p2.jpg"), std::string::npos) << r.Message;
  EXPECT_TRUE(Exists(out / "p3_jpg.html"));
}

TEST_F(EngineTest, TheTargetFolderIsMadeOnlyWhenTheAnswerIsYes) {
  MakeJpegs(3);
  recorder.answer = false;
  EXPECT_EQ(Run(out / "a").Outcome, TBuildOutcome::boRefused);
  EXPECT_FALSE(Exists(out / "a"));
  ASSERT_EQ(recorder.asked.size(), 1u);

  recorder.answer = true;
  EXPECT_EQ(Run(out / "a").Outcome, TBuildOutcome::boDone);
  EXPECT_TRUE(Exists(out / "a/page1.html"));

  // One level only, unless parents are asked for.
  TBuildResult r = Run(out / "b/c");
  EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
  EXPECT_EQ(r.Message, "Cannot create " + (out / "b/c"));
  request.CreateTargetParents = true;
  EXPECT_EQ(Run(out / "b/c").Outcome, TBuildOutcome::boDone);

  r = Run("");
  EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
  EXPECT_EQ(r.Message, "Cannot create ");
}

TEST_F(EngineTest, NamesThatLeaveTheTargetFolderAreRefused) {
  MakeJpegs(3);
  request.Pictures[2].Name = "../p3.jpg";
  const TBuildResult r = Run(out / "t");
  EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
  EXPECT_FALSE(Exists(out / "p3.jpg"));
  EXPECT_FALSE(Exists(out / "t"));  // names are checked before anything is written
}

TEST_F(EngineTest, AThumbnailNeverReplacesAPictureOfTheBuild) {
  MakeJpegs(2);
  Add("tnp1.jpg", 30, 30, 7);  // p1.jpg's thumbnail would overwrite it
  const std::string original = ReadFile(src / "tnp1.jpg");
  const TBuildResult r = Run(src.Path());
  EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
  EXPECT_NE(r.Message.find("tnp1.jpg"), std::string::npos);
  EXPECT_EQ(ReadFile(src / "tnp1.jpg"), original);

  // Nor does a web copy: the build stops before writing anything.
  TempDir target;
  request = TBuildRequest();
  MakeJpegs(2);
  request.Pictures.push_back({"x.tif", test::DataPath("formats/two-pages.tif")});
  Add("x.tif.jpg", 30, 30, 8);
  const TBuildResult copy = Run(target.Path());
  EXPECT_EQ(copy.Outcome, TBuildOutcome::boFailed);
  EXPECT_EQ(copy.Message,
            "The web copy x.tif.jpg made for x.tif would replace the picture x.tif.jpg");
  EXPECT_TRUE(Listing(target.Path()).empty());
}

// The eight EXIF orientations, a HEIC turned by its own boxes and a TIFF page stored on its
// side, all of one upright 64 x 32 picture: thumbnails and pages show it upright, the HEIC and
// the TIFF through web copies with their colour profile. Turned off, the JPEGs keep their
// stored sizes.
TEST_F(EngineTest, PicturesAreShownUprightAndHeicAndTiffThroughWebCopies) {
  std::vector<std::string> names;
  for (int n = 1; n <= 8; ++n) names.push_back("orient-" + std::to_string(n) + ".jpg");
  names.push_back("p3-rotated.heic");
  names.push_back("two-pages.tif");
  for (const std::string& name : names)
    request.Pictures.push_back({name, test::DataPath("formats/" + name)});
  request.Options.ThumbHeight = 32;  // the upright height: thumbnails are not scaled
  request.Options.JPEGQuality = 100;
  request.Options.Progressive = true;
  const TBuildResult r = Run(out.Path());
  ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;

  std::vector<std::uint8_t> up = test::ReadBytes("formats/upright.ref.ppm");
  for (std::size_t i = 0; i < names.size(); ++i) {
    const CatalogItem& item = r.Items[i];
    SCOPED_TRACE(item.PictureName);
    const bool webCopy = i >= 8;
    EXPECT_EQ(item.WebCopyName, webCopy ? item.PictureName + ".jpg" : "");
    const std::string page = ReadFile(out / item.PageFileName);
    EXPECT_NE(page.find("<img src=\"" + item.ShownFileName() + "\" width=\"64\" height=\"32\""),
              std::string::npos);
    // Thumbnail (and web copy) against the upright picture.
    for (const std::string& file : {item.TnFileName, item.WebCopyName}) {
      if (file.empty()) continue;
      TImageBox box;
      box.LoadFromFile(out / file);
      ASSERT_EQ(box.Bitmap().Width(), 64) << file;
      ASSERT_EQ(box.Bitmap().Height(), 32) << file;
      // Inside the flat blocks: the web copy's chroma is subsampled, so edges blur.
      int worst = 0;
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
          for (int c = 0; c < 3 && x % 16 >= 2 && x % 16 < 14 && y % 16 >= 2 && y % 16 < 14; ++c)
            worst = std::max(worst, std::abs(box.Bitmap().ScanLine(y)[3 * x + 2 - c] -
                                             up[up.size() - 64 * 32 * 3 + (y * 64 + x) * 3 + c]));
      EXPECT_LE(worst, 12) << file;
      EXPECT_EQ(box.IOParams().IccProfile.empty(), !webCopy) << file;
      EXPECT_TRUE(box.IOParams().JpegProgressive) << file;
    }
  }
  // The caption gives the size of the file the page shows.
  EXPECT_NE(
      ReadFile(out / "page1.html")
          .find("64x32 - " +
                std::to_string(test::ReadFile(out / "two-pages.tif.jpg").size() / 1024) + "Kb"),
      std::string::npos);

  TempDir off;
  request.Options.AutoRotate = false;
  request.Pictures.resize(8);
  ASSERT_EQ(Run(off.Path()).Outcome, TBuildOutcome::boDone);
  for (int n = 1; n <= 8; ++n)
    EXPECT_NE(ReadFile(off / ("orient-" + std::to_string(n) + "_jpg.html"))
                  .find(n >= 5 ? "width=\"32\" height=\"64\"" : "width=\"64\" height=\"32\""),
              std::string::npos)
        << n;
}

TEST_F(EngineTest, AFailedWriteLeavesNoTruncatedFileUnderARealName) {
  MakeJpegs(3, 300, 200);
  WriteFile(src / "tnp1.jpg", "old");
  // Files may not grow past 600 bytes: every thumbnail and page write fails part-way.
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 600;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const TBuildResult r = Run(src.Path());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, SIG_DFL);

  EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
  EXPECT_NE(r.Message.find("tnp1.jpg"), std::string::npos) << r.Message;
  EXPECT_EQ(ReadFile(src / "tnp1.jpg"), "old");
  EXPECT_EQ(Listing(src.Path()),
            (std::vector<std::string>{"p1.jpg", "p2.jpg", "p3.jpg", "tnp1.jpg"}));
}

// Names and modification times of every file a build leaves (the record's folder aside).
std::map<std::string, std::int64_t> Times(const std::string& dir) {
  std::map<std::string, std::int64_t> times;
  for (const std::string& name : Listing(dir)) times[name] = StampOf(dir + "/" + name).MtimeNs;
  return times;
}

// Random edits of the pictures, of the options and of the target, each followed by a build
// into the same folder (whole, interrupted and resumed, or in shares): the folder must then
// hold exactly what a build into an empty folder makes, byte for byte.
TEST_F(EngineTest, ARebuildAfterAnyEditEqualsAFreshBuild) {
  std::mt19937 rng(20240611);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  int serial = 0;
  auto write = [&](const std::string& name) {
    const int w = 24 + pick(160), h = 16 + pick(160), seed = ++serial;
    name.ends_with(".gif") ? WriteGif(src / name, w, h, seed) : WriteJpeg(src / name, w, h, seed);
  };
  auto add = [&] {
    const std::string name = "q" + std::to_string(serial) + (pick(3) == 0 ? ".gif" : ".jpg");
    write(name);
    request.Pictures.insert(request.Pictures.begin() + pick(request.Pictures.size() + 1),
                            {name, src / name});
  };
  CatalogOptions& o = request.Options;
  const TPictureLimits limits = PictureLimits();
  const std::function<void()> options[] = {
      [&] {
        o.ThumbMode = o.ThumbMode == TThumbMode::tmFixedHeight ? TThumbMode::tmFixedWidth
                                                               : TThumbMode::tmFixedHeight;
      },
      [&] { o.ThumbHeight = 10 + pick(60); },
      [&] { o.ThumbWidth = 10 + pick(60); },
      [&] { o.Filter = pick(8) - 1; },
      [&] { o.JPEGQuality = 10 + pick(91); },
      [&] { o.Progressive = !o.Progressive; },
      [&] { request.JpegPrescale = !request.JpegPrescale; },
      [&] { PictureLimits().MaxPixels = 40 * 40; },  // lifted again after the refusal
      [&] { o.TableRows = std::to_string(1 + pick(3)); },
      [&] { o.TableCols = std::to_string(1 + pick(3)); },
      [&] { o.BackColorHtml = o.BackColorHtml == "#FFFFFF" ? "#102030" : "#FFFFFF"; },
      [&] { o.NextTitle = "Next" + std::to_string(pick(3)); },
      [&] { o.JavaOpen = !o.JavaOpen; },
      [&] { o.JavaProtect = !o.JavaProtect; },
      [&] { o.AutoRotate = !o.AutoRotate; },
      [&] { o.FooterLines = {"<p>" + std::to_string(pick(3)) + "</p>"}; },
  };
  for (int i = 0; i < 5; ++i) add();
  // Turned upright, transparent (filled with the page colour), shown through a web copy.
  for (const char* name : {"orient-6.jpg", "exif6-alpha.webp", "two-pages.tif"}) {
    std::filesystem::copy_file(test::DataPath(std::string("formats/") + name), src / name);
    request.Pictures.push_back({name, src / name});
  }
  TempDir target;
  ASSERT_EQ(Run(target.Path()).Outcome, TBuildOutcome::boDone);

  int turn = 0;
  bool settled = true;  // the last build succeeded
  for (int step = 0; step < 100; ++step) {
    const int edit = pick(8);
    SCOPED_TRACE("step " + std::to_string(step) + ", edit " + std::to_string(edit));
    request.Jobs = 1 + pick(3);
    request.Force = edit != 7 && pick(8) == 0;
    const auto before = Times(target.Path());
    if (edit == 0) add();
    const int n = static_cast<int>(request.Pictures.size());
    const int at = pick(n);
    const std::string picked = request.Pictures[at].Name;  // the fixtures stay as they are
    if (edit == 1 && n > 3 && picked[0] == 'q') {
      request.Pictures.erase(request.Pictures.begin() + at);
    }
    if (edit == 2) std::swap(request.Pictures[pick(n)], request.Pictures[pick(n)]);
    if (edit == 3 && picked[0] == 'q') write(picked);                    // same name, other bytes
    if (edit != 4 && edit != 7) options[turn++ % std::size(options)]();  // each option in turn
    // A user's hand in the target: a thumbnail, the web copy and another file damaged. Nothing
    // else changes and the last build succeeded, so they still belong (one that no longer does
    // is removed only while it is as the build left it).
    if (edit == 4 && settled) {
      for (const std::string prefix : {"tn", "two-pages.tif.", ""}) {
        std::vector<std::string> files = Listing(target.Path());
        std::erase_if(files, [&](const std::string& f) { return !f.starts_with(prefix); });
        const std::string victim = target / files[pick(files.size())];
        std::string bytes = ReadFile(victim);
        bytes[pick(bytes.size())] ^= 1;  // same size, other bytes
        pick(3) ? WriteFile(victim, bytes) : (void)std::filesystem::remove(victim);
      }
    }
    int stop = 0;     // pictures written before the build was stopped
    if (edit == 5) {  // the build killed, or cancelled, after some pictures; then built again
      const bool kill = pick(2);
      stop = 1 + pick(n);
      int count = 0;
      recorder.onDone = [&](int) {
        if (++count == stop) kill ? ::_exit(0) : engine.Cancel();
      };
      if (kill) {
        const pid_t child = ::fork();
        if (child == 0) {
          Run(target.Path());
          ::_exit(1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << status;
      } else {
        Run(target.Path());
      }
      recorder.onDone = nullptr;
    }
    TBuildResult r;
    if (edit == 6) {  // in shares, the catalog pages last
      request.Shares = 2 + pick(2);
      for (request.Share = 1; request.Share <= request.Shares; ++request.Share) {
        if ((r = Run(target.Path())).Outcome != TBuildOutcome::boDone) break;
      }
      request.Shares = request.Share = 0;
      request.PagesOnly = r.Outcome == TBuildOutcome::boDone;
    }
    if (edit != 6 || request.PagesOnly) r = Run(target.Path());
    const bool forced = request.Force && !request.PagesOnly;
    request.PagesOnly = request.Force = false;
    TempDir fresh;
    const TBuildResult f = Run(fresh.Path());
    if (f.Outcome == TBuildOutcome::boFailed) {  // a picture refused (size limit, 0 pixel side)
      EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
      if (edit != 6) {  // a share meets its own first refusal
        EXPECT_EQ(r.Message, f.Message);
      }
      PictureLimits() = limits;
      settled = false;
      continue;
    }
    ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
    // What the stopped build wrote is not made again, unless everything is.
    EXPECT_LE(r.PicturesDone - r.PicturesReused, forced ? n : n - stop);
    EXPECT_TRUE(!forced || r.PicturesReused == 0);
    if (edit == 7 && settled) {  // nothing changed: nothing made, nothing touched
      EXPECT_EQ(r.PicturesReused, n);
      EXPECT_EQ(Times(target.Path()), before);
    }
    settled = true;
    const auto files = Listing(fresh.Path());
    ASSERT_EQ(Listing(target.Path()), files);
    for (const std::string& f : files) ASSERT_EQ(ReadFile(target / f), ReadFile(fresh / f)) << f;
  }
  PictureLimits() = limits;
}

// A share that has not finished: the catalog pages are refused, naming what is missing.
TEST_F(EngineTest, PagesOnlyNamesThePicturesNoShareHasBuilt) {
  MakeJpegs(5);
  request.Shares = 2;
  request.Share = 2;
  ASSERT_EQ(Run(out.Path()).Outcome, TBuildOutcome::boDone);
  EXPECT_EQ(Listing(out.Path()), (std::vector<std::string>{"p2.jpg", "p2_jpg.html", "p4.jpg",
                                                           "p4_jpg.html", "tnp2.jpg", "tnp4.jpg"}));
  request.Shares = request.Share = 0;
  request.PagesOnly = true;
  const TBuildResult r = Run(out.Path());
  EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
  EXPECT_EQ(r.Message,
            "Cannot write the catalog pages: 3 pictures are not built (has every share "
            "finished?): p1.jpg, p3.jpg, p5.jpg");
  EXPECT_FALSE(Exists(out / "page1.html"));
}

TEST(TargetFiles, CopyNeverReplacesAndWriteReplacesWhole) {
  TempDir dir;
  WriteFile(dir / "source", "new bytes");
  WriteFile(dir / "kept", "old");
  EXPECT_FALSE(CopyFileNoReplace(dir / "source", dir.Path(), "kept"));
  EXPECT_EQ(ReadFile(dir / "kept"), "old");
  EXPECT_TRUE(CopyFileNoReplace(dir / "source", dir.Path(), "copy"));
  EXPECT_EQ(ReadFile(dir / "copy"), "new bytes");
  EXPECT_THROW(CopyFileNoReplace(dir / "absent", dir.Path(), "x"), ETargetFileError);
  EXPECT_THROW(CopyFileNoReplace(dir.Path(), dir.Path(), "y"), ETargetFileError);

  WriteFileReplacing(dir.Path(), "kept", "replaced");
  EXPECT_EQ(ReadFile(dir / "kept"), "replaced");
  EXPECT_THROW(WriteFileReplacing(dir / "no-such-folder", "f", "x"), ETargetFileError);
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"copy", "kept", "source"}));
  EXPECT_EQ(JoinLinesCrLf({"a", "", "b"}), "a\r\n\r\nb\r\n");
}

}  // namespace
}  // namespace folivant
