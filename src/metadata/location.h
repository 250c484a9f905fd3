// Where a picture was taken, removed from the bytes of its file without decoding anything:
// the EXIF GPS block and the location properties of the XMP packet, for JPEG, PNG, WebP, TIFF
// and HEIF/AVIF. No Qt, no library: every edit keeps the file's length and moves no byte, so
// no offset anywhere (TIFF tags, maker notes, HEIF item locations) changes meaning.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace folivant {

enum class TLocationState {
  lsNone,     // no location found: the file stays as it is
  lsRemoved,  // Bytes holds the file without its location
  lsUnsafe,   // a location is there but cannot be removed safely (Why says why)
};

struct TLocationEdit {
  TLocationState State = TLocationState::lsNone;
  std::string Bytes;
  std::string Why;
};

// The file's bytes without their location. A file whose structure cannot be walked to its
// end is left as it is when no location shows anywhere in it; otherwise it is lsUnsafe.
TLocationEdit RemoveLocation(std::string_view file);
// The same on the bytes themselves, which are edited only when the result is lsRemoved (and
// may be when lsUnsafe); why gets the reason of an lsUnsafe.
// elsewhere: a location shows in bytes of the file not given here (read in parts).
TLocationState RemoveLocationInPlace(std::string& bytes, std::string& why, bool elsewhere = false);

// Text that shows a location in any part of a file, whatever else the walks found; a match
// is at most kLocationTextMax bytes long.
bool ShowsLocation(std::string_view bytes);
inline constexpr std::size_t kLocationTextMax = 12;

// The length of a JPEG's head: its segments through the first SOS, which hold every location
// it can carry; the rest is picture data. 0 when bytes end before that or are no such JPEG.
std::size_t JpegHeadLength(std::string_view bytes);

}  // namespace folivant
