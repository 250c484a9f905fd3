// What a picture says about itself, for the modern pages' alt text and captions: its title
// or description (EXIF ImageDescription, XMP dc:title or dc:description), when it was taken
// and with what camera. Read from the first bytes of the file only; a file without them, or a
// damaged one, gives empty texts, never an error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace folivant {

// How much of a file is looked at: EXIF and XMP stand near the start of a photo.
inline constexpr std::size_t kMetaHeadBytes = 256 * 1024;
// Longest text kept from a file.
inline constexpr std::size_t kMaxMetaText = 300;

struct TPictureMeta {
  std::string Title;   // XMP dc:title, else dc:description, else EXIF ImageDescription
  std::string Taken;   // "2024-05-17 14:03", from EXIF DateTimeOriginal (else DateTime)
  std::string Camera;  // EXIF Make and Model, "Canon EOS 80D"
};

// Of bytes that begin a file (a JPEG's EXIF APP1 segment, or an XMP packet anywhere).
TPictureMeta PictureMetaOf(std::string_view head);
// Of the first kMetaHeadBytes of the file at path; empty when it cannot be read.
TPictureMeta ReadPictureMeta(const std::string& path);

}  // namespace folivant
