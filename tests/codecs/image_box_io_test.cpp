// End to end: every format through the image component's dispatch, and a thumbnail saved and
// read back.
#include "codec_test_util.h"
#include "imaging/image_box.h"

namespace folivant::test {
namespace {

TEST(ImageBoxIO, LoadsEveryFormatByExtension) {
  InstallCodecs();
  struct Case {
    const char* file;
    const char* ref;
    int fileType;
  };
  const Case cases[] = {{"jpeg/ycc420.jpg", "jpeg/ycc420.ref.ppm", 3},
                        {"gif/87a.gif", "gif/pattern.ref.ppm", 2},
                        {"png/rgb16.png", "png/rgb16.ref.ppm", 8},
                        {"png/grey1-adam7.png", "png/grey1-adam7.ref.ppm", 8}};
  for (const Case& c : cases) {
    TImageBox box;
    box.LoadFromFile(DataPath(c.file));
    EXPECT_FALSE(box.Aborting()) << c.file;
    EXPECT_EQ(box.IOParams().FileType, c.fileType) << c.file;
    EXPECT_EQ(box.IOParams().FileName, DataPath(c.file));
    EXPECT_TRUE(MatchesPpm(box.Bitmap(), LoadPpm(c.ref), 0)) << c.file;
  }
}

TEST(ImageBoxIO, SaveToFileJpegAndReadBack) {
  InstallCodecs();
  TImageBox box;
  box.LoadFromFile(DataPath("png/rgb8.png"));
  ASSERT_FALSE(box.Aborting());
  box.IOParams().JpegColorSpace = 0;
  box.IOParams().JpegProgressive = true;
  box.IOParams().JpegQuality = 100;
  TempDir dir;
  const std::string path = dir / "thumb.jpg";
  box.SaveToFileJpeg(path);
  EXPECT_FALSE(box.Aborting());

  TImageBox back;
  back.LoadFromFile(path);
  EXPECT_FALSE(back.Aborting());
  EXPECT_EQ(back.IOParams().JpegColorSpace, 0);
  EXPECT_TRUE(back.IOParams().JpegProgressive);
  EXPECT_TRUE(MatchesPpm(back.Bitmap(), LoadPpm("png/rgb8.ref.ppm"), 8));
}

TEST(ImageBoxIO, OneBitPictureSavesWithoutConversion) {
  InstallCodecs();
  TImageBox box;
  box.LoadFromFile(DataPath("gif/bw.gif"));
  ASSERT_EQ(box.Bitmap().PixelFormat(), TPixelFormat::pf1bit);
  TMemoryStream out;
  box.IO().SaveToStreamJpeg(out);
  EXPECT_FALSE(box.Aborting());
  EXPECT_EQ(box.Bitmap().PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_GT(out.Bytes().size(), 100u);
}

}  // namespace
}  // namespace folivant::test
