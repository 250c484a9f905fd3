#include "catalog/modern/picture_meta.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <libexif/exif-data.h>

namespace folivant {
namespace {

struct ExifUnref {
  void operator()(ExifData* d) const { exif_data_unref(d); }
};

// Text cut to kMaxMetaText bytes on a character boundary, control characters as blanks, blanks
// around it trimmed. Invalid UTF-8 stays as it is: the pages escape what they write.
std::string CleanText(std::string_view raw) {
  std::string text;
  for (const char c : raw) {
    const auto u = static_cast<unsigned char>(c);
    if (u == 0) break;
    text += u < 0x20 || u == 0x7F ? ' ' : c;
  }
  if (text.size() > kMaxMetaText) {
    std::size_t cut = kMaxMetaText;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string ExifText(ExifData* exif, ExifIfd ifd, ExifTag tag) {
  ExifEntry* e = exif_content_get_entry(exif->ifd[ifd], tag);
  if (!e || e->format != EXIF_FORMAT_ASCII || !e->data || e->size == 0) return {};
  return CleanText(std::string_view(reinterpret_cast<const char*>(e->data), e->size));
}

// "2024:05:17 14:03:09" as "2024-05-17 14:03"; anything else is left out.
std::string ExifDate(const std::string& v) {
  if (v.size() < 16 || v[4] != ':' || v[7] != ':' || v[10] != ' ' || v[13] != ':') return {};
  for (const std::size_t k : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15}) {
    if (v[k] < '0' || v[k] > '9') return {};
  }
  if (v.compare(0, 4, "0000") == 0) return {};
  return v.substr(0, 4) + "-" + v.substr(5, 2) + "-" + v.substr(8, 2) + " " + v.substr(11, 5);
}

void ReadExif(std::string_view head, TPictureMeta& meta, std::string& description) {
  // libexif walks a JPEG's markers to its APP1 segment itself; a bounded copy is handed over.
  if (head.size() < 4 || static_cast<unsigned char>(head[0]) != 0xFF ||
      static_cast<unsigned char>(head[1]) != 0xD8)
    return;
  std::unique_ptr<ExifData, ExifUnref> exif(exif_data_new());
  if (!exif) return;
  exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(exif.get(), reinterpret_cast<const unsigned char*>(head.data()),
                      static_cast<unsigned int>(head.size()));
  description = ExifText(exif.get(), EXIF_IFD_0, EXIF_TAG_IMAGE_DESCRIPTION);
  // Cameras fill it with their own name ("OLYMPUS DIGITAL CAMERA", "SONY DSC"): no title.
  const bool shouted = std::none_of(description.begin(), description.end(),
                                    [](char c) { return c >= 'a' && c <= 'z'; });
  if (shouted && (description.find("CAMERA") != std::string::npos ||
                  description.find("DSC") != std::string::npos))
    description.clear();
  meta.Taken = ExifDate(ExifText(exif.get(), EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL));
  if (meta.Taken.empty())
    meta.Taken = ExifDate(ExifText(exif.get(), EXIF_IFD_0, EXIF_TAG_DATE_TIME));
  const std::string make = ExifText(exif.get(), EXIF_IFD_0, EXIF_TAG_MAKE);
  const std::string model = ExifText(exif.get(), EXIF_IFD_0, EXIF_TAG_MODEL);
  // Many models repeat the make ("Canon" "Canon EOS 80D").
  meta.Camera = model.rfind(make, 0) == 0 || make.empty() ? model
                : model.empty()                           ? make
                                                          : make + " " + model;
}

// The few entities XMP writers use, decoded; other text as it is.
std::string XmlText(std::string_view raw) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    bool decoded = false;
    for (const auto& [entity, c] : kEntities) {
      if (raw.substr(i, entity.size()) == entity) {
        out += c;
        i += entity.size() - 1;
        decoded = true;
        break;
      }
    }
    if (!decoded) out += raw[i];
  }
  return CleanText(out);
}

// The first rdf:li text inside <dc:NAME> ... </dc:NAME> of an XMP packet, else "".
std::string XmpField(std::string_view xmp, std::string_view name) {
  const std::string open = "<dc:" + std::string(name) + ">";
  const std::string close = "</dc:" + std::string(name) + ">";
  const std::size_t from = xmp.find(open);
  if (from == std::string_view::npos) return {};
  const std::size_t to = xmp.find(close, from);
  if (to == std::string_view::npos) return {};
  const std::string_view field = xmp.substr(from + open.size(), to - from - open.size());
  const std::size_t li = field.find("<rdf:li");
  if (li == std::string_view::npos) return {};
  const std::size_t textStart = field.find('>', li);
  const std::size_t textEnd = field.find("</rdf:li>", li);
  if (textStart == std::string_view::npos || textEnd == std::string_view::npos ||
      textEnd < textStart)
    return {};
  return XmlText(field.substr(textStart + 1, textEnd - textStart - 1));
}

}  // namespace

TPictureMeta PictureMetaOf(std::string_view head) {
  if (head.size() > kMetaHeadBytes) head = head.substr(0, kMetaHeadBytes);
  TPictureMeta meta;
  std::string description;
  ReadExif(head, meta, description);
  const std::size_t start = head.find("<x:xmpmeta");
  if (start != std::string_view::npos) {
    std::string_view xmp = head.substr(start);
    xmp = xmp.substr(0, xmp.find("</x:xmpmeta>"));
    meta.Title = XmpField(xmp, "title");
    if (meta.Title.empty()) meta.Title = XmpField(xmp, "description");
  }
  if (meta.Title.empty()) meta.Title = description;
  return meta;
}

TPictureMeta ReadPictureMeta(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  std::string head(kMetaHeadBytes, '\0');
  std::size_t got = 0;
  while (got < head.size()) {
    const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  head.resize(got);
  return PictureMetaOf(head);
}

}  // namespace folivant
