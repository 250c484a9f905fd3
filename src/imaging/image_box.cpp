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
// Format registry

TFileFormatRegistry::TFileFormatRegistry() {
  const struct {
    int code;
    const char* desc;
    const char* ext;
  } builtIn[] = {
      {1, "TIFF Bitmap", "TIF;TIFF"},
      {2, "CompuServe Bitmap", "GIF"},
      {3, "JPEG Bitmap", "JPG;JPEG;JPE"},
      {4, "PaintBrush", "PCX"},
      {5, "Windows Bitmap", "BMP;DIB;RLE"},
      {6, "Windows Icon", "ICO"},
      {7, "Windows Cursor", "CUR"},
      {8, "Portable Network Graphics", "PNG"},
      {9, "Windows Metafile", "WMF"},
      {10, "Enhanced Windows Metafile", "EMF"},
      {11, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX"},
  };
  for (const auto& f : builtIn) {
    TFileFormatInfo info;
    info.FileType = f.code;
    info.Description = f.desc;
    info.Extensions = f.ext;
    entries_.push_back(std::move(info));
  }
}

void TFileFormatRegistry::Add(TFileFormatInfo info) {
  entries_.push_back(std::move(info));
}

namespace {

std::string ToLower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

const TFileFormatInfo* TFileFormatRegistry::FindByExtension(const std::string& ext) const {
  const std::string want = ToLower(ext);
  for (const TFileFormatInfo& info : entries_) {
    const std::string list = ToLower(info.Extensions);
    std::size_t pos = 0;
    while (pos <= list.size()) {
      std::size_t end = list.find(';', pos);
      if (end == std::string::npos) end = list.size();
      if (list.compare(pos, end - pos, want) == 0 && end - pos == want.size()) return &info;
      pos = end + 1;
    }
  }
  return nullptr;
}

const TFileFormatInfo* TFileFormatRegistry::FindByFileType(int fileType) const {
  for (const TFileFormatInfo& info : entries_)
    if (info.FileType == fileType) return &info;
  return nullptr;
}

TFileFormatRegistry& FileFormatRegistry() {
  static TFileFormatRegistry registry;
  return registry;
}

std::string LowerExtension(const std::string& fileName) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) return {};
  return ToLower(fileName.substr(dot));
}

namespace {

struct TKindInfo {
  const char* Name;
  const char* Extension;
};
constexpr TKindInfo kKinds[] = {{"", ""},          {"JPEG", ".jpg"},  {"GIF", ".gif"},
                                {"PNG", ".png"},   {"WebP", ".webp"}, {"HEIF", ".heic"},
                                {"AVIF", ".avif"}, {"TIFF", ".tif"}};

}  // namespace

TPictureKind PictureKindOfName(const std::string& fileName) {
  const std::string ext = LowerExtension(fileName);
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe") return TPictureKind::pkJpeg;
  if (ext == ".gif") return TPictureKind::pkGif;
  if (ext == ".png") return TPictureKind::pkPng;
  if (ext == ".webp") return TPictureKind::pkWebp;
  if (ext == ".heic" || ext == ".heif") return TPictureKind::pkHeif;
  if (ext == ".avif") return TPictureKind::pkAvif;
  if (ext == ".tif" || ext == ".tiff") return TPictureKind::pkTiff;
  return TPictureKind::pkNone;
}

TPictureKind PictureKindOfBytes(std::string_view head) {
  auto at = [&](std::size_t pos, std::string_view sig) {
    return head.size() >= pos + sig.size() && head.substr(pos, sig.size()) == sig;
  };
  using namespace std::string_view_literals;
  if (at(0, "\xFF\xD8\xFF"sv)) return TPictureKind::pkJpeg;
  if (at(0, "GIF"sv)) return TPictureKind::pkGif;  // as much as the reader asks
  if (at(0, "\x89PNG\r\n\x1A\n"sv)) return TPictureKind::pkPng;
  if (at(0, "RIFF"sv) && at(8, "WEBP"sv)) return TPictureKind::pkWebp;
  if (at(4, "ftyp"sv)) {
    return at(8, "avif"sv) || at(8, "avis"sv) ? TPictureKind::pkAvif : TPictureKind::pkHeif;
  }
  // Classic and big TIFF, either byte order.
  if (at(0, "II*\0"sv) || at(0, "II+\0"sv) || at(0, "MM\0*"sv) || at(0, "MM\0+"sv))
    return TPictureKind::pkTiff;
  return TPictureKind::pkNone;
}

const char* PictureKindName(TPictureKind kind) {
  return kKinds[static_cast<int>(kind)].Name;
}

const char* PictureKindExtension(TPictureKind kind) {
  return kKinds[static_cast<int>(kind)].Extension;
}

bool ReadsAs(TPictureKind named, TPictureKind found) {
  auto heif = [](TPictureKind k) { return k == TPictureKind::pkHeif || k == TPictureKind::pkAvif; };
  return named != TPictureKind::pkNone && (named == found || (heif(named) && heif(found)));
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
  const std::string ext = LowerExtension(FileName);
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe") {
    LoadFromFileJpeg(FileName);
  } else if (ext == ".png") {
    LoadFromFilePng(FileName);
  } else if (ext == ".gif") {
    LoadFromFileGif(FileName);
  } else if (ext == ".tif" || ext == ".tiff") {
    LoadFromFileTiff(FileName);
  } else if (ext == ".pcx" || ext == ".wmf" || ext == ".emf" || ext == ".bmp" || ext == ".dib" ||
             ext == ".rle" || ext == ".cur" || ext == ".ico" || ext == ".tga" || ext == ".targa" ||
             ext == ".vda" || ext == ".icb" || ext == ".vst" || ext == ".win") {
    // No codec for these formats here: treated like an unknown extension.
    NoReader();
  } else {
    LoadRegistry(FileName, ext);
  }
}

void TImageBoxIO::LoadRegistry(std::string FileName, const std::string& ext) {
  params_->FileName.clear();
  params_->FileType = 0;
  const std::string bare = ext.empty() ? ext : ext.substr(1);
  const TFileFormatInfo* info = FileFormatRegistry().FindByExtension(bare);
  if (!info || !info->ReadFunction) {
    aborting_ = true;
    return;
  }
  ClearAbort();
  TFileStream stream(FileName, TFileMode::fmOpenRead);
  TProgressRec progress = MakeProgress();
  params_->ClearPictureFacts();
  params_->PngBackground = ColorToRGB(Background());
  info->ReadFunction(stream, *Bitmap(), *params_, false, progress);
  Loaded(FileName, info->FileType);
}

void TImageBoxIO::NoReader() {
  params_->FileName.clear();
  params_->FileType = 0;
  aborting_ = true;
}

void TImageBoxIO::LoadFromFileTiff(const std::string& FileName) {
  const auto read = Codecs().ReadTiff;
  if (!read) {
    aborting_ = false;
    if (Bitmap()) NoReader();
    return;
  }
  if (!Begin(true)) return;
  TFileStream stream(FileName, TFileMode::fmOpenRead);
  TProgressRec progress = MakeProgress();
  params_->ClearPictureFacts();
  params_->PngBackground = ColorToRGB(Background());
  read(stream, *Bitmap(), *params_, false, progress);
  Loaded(FileName, 1);
}

void TImageBoxIO::LoadFromFileJpeg(const std::string& FileName) {
  const auto read = Codecs().ReadJpeg;
  if (!Begin(read != nullptr)) return;
  TFileStream stream(FileName, TFileMode::fmOpenRead);  // closed on every exit
  TProgressRec progress = MakeProgress();
  params_->ClearPictureFacts();
  read(stream, *Bitmap(), *params_, false, progress);
  Loaded(FileName, 3);
}

void TImageBoxIO::LoadFromFilePng(const std::string& FileName) {
  const auto read = Codecs().ReadPng;
  if (!Begin(read != nullptr)) return;
  TFileStream stream(FileName, TFileMode::fmOpenRead);
  TProgressRec progress = MakeProgress();
  params_->PngBackground = ColorToRGB(Background());
  params_->ClearPictureFacts();
  read(stream, *Bitmap(), *params_, false, progress);
  SetBackground(RGBToColor(params_->PngBackground));
  Loaded(FileName, 8);
}

void TImageBoxIO::LoadFromFileGif(const std::string& FileName) {
  const auto read = Codecs().ReadGifFile;
  if (!Begin(read != nullptr)) return;
  TProgressRec progress = MakeProgress();
  int numImages = 0;
  params_->ClearPictureFacts();
  params_->PngBackground = ColorToRGB(Background());
  read(FileName, *Bitmap(), numImages, progress, *params_);
  SetBackground(
      RGBToColor(params_->GifTransparent ? params_->GifTranspColor : params_->GifBackground));
  Loaded(FileName, 2);
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
  if (ext == ".pcx" || ext == ".gif" || ext == ".tif" || ext == ".tiff" || ext == ".png" ||
      ext == ".bmp" || ext == ".tga") {
    // No writer for these formats here.
    aborting_ = true;
    return;
  }
  const std::string bare = ext.empty() ? ext : ext.substr(1);
  const TFileFormatInfo* info = FileFormatRegistry().FindByExtension(bare);
  if (!info || !info->WriteFunction) {
    aborting_ = true;
    return;
  }
  TFileStream stream(FileName, TFileMode::fmCreate);
  TProgressRec progress = MakeProgress();
  info->WriteFunction(stream, *Bitmap(), *params_, progress);
  stream.Close();
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
  TProgressRec progress = MakeProgress();
  const int format = FindStreamFormat(Stream);
  const TCodecTable& codecs = Codecs();
  if (format == 3 && codecs.ReadJpeg) {
    codecs.ReadJpeg(Stream, *Bitmap(), *params_, false, progress);
  } else if (format == 8 && codecs.ReadPng) {
    params_->PngBackground = ColorToRGB(Background());
    codecs.ReadPng(Stream, *Bitmap(), *params_, false, progress);
    SetBackground(RGBToColor(params_->PngBackground));
  } else if (format == 2 && codecs.ReadGifStream) {
    int numImages = 0;
    params_->PngBackground = ColorToRGB(Background());
    codecs.ReadGifStream(Stream, *Bitmap(), numImages, false, progress, *params_);
  } else {
    aborting_ = true;
    return;
  }
  Loaded(std::string(), format);
}

void TImageBoxIO::ParamsFromStream(TStream& Stream) {
  ClearAbort();
  // Header-only reads never touch the component's bitmap; they get a scratch one.
  TBitmap scratch;
  TProgressRec progress = MakeProgress();
  const int format = FindStreamFormat(Stream);
  const TCodecTable& codecs = Codecs();
  if (format == 3 && codecs.ReadJpeg) {
    codecs.ReadJpeg(Stream, scratch, *params_, true, progress);
  } else if (format == 8 && codecs.ReadPng) {
    codecs.ReadPng(Stream, scratch, *params_, true, progress);
  } else if (format == 2 && codecs.ReadGifStream) {
    int numImages = 0;
    params_->PngBackground = ColorToRGB(Background());
    codecs.ReadGifStream(Stream, scratch, numImages, true, progress, *params_);
  } else {
    aborting_ = true;
    return;
  }
  params_->FileType = format;
}

void TImageBoxIO::ParamsFromFile(const std::string& FileName) {
  ClearAbort();
  const std::string ext = LowerExtension(FileName);
  int format = 0;
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe")
    format = 3;
  else if (ext == ".png")
    format = 8;
  else if (ext == ".gif")
    format = 2;
  const TCodecTable& codecs = Codecs();
  if ((format == 3 && !codecs.ReadJpeg) || (format == 8 && !codecs.ReadPng) ||
      (format == 2 && !codecs.ReadGifStream) || format == 0) {
    aborting_ = true;
    return;
  }
  TFileStream stream(FileName, TFileMode::fmOpenRead);
  TBitmap scratch;
  TProgressRec progress = MakeProgress();
  if (format == 3) {
    codecs.ReadJpeg(stream, scratch, *params_, true, progress);
  } else if (format == 8) {
    codecs.ReadPng(stream, scratch, *params_, true, progress);
  } else {
    int numImages = 0;
    params_->PngBackground = ColorToRGB(Background());
    codecs.ReadGifStream(stream, scratch, numImages, true, progress, *params_);
  }
  params_->FileName = FileName;
  params_->FileType = format;
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
