// Pictures turned upright by their EXIF orientation (1 to 8, as the tag numbers them).
#pragma once

#include "imaging/bitmap.h"

namespace folivant {

// 5 to 8 store the picture on its side: upright, its width and height trade places.
constexpr bool OrientationSwapsSides(int orientation) {
  return orientation >= 5 && orientation <= 8;
}

// Turns a picture stored with the given orientation upright, in its own pixel format (a 1-bit
// picture stays 1-bit). 1 and values outside 1 to 8 leave it as it is.
void TurnUpright(TBitmap& bmp, int orientation);

}  // namespace folivant
