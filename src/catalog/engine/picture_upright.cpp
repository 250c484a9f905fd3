#include "catalog/engine/picture_upright.h"

#include "catalog/catalog_rules.h"
#include "imaging/orientation.h"
#include "imaging/stream.h"

namespace folivant {

TUprightPicture MakeUpright(TImageBox& box, const CatalogOptions& options, bool makeWebCopy) {
  TUprightPicture out;
  TIOParamsVals& params = box.IOParams();
  const int orientation = params.ExifOrientation;
  if (options.AutoRotate && orientation >= 2 && orientation <= 8) {
    TurnUpright(box.Bitmap(), orientation);
    out.SidesSwapped = OrientationSwapsSides(orientation);
  }
  if (!makeWebCopy) return out;

  // A photograph's JPEG: colour as luminance and chroma, unlike the thumbnails' RGB.
  const TIOParamsVals saved = params;
  params.JpegQuality = kWebCopyQuality;
  params.JpegColorSpace = 2;
  params.JpegProgressive = options.Progressive;
  TMemoryStream jpeg;
  try {
    box.IO().SaveToStreamJpeg(jpeg);
  } catch (...) {
    params.Assign(saved);
    throw;
  }
  const bool failed = box.Aborting();
  params.Assign(saved);
  if (failed) throw ECatalogError("the JPEG writer failed");
  out.WebCopy.assign(jpeg.Bytes().begin(), jpeg.Bytes().end());
  return out;
}

}  // namespace folivant
