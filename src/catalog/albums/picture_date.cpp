// The date a picture was taken, for albums in date order. Only the EXIF block is read: the
// first segments of a JPEG, the chunks of a PNG before its pixels, the metadata of a HEIF.
#include <libexif/exif-data.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "catalog/albums/album_tree.h"
#include "codecs/codecs.h"
#include "imaging/picture_formats.h"

namespace folivant {

namespace {

constexpr std::size_t kMaxExif = 1 << 20;  // larger blocks are not read
constexpr unsigned char kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
using TBytes = std::vector<unsigned char>;

std::uint32_t Big(const unsigned char* p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

bool Read(std::ifstream& in, unsigned char* to, std::size_t n) {
  return static_cast<bool>(in.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(n)));
}

// JPEG: the APP1 segment that starts "Exif\0\0", before the first frame.
TBytes JpegExif(std::ifstream& in) {
  unsigned char m[4];
  if (!Read(in, m, 2) || m[0] != 0xFF || m[1] != 0xD8) return {};
  while (Read(in, m, 4) && m[0] == 0xFF && m[1] != 0xDA && Big(m + 2, 2) >= 2) {
    TBytes body(Big(m + 2, 2) - 2);
    if (m[1] != 0xE1) {
      in.seekg(static_cast<std::streamoff>(body.size()), std::ios::cur);
      continue;
    }
    if (!Read(in, body.data(), body.size())) return {};
    if (body.size() > 6 && std::memcmp(body.data(), kExifHeader, 6) == 0) return body;
  }
  return {};
}

// PNG: the eXIf chunk (a bare TIFF block) before the pixels.
TBytes PngExif(std::ifstream& in) {
  unsigned char h[8];
  if (!Read(in, h, 8) || std::memcmp(h, "\x89PNG\r\n\x1a\n", 8) != 0) return {};
  while (Read(in, h, 8) && std::memcmp(h + 4, "IDAT", 4) != 0) {
    const std::uint32_t length = Big(h, 4);
    if (std::memcmp(h + 4, "eXIf", 4) != 0 || length > kMaxExif) {
      in.seekg(static_cast<std::streamoff>(length) + 4, std::ios::cur);
      continue;
    }
    TBytes body(kExifHeader, kExifHeader + 6);
    body.resize(6 + length);
    return Read(in, body.data() + 6, length) ? body : TBytes();
  }
  return {};
}

// HEIF and AVIF: the primary image's Exif metadata, after its 4-byte offset to the header.
TBytes HeifExif(const std::string& path) {
  const TBytes data = ReadHeifExif(path, kMaxExif);
  const std::size_t size = data.size();
  if (size < 4) return {};
  const std::size_t skip = 4 + static_cast<std::size_t>(Big(data.data(), 4));
  if (skip >= size) return {};
  TBytes body(kExifHeader, kExifHeader + 6);
  body.insert(body.end(), data.begin() + static_cast<std::ptrdiff_t>(skip), data.end());
  return body;
}

std::string EntryText(ExifData* exif, ExifTag tag) {
  ExifEntry* e = exif_content_get_entry(exif->ifd[EXIF_IFD_EXIF], tag);
  if (!e || e->format != EXIF_FORMAT_ASCII || !e->data) return {};
  return std::string(reinterpret_cast<const char*>(e->data),
                     strnlen(reinterpret_cast<const char*>(e->data), e->size));
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// "YYYY:MM:DD HH:MM:SS" and "+HH:MM"; without an offset the time is taken as UTC, so the order
// is the same on every machine.
std::optional<std::int64_t> ExifSeconds(const std::string& when, const std::string& offset) {
  int y, mo, d, h, mi, s;
  if (std::sscanf(when.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) != 6 ||
      y < 1 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60 || h < 0 ||
      mi < 0 || s < 0) {
    return std::nullopt;
  }
  std::int64_t t = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
  int oh, om;
  if (offset.size() == 6 && (offset[0] == '+' || offset[0] == '-') &&
      std::sscanf(offset.c_str() + 1, "%2d:%2d", &oh, &om) == 2 && oh <= 14 && om < 60) {
    t -= (offset[0] == '-' ? -1 : 1) * (oh * 3600 + om * 60);
  }
  return t;
}

std::optional<std::int64_t> TakenAt(const TBytes& block) {
  if (block.size() <= 6) return std::nullopt;
  std::unique_ptr<ExifData, void (*)(ExifData*)> exif(exif_data_new(), exif_data_unref);
  if (!exif) return std::nullopt;
  exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(exif.get(), block.data(),
                      static_cast<unsigned>(std::min(block.size(), kMaxExif + 6)));
  return ExifSeconds(EntryText(exif.get(), EXIF_TAG_DATE_TIME_ORIGINAL),
                     EntryText(exif.get(), EXIF_TAG_OFFSET_TIME_ORIGINAL));
}

}  // namespace

std::int64_t PictureDate(const std::string& path) {
  TBytes block;
  const TPictureKind kind = PictureKindOfName(path);
  if (kind == TPictureKind::pkJpeg || kind == TPictureKind::pkPng) {
    std::ifstream in(path, std::ios::binary);
    if (in) block = kind == TPictureKind::pkJpeg ? JpegExif(in) : PngExif(in);
  } else if (kind == TPictureKind::pkHeif || kind == TPictureKind::pkAvif) {
    block = HeifExif(path);
  }
  if (const auto taken = TakenAt(block)) return *taken * 1'000'000'000;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

}  // namespace folivant
