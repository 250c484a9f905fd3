// The image component: its attached objects' lifetimes, undo, and the I/O object's dispatch
// by extension over fake codecs.
#include "imaging/image_box.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "../common/test_files.h"
#include "imaging/codec_hooks.h"

namespace folivant {
namespace {

TEST(ImageBox, AttachedObjectsOutliveTheComponentAndTheOtherWayRound) {
  TImageBoxProc proc;
  TImageBoxIO io;
  {
    TImageBox box;
    box.Bitmap().SetSize(6, 4);
    proc.SetAttachedImageBox(&box);
    io.SetAttachedImageBox(&box);
    box.IO().SetBackground(0x123456);  // shared while attached
    EXPECT_EQ(proc.Background(), 0x123456u);
    auto gone = std::make_unique<TImageBoxIO>();  // destroyed first: detaches itself
    gone->SetAttachedImageBox(&box);
    box.Bitmap().ScanLine(1)[5] = 99;
    box.Resample(3, 2, TResampleFilter::rfNone);  // AutoUndo snapshots first
    box.Proc().Undo();
    EXPECT_EQ(box.Bitmap().Width() * 100 + box.Bitmap().ScanLine(1)[5], 699);
  }
  EXPECT_EQ(proc.Bitmap(), nullptr);
  EXPECT_EQ(io.Bitmap(), nullptr);
  proc.Resample(10, 10, TResampleFilter::rfMitchell);  // without a bitmap: nothing
  io.LoadFromFile("/nonexistent/x.jpg");
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(proc.Background(), clBlack);  // its own again
}

// What the fake codecs saw.
struct TCalls {
  std::string read;  // "jpeg", "png", "gif" or "" for each load
  TPixelFormat written = TPixelFormat::pf24bit;
  int writes = 0, writtenDpi = -1;
  TRGB pngBackground{};
  bool throwInReader = false;
} g;

class ImageIO : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Codecs();
    g = TCalls{};
    Codecs().ReadJpeg = [](TStream&, TBitmap& bmp, TIOParamsVals& p, bool, TProgressRec& r) {
      g.read = "jpeg";
      if (g.throwInReader) throw std::runtime_error("reader failed");
      p.DpiX = 300;
      bmp.SetSize(2, 3);
      r.per = 50;
      r.Advance();
    };
    Codecs().ReadPng = [](TStream&, TBitmap& bmp, TIOParamsVals& p, bool, TProgressRec&) {
      g.read = "png";
      g.pngBackground = p.PngBackground;
      p.PngBackground = TRGB{0x30, 0x20, 0x10};
      bmp.SetSize(4, 4);
    };
    Codecs().ReadGifFile = [](const std::string&, TBitmap& bmp, int&, TProgressRec&,
                              TIOParamsVals& p) {
      g.read = "gif";
      bmp.SetSize(5, 5);
      p.GifTransparent = true;
      p.GifTranspColor = TRGB{0xCC, 0xBB, 0xAA};
    };
    Codecs().WriteJpeg = [](TStream& s, const TBitmap& bmp, TIOParamsVals& p, TProgressRec&) {
      ++g.writes;
      g.written = bmp.PixelFormat();
      g.writtenDpi = p.DpiX;
      s.Write("JPEG", 4);
    };
  }
  void TearDown() override { Codecs() = saved_; }
  std::string File(const std::string& name) {
    test::WriteFile(dir_ / name, "data");
    return dir_ / name;
  }
  static int OpenFiles() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (d && readdir(d)) ++n;
    if (d) closedir(d);
    return n;
  }

  TCodecTable saved_;
  test::TempDir dir_;
};

// The reader follows the last extension of the name, in any case; an extension without a
// reader sets Aborting and changes nothing but FileName and FileType.
TEST_F(ImageIO, LoadsByExtension) {
  const struct {
    const char *name, *reader;
    int fileType, width;
    TColor background;
  } cases[] = {{"Photo.JPG", "jpeg", 3, 2, clBtnFace},  {"a.jpe", "jpeg", 3, 2, clBtnFace},
               {"pics.tar.gif", "gif", 2, 5, 0xCCBBAA}, {"a.png", "png", 8, 4, 0x302010},
               {"b.webp", "", 0, 7, clBtnFace},         {"dir.jpg/noext", "", 0, 7, clBtnFace},
               {"c.tif", "", 0, 7, clBtnFace}};
  std::filesystem::create_directories(dir_ / "dir.jpg");
  for (const auto& c : cases) {
    TImageBox box;
    box.Bitmap().SetSize(7, 1);
    box.IOParams().FileName = "before";
    int progress = 0;
    box.SetOnProgress([&](const void*, int per) { progress = per; });
    g.read.clear();
    const std::string path = File(c.name);
    const int files = OpenFiles();
    box.LoadFromFile(path);
    EXPECT_EQ(OpenFiles(), files) << c.name;
    EXPECT_EQ(g.read, c.reader) << c.name;
    EXPECT_EQ(box.Aborting(), c.fileType == 0) << c.name;
    EXPECT_EQ(box.IOParams().FileType, c.fileType) << c.name;
    EXPECT_EQ(box.IOParams().FileName, c.fileType ? path : "") << c.name;
    EXPECT_EQ(box.Bitmap().Width(), c.width) << c.name;
    EXPECT_EQ(box.Background(), c.background) << c.name;
    EXPECT_EQ(c.fileType == 3 ? box.DpiX() * 100 + progress : 30050, 30050) << c.name;
  }
  EXPECT_EQ(g.pngBackground, (TRGB{0xC0, 0xC0, 0xC0}));  // button face: the classic silver
}

TEST_F(ImageIO, FailuresRaiseOrAbortAndCloseTheFile) {
  TImageBox box;
  box.IOParams().FileName = "keep";
  EXPECT_THROW(box.LoadFromFile(dir_ / "missing.jpg"), EFileError);
  EXPECT_EQ(g.read + box.IOParams().FileName, "keep");  // raised before the codec ran
  EXPECT_THROW(box.SaveToFileJpeg(dir_ / "no/such/dir/t.jpg"), EFileError);
  EXPECT_THROW(box.SaveToFileJpeg("/dev/full"), EFileError);
  const std::string path = File("a.jpeg");
  const int files = OpenFiles();
  g.throwInReader = true;
  EXPECT_THROW(box.LoadFromFile(path), std::runtime_error);
  EXPECT_EQ(OpenFiles(), files);
  Codecs().ReadJpeg = nullptr;  // an empty codec entry
  box.LoadFromFile(path);
  EXPECT_TRUE(box.Aborting());
}

}  // namespace
}  // namespace folivant
