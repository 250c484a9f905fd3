// The modern style's extra pictures of one upright picture: the display copies its page shows
// and the thumbnail at twice the size for high-density screens.
#pragma once

#include <string>
#include <vector>

#include "catalog/catalog_options.h"
#include "imaging/image_box.h"

namespace folivant {

// Colour space of the modern style's thumbnails (io_params: 2 is YCbCr, which libjpeg writes
// with 4:2:0 chroma). Against the classic RGB thumbnails at the same quality they take about
// half the bytes (README, "Modern pages"), and the difference does not show at these sizes.
inline constexpr int kModernThumbColorSpace = 2;

struct TExtraFile {
  std::string Name;
  std::string Bytes;       // JPEG
  bool Thumbnail = false;  // written, like the thumbnail, by the last picture of its name
};

// From the upright picture in box (left as it is): the display copies largest first, each made
// from the one before with Lanczos, then the 2x thumbnail (tw x th doubled) with the
// thumbnails' filter. The colour profile goes with each, as with the web copy. Throws
// ECatalogError naming the file when the JPEG writer gives up.
std::vector<TExtraFile> MakeModernCopies(const TImageBox& box, const CatalogOptions& options,
                                         const std::string& pictureName, int tw, int th,
                                         TResampleFilter thumbFilter);

}  // namespace folivant
