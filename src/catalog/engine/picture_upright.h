// A loaded picture made ready for its thumbnail and page: turned upright, and the web copy of
// a picture that browsers do not show.
#pragma once

#include <string>

#include "catalog/catalog_options.h"
#include "imaging/image_box.h"

namespace folivant {

// The web copy's JPEG quality.
constexpr int kWebCopyQuality = 90;

struct TUprightPicture {
  bool SidesSwapped = false;  // turned a quarter: width and height traded places
  std::string WebCopy;        // the web copy's JPEG bytes; empty when none is made
};

// Turns the picture in box upright by the EXIF orientation its load reported, when the options
// say so. With makeWebCopy, then writes the picture at full size as a JPEG (kWebCopyQuality,
// progressive as the options say, with the picture's colour profile); the parameters the
// thumbnail is written with are left as they were. Throws ECatalogError when the JPEG writer
// gives up.
TUprightPicture MakeUpright(TImageBox& box, const CatalogOptions& options, bool makeWebCopy);

}  // namespace folivant
