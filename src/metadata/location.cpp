#include "metadata/location.h"

#include "metadata/location_parts.h"

namespace folivant {

using namespace location;

// A location the walkers did not reach (an unknown container, a part they could not read)
// still shows in XMP text, whatever the prefix: the tag names are the same everywhere.
bool ShowsLocation(std::string_view bytes) {
  return bytes.find("GPSLatitude") != bytes.npos || bytes.find("GPSLongitude") != bytes.npos;
}

// The rule: a location that was seen is removed, or the file is unsafe. A file whose walk
// stopped early is unsafe when it had a location in the part read or shows one anywhere;
// otherwise it stays as it is.
TLocationState RemoveLocationInPlace(std::string& bytes, std::string& why, bool elsewhere) {
  const Bytes b(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size());
  const std::string_view file(bytes);
  TScan scan;
  const bool tiff = b.size() >= 4 && (file.starts_with(std::string_view("II*\0", 4)) ||
                                      file.starts_with(std::string_view("MM\0*", 4)));
  if (tiff) {
    EditTiff(b, scan);
  } else if (!WalkJpeg(b, scan) && !WalkPng(b, scan) && !WalkWebp(b, scan) &&
             !WalkIsoMedia(b, scan)) {
    scan.Broken = "its kind of file is not one whose location can be removed";
  }
  const bool left = elsewhere || ShowsLocation(file);
  if (scan.Unsafe.empty() && !scan.Broken.empty() && (scan.Removed || left)) {
    scan.Unsafe = scan.Broken;
  }
  if (scan.Unsafe.empty() && left) scan.Unsafe = "it holds a location in a place not edited here";
  if (!scan.Unsafe.empty()) {
    why = scan.Unsafe;
    return TLocationState::lsUnsafe;
  }
  return scan.Removed ? TLocationState::lsRemoved : TLocationState::lsNone;
}

TLocationEdit RemoveLocation(std::string_view file) {
  TLocationEdit edit;
  edit.Bytes.assign(file);
  edit.State = RemoveLocationInPlace(edit.Bytes, edit.Why);
  if (edit.State != TLocationState::lsRemoved) edit.Bytes.clear();
  return edit;
}

}  // namespace folivant
