#include <dirent.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "imaging/codec_hooks.h"
#include "imaging/image_box.h"

namespace folivant {
namespace {

// What the fake codecs saw.
struct TCalls {
  int readJpeg = 0, readPng = 0, readGif = 0, writeJpeg = 0;
  std::string gifName;
  TPixelFormat writtenFormat = TPixelFormat::pf24bit;
  int writtenDpiX = -1;
  TRGB pngBackgroundIn{};
  bool throwInReader = false;
};
TCalls g;

void FakeReadJpeg(TStream& s, TBitmap& bmp, TIOParamsVals& p, bool paramsOnly,
                  TProgressRec& progress) {
  ++g.readJpeg;
  if (g.throwInReader) throw std::runtime_error("reader failed");
  EXPECT_GT(s.Size(), 0);
  p.Width = 2;
  p.Height = 3;
  p.DpiX = 300;
  p.DpiY = 200;
  p.JpegColorSpace = 1;
  if (paramsOnly) return;
  bmp.SetSize(2, 3);
  progress.per = 50;
  progress.Advance();
}

void FakeReadPng(TStream&, TBitmap& bmp, TIOParamsVals& p, bool, TProgressRec&) {
  ++g.readPng;
  g.pngBackgroundIn = p.PngBackground;
  p.PngBackground = TRGB{0x30, 0x20, 0x10};
  bmp.SetSize(4, 4);
}

void FakeReadGif(const std::string& name, TBitmap& bmp, int& numImages, TProgressRec& progress,
                 TIOParamsVals& p) {
  ++g.readGif;
  g.gifName = name;
  numImages = 1;
  bmp.SetPixelFormat(TPixelFormat::pf1bit);
  bmp.SetSize(5, 5);
  p.DpiX = p.DpiY = 96;
  p.GifTransparent = true;
  p.GifTranspColor = TRGB{0xCC, 0xBB, 0xAA};
  *progress.Aborting = false;
}

void FakeWriteJpeg(TStream& s, const TBitmap& bmp, TIOParamsVals& p, TProgressRec&) {
  ++g.writeJpeg;
  g.writtenFormat = bmp.PixelFormat();
  g.writtenDpiX = p.DpiX;
  s.Write("JPEG", 4);
}

// Installs the fakes and restores the table afterwards.
class ImageIO : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Codecs();
    Codecs().ReadJpeg = FakeReadJpeg;
    Codecs().ReadPng = FakeReadPng;
    Codecs().ReadGifFile = FakeReadGif;
    Codecs().WriteJpeg = FakeWriteJpeg;
    g = TCalls{};
    dir_ = ::testing::TempDir() + "imaging_io_" + std::to_string(::getpid()) + "/";
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    Codecs() = saved_;
    std::filesystem::remove_all(dir_);
  }
  std::string File(const std::string& name, const std::string& content = "data") {
    const std::string path = dir_ + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  TCodecTable saved_;
  std::string dir_;
};

int OpenFiles() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

TEST(Extension, LastDotOfTheNameInLowerCase) {
  EXPECT_EQ(LowerExtension("a/b/Photo.JPG"), ".jpg");
  EXPECT_EQ(LowerExtension("x.tar.gif"), ".gif");
  EXPECT_EQ(LowerExtension("dir.d/name"), "");
  EXPECT_EQ(LowerExtension("name"), "");
  EXPECT_EQ(LowerExtension("name."), ".");
}

TEST(Registry, ElevenBuiltInFormats) {
  const TFileFormatRegistry& r = FileFormatRegistry();
  ASSERT_GE(r.Entries().size(), 11u);
  for (std::size_t i = 0; i < 11; ++i) EXPECT_EQ(r.Entries()[i].FileType, static_cast<int>(i) + 1);
  EXPECT_EQ(r.Entries()[10].Extensions, "TGA;TARGA;VDA;ICB;VST;PIX");
  const std::pair<const char*, int> found[] = {{"jpe", 3}, {"TaRgA", 11}, {"rle", 5}, {"png", 8}};
  for (const auto& [ext, type] : found) EXPECT_EQ(r.FindByExtension(ext)->FileType, type) << ext;
  for (const char* ext : {"", "TG", "webp"}) EXPECT_EQ(r.FindByExtension(ext), nullptr) << ext;
}

TEST(Params, Defaults) {
  const TGifLzwDecompress savedDec = DefGifLzwDecompress;
  DefGifLzwDecompress = [](TStream&, int, int, bool, std::uint8_t*) {};
  TImageBox box;  // the hook as it is when the defaults are set
  EXPECT_EQ(box.IOParams().GifLzwDecompress, DefGifLzwDecompress);
  DefGifLzwDecompress = savedDec;

  const TIOParamsVals& p = box.IOParams();
  EXPECT_EQ(p.BitsPerSample * 10 + p.SamplesPerPixel, 83);
  EXPECT_EQ(p.DpiX, 0);  // made before the owner is attached
  EXPECT_EQ(p.GifVersion, "GIF89a");
  EXPECT_EQ(p.JpegColorSpace, 2);
  EXPECT_EQ(p.JpegQuality, 50);
  EXPECT_EQ(p.JpegScale, 1);

  // Once attached, the defaults take the bitmap's size and the component's resolution.
  box.Bitmap().SetSize(7, 5);
  box.IOParams().JpegQuality = 80;
  box.IOParams().ColorMap = {TRGB{1, 1, 1}, TRGB{2, 2, 2}};
  box.IOParams().ColorMapCount = 2;
  box.IOParams().SetDefaultParams();
  EXPECT_EQ(box.IOParams().Width, 7);
  EXPECT_EQ(box.IOParams().DpiX, box.DpiX());
  EXPECT_EQ(box.IOParams().JpegQuality, 50);
  EXPECT_TRUE(box.IOParams().ColorMap.empty());
}

TEST(Params, AssignCopiesEveryFieldButTheOwner) {
  TIOParamsVals a;
  a.GifVersion = "GIF87a";
  a.JpegScale = 3;
  a.PngBackground = TRGB{4, 5, 6};
  a.ColorMap = {TRGB{7, 8, 9}, TRGB{10, 11, 12}};
  a.ColorMapCount = 2;
  TImageBoxIO owner;
  TIOParamsVals& c = owner.Params();
  c.Assign(a);
  EXPECT_EQ(c.Owner, &owner);
  EXPECT_EQ(c.GifVersion, "GIF87a");
  EXPECT_EQ(c.JpegScale, 3);
  EXPECT_EQ(c.PngBackground, (TRGB{4, 5, 6}));
  EXPECT_EQ(c.ColorMap, a.ColorMap);
  c.Assign(c);  // self-assignment keeps everything
  EXPECT_EQ(c.ColorMapCount, 2);
}

TEST_F(ImageIO, UpperCaseJpegExtensionLoadsAsJpeg) {
  TImageBox box;
  int progress = -1;
  const void* sender = nullptr;
  box.SetOnProgress([&](const void* s, int per) {
    progress = per;
    sender = s;
  });
  const std::string path = File("Photo.JPG");
  box.LoadFromFile(path);
  EXPECT_EQ(g.readJpeg, 1);
  EXPECT_FALSE(box.Aborting());
  EXPECT_EQ(box.IOParams().FileType, 3);
  EXPECT_EQ(box.IOParams().FileName, path);
  EXPECT_EQ(box.DpiX(), 300);
  EXPECT_EQ(box.DpiY(), 200);
  EXPECT_EQ(box.Bitmap().Width(), 2);
  EXPECT_EQ(progress, 50);
  EXPECT_EQ(sender, &box.IO());
}

TEST_F(ImageIO, JpeLoadsButDoesNotSave) {
  TImageBox box;
  box.LoadFromFile(File("a.jpe"));
  EXPECT_EQ(g.readJpeg, 1);
  EXPECT_FALSE(box.Aborting());
  const std::string out = dir_ + "out.jpe";
  box.SaveToFile(out);
  EXPECT_TRUE(box.Aborting());
  EXPECT_EQ(g.writeJpeg, 0);
  EXPECT_FALSE(std::filesystem::exists(out));
  box.SaveToFile(dir_ + "out.JPEG");
  EXPECT_FALSE(box.Aborting());
  EXPECT_EQ(g.writeJpeg, 1);
  box.SaveToFile(dir_ + "out.png");  // no PNG writer
  EXPECT_TRUE(box.Aborting());
  box.SaveToFile(dir_ + "out.tiff");
  EXPECT_TRUE(box.Aborting());
  EXPECT_FALSE(std::filesystem::exists(dir_ + "out.tiff"));
}

TEST_F(ImageIO, UnknownExtensionsSetAbortingAndChangeNothingElse) {
  TImageBox box;
  box.LoadFromFile(File("a.jpg"));
  box.Bitmap().ScanLine(0)[0] = 5;
  for (const char* name : {"b.webp", "noext", "c.tif", "d.bmp", "e.targa", "f."}) {
    box.IOParams().FileName = "before";
    box.IOParams().FileType = 3;
    EXPECT_NO_THROW(box.LoadFromFile(File(name))) << name;
    EXPECT_TRUE(box.Aborting()) << name;
    EXPECT_TRUE(box.IOParams().FileName.empty()) << name;
    EXPECT_EQ(box.IOParams().FileType, 0) << name;
    EXPECT_EQ(box.Bitmap().Width(), 2) << name;
    EXPECT_EQ(box.Bitmap().ScanLine(0)[0], 5) << name;
  }
  EXPECT_EQ(g.readJpeg, 1);
}

TEST_F(ImageIO, LastExtensionDecidesAndGifReaderOpensByName) {
  TImageBox box;
  box.LoadFromFile(File("a.jpg"));
  EXPECT_EQ(box.IOParams().JpegColorSpace, 1);
  const std::string path = File("pics.tar.gif");
  const int before = OpenFiles();
  box.LoadFromFile(path);
  EXPECT_EQ(OpenFiles(), before);
  EXPECT_EQ(g.readGif, 1);
  EXPECT_EQ(g.gifName, path);
  EXPECT_EQ(box.IOParams().FileType, 2);
  EXPECT_EQ(box.IOParams().FileName, path);
  EXPECT_EQ(box.IOParams().JpegColorSpace, 1);  // kept from the JPEG
  EXPECT_EQ(box.Bitmap().PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(box.Background(), 0xCCBBAAu);  // the transparent colour
  EXPECT_EQ(box.DpiX(), 96);
}

TEST_F(ImageIO, PngBackgroundGoesInAndComesBack) {
  TImageBox box;  // button face: the classic silver
  box.LoadFromFile(File("a.png"));
  EXPECT_EQ(g.readPng, 1);
  EXPECT_EQ(g.pngBackgroundIn, (TRGB{0xC0, 0xC0, 0xC0}));
  EXPECT_EQ(box.Background(), 0x302010u);
  EXPECT_EQ(box.IOParams().FileType, 8);
}

TEST_F(ImageIO, MissingFileRaisesBeforeTheCodecRuns) {
  TImageBox box;
  box.IOParams().FileName = "keep";
  EXPECT_THROW(box.LoadFromFile(dir_ + "missing.jpg"), EFileError);
  EXPECT_EQ(g.readJpeg, 0);
  EXPECT_EQ(box.IOParams().FileName, "keep");
  EXPECT_THROW(box.SaveToFileJpeg(dir_ + "no/such/dir/t.jpg"), EFileError);
  EXPECT_EQ(g.writeJpeg, 0);
}

TEST_F(ImageIO, FileIsClosedWhenTheReaderThrows) {
  TImageBox box;
  const std::string path = File("a.jpeg");
  const int before = OpenFiles();
  g.throwInReader = true;
  EXPECT_THROW(box.LoadFromFile(path), std::runtime_error);
  EXPECT_EQ(OpenFiles(), before);
  EXPECT_TRUE(box.IOParams().FileName.empty());
}

TEST_F(ImageIO, EmptyCodecEntrySetsAborting) {
  Codecs().ReadJpeg = nullptr;
  Codecs().WriteJpeg = nullptr;
  TImageBox box;
  box.LoadFromFile(File("a.jpg"));
  EXPECT_TRUE(box.Aborting());
  box.Bitmap().SetSize(2, 2);
  box.SaveToFileJpeg(dir_ + "t.jpg");
  EXPECT_TRUE(box.Aborting());
}

TEST_F(ImageIO, SaveJpegWritesOneBitWithoutConvertingAndHandsOverZeroDpi) {
  TImageBox box;
  box.Bitmap().SetPixelFormat(TPixelFormat::pf1bit);
  box.Bitmap().SetSize(9, 3);
  const std::string out = dir_ + "thumb.jpg";
  box.SaveToFileJpeg(out);
  EXPECT_FALSE(box.Aborting());
  EXPECT_EQ(g.writtenFormat, TPixelFormat::pf1bit);
  EXPECT_EQ(box.Bitmap().PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(g.writtenDpiX, 0);  // nothing loaded yet
  EXPECT_EQ(std::filesystem::file_size(out), 4u);
  EXPECT_TRUE(box.IOParams().FileName.empty());  // saving leaves FileName and FileType
}

TEST_F(ImageIO, WriteErrorsSurface) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP();
  TImageBox box;
  box.Bitmap().SetSize(2, 2);
  EXPECT_THROW(box.SaveToFileJpeg("/dev/full"), EFileError);
}

TEST_F(ImageIO, ParamsFromFileReadsOnlyTheHeader) {
  TImageBox box;
  box.Bitmap().SetSize(1, 1);
  box.ParamsFromFile(File("h.jpg"));
  EXPECT_EQ(g.readJpeg, 1);
  EXPECT_EQ(box.IOParams().Width, 2);
  EXPECT_EQ(box.Bitmap().Width(), 1);  // the picture is not touched
  box.ParamsFromFile(File("h.webp"));
  EXPECT_TRUE(box.Aborting());
}

TEST_F(ImageIO, RegisteredFormatsLoadAndSaveThroughTheRegistry) {
  static int reads = 0, writes = 0;
  static const bool added = [] {
    TFileFormatInfo info;
    info.FileType = 99;
    info.Description = "Test Bitmap";
    info.Extensions = "XYZ;XYZW";
    info.ReadFunction = [](TStream&, TBitmap& bmp, TIOParamsVals& p, bool paramsOnly,
                           TProgressRec&) {
      ++reads;
      EXPECT_FALSE(paramsOnly);
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
  const int reads0 = reads, writes0 = writes;
  TImageBox box;
  const std::string path = File("a.xyzw");
  box.LoadFromFile(path);
  EXPECT_EQ(reads, reads0 + 1);
  EXPECT_FALSE(box.Aborting());
  EXPECT_EQ(box.IOParams().FileType, 99);
  EXPECT_EQ(box.IOParams().FileName, path);
  EXPECT_EQ(box.DpiX(), 42);
  box.SaveToFile(dir_ + "b.XYZ");
  EXPECT_EQ(writes, writes0 + 1);
  EXPECT_FALSE(box.Aborting());
  EXPECT_EQ(std::filesystem::file_size(dir_ + "b.XYZ"), 1u);
}

TEST_F(ImageIO, StreamFormatFromTheFirstBytes) {
  const unsigned char jpg[] = {0xFF, 0xD8, 0xFF, 0xE0};
  TMemoryStream a(jpg, sizeof jpg);
  EXPECT_EQ(TImageBoxIO::FindStreamFormat(a), 3);
  EXPECT_EQ(a.Position(), 0);
  TMemoryStream b("GIF89a..", 8);
  EXPECT_EQ(TImageBoxIO::FindStreamFormat(b), 2);
  TMemoryStream c("\x89PNG\r\n\x1a\n", 8);
  EXPECT_EQ(TImageBoxIO::FindStreamFormat(c), 8);
  TMemoryStream d("G", 1);
  EXPECT_EQ(TImageBoxIO::FindStreamFormat(d), 0);
  TImageBox box;
  box.IO().LoadFromStream(a);
  EXPECT_EQ(g.readJpeg, 1);
  EXPECT_EQ(box.IOParams().FileType, 3);
  box.IO().LoadFromStream(d);
  EXPECT_TRUE(box.Aborting());
}

}  // namespace
}  // namespace folivant
