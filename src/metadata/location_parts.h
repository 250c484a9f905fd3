// The pieces of location removal: the EXIF (TIFF structure) and XMP editors, and the
// container walkers that find their blocks. Every edit is in place and keeps every length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace folivant::location {

using Bytes = std::span<unsigned char>;

// What the walk met so far.
struct TScan {
  bool Removed = false;
  std::string Unsafe;  // non-empty: a location that cannot be removed safely, and why
  std::string Broken;  // non-empty: the walk stopped before the end, and why
  void Break(const std::string& why) {
    if (Broken.empty()) Broken = why;
  }
};

// A TIFF structure (an EXIF block, or a whole TIFF file): the GPS IFD pointer (tag 0x8825)
// leaves every IFD of the chain and the GPS IFD with its values is zeroed; an XMP packet in
// tag 700 is edited as below.
void EditTiff(Bytes tiff, TScan& scan);
// An XMP packet: exif:GPS*, photoshop:City/State/Country and Iptc4xmpCore:Location and
// CountryCode (elements or attributes) are overwritten with spaces, which keeps it valid XML.
void EditXmp(Bytes text, TScan& scan);

// Each walker answers false when the file is not of its kind.
bool WalkJpeg(Bytes file, TScan& scan);
bool WalkPng(Bytes file, TScan& scan);
bool WalkWebp(Bytes file, TScan& scan);
bool WalkIsoMedia(Bytes file, TScan& scan);  // HEIF, AVIF

inline std::uint32_t Be16(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0] << 8 | p[1]);
}
inline std::uint32_t Be32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
inline std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}
// True when [offset, offset + length) lies inside size, without overflow.
inline bool Inside(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
  return offset <= size && length <= size - offset;
}

}  // namespace folivant::location
