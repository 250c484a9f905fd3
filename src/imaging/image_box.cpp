#include "imaging/image_box.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "imaging/codec_hooks.h"

namespace folivant {

// ---------------------------------------------------------------------------------------------
// TImageBoxView

TImageBoxView::TImageBoxView()
    : bitmap_(std::make_unique<TBitmap>()), dpiX_(ScreenDpi().X), dpiY_(ScreenDpi().Y) {}

TImageBoxView::~TImageBoxView() {
  // Clients detach themselves from inside the call, so work on a copy.
  const std::vector<TImageBoxClient*> clients = clients_;
  for (TImageBoxClient* c : clients) c->ImageBoxDestroyed(this);
  clients_.clear();
}

void TImageBoxView::AddClient(TImageBoxClient* client) {
  if (std::find(clients_.begin(), clients_.end(), client) == clients_.end())
    clients_.push_back(client);
}

void TImageBoxView::RemoveClient(TImageBoxClient* client) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

void TImageBoxView::AssignView(const TImageBoxView* src) {
  if (src == this) return;
  if (src) {
    bitmap_->Assign(*src->bitmap_);
    background_ = src->background_;
    dpiX_ = src->dpiX_;
    dpiY_ = src->dpiY_;
  } else {
    bitmap_->Clear();
  }
  Update();
}

void TImageBoxView::AssignBitmap(const TBitmap& src) {
  // Only 24-bit and 1-bit bitmaps exist here, so the pixels are copied in their own format.
  if (&src != bitmap_.get()) bitmap_->Assign(src);
  Update();
}

// ---------------------------------------------------------------------------------------------
// TImageBoxClient

TImageBoxClient::~TImageBoxClient() {
  if (box_) box_->RemoveClient(this);
}

void TImageBoxClient::SetAttachedImageBox(TImageBoxView* box) {
  if (box_ == box) return;
  if (box_) box_->RemoveClient(this);
  box_ = box;
  timage_ = nullptr;
  bitmap_ = box ? &box->Bitmap() : nullptr;
  if (box_) box_->AddClient(this);
}

void TImageBoxClient::SetAttachedTImage(TBitmap* bitmap) {
  if (box_) box_->RemoveClient(this);
  box_ = nullptr;
  timage_ = bitmap;
  bitmap_ = bitmap;
}

void TImageBoxClient::ImageBoxDestroyed(TImageBoxView* box) {
  if (box != box_) return;
  box_ = nullptr;
  bitmap_ = nullptr;
}

TColor TImageBoxClient::Background() const {
  return box_ ? box_->Background() : background_;
}

void TImageBoxClient::SetBackground(TColor c) {
  if (box_)
    box_->SetBackground(c);
  else
    background_ = c;
}

void TImageBoxClient::Refresh() {
  if (box_) box_->Update();
}

// ---------------------------------------------------------------------------------------------
// TImageBoxProc

TImageBoxProc::TImageBoxProc() = default;
TImageBoxProc::~TImageBoxProc() = default;

void TImageBoxProc::SaveUndo() {
  TBitmap* bitmap = Bitmap();
  if (!bitmap) return;
  undo_.Clear();
  undo_.SetPixelFormat(bitmap->PixelFormat());
  undo_.SetSize(1, 1);
  if (bitmap->Width() > 0 && bitmap->Height() > 0) undo_.Assign(*bitmap);
}

void TImageBoxProc::Undo() {
  TBitmap* bitmap = Bitmap();
  if (!bitmap) return;
  if (undo_.Width() < 2 || undo_.Height() < 2) return;
  bitmap->Assign(undo_);
  Refresh();
}

namespace {

// The proportional side: product first, then a truncating division. Formed in 64 bits so a
// product past 32 bits gives the true quotient (the size limit then judges it) instead of a
// wrapped one.
int ProportionalSide(int have, int want, int divisor) {
  if (divisor == 0)
    throw EResampleError(
        "Cannot resample: the picture is empty, so the proportional side "
        "cannot be computed");
  const long long q = static_cast<long long>(have) * want / divisor;
  if (q > 0x7FFFFFFF || q < 0) throw EResampleError("Cannot resample: the picture is too large");
  return static_cast<int>(q);
}

}  // namespace

void TImageBoxProc::Resample(int NewWidth, int NewHeight, TResampleFilter FilterType) {
  if (!Bitmap()) return;
  if (autoUndo_) SaveUndo();
  if (NewWidth < 0 && NewHeight < 0) return;
  if (!IsValidFilter(FilterType))
    throw EResampleError("Cannot resample: unknown filter " +
                         std::to_string(static_cast<int>(FilterType)));
  TBitmap& src = *Bitmap();
  if (NewWidth < 0)
    NewWidth = ProportionalSide(src.Width(), NewHeight, src.Height());
  else if (NewHeight < 0)
    NewHeight = ProportionalSide(src.Height(), NewWidth, src.Width());
  if (NewWidth == 0 || NewHeight == 0)
    throw EResampleError("Cannot resample to " + std::to_string(NewWidth) + " x " +
                         std::to_string(NewHeight) + ": a side of 0 pixels");
  if (src.Width() == 0 || src.Height() == 0)
    throw EResampleError("Cannot resample an empty picture");

  TBitmap dst;
  dst.SetPixelFormat(src.PixelFormat());
  dst.SetSize(NewWidth, NewHeight);
  if (FilterType == TResampleFilter::rfNone || src.PixelFormat() != TPixelFormat::pf24bit)
    StretchPlain(src, dst);
  else
    ResampleFiltered(src, dst, FilterType, OnProgress(), this);
  // Drawn into the source rather than taking the destination's block, so the source keeps its
  // large buffer for the next picture a build loads into it.
  src.SetSize(dst.Width(), dst.Height());
  src.Draw(dst);
  Refresh();
}

// ---------------------------------------------------------------------------------------------
// TImageBoxIO

TImageBoxIO::TImageBoxIO() : params_(std::make_unique<TIOParamsVals>(this)) {}

TImageBoxIO::~TImageBoxIO() = default;

bool TImageBoxIO::Begin(bool haveCodec) {
  ClearAbort();
  if (!Bitmap()) return false;
  if (!haveCodec) {
    aborting_ = true;
    return false;
  }
  return true;
}

TProgressRec TImageBoxIO::MakeProgress() {
  TProgressRec rec;
  rec.fOnProgress = OnProgress();
  rec.Sender = this;
  rec.val = 0;
  rec.per = 0;
  rec.Aborting = &aborting_;
  rec.Reason = &abortReason_;
  rec.Stop = stop_;
  return rec;
}

void TImageBoxIO::Loaded(const std::string& fileName, int fileType) {
  params_->FileName = fileName;
  params_->FileType = fileType;
  if (TImageBoxView* box = AttachedImageBox()) {
    box->SetDpiX(params_->DpiX);
    box->SetDpiY(params_->DpiY);
  }
  Refresh();
}

namespace {

TRGB ColorToRGB(TColor c) {
  c = ColorToRGBValue(c);
  return TRGB{static_cast<std::uint8_t>((c >> 16) & 0xFF),
              static_cast<std::uint8_t>((c >> 8) & 0xFF), static_cast<std::uint8_t>(c & 0xFF)};
}

TColor RGBToColor(const TRGB& c) {
  return static_cast<TColor>(c.r) | (static_cast<TColor>(c.g) << 8) |
         (static_cast<TColor>(c.b) << 16);
}

}  // namespace

void TImageBoxIO::LoadFromFile(const std::string& FileName) {
  abortReason_.clear();
  if (!Bitmap()) return;
  const TPictureKind kind = PictureKindOfName(FileName);
  const TPictureReader read = PictureReader(kind);
  if (!read) {
    NoReader();
    return;
  }
  ClearAbort();
  TFileStream stream(FileName, TFileMode::fmOpenRead);  // closed on every exit
  params_->ClearPictureFacts();
  Read(PictureFormat(kind), read, stream);
  Loaded(FileName, PictureFormat(kind).FileType);
}

void TImageBoxIO::Read(const TPictureFormat& format, TPictureReader read, TStream& stream) {
  TProgressRec progress = MakeProgress();
  if (format.Transparency) params_->PngBackground = ColorToRGB(Background());
  read(stream, *Bitmap(), *params_, false, progress);
  if (format.BackgroundAfter == TBackgroundAfterLoad::baPngBackground) {
    SetBackground(RGBToColor(params_->PngBackground));
  } else if (format.BackgroundAfter == TBackgroundAfterLoad::baGifColour) {
    SetBackground(
        RGBToColor(params_->GifTransparent ? params_->GifTranspColor : params_->GifBackground));
  }
}

void TImageBoxIO::NoReader() {
  params_->FileName.clear();
  params_->FileType = 0;
  aborting_ = true;
}

void TImageBoxIO::SaveToFileJpeg(const std::string& FileName) {
  const auto write = Codecs().WriteJpeg;
  if (!Begin(write != nullptr)) return;
  TFileStream stream(FileName, TFileMode::fmCreate);
  TProgressRec progress = MakeProgress();
  write(stream, *Bitmap(), *params_, progress);
  stream.Close();  // a failed flush surfaces as EFileError
}

void TImageBoxIO::SaveToStreamJpeg(TStream& Stream) {
  const auto write = Codecs().WriteJpeg;
  if (!Begin(write != nullptr)) return;
  TProgressRec progress = MakeProgress();
  write(Stream, *Bitmap(), *params_, progress);
}

void TImageBoxIO::SaveToFile(const std::string& FileName) {
  ClearAbort();
  if (!Bitmap()) return;
  const std::string ext = LowerExtension(FileName);
  if (ext == ".jpg" || ext == ".jpeg") {
    SaveToFileJpeg(FileName);
    return;
  }
  aborting_ = true;  // JPEG is the only format written
}

int TImageBoxIO::FindStreamFormat(TStream& Stream) {
  const std::int64_t start = Stream.Position();
  std::uint8_t head[8] = {};
  const std::size_t got = Stream.Read(head, sizeof head);
  Stream.SetPosition(start);
  static const std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (got >= 2 && head[0] == 0xFF && head[1] == 0xD8) return 3;
  if (got >= 6 && std::memcmp(head, "GIF8", 4) == 0 && (head[4] == '7' || head[4] == '9') &&
      head[5] == 'a')
    return 2;
  if (got >= 8 && std::memcmp(head, kPng, 8) == 0) return 8;
  return 0;
}

void TImageBoxIO::LoadFromStream(TStream& Stream) {
  ClearAbort();
  if (!Bitmap()) return;
  const int format = FindStreamFormat(Stream);
  const TPictureFormat* found = nullptr;
  for (const TPictureFormat& f : PictureFormats())
    if (format != 0 && f.FileType == format) found = &f;
  const TPictureReader read = found ? PictureReader(found->Kind) : nullptr;
  if (!read) {
    aborting_ = true;
    return;
  }
  Read(*found, read, Stream);
  Loaded(std::string(), format);
}

// ---------------------------------------------------------------------------------------------
// TImageBox

TImageBox::TImageBox() {
  proc_ = std::make_unique<TImageBoxProc>();
  proc_->SetAttachedImageBox(this);
  proc_->SetAutoUndo(true);
  io_ = std::make_unique<TImageBoxIO>();
  io_->SetAttachedImageBox(this);
}

TImageBox::~TImageBox() {
  // The processing object goes first, then the I/O object, then the base frees the bitmap.
  proc_.reset();
  io_.reset();
}

void TImageBox::SetOnProgress(TProgressEvent e) {
  proc_->SetOnProgress(e);
  io_->SetOnProgress(std::move(e));
}

void TImageBox::SetMsgLanguage(TMsgLanguage v) {
  proc_->SetMsgLanguage(v);
  io_->SetMsgLanguage(v);
}

void TImageBox::Assign(const TImageBoxView* Source) {
  if (Source == this) return;
  if (const auto* box = dynamic_cast<const TImageBox*>(Source))
    io_->Params().Assign(box->IOParams());
  AssignView(Source);
}

void TImageBox::Assign(const TImageBoxIO& Source) {
  if (&Source == io_.get()) return;
  io_->Params().Assign(Source.Params());
}

void TImageBox::Assign(const TBitmap& Source) {
  AssignBitmap(Source);
}

}  // namespace folivant
