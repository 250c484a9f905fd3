#include "catalog/modern/modern_copies.h"

#include <algorithm>

#include "catalog/catalog_rules.h"
#include "catalog/modern/modern_files.h"
#include "imaging/stream.h"

namespace folivant {
namespace {

std::string Encode(TImageBox& side, const std::string& name) {
  TMemoryStream jpeg;
  side.IO().SaveToStreamJpeg(jpeg);
  if (side.Aborting()) throw ECatalogError("Cannot write " + name + ": the JPEG writer failed");
  return std::string(jpeg.Bytes().begin(), jpeg.Bytes().end());
}

}  // namespace

std::vector<TExtraFile> MakeModernCopies(const TImageBox& box, const CatalogOptions& options,
                                         const std::string& pictureName, int tw, int th,
                                         TResampleFilter thumbFilter) {
  std::vector<TExtraFile> out;
  TImageBox side;
  side.SetAutoUndo(false);
  side.Assign(&box);  // its parameters (the colour profile among them), then its pixels
  side.SetBackground(box.Background());
  side.SetOnProgress(box.OnProgress());  // a stopped build stops here too
  TIOParamsVals& params = side.IOParams();
  params.JpegProgressive = options.Progressive;
  const std::vector<TDisplayCopy> copies =
      DisplayCopies(pictureName, box.Bitmap().Width(), box.Bitmap().Height());
  for (auto it = copies.rbegin(); it != copies.rend(); ++it) {
    side.Resample(it->Width, it->Height, TResampleFilter::rfLanczos3);
    params.JpegQuality = kDisplayQuality;
    params.JpegColorSpace = 2;
    out.push_back({it->Name, Encode(side, it->Name), false});
  }
  const std::string name = Tn2xFileName(pictureName);
  side.Resample(std::min(2 * tw, 65500), std::min(2 * th, 65500), thumbFilter);
  params.JpegQuality = options.JPEGQuality;
  params.JpegColorSpace = kModernThumbColorSpace;
  out.push_back({name, Encode(side, name), true});
  return out;
}

}  // namespace folivant
