// Faults found by trying the builder as a new user would, each pinned by one test.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <future>
#include <sstream>

#include <gtest/gtest.h>

#include "../hardening/picture_builders.h"
#include "catalog/atomic_file.h"
#include "catalog/catalog_rules.h"
#include "catalog/engine/build_engine.h"
#include "catalog/engine/target_files.h"
#include "catalog/record/build_record.h"
#include "cli/cli_run.h"
#include "test_pictures.h"

namespace folivant::test {
namespace {

// Runs f on another thread. While it has not returned, the named pipe is opened for writing
// now and then, which releases a reader blocked on it: a fault fails instead of hanging.
template <class F>
bool ReturnsWithoutBlocking(F f, const std::string& fifo) {
  auto done = std::async(std::launch::async, f);
  bool blocked = false;
  while (done.wait_for(std::chrono::seconds(blocked ? 1 : 20)) != std::future_status::ready) {
    blocked = true;
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  }
  return !blocked;
}

class Faults : public ::testing::Test {
 protected:
  void SetUp() override { InstallCodecs(); }

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
  IBuildObserver reports;
};

// Every load is checked, and a refusal says why: damaged, too large, unreadable. The picture
// in the middle follows a good one on the same worker, so a load that left the bitmap as it
// was would show p1's thumbnail. The build is in the pictures' folder: the loads read them.
TEST_F(Faults, EveryLoadIsCheckedAndSaysWhyItFailed) {
  Bytes hugeJpeg = MakeJpeg(16, 16, false);
  SetJpegSize(hugeJpeg, 20000, 20000);
  const GifFrame hugeFrame{0, 0, 20000, 20000, false, LzwLiterals(2, Bytes(4, 1))};
  const GifFrame smallFrame{0, 0, 16, 16, false, LzwLiterals(2, Bytes(256, 1))};
  Bytes cutPng = MakePng(8, 8, 8, 8);
  cutPng.resize(50);
  const std::string cannot = "Cannot read picture ";
  const struct {
    const char* name;
    Bytes bytes;
    std::string message;  // empty: the build succeeds
    mode_t mode = 0644;
  } cases[] = {
      {"none.gif", MakeGif(16, 16, 1, {}), cannot + "none.gif: the file holds no image"},
      {"screen.gif", MakeGif(60000, 60000, 2, {smallFrame}), ""},
      {"cut.png", cutPng, cannot + "cut.png: not a valid PNG file"},
      {"huge.jpg", hugeJpeg,
       cannot + "huge.jpg: 20000 x 20000 pixels is larger than the limit of 250 million pixels"},
      {"huge.gif", MakeGif(16, 16, 2, {hugeFrame}),
       cannot + "huge.gif: 20000 x 20000 pixels is larger than the limit of 250 million pixels"},
      {"huge.png", MakePng(70000, 16, 1, 1),
       cannot + "huge.png: 70000 x 16 pixels is larger than the limit of 65535 pixels a side"},
      {"locked.jpg", MakeJpeg(16, 16, false),
       cannot + "locked.jpg (DIR/locked.jpg): permission denied", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.mode == 0 && ::geteuid() == 0) continue;  // permissions do not bind root
    TempDir dir;
    request = TBuildRequest();
    WriteJpeg(dir / "p1.jpg", 40, 30, 1);
    WriteFile(dir / c.name, std::string(c.bytes.begin(), c.bytes.end()));
    ::chmod((dir / c.name).c_str(), c.mode);
    WriteJpeg(dir / "p3.jpg", 40, 30, 3);
    for (const char* name : {"p1.jpg", c.name, "p3.jpg"})
      request.Pictures.push_back({name, dir / name});
    const TBuildResult r = Build(dir.Path());
    std::string message = c.message;
    if (const auto at = message.find("DIR"); at != std::string::npos)
      message.replace(at, 3, dir.Path());
    EXPECT_EQ(r.Message, message);
    if (c.message.empty()) {  // the picture is the image, not the screen it is placed on
      EXPECT_NE(ReadFile(dir / "screen_gif.html").find("width=\"16\" height=\"16\""),
                std::string::npos);
    }
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

// A named pipe under a name the build reads or writes, in the target or as a picture, is an
// error naming it, before anything is written to the target; nothing blocks on opening one.
TEST_F(Faults, NothingButRegularFilesAreUsedAndNothingBlocksOnOpen) {
  const struct {
    const char* name;
    bool asPicture;  // the picture given is the pipe, not something in the target
  } cases[] = {{"p2.jpg", false},
               {"tnp2.jpg", false},
               {"p2_jpg.html", false},
               {"page1.html", false},
               {"p2.jpg", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir pics, out;
    const std::string fifo = (c.asPicture ? pics : out) / c.name;
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    request = TBuildRequest();
    for (const char* name : {"p1.jpg", "p2.jpg", "p3.jpg"}) {
      if (!c.asPicture || name != std::string(c.name)) WriteJpeg(pics / name, 40, 30, 1);
      request.Pictures.push_back({name, pics / name});
    }
    TBuildResult r;
    EXPECT_TRUE(ReturnsWithoutBlocking([&] { r = Build(out.Path()); }, fifo));
    EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
    EXPECT_NE(r.Message.find(fifo), std::string::npos) << r.Message;
    EXPECT_FALSE(Exists(out / "tnp1.jpg"));
  }
  // The size in KB of a copy, and any picture file opened for reading.
  const std::string fifo = src / "pipe.jpg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto open = [&] {
    EXPECT_THROW(FileSizeKb(fifo), ECatalogError);
    EXPECT_THROW(TFileStream(fifo, TFileMode::fmOpenRead), EFileError);
  };
  EXPECT_TRUE(ReturnsWithoutBlocking(open, fifo));
}

// Cancel (a first Ctrl-C) is honoured between copies, also when it came before the build;
// Abort (a second) drops the copy being made with its temporary file, and stops the pictures
// in flight with nothing more written.
TEST_F(Faults, CancelStopsTheCopiesAndAbortLeavesNoTemporaryFile) {
  for (const char* name : {"p1.jpg", "p2.jpg", "p3.jpg"}) AddJpeg(name, 2);
  TempDir out;
  TBuildEngine engine;
  engine.Cancel();
  request.Options.TargetDir = out.Path();
  request.Jobs = 1;
  EXPECT_EQ(engine.Run(request, reports).Outcome, TBuildOutcome::boCancelled);
  EXPECT_TRUE(Listing(out.Path()).empty());

  WriteFile(src / "big.jpg", std::string(300000, 'x'));
  int asked = 0;
  EXPECT_THROW(
      CopyFileNoReplace(src / "big.jpg", out.Path(), "big.jpg", [&] { return ++asked > 1; }),
      EBuildStopped);
  EXPECT_EQ(asked, 2);  // stopped after the first block was written
  EXPECT_TRUE(Listing(out.Path()).empty());

  struct Aborter : IBuildObserver {
    TBuildEngine* engine;
    void PictureStep(TPictureStep step, const std::string& file) override {
      if (step == TPictureStep::psOpening && file == "p2.jpg") engine->Abort();
    }
  } aborter;
  aborter.engine = &engine;
  EXPECT_EQ(engine.Run(request, aborter).Outcome, TBuildOutcome::boCancelled);
  EXPECT_EQ(Listing(out.Path()),
            (std::vector<std::string>{"p1.jpg", "p1_jpg.html", "p2.jpg", "p3.jpg", "tnp1.jpg"}));
}

// Two different pictures of one name are an error naming both, before anything is written;
// the same file twice is allowed. A file already in the target that is not the picture given
// is the one used, with a warning, which the command line prints.
TEST_F(Faults, OneNameIsOnePictureAndAKeptDifferentFileIsReported) {
  TempDir a, b, c;
  WriteJpeg(a / "x.jpg", 40, 30, 1);
  WriteJpeg(b / "x.jpg", 40, 30, 2);
  ASSERT_EQ(::link((a / "x.jpg").c_str(), (c / "x.jpg").c_str()), 0);
  AddJpeg("p.jpg", 3);
  AddJpeg("q.jpg", 4);
  for (const auto& [second, allowed] :
       {std::pair{a / "x.jpg", true}, {c / "x.jpg", true}, {b / "x.jpg", false}}) {
    SCOPED_TRACE(second);
    TempDir out;
    request.Pictures = {{"x.jpg", a / "x.jpg"}, {"x.jpg", second}, {"p.jpg", src / "p.jpg"}};
    const TBuildResult r = Build(out.Path());
    if (allowed) {
      EXPECT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
      EXPECT_TRUE(r.Warnings.empty());
    } else {
      EXPECT_EQ(r.Outcome, TBuildOutcome::boFailed);
      EXPECT_NE(r.Message.find(a / "x.jpg"), std::string::npos) << r.Message;
      EXPECT_NE(r.Message.find(b / "x.jpg"), std::string::npos) << r.Message;
      EXPECT_TRUE(Listing(out.Path()).empty());
    }
  }
  TempDir out;
  WriteFile(out / "x.jpg", ReadFile(b / "x.jpg"));
  WriteFile(out / "p.jpg", ReadFile(src / "p.jpg"));  // the same bytes: nothing to say
  std::ostringstream said, warned;
  EXPECT_EQ(
      RunCli({"--no-settings", "-q", "-o", out.Path(), a / "x.jpg", src / "p.jpg", src / "q.jpg"},
             said, warned),
      kExitOk);
  EXPECT_EQ(warned.str(), "folivant-build: warning: The file " + out / "x.jpg" +
                              " differs from the picture " + a / "x.jpg" +
                              "; the catalog uses the file already there\n");
}

// A rebuild notices an edit that keeps size and modification time (exiftool -P), and never
// removes a copy whose picture is gone: it may be the last one. Copies of pictures that only
// left the list go, with everything made for gone pictures.
TEST_F(Faults, RebuildsNoticeEveryEditAndKeepTheOnlyCopies) {
  for (const char* name : {"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg", "p5.jpg", "p6.jpg"})
    AddJpeg(name, 1);
  TempDir out;
  ASSERT_EQ(Build(out.Path()).Outcome, TBuildOutcome::boDone);
  struct stat st {};
  ASSERT_EQ(::stat((src / "p1.jpg").c_str(), &st), 0);
  std::string edited = ReadFile(src / "p1.jpg");
  edited[15] ^= 1;  // the JFIF density: other bytes, the same size and pixels
  WriteFile(src / "p1.jpg", edited);
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, (src / "p1.jpg").c_str(), times, 0), 0);
  ::unlink((src / "p2.jpg").c_str());
  ::unlink((src / "p4.jpg").c_str());
  request.Pictures = {request.Pictures[0], request.Pictures[4], request.Pictures[5]};
  for (const bool again : {false, true}) {  // the copies kept are the user's after that
    const TBuildResult r = Build(out.Path());
    ASSERT_EQ(r.Outcome, TBuildOutcome::boDone) << r.Message;
    EXPECT_TRUE(ReadFile(out / "p1.jpg") == edited);
    EXPECT_EQ(Listing(out.Path()),
              (std::vector<std::string>{"p1.jpg", "p1_jpg.html", "p2.jpg", "p4.jpg", "p5.jpg",
                                        "p5_jpg.html", "p6.jpg", "p6_jpg.html", "page1.html",
                                        "tnp1.jpg", "tnp5.jpg", "tnp6.jpg"}));
    EXPECT_EQ(r.Warnings, again ? std::vector<std::string>()
                                : std::vector<std::string>{
                                      "Kept 2 copies whose pictures no longer exist: p2.jpg, "
                                      "p4.jpg; remove them by hand if you no longer want them"});
  }
  // A picture that became text under its name is refused again: the record vouches for none.
  WriteFile(src / "p5.jpg", "not a picture");
  const TBuildResult text = Build(out.Path());
  EXPECT_EQ(text.Outcome, TBuildOutcome::boFailed);
  EXPECT_NE(text.Message.find("is not a JPEG picture: it holds text"), std::string::npos);
}

// One build writes into a target at a time, but the shares of one build together: a build
// waits for the lock, told once, or with NoWait stops naming the holder. Every whole build
// removes the temporary files of processes no longer running; those of a live one stay.
TEST_F(Faults, BuildsIntoOneTargetTakeTurnsAndClearWhatStoppedOnesLeft) {
  for (const char* name : {"p1.jpg", "p2.jpg", "p3.jpg"}) AddJpeg(name, 1);
  const std::string holder = " (PID " + std::to_string(::getpid()) + ")";
  const std::pair<const char*, int> waits[] = {// the lock held, the share of 2 that waits
                                               {"record", 0},
                                               {"record", 1},
                                               {"share-1-of-2", 0},
                                               {"share-1-of-2", 1}};
  for (const auto& [held, share] :
       {std::pair{"share-1-of-2", 2}, waits[0], waits[1], waits[2], waits[3]}) {
    SCOPED_TRACE(std::string(held) + " " + std::to_string(share));
    TempDir out;
    TBuildLock lock(out.Path(), held, true, {}, {});
    request.Share = share, request.Shares = share ? 2 : 0, request.NoWait = true;
    EXPECT_EQ(Build(out.Path()).Message,
              share == 2 ? "" : "another build is writing into " + out.Path() + holder);
  }
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  TempDir out;
  const std::string stale = ".folivant-" + std::to_string(gone) + "-1.tmp";
  const std::string live = ".folivant-" + std::to_string(::getppid()) + "-1.tmp";
  std::filesystem::create_directories(out / ".folivant");
  for (const std::string& f : {stale, ".folivant/" + stale, live}) WriteFile(out / f, "left");
  struct Releaser : IBuildObserver {
    std::unique_ptr<TBuildLock> lock;
    std::vector<std::string> told;
    void Warning(const std::string& message) override {
      told.push_back(message);
      lock.reset();
    }
  } releaser;
  releaser.lock = std::make_unique<TBuildLock>(out.Path(), "record", true, nullptr, nullptr);
  request.Share = request.Shares = 0, request.NoWait = false,
  request.Options.TargetDir = out.Path();
  EXPECT_EQ(TBuildEngine().Run(request, releaser).Outcome, TBuildOutcome::boDone);
  EXPECT_EQ(releaser.told, (std::vector<std::string>{"Waiting for another build writing into " +
                                                     out.Path() + holder}));
  EXPECT_FALSE(Exists(out / stale) || Exists(out / (".folivant/" + stale)));
  EXPECT_TRUE(Exists(out / live));
}

int opsLeft = 0;  // in a child build: file operations before it is killed
void CountDown() {
  if (--opsLeft == 0) ::_exit(9);
}

// Name and content (hashed, so a difference is short to print) of every file.
std::map<std::string, std::size_t> Files(const std::string& dir) {
  std::map<std::string, std::size_t> files;
  for (const std::string& name : Listing(dir)) {
    files[name] = std::hash<std::string>()(ReadFile(dir + "/" + name));
  }
  return files;
}

// A build killed at every file operation in turn (before each create, write, rename and
// removal), building into an empty folder or over an earlier build, then built again after
// its pictures changed and one left the list: the rebuild equals a fresh build, file for
// file, with no temporary file left.
TEST_F(Faults, ARebuildAfterAKillAtAnyFileOperationEqualsAFreshBuild) {
  // In memory where there is room: the record's sync would otherwise take most of the time.
  if (::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
  auto pictures = [&](int version, int count) {
    request.Pictures.clear();
    for (int i = 1; i <= count; ++i) AddJpeg("p" + std::to_string(i) + ".jpg", version * 10 + i);
  };
  for (const bool over : {false, true}) {
    const int killed = over ? 2 : 1;
    TempDir fresh;
    pictures(killed + 1, 3);
    ASSERT_EQ(Build(fresh.Path()).Outcome, TBuildOutcome::boDone);
    const auto expected = Files(fresh.Path());
    int status = 9 << 8;  // as a killed child's
    for (int ops = 1; WEXITSTATUS(status) != 0; ++ops) {
      SCOPED_TRACE((over ? "over, killed at " : "killed at ") + std::to_string(ops));
      TempDir target;
      pictures(1, 4);
      ASSERT_TRUE(!over || Build(target.Path()).Outcome == TBuildOutcome::boDone);
      pictures(killed, 4);
      const pid_t child = ::fork();
      if (child == 0) {
        opsLeft = ops;
        SetFileOpHook(&CountDown);
        ::_exit(Build(target.Path()).Outcome == TBuildOutcome::boDone ? 0 : 1);
      }
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 1) << status;
      pictures(killed + 1, 3);
      ASSERT_EQ(Build(target.Path()).Outcome, TBuildOutcome::boDone);
      ASSERT_EQ(Files(target.Path()), expected);
    }
  }
}

// Every picture within the size limit decodes: libjpeg's memory limit covers the coefficient
// arrays of the largest, progressive with four full-size components (two bytes a sample).
TEST(FaultsJpeg, WorkMemoryCoversEveryPictureWithinTheLimit) {
  const TPictureLimits saved = PictureLimits();
  for (const std::int64_t pixels : {1'000'000LL, 250'000'000LL, 400'000'000LL}) {
    PictureLimits().MaxPixels = pixels;
    for (const std::int64_t w : {std::int64_t{65535}, std::int64_t(std::sqrt(pixels))}) {
      const std::int64_t h = pixels / w;
      EXPECT_GE(JpegWorkMemoryLimit(), (w + 7) / 8 * ((h + 7) / 8) * 64 * 2 * 4) << w << " x " << h;
    }
  }
  PictureLimits() = saved;
}

}  // namespace
}  // namespace folivant::test
