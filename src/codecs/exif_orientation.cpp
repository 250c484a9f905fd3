// EXIF orientation through libexif. The library gets a bounded copy of the block and only
// reads it; nothing it might log is kept.
#include <cstring>
#include <memory>
#include <vector>

#include <libexif/exif-data.h>

#include "codecs/picture_facts.h"

namespace folivant {

namespace {

struct ExifDataUnref {
  void operator()(ExifData* d) const { exif_data_unref(d); }
};

constexpr unsigned char kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

}  // namespace

int ExifOrientation(const std::uint8_t* data, std::size_t size) {
  if (!data || size == 0) return 1;
  if (size > kMaxExifBytes + sizeof kExifHeader) size = kMaxExifBytes + sizeof kExifHeader;
  // libexif finds the block by its "Exif\0\0" header; a bare TIFF header gets one.
  std::vector<unsigned char> block;
  const bool hasHeader = size >= sizeof kExifHeader && std::memcmp(data, kExifHeader, 6) == 0;
  if (!hasHeader) {
    if (size > kMaxExifBytes) size = kMaxExifBytes;
    block.assign(kExifHeader, kExifHeader + sizeof kExifHeader);
  }
  block.insert(block.end(), data, data + size);

  std::unique_ptr<ExifData, ExifDataUnref> exif(exif_data_new());
  if (!exif) return 1;
  // Read as it stands: no entries added or corrected after loading.
  exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(exif.get(), block.data(), static_cast<unsigned int>(block.size()));
  ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || !entry->data ||
      entry->size < 2)
    return 1;
  const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif.get()));
  return value >= 1 && value <= 8 ? value : 1;
}

}  // namespace folivant
