// The image component: its attached objects' lifetimes, undo, assignment, and the I/O object's
// dispatch by extension over fake codecs.
#include "imaging/image_box.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "../common/test_files.h"
#include "imaging/codec_hooks.h"

namespace folivant {
namespace {

TEST(ImageBox, AttachedObjectsForgetAComponentDestroyedFirstAndTheOtherWayRound) {
  TImageBoxProc proc;
  TImageBoxIO io;
  {
    TImageBox box;
    box.Bitmap().SetSize(4, 4);
    proc.SetAttachedImageBox(&box);
    io.SetAttachedImageBox(&box);
    EXPECT_EQ(proc.Bitmap(), &box.Bitmap());
    box.IO().SetBackground(0x123456);  // shared while attached
    EXPECT_EQ(proc.Background(), 0x123456u);
    auto gone = std::make_unique<TImageBoxIO>();  // destroyed first: detaches itself
    gone->SetAttachedImageBox(&box);
  }
  EXPECT_EQ(proc.AttachedImageBox(), nullptr);
  EXPECT_EQ(io.Bitmap(), nullptr);
  // Without a bitmap every operation does nothing.
  proc.Resample(10, 10, TResampleFilter::rfMitchell);
  proc.Undo();
  io.LoadFromFile("/nonexistent/x.jpg");
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(proc.Background(), clBlack);  // its own again
}

TEST(ImageBox, UndoAndAssign) {
  TImageBox box;
  box.Bitmap().SetSize(6, 4);
  box.Bitmap().ScanLine(1)[5] = 99;
  box.Resample(3, 2, TResampleFilter::rfNone);  // AutoUndo snapshots first
  box.Proc().Undo();
  EXPECT_EQ(box.Bitmap().Width(), 6);
  EXPECT_EQ(box.Bitmap().ScanLine(1)[5], 99);
  TImageBox fast;  // without AutoUndo no copy is taken
  fast.SetAutoUndo(false);
  fast.Bitmap().SetSize(4, 4);
  fast.Resample(2, 2, TResampleFilter::rfTriangle);
  EXPECT_EQ(fast.Proc().UndoBitmap().Width(), 0);

  // Another component: its parameters (an independent copy, the owner kept), then its picture.
  box.SetDpiX(300);
  box.SetBackground(0x010203);
  box.IOParams().JpegQuality = 91;
  box.IOParams().ColorMap = {TRGB{1, 2, 3}};
  TImageBox copy;
  copy.Assign(&box);
  box.IOParams().ColorMap[0].r = 9;
  EXPECT_EQ(copy.Bitmap().ScanLine(1)[5], 99);
  EXPECT_EQ(copy.DpiX(), 300);
  EXPECT_EQ(copy.Background(), 0x010203u);
  EXPECT_EQ(copy.IOParams().JpegQuality, 91);
  EXPECT_EQ(copy.IOParams().ColorMap[0].r, 3);
  EXPECT_EQ(copy.IOParams().Owner, &copy.IO());
  copy.Assign(static_cast<const TImageBoxView*>(nullptr));
  EXPECT_EQ(copy.Bitmap().Width(), 0);
}

// What the fake codecs saw.
struct TCalls {
  std::string read;  // "jpeg", "png", "gif" or "" for each load
  TPixelFormat writtenFormat = TPixelFormat::pf24bit;
  int writes = 0, writtenDpiX = -1;
  TRGB pngBackgroundIn{};
  bool throwInReader = false;
};
TCalls g;

void FakeReadJpeg(TStream&, TBitmap& bmp, TIOParamsVals& p, bool paramsOnly,
                  TProgressRec& progress) {
  g.read = "jpeg";
  if (g.throwInReader) throw std::runtime_error("reader failed");
  p.Width = 2;
  p.DpiX = 300;
  p.DpiY = 200;
  if (paramsOnly) return;
  bmp.SetSize(2, 3);
  progress.per = 50;
  progress.Advance();
}
void FakeReadPng(TStream&, TBitmap& bmp, TIOParamsVals& p, bool, TProgressRec&) {
  g.read = "png";
  g.pngBackgroundIn = p.PngBackground;
  p.PngBackground = TRGB{0x30, 0x20, 0x10};
  bmp.SetSize(4, 4);
}
void FakeReadGif(const std::string&, TBitmap& bmp, int&, TProgressRec&, TIOParamsVals& p) {
  g.read = "gif";
  bmp.SetSize(5, 5);
  p.DpiX = 96;
  p.GifTransparent = true;
  p.GifTranspColor = TRGB{0xCC, 0xBB, 0xAA};
}
void FakeWriteJpeg(TStream& s, const TBitmap& bmp, TIOParamsVals& p, TProgressRec&) {
  ++g.writes;
  g.writtenFormat = bmp.PixelFormat();
  g.writtenDpiX = p.DpiX;
  s.Write("JPEG", 4);
}

int OpenFiles() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

class ImageIO : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Codecs();
    Codecs().ReadJpeg = FakeReadJpeg;
    Codecs().ReadPng = FakeReadPng;
    Codecs().ReadGifFile = FakeReadGif;
    Codecs().WriteJpeg = FakeWriteJpeg;
    Codecs().ReadGifStream = [](TStream&, TBitmap& b, int&, bool, TProgressRec&, TIOParamsVals&) {
      b.SetSize(1, 1);
    };
    g = TCalls{};
  }
  void TearDown() override { Codecs() = saved_; }
  std::string File(const std::string& name) {
    test::WriteFile(dir_ / name, "data");
    return dir_ / name;
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
  } cases[] = {{"Photo.JPG", "jpeg", 3, 2, 0},
               {"a.jpe", "jpeg", 3, 2, 0},
               {"pics.tar.gif", "gif", 2, 5, 0xCCBBAA},
               {"a.png", "png", 8, 4, 0x302010},
               {"b.webp", "", 0, 7, 0},
               {"dir.jpg/noext", "", 0, 7, 0},
               {"c.tif", "", 0, 7, 0},
               {"e.targa", "", 0, 7, 0}};
  for (const auto& c : cases) {
    TImageBox box;  // background: button face, the classic silver
    box.Bitmap().SetSize(7, 1);
    box.IOParams().FileName = "before";
    int progress = -1;
    box.SetOnProgress([&](const void*, int per) { progress = per; });
    g.read.clear();
    std::filesystem::create_directories(dir_ / "dir.jpg");
    const std::string path = File(c.name);
    const int files = OpenFiles();
    box.LoadFromFile(path);
    EXPECT_EQ(OpenFiles(), files) << c.name;
    EXPECT_EQ(g.read, c.reader) << c.name;
    EXPECT_EQ(box.Aborting(), c.fileType == 0) << c.name;
    EXPECT_EQ(box.IOParams().FileType, c.fileType) << c.name;
    EXPECT_EQ(box.IOParams().FileName, c.fileType ? path : "") << c.name;
    EXPECT_EQ(box.Bitmap().Width(), c.width) << c.name;
    if (c.background) {
      EXPECT_EQ(box.Background(), c.background) << c.name;
    }
    if (c.fileType == 3) {
      EXPECT_EQ(box.DpiX() * 1000 + box.DpiY() + progress, 300250);
    }
  }
  EXPECT_EQ(g.pngBackgroundIn, (TRGB{0xC0, 0xC0, 0xC0}));

  TImageBox box;
  box.ParamsFromFile(File("h.jpg"));  // the header only
  EXPECT_EQ(box.IOParams().Width, 2);
  EXPECT_EQ(box.Bitmap().Width(), 0);
  const unsigned char jpg[] = {0xFF, 0xD8, 0xFF, 0xE0};
  const struct {
    const void* bytes;
    std::size_t size;
    int format;
  } streams[] = {{jpg, 4, 3}, {"GIF89a..", 8, 2}, {"\x89PNG\r\n\x1a\n", 8, 8}, {"G", 1, 0}};
  for (const auto& s : streams) {
    TMemoryStream m(s.bytes, s.size);
    EXPECT_EQ(TImageBoxIO::FindStreamFormat(m), s.format);
    EXPECT_EQ(m.Position(), 0);
    box.IO().LoadFromStream(m);
    EXPECT_EQ(box.Aborting(), s.format == 0);
  }
}

TEST_F(ImageIO, SavesJpegOnlyAndOneBitWithoutConverting) {
  TImageBox box;
  box.Bitmap().SetPixelFormat(TPixelFormat::pf1bit);
  box.Bitmap().SetSize(9, 3);
  for (const char* name : {"out.jpe", "out.png", "out.tiff"}) {
    box.SaveToFile(dir_ / name);
    EXPECT_TRUE(box.Aborting()) << name;
    EXPECT_FALSE(test::Exists(dir_ / name)) << name;
  }
  EXPECT_EQ(g.writes, 0);
  box.SaveToFile(dir_ / "out.JPEG");
  EXPECT_FALSE(box.Aborting());
  EXPECT_EQ(g.writes, 1);
  EXPECT_EQ(g.writtenFormat, TPixelFormat::pf1bit);
  EXPECT_EQ(box.Bitmap().PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(g.writtenDpiX, 0);  // nothing loaded yet
  EXPECT_EQ(test::ReadFile(dir_ / "out.JPEG"), "JPEG");
  EXPECT_TRUE(box.IOParams().FileName.empty());  // saving leaves FileName and FileType
}

TEST_F(ImageIO, FailuresRaiseOrAbortAndCloseTheFile) {
  TImageBox box;
  box.IOParams().FileName = "keep";
  EXPECT_THROW(box.LoadFromFile(dir_ / "missing.jpg"), EFileError);
  EXPECT_EQ(g.read, "");  // raised before the codec ran
  EXPECT_EQ(box.IOParams().FileName, "keep");
  EXPECT_THROW(box.SaveToFileJpeg(dir_ / "no/such/dir/t.jpg"), EFileError);
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_THROW(box.SaveToFileJpeg("/dev/full"), EFileError);
  }

  const std::string path = File("a.jpeg");
  const int files = OpenFiles();
  g.throwInReader = true;
  EXPECT_THROW(box.LoadFromFile(path), std::runtime_error);
  EXPECT_EQ(OpenFiles(), files);

  Codecs().ReadJpeg = nullptr;  // an empty codec entry
  Codecs().WriteJpeg = nullptr;
  box.LoadFromFile(path);
  EXPECT_TRUE(box.Aborting());
  box.SaveToFileJpeg(dir_ / "t.jpg");
  EXPECT_TRUE(box.Aborting());
}

TEST_F(ImageIO, RegisteredFormatsLoadAndSaveThroughTheRegistry) {
  static int reads = 0, writes = 0;
  static const bool added = [] {
    TFileFormatInfo info;
    info.FileType = 99;
    info.Extensions = "XYZ;XYZW";
    info.ReadFunction = [](TStream&, TBitmap& bmp, TIOParamsVals& p, bool, TProgressRec&) {
      ++reads;
      bmp.SetSize(3, 3);
      p.DpiX = 42;
    };
    info.WriteFunction = [](TStream& s, const TBitmap&, TIOParamsVals&, TProgressRec&) {
      ++writes;
      s.Write("X", 1);
    };
    FileFormatRegistry().Add(info);
    return true;
  }();
  ASSERT_TRUE(added);
  const int before = reads * 100 + writes;
  TImageBox box;
  box.LoadFromFile(File("a.xyzw"));
  EXPECT_EQ(box.IOParams().FileType * 100 + box.DpiX(), 9942);
  box.SaveToFile(dir_ / "b.XYZ");
  EXPECT_FALSE(box.Aborting());
  EXPECT_EQ(reads * 100 + writes, before + 101);
  EXPECT_EQ(test::ReadFile(dir_ / "b.XYZ"), "X");
}

}  // namespace
}  // namespace folivant
