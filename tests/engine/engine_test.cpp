#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <map>
#include <mutex>
#include <random>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "../common/pictures.h"
#include "catalog/engine/build_engine.h"
#include "catalog/engine/target_files.h"
#include "catalog/modern/modern_files.h"
#include "catalog/record/build_record.h"

namespace folivant {
namespace {

using test::Exists;
using test::Listing;
using test::PictureSize;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using test::WriteJpeg;
using Files = std::vector<std::string>;

std::string Str(const test::Bytes& b) {
  return std::string(b.begin(), b.end());
}

// Records everything the engine reports (one call at a time); hooks act on a report.
struct Recorder : IBuildObserver {
  // The texts the front ends show, made here from the typed reports.
  void PictureStep(TPictureStep step, const std::string& file) override {
    static const char* const kVerb[] = {"Opening file ", "Resampling file ", "Saving file "};
    Status(kVerb[static_cast<int>(step)] + file);
  }
  void Ended() override { Status("Ready."); }
  void Status(const std::string& text) {
    statuses.push_back(text);
    if (onStatus) onStatus(text);
  }
  void OverallProgress(int position, int maximum) override {
    overall.push_back(position);
    overallMax = maximum;
  }
  void CurrentProgress(int percent) override { current.push_back(percent); }
  void CopyProgress(std::uint64_t done, std::uint64_t total) override {
    copies.push_back({done, total});
  }
  void TargetMade(const std::string& dir) override { made.push_back(dir); }
  void Error(const std::string& message) override { errors.push_back(message); }
  void OpenDocument(const std::string& path) override { opened.push_back(path); }
  void PictureDone(int index) override {
    done.push_back(index);
    if (onDone) onDone(index);
  }
  // The bars are back at 0 and the status says "Ready.".
  bool PutBack() const {
    return statuses.back() == "Ready." && overall.back() == 0 && current.back() == 0;
  }

  std::function<void(const std::string&)> onStatus;
  std::function<void(int)> onDone;
  Files statuses, made, errors, opened;
  std::vector<int> overall, current, done;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> copies;
  int overallMax = 0;
};

class EngineTest : public ::testing::Test {
 public:
  void SetUp() override {
    InstallCodecs();
    request.CreateTarget = true;
  }

  // n JPEG pictures p1.jpg .. pn.jpg of w x h in the source folder.
  void MakeJpegs(int n, int w = 64, int h = 48) {
    for (int i = 1; i <= n; ++i) Add("p" + std::to_string(i) + ".jpg", w, h, i);
  }
  void Add(const std::string& name, int w, int h, int seed = 0) {
    if (name.ends_with(".gif")) {
      test::WriteGif(src / name, w, h, seed);
    } else {
      WriteJpeg(src / name, w, h, seed);
    }
    request.Pictures.push_back({name, src / name});
  }
  TBuildResult Run(const std::string& target) {
    request.Options.TargetDir = target;
    return engine.Run(request, recorder);
  }
  // Which of the names exist in the folder, in order.
  Files Present(const std::string& dir, const Files& names) {
    Files out;
    for (const std::string& n : names)
      if (Exists(dir + "/" + n)) out.push_back(n);
    return out;
  }

  TempDir src, out;
  TBuildRequest request;
  TBuildEngine engine;
  Recorder recorder;
};

TEST_F(EngineTest, ThreePicturesInAFourByFourTable) {
  MakeJpegs(3);
  WriteFile(src / "p1.jpg", ReadFile(src / "p1.jpg") + std::string(3 << 20, '\0'));  // 3 MB
  request.Options.ShowInBrowser = true;
  request.Jobs = 1;  // every status is then shown: with more, those of the oldest picture
  const TBuildResult r = Run(out.Path());
  ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
  EXPECT_EQ(r.PicturesDone * 10 + r.PagesWritten, 31);
  EXPECT_EQ(Listing(out.Path()),
            (Files{"p1.jpg", "p1_jpg.html", "p2.jpg", "p2_jpg.html", "p3.jpg", "p3_jpg.html",
                   "page1.html", "tnp1.jpg", "tnp2.jpg", "tnp3.jpg"}));
  // Three steps a picture, then the bars back at 0 and "Ready.".
  EXPECT_EQ(recorder.overallMax, 9);
  EXPECT_EQ(*std::max_element(recorder.overall.begin(), recorder.overall.end()), 9);
  EXPECT_TRUE(recorder.PutBack());
  for (const char* s : {"Opening file p2.jpg", "Resampling file p2.jpg", "Saving file tnp2.jpg"})
    EXPECT_NE(std::count(recorder.statuses.begin(), recorder.statuses.end(), s), 0) << s;
  ASSERT_EQ(recorder.opened.size(), 1u);
  EXPECT_TRUE(recorder.opened[0].starts_with("/") && recorder.opened[0].ends_with("/page1.html"));
  EXPECT_EQ(recorder.done, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(recorder.errors.empty());
  // Copying is counted by bytes, also inside the 3 MB picture.
  std::uint64_t bytes = 0;
  for (const char* p : {"p1.jpg", "p2.jpg", "p3.jpg"}) bytes += ReadFile(src / p).size();
  const auto& copies = recorder.copies;
  ASSERT_GE(copies.size(), 5u);
  EXPECT_EQ(copies.front(), std::pair(std::uint64_t{0}, bytes));
  EXPECT_EQ(copies.back(), std::pair(bytes, bytes));
  EXPECT_TRUE(std::is_sorted(copies.begin(), copies.end()));
  // Thumbnails are RGB with an Adobe marker: no JFIF header, so no density fields.
  EXPECT_EQ(ReadFile(out / "tnp1.jpg").find("JFIF"), std::string::npos);
}

// One side given, the other in proportion with a truncating division, whether the picture
// is decoded whole or at a reduced size; small pictures are enlarged.
TEST_F(EngineTest, ThumbnailSizesTruncate) {
  const struct {
    int w, h;
    TThumbMode mode;
    int side, tw, th;
  } cases[] = {{800, 600, TThumbMode::tmFixedHeight, 96, 128, 96},
               {600, 800, TThumbMode::tmFixedHeight, 96, 72, 96},
               {1003, 400, TThumbMode::tmFixedHeight, 96, 240, 96},  // 240.7, decoded at half size
               {1000, 333, TThumbMode::tmFixedWidth, 70, 70, 23},
               {20, 10, TThumbMode::tmFixedHeight, 96, 192, 96},
               // A side is at least 1 pixel and at most what a JPEG holds.
               {1, 3000, TThumbMode::tmFixedHeight, 96, 1, 96},
               {20000, 1, TThumbMode::tmFixedHeight, 96, 65500, 96}};
  for (bool prescale : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + (prescale ? " reduced" : ""));
      TempDir pics, target;
      request = TBuildRequest();
      request.JpegPrescale = prescale;
      request.Options.Filter = 6;
      request.Options.ThumbMode = c.mode;
      request.Options.ThumbHeight = request.Options.ThumbWidth = c.side;
      for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        WriteJpeg(pics / name, c.w, c.h, c.w);
        request.Pictures.push_back({name, pics / name});
      }
      const TBuildResult r = Run(target.Path());
      ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
      EXPECT_EQ(PictureSize(target / "tna.jpg"), std::pair(c.tw, c.th));
      EXPECT_EQ(r.Items[0].TnWidth + "x" + r.Items[0].TnHeight,
                std::to_string(c.tw) + "x" + std::to_string(c.th));
      EXPECT_EQ(r.Items[0].OrigWidth + "x" + r.Items[0].OrigHeight,
                std::to_string(c.w) + "x" + std::to_string(c.h));
    }
  }
}

// Cancel finishes the pictures begun, writes them in list order, and writes no catalog page:
// with three workers at most five have begun when the second is written.
TEST_F(EngineTest, CancelFinishesWhatWasBegun) {
  MakeJpegs(8);
  request.Jobs = 3;
  request.Options.ShowInBrowser = true;
  recorder.onDone = [&](int index) {
    if (index == 1) engine.Cancel();
  };
  const TBuildResult r = Run(out.Path());
  EXPECT_EQ(r.Outcome, TBuildOutcome::boCancelled);
  EXPECT_TRUE(r.PicturesDone >= 2 && r.PicturesDone <= 5) << r.PicturesDone;
  for (int i = 1; i <= 8; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_EQ(Present(out.Path(), {"tnp" + n + ".jpg", "p" + n + "_jpg.html"}).size(),
              i <= r.PicturesDone ? 2u : 0u)
        << i;
  }
  EXPECT_FALSE(Exists(out / "page1.html"));
  EXPECT_TRUE(recorder.PutBack() && recorder.opened.empty() && recorder.errors.empty());
}

// The same request with 1 and with 4 workers writes the same bytes, whole or reduced decoding.
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
  request.Options.TableRows = request.Options.TableCols = "2";
  for (bool prescale : {true, false}) {
    request.JpegPrescale = prescale;
    TempDir one, many;
    request.Jobs = 1;
    ASSERT_EQ(Run(one.Path()).Outcome, TBuildOutcome::boDone);
    request.Jobs = 4;
    recorder.done.clear();
    ASSERT_EQ(Run(many.Path()).Outcome, TBuildOutcome::boDone);
    // Committed in list order, though the small ones are ready first.
    EXPECT_TRUE(std::is_sorted(recorder.done.begin(), recorder.done.end()));
    const Files files = Listing(one.Path());
    EXPECT_EQ(files, Listing(many.Path()));
    EXPECT_EQ(files.size(), 8u * 3 + 2);
    for (const std::string& f : files) EXPECT_EQ(ReadFile(one / f), ReadFile(many / f)) << f;
  }
}

// A failure ends the build with a message naming the file; what came before stays, nothing
// after it is written, and no catalog page. What is wrong with the request or an input is
// found before anything is written.
TEST_F(EngineTest, FailuresStopTheBuildNamingTheFile) {
  const Files none, first{"p1.jpg"};
  const std::string junk = "this is not a picture at all", bmff("\0\0\0\x18", 4);
  const test::Bytes jpeg = test::MakeJpeg(8, 8, false);
  const struct {
    std::string message;  // the whole message, or after "~" a part of it
    Files present, absent;
    std::string file = {}, bytes = {};  // the second picture, when given
  } cases[] = {
      {"~huge.gif", {"tnp1.jpg"}, {"tnhuge.jpg", "tnp3.jpg", "page1.html"}},  // past the limit
      {"~p2.jpg (" + src / "gone.jpg): no such file or directory", none, first},
      {"'abc' is not a valid integer value", {"tnp1.jpg"}, {"p1_jpg.html", "tnp2.jpg"}},
      {"~p2.jpg", {"p3_jpg.html"}, {"page1.html"}},   // the copy gone when sizes are read
      {"~../p3.jpg", none, {"p1.jpg", "../p3.jpg"}},  // a name leaving the target folder
      {"~tnp1.jpg", none, {"p1.jpg", "tnp1.jpg"}},    // a thumbnail taking a picture's name
      {"The web copy x.tif.jpg made for x.tif would replace the picture x.tif.jpg", none, first},
      {"~p1.jpg and " + src / "p1.png would share the thumbnail tnp1.jpg: rename or remove one "
                              "of them",
       none, first, "p1.png", Str(test::MakePng(8, 8, 8, 8))},
      {"There is no share 9 of 3: shares are numbered 1 to 3", none, first},
      // Files that are no picture, or not of the kind their name says, are never copied.
      {"~notes.txt is not a picture: its name does not end in .jpg, .jpeg, .gif, .png, .webp, "
       ".heic, .heif, .avif, .tif, .tiff, .mp4, .m4v, .mov, .webm, .mkv, .avi or .3gp, and it "
       "holds text",
       none, first, "notes.txt", "root:x:0:0:root:/root:/bin/bash\n"},
      {"~x.png is not a PNG picture: it holds a JPEG picture; rename it to end in .jpg", none,
       first, "x.png", Str(jpeg)},
      // Pictures that do not read, by the reader their name picks.
      {"Cannot read picture broken.jpg: not a valid JPEG file",
       {"tnp1.jpg", "p1_jpg.html"},
       {"tnbroken.jpg", "tnp3.jpg", "page1.html"},
       "broken.jpg",
       "\xFF\xD8\xFF" + junk},
      {"Cannot read picture broken.HEIC: not a valid HEIF file",
       {"tnp1.jpg"},
       {"tnbroken.jpg"},
       "broken.HEIC",
       bmff + "ftypheic" + junk},
      {"Cannot read picture broken.avif: not a valid AVIF file",
       {"tnp1.jpg"},
       {"tnbroken.jpg"},
       "broken.avif",
       bmff + "ftypavif" + junk},
      {"Cannot read picture broken.webp: not a valid WebP file",
       {"tnp1.jpg"},
       {"tnbroken.jpg"},
       "broken.webp",
       "RIFF" + bmff + "WEBP" + junk},
      {"Cannot read picture broken.tiff: not a valid TIFF file",
       {"tnp1.jpg"},
       {"tnbroken.jpg"},
       "broken.tiff",
       std::string("II*\0", 4) + junk},
      {"The web copy x.mov.mp4 made for x.mov would replace the picture x.mov.mp4", none, first},
      {"Cannot read picture broken.mov: not a valid video clip",
       {"tnp1.jpg"},
       {"tnbroken.jpg", "broken.mov.jpg"},
       "broken.mov",
       bmff + "ftypqt  " + junk}};
  for (int k = 0; k < 18; ++k) {
    const std::string& m = cases[k].message;
    SCOPED_TRACE(m);
    request = TBuildRequest();
    request.Jobs = 1;
    recorder.errors.clear();
    recorder.onStatus = nullptr;
    MakeJpegs(3);
    std::vector<TPictureEntry>& p = request.Pictures;
    if (k == 0) test::WriteBytes(src / "huge.gif", test::ReadBytes("bad/gif-huge-frame.gif"));
    if (k == 0) p[1] = {"huge.gif", src / "huge.gif"};
    if (k == 1) p[1].Path = src / "gone.jpg";
    if (k == 2) request.Options.TableRows = "abc";
    if (k == 3) {
      recorder.onStatus = [&](const std::string& s) {
        if (s == "Saving file tnp3.jpg") std::filesystem::remove(out / "p2.jpg");
      };
    }
    if (k == 4) p[2].Name = "../p3.jpg";
    if (k == 5) p[2] = {"tnp1.jpg", src / "p3.jpg"};
    if (k == 6) p[1] = {"x.tif", test::DataPath("formats/two-pages.tif")}, p[2].Name = "x.tif.jpg";
    if (k == 8) request.Shares = 3, request.Share = 9;
    if (k == 16) p[1] = {"x.mov", test::DataPath("clips/hevc.MOV")}, p[2].Name = "x.mov.mp4";
    if (const std::string& name = cases[k].file; !name.empty()) {
      WriteFile(src / name, cases[k].bytes);
      p[1] = {name, src / name};
    }
    std::filesystem::remove_all(out.Path());
    std::filesystem::create_directory(out.Path());
    const TBuildResult r = Run(out.Path());
    EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
    EXPECT_TRUE(m[0] == '~' ? r.Message.find(m.substr(1)) != std::string::npos : r.Message == m)
        << r.Message;
    EXPECT_EQ(recorder.errors, Files{r.Message});
    EXPECT_TRUE(recorder.PutBack());
    EXPECT_EQ(Present(out.Path(), cases[k].present), cases[k].present);
    EXPECT_EQ(Present(out.Path(), cases[k].absent), Files{});
  }
}

// A target folder that cannot be made says why, and is not offered to be made when it cannot.
TEST_F(EngineTest, ATargetFolderThatCannotBeMadeSaysWhy) {
  MakeJpegs(3);
  WriteFile(out / "file", "x");
  const std::string cannot = "Cannot create the target folder ";
  const std::pair<std::string, std::string> cases[] = {
      {out / "file", "a file of that name is in the way"},
      {out / "file/sub", out / "file is a file, not a folder"},
      {out / "a/b", "the folder it goes in, " + out / "a, does not exist"},
      {"", "none is named; choose one"}};
  for (const auto& [target, why] : cases) {
    const TBuildResult r = Run(target);
    EXPECT_EQ(r.Message, target.empty() ? "Cannot create the target folder: " + why
                                        : cannot + target + ": " + why + "; choose another one");
  }
  // One that can be made is made only with leave, and said to be.
  request.CreateTarget = false;
  EXPECT_EQ(Run(out / "new").Refusal, TRefusal::rfTargetMissing);
  EXPECT_EQ(Listing(out.Path()), Files{"file"});
  request.CreateTarget = true;
  EXPECT_EQ(Run(out / "new").Outcome, TBuildOutcome::boDone);
  EXPECT_EQ(recorder.made, Files{out / "new"});
}

// The eight EXIF orientations, a HEIC turned by its own boxes and a TIFF page stored on its
// side, all of one upright 64 x 32 picture: thumbnails and pages show it upright, the HEIC and
// the TIFF through web copies with their colour profile. Turned off, the JPEGs keep their
// stored sizes.
TEST_F(EngineTest, PicturesAreShownUprightAndHeicAndTiffThroughWebCopies) {
  Files names;
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
  const test::Ppm up = test::LoadPpm("formats/upright.ref.ppm");
  for (std::size_t i = 0; i < names.size(); ++i) {
    const CatalogItem& item = r.Items[i];
    SCOPED_TRACE(item.PictureName);
    const bool webCopy = i >= 8;
    EXPECT_EQ(item.WebCopyName, webCopy ? item.PictureName + ".jpg" : "");
    EXPECT_NE(ReadFile(out / item.PageFileName)
                  .find("<img src=\"" + item.ShownFileName() + "\" width=\"64\" height=\"32\""),
              std::string::npos);
    // Thumbnail (and web copy) against the upright picture, inside its flat blocks: the web
    // copy's chroma is subsampled, so edges blur.
    for (const std::string& file : {item.TnFileName, item.WebCopyName}) {
      if (file.empty()) continue;
      TImageBox box;
      box.LoadFromFile(out / file);
      ASSERT_EQ(box.Bitmap().Width() * 100 + box.Bitmap().Height(), 6432) << file;
      int worst = 0, px[3];
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
          for (int c = 0; c < 3 && x % 16 >= 2 && x % 16 < 14 && y % 16 >= 2 && y % 16 < 14; ++c) {
            test::PixelRgb(box.Bitmap(), x, y, px);
            worst = std::max(worst, std::abs(px[c] - up.Pixel(x, y)[c]));
          }
      EXPECT_LE(worst, 12) << file;
      EXPECT_EQ(box.IOParams().IccProfile.empty(), !webCopy) << file;
      EXPECT_TRUE(box.IOParams().JpegProgressive) << file;
    }
  }
  // The caption gives the size of the file the page shows.
  EXPECT_NE(ReadFile(out / "page1.html")
                .find("64x32 - " +
                      std::to_string(ReadFile(out / "two-pages.tif.jpg").size() / 1024) + "Kb"),
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

// Files may not grow past 600 bytes: every copy, thumbnail and page write fails part-way, and
// nothing truncated is left under a real name, nor a temporary file.
TEST_F(EngineTest, AFailedWriteLeavesNoTruncatedFileUnderARealName) {
  MakeJpegs(3, 300, 200);
  WriteFile(src / "tnp1.jpg", "old");
  for (const bool intoSource : {false, true}) {
    const std::string target = intoSource ? src.Path() : out.Path();
    TBuildResult r;
    {
      test::FileSizeLimit limit(600);
      ASSERT_TRUE(limit.Ok());
      r = Run(target);
    }
    EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
    EXPECT_NE(r.Message.find(intoSource ? "tnp1.jpg" : "p1.jpg"), std::string::npos) << r.Message;
    EXPECT_EQ(ReadFile(src / "tnp1.jpg"), "old");
    const Files left = intoSource ? Files{"p1.jpg", "p2.jpg", "p3.jpg", "tnp1.jpg"} : Files{};
    EXPECT_EQ(Listing(target), left);
  }
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
    name.ends_with(".gif") ? test::WriteGif(src / name, w, h, seed)
                           : WriteJpeg(src / name, w, h, seed);
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
      [&] { o.Style = IsModern(o) ? TPageStyle::psClassic : TPageStyle::psModern; },
  };
  for (int i = 0; i < 5; ++i) add();
  WriteJpeg(src / "wide.jpg", 1300, 40, 7);  // a display copy in the modern style
  request.Pictures.push_back({"wide.jpg", src / "wide.jpg"});
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
  // The other share built with another quality: the option that differs is named.
  request.PagesOnly = false;
  request.Shares = 2;
  request.Share = 1;
  request.Options.JPEGQuality = 80;
  ASSERT_EQ(Run(out.Path()).Outcome, TBuildOutcome::boDone);
  request.Shares = request.Share = 0;
  request.PagesOnly = true;
  EXPECT_EQ(Run(out.Path()).Message,
            "Cannot write the catalog pages: 2 pictures were built with other options (built "
            "with quality=" +
                std::to_string(CatalogOptions().JPEGQuality) +
                ", now quality=80): p2.jpg, p4.jpg; give the options the shares were built with, "
                "or build them again");
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
}

}  // namespace
}  // namespace folivant
