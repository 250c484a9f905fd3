// The image component: its attached objects' lifetimes, undo, and what the I/O object does
// around a codec (fakes here; the real codecs load by name in the engine tests).
#include "imaging/image_box.h"

#include <dirent.h>
#include <gtest/gtest.h>

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

int OpenFiles() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (d && readdir(d)) ++n;
  if (d) closedir(d);
  return n;
}

// A name without a reader aborts and forgets the file; a file that is not there raises before
// a codec runs; a reader's exception passes after the file is closed; a load sets the file's
// resolution on the component.
TEST(ImageIO, AroundTheCodec) {
  const TCodecTable saved = Codecs();
  static int reads = 0;
  const TPictureReader jpeg = SetPictureReader(
      TPictureKind::pkJpeg, [](TStream&, TBitmap& bmp, TIOParamsVals& p, bool, TProgressRec&) {
        if (++reads > 1) throw std::runtime_error("reader failed");
        p.DpiX = 300;
        bmp.SetSize(2, 3);
      });
  Codecs().WriteJpeg = [](TStream& s, const TBitmap&, TIOParamsVals&, TProgressRec&) {
    s.Write("JPEG", 4);
  };
  test::TempDir dir;
  for (const char* name : {"Photo.JPE", "a.webp", "b.tif", "noext"})
    test::WriteFile(dir / name, "x");
  TImageBox box;
  box.LoadFromFile(dir / "Photo.JPE");
  EXPECT_EQ(box.IOParams().FileType * 1000 + box.DpiX(), 3300);
  EXPECT_EQ(box.IOParams().FileName, dir / "Photo.JPE");
  for (const char* name : {"a.webp", "b.tif", "noext"}) {
    box.LoadFromFile(dir / name);
    EXPECT_TRUE(box.Aborting() && box.IOParams().FileName.empty() && box.IOParams().FileType == 0);
    EXPECT_EQ(box.Bitmap().Width(), 2) << name;
  }
  EXPECT_THROW(box.LoadFromFile(dir / "missing.jpg"), EFileError);
  EXPECT_EQ(reads, 1);
  const int files = OpenFiles();
  EXPECT_THROW(box.LoadFromFile(dir / "Photo.JPE"), std::runtime_error);
  EXPECT_EQ(OpenFiles(), files);
  EXPECT_THROW(box.SaveToFileJpeg("/dev/full"), EFileError);
  SetPictureReader(TPictureKind::pkJpeg, nullptr);  // no reader installed
  box.LoadFromFile(dir / "Photo.JPE");
  EXPECT_TRUE(box.Aborting());
  SetPictureReader(TPictureKind::pkJpeg, jpeg);
  Codecs() = saved;
}

// The registry's rows as the window's file dialog, the build's message and a JPEG's names see them.
TEST(PictureFormats, ListedNames) {
  EXPECT_EQ(PictureDialogFilter(),
            "Image Files|*.jpg; *.jpeg; *.gif; *.png; *.webp; *.heic; *.heif; *.avif; *.tif; "
            "*.tiff; *.mp4; *.m4v; *.mov; *.webm; *.mkv; *.avi; *.3gp|JPG Files|*.jpg; *.jpeg|"
            "GIF Files|*.gif|PNG Files|*.png|WebP Files|*.webp|HEIF Files|*.heic; *.heif; *.avif|"
            "TIFF Files|*.tif; *.tiff|Video Files|*.mp4; *.m4v; *.mov; *.webm; *.mkv; *.avi; *.3gp");
  EXPECT_TRUE(IsListedPictureName("a.JPEG") && !IsListedPictureName("a.jpe"));
  EXPECT_EQ(PictureKindOfName("a.JPE"), TPictureKind::pkJpeg);
  // An ISO file of a video brand is a clip, of a picture brand HEIF.
  using namespace std::string_view_literals;
  EXPECT_EQ(PictureKindOfBytes("\0\0\0\x18" "ftypisom"sv), TPictureKind::pkClip);
  EXPECT_EQ(PictureKindOfBytes("\0\0\0\x18" "ftypheic"sv), TPictureKind::pkHeif);
}

}  // namespace
}  // namespace folivant
