// Where a picture was taken, removed from the bytes of its file without decoding anything:
// the EXIF GPS block and the location properties of the XMP packet, for JPEG, PNG, WebP, TIFF
// and HEIF/AVIF. No Qt, no library: every edit keeps the file's length and moves no byte, so
// no offset anywhere (TIFF tags, maker notes, HEIF item locations) changes meaning.
#pragma once

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
TLocationState RemoveLocationInPlace(std::string& bytes, std::string& why);

}  // namespace folivant
