#include "imaging/image_box.h"

#include <gtest/gtest.h>

#include <memory>

namespace folivant {
namespace {

// The owned objects work on the component's bitmap, report through its progress callback and
// share its background while attached.
TEST(ImageBox, OwnedObjectsAreAttached) {
  TImageBox box;
  EXPECT_EQ(box.Proc().Bitmap(), &box.Bitmap());
  EXPECT_EQ(box.IO().Bitmap(), &box.Bitmap());
  EXPECT_EQ(box.IO().Params().Owner, &box.IO());
  int calls = 0;
  box.SetOnProgress([&](const void*, int) { ++calls; });
  box.IO().OnProgress()(nullptr, 1);
  EXPECT_EQ(calls, 1);
  box.IO().SetBackground(0x123456);
  EXPECT_EQ(box.Background(), 0x123456u);
  EXPECT_EQ(box.Proc().Background(), 0x123456u);
}

TEST(ImageBox, ObjectsForgetAComponentDestroyedFirst) {
  TImageBoxProc proc;
  TImageBoxIO io;
  {
    TImageBox box;
    box.Bitmap().SetSize(4, 4);
    proc.SetAttachedImageBox(&box);
    io.SetAttachedImageBox(&box);
    EXPECT_EQ(proc.Bitmap(), &box.Bitmap());
  }
  EXPECT_EQ(proc.AttachedImageBox(), nullptr);
  EXPECT_EQ(proc.Bitmap(), nullptr);
  EXPECT_EQ(io.Bitmap(), nullptr);
  // Without a bitmap every operation does nothing.
  proc.Resample(10, 10, TResampleFilter::rfMitchell);
  proc.SaveUndo();
  proc.Undo();
  io.LoadFromFile("/nonexistent/x.jpg");
  io.SaveToFileJpeg("/nonexistent/x.jpg");
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(proc.Background(), clBlack);  // its own again
}

TEST(ImageBox, ObjectDestroyedFirstDetachesItself) {
  TImageBox box;
  {
    TImageBoxProc proc;
    proc.SetAttachedImageBox(&box);
  }
  // The component must not call the gone object when it is destroyed (ASan would tell).
  auto other = std::make_unique<TImageBoxIO>();
  other->SetAttachedImageBox(&box);
  other->SetAttachedImageBox(nullptr);
  other.reset();
}

TEST(ImageBox, AttachedTImageReplacesTheComponent) {
  TImageBox box;
  TBitmap plain;
  plain.SetSize(8, 6);
  TImageBoxProc proc;
  proc.SetAttachedImageBox(&box);
  proc.SetAttachedTImage(&plain);
  EXPECT_EQ(proc.AttachedImageBox(), nullptr);
  EXPECT_EQ(proc.Bitmap(), &plain);
  proc.Resample(4, -1, TResampleFilter::rfTriangle);
  EXPECT_EQ(plain.Width(), 4);
  EXPECT_EQ(plain.Height(), 3);
  proc.SetAttachedImageBox(&box);
  EXPECT_EQ(proc.AttachedTImage(), nullptr);
}

TEST(ImageBox, UndoRestoresTheSnapshot) {
  TImageBox box;
  box.Bitmap().SetSize(6, 4);
  box.Bitmap().ScanLine(1)[5] = 99;
  box.Resample(3, 2, TResampleFilter::rfNone);  // AutoUndo snapshots first
  EXPECT_EQ(box.Bitmap().Width(), 3);
  box.Proc().Undo();
  EXPECT_EQ(box.Bitmap().Width(), 6);
  EXPECT_EQ(box.Bitmap().ScanLine(1)[5], 99);

  // A snapshot of an empty picture is 1 x 1 in its format, and Undo ignores it.
  TImageBox empty;
  empty.Bitmap().SetPixelFormat(TPixelFormat::pf1bit);
  empty.Proc().SaveUndo();
  EXPECT_EQ(empty.Proc().UndoBitmap().Width(), 1);
  EXPECT_EQ(empty.Proc().UndoBitmap().PixelFormat(), TPixelFormat::pf1bit);
  empty.Bitmap().SetSize(5, 5);
  empty.Proc().Undo();
  EXPECT_EQ(empty.Bitmap().Width(), 5);

  // Without AutoUndo no copy is taken.
  TImageBox fast;
  fast.SetAutoUndo(false);
  fast.Bitmap().SetSize(4, 4);
  fast.Resample(2, 2, TResampleFilter::rfTriangle);
  EXPECT_EQ(fast.Proc().UndoBitmap().Width(), 0);
}

TEST(ImageBox, AssignCopiesParametersThenPicture) {
  TImageBox a;
  a.Bitmap().SetSize(3, 2);
  a.Bitmap().ScanLine(0)[0] = 7;
  a.SetDpiX(300);
  a.SetDpiY(150);
  a.SetBackground(0x010203);
  a.IOParams().JpegQuality = 91;
  a.IOParams().ColorMap = {TRGB{1, 2, 3}};
  a.IOParams().ColorMapCount = 1;

  TImageBox b;
  b.Assign(&a);
  EXPECT_EQ(b.Bitmap().Width(), 3);
  EXPECT_EQ(b.Bitmap().ScanLine(0)[0], 7);
  EXPECT_EQ(b.DpiX(), 300);
  EXPECT_EQ(b.DpiY(), 150);
  EXPECT_EQ(b.Background(), 0x010203u);
  EXPECT_EQ(b.IOParams().JpegQuality, 91);
  EXPECT_EQ(b.IOParams().Owner, &b.IO());  // the owner stays
  a.IOParams().ColorMap[0].r = 9;          // an independent copy
  EXPECT_EQ(b.IOParams().ColorMap[0].r, 3);

  TImageBox c;
  c.Assign(a.IO());  // parameters only
  EXPECT_EQ(c.IOParams().JpegQuality, 91);
  EXPECT_EQ(c.Bitmap().Width(), 0);

  c.Assign(a.Bitmap());  // a bare bitmap: its pixels
  EXPECT_EQ(c.Bitmap().Width(), 3);
  EXPECT_EQ(c.DpiX(), ScreenDpi().X);

  const int updates = c.UpdateCount();
  c.Assign(static_cast<const TImageBoxView*>(nullptr));
  EXPECT_EQ(c.Bitmap().Width(), 0);
  EXPECT_GT(c.UpdateCount(), updates);
}

}  // namespace
}  // namespace folivant
