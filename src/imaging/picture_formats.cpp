#include "imaging/picture_formats.h"

#include <cctype>

namespace folivant {
namespace {

using namespace std::string_view_literals;

bool At(std::string_view head, std::size_t pos, std::string_view sig) {
  return head.size() >= pos + sig.size() && head.substr(pos, sig.size()) == sig;
}

bool HeifBrand(std::string_view head, bool avif) {
  return At(head, 4, "ftyp"sv) && (At(head, 8, "avif"sv) || At(head, 8, "avis"sv)) == avif;
}

// A clip's first bytes: an ISO file of a video brand, QuickTime's atoms without a brand,
// Matroska / WebM, or AVI.
bool ClipHead(std::string_view h) {
  if (At(h, 4, "ftyp"sv)) {
    for (std::string_view brand : {"iso"sv, "mp4"sv, "avc1"sv, "qt  "sv, "M4V"sv, "3gp"sv, "3g2"sv,
                                   "dash"sv, "mmp4"sv, "MSNV"sv, "XAVC"sv, "f4v "sv})
      if (At(h, 8, brand)) return true;
    return false;
  }
  for (std::string_view atom : {"moov"sv, "mdat"sv, "wide"sv, "free"sv, "skip"sv, "pnot"sv})
    if (At(h, 4, atom)) return true;
  return At(h, 0, "\x1A\x45\xDF\xA3"sv) || (At(h, 0, "RIFF"sv) && At(h, 8, "AVI "sv));
}

std::vector<TPictureFormat> BuiltIn() {
  using K = TPictureKind;
  using B = TBackgroundAfterLoad;
  auto row = [](K kind, const char* name, std::vector<std::string> ext, std::size_t listed,
                const char* group, bool (*magic)(std::string_view), int fileType) {
    TPictureFormat f;
    f.Kind = kind;
    f.ReadBy = kind;
    f.Name = name;
    f.Extensions = std::move(ext);
    f.Listed = listed;
    f.DialogGroup = group;
    f.Magic = magic;
    f.FileType = fileType;
    f.Transparency = true;
    return f;
  };
  std::vector<TPictureFormat> all;
  all.push_back(row(
      K::pkJpeg, "JPEG", {".jpg", ".jpeg", ".jpe"}, 2, "JPG Files",
      [](std::string_view h) { return At(h, 0, "\xFF\xD8\xFF"sv); }, 3));
  all.back().Transparency = false;
  // "GIF" is as much as the reader asks.
  all.push_back(row(
      K::pkGif, "GIF", {".gif"}, 1, "GIF Files",
      [](std::string_view h) { return At(h, 0, "GIF"sv); }, 2));
  all.back().BackgroundAfter = B::baGifColour;
  all.push_back(row(
      K::pkPng, "PNG", {".png"}, 1, "PNG Files",
      [](std::string_view h) { return At(h, 0, "\x89PNG\r\n\x1A\n"sv); }, 8));
  all.back().BackgroundAfter = B::baPngBackground;
  all.push_back(row(
      K::pkWebp, "WebP", {".webp"}, 1, "WebP Files",
      [](std::string_view h) { return At(h, 0, "RIFF"sv) && At(h, 8, "WEBP"sv); }, 12));
  // Any other brand of the ISO box format goes to the HEIF reader.
  all.push_back(row(
      K::pkHeif, "HEIF", {".heic", ".heif"}, 2, "HEIF Files",
      [](std::string_view h) { return At(h, 4, "ftyp"sv) && !HeifBrand(h, true) && !ClipHead(h); },
      13));
  all.back().WebCopy = true;
  all.push_back(row(
      K::pkAvif, "AVIF", {".avif"}, 1, "HEIF Files",
      [](std::string_view h) { return HeifBrand(h, true); }, 14));
  all.back().ReadBy = K::pkHeif;
  // Classic and big TIFF, either byte order.
  all.push_back(row(
      K::pkTiff, "TIFF", {".tif", ".tiff"}, 2, "TIFF Files",
      [](std::string_view h) {
        return At(h, 0, "II*\0"sv) || At(h, 0, "II+\0"sv) || At(h, 0, "MM\0*"sv) ||
               At(h, 0, "MM\0+"sv);
      },
      1));
  all.back().WebCopy = true;
  // The web copy of a clip is its poster frame.
  all.push_back(row(K::pkClip, "video", {".mp4", ".m4v", ".mov", ".webm", ".mkv", ".avi", ".3gp"},
                    7, "Video Files", ClipHead, 20));
  all.back().WebCopy = true;
  all.back().Clip = true;
  all.back().Transparency = false;
  return all;
}

std::vector<TPictureFormat>& Formats() {
  static std::vector<TPictureFormat> formats = BuiltIn();
  return formats;
}

const TPictureFormat* FormatOfExtension(const std::string& ext) {
  for (const TPictureFormat& f : Formats()) {
    for (const std::string& e : f.Extensions)
      if (e == ext) return &f;
  }
  return nullptr;
}

}  // namespace

const std::vector<TPictureFormat>& PictureFormats() {
  return Formats();
}

const TPictureFormat& PictureFormat(TPictureKind kind) {
  static const TPictureFormat none;
  for (const TPictureFormat& f : Formats())
    if (f.Kind == kind) return f;
  return none;
}

TPictureReader PictureReader(TPictureKind kind) {
  return PictureFormat(PictureFormat(kind).ReadBy).Read;
}

TPictureReader SetPictureReader(TPictureKind kind, TPictureReader read) {
  for (TPictureFormat& f : Formats()) {
    if (f.Kind == kind) {
      const TPictureReader old = f.Read;
      f.Read = read;
      return old;
    }
  }
  return nullptr;
}

std::string LowerExtension(const std::string& fileName) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) return {};
  std::string ext = fileName.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

TPictureKind PictureKindOfName(const std::string& fileName) {
  const TPictureFormat* f = FormatOfExtension(LowerExtension(fileName));
  return f ? f->Kind : TPictureKind::pkNone;
}

TPictureKind PictureKindOfBytes(std::string_view head) {
  for (const TPictureFormat& f : Formats())
    if (f.Magic(head)) return f.Kind;
  return TPictureKind::pkNone;
}

const char* PictureKindName(TPictureKind kind) {
  return PictureFormat(kind).Name;
}

const char* PictureKindExtension(TPictureKind kind) {
  const TPictureFormat& f = PictureFormat(kind);
  return f.Extensions.empty() ? "" : f.Extensions.front().c_str();
}

bool ReadsAs(TPictureKind named, TPictureKind found) {
  return named != TPictureKind::pkNone && found != TPictureKind::pkNone &&
         PictureFormat(named).ReadBy == PictureFormat(found).ReadBy;
}

bool IsListedPictureName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const TPictureFormat* f = FormatOfExtension(ext);
  if (!f) return false;
  for (std::size_t i = 0; i < f->Listed; ++i)
    if (f->Extensions[i] == ext) return true;
  return false;
}

std::string ListedExtensionsText() {
  std::vector<std::string> all;
  for (const TPictureFormat& f : Formats())
    all.insert(all.end(), f.Extensions.begin(), f.Extensions.begin() + f.Listed);
  std::string text;
  for (std::size_t i = 0; i < all.size(); ++i)
    text += (i == 0 ? "" : i + 1 == all.size() ? " or " : ", ") + all[i];
  return text;
}

std::string PictureDialogFilter() {
  std::string everything, groups, group;
  for (const TPictureFormat& f : Formats()) {
    if (group != f.DialogGroup) {
      groups += std::string(groups.empty() ? "" : "|") + f.DialogGroup + "|";
      group = f.DialogGroup;
    } else {
      groups += "; ";
    }
    for (std::size_t i = 0; i < f.Listed; ++i) {
      const std::string pattern = "*" + f.Extensions[i];
      everything += (everything.empty() ? "" : "; ") + pattern;
      groups += (i == 0 ? "" : "; ") + pattern;
    }
  }
  return "Image Files|" + everything + "|" + groups;
}

}  // namespace folivant
