// The files the modern page style adds to a catalog, named from the picture's name alone so
// that every build, share and page writer agrees on them:
//   tnNAME@2x.jpg     the thumbnail at twice its size, beside tnNAME.jpg (high-density screens)
//   NAME.EXT.1280.jpg display copy, 1280 pixels on the long side, when the picture is longer
//   NAME.EXT.2560.jpg display copy, 2560 pixels on the long side, when the picture is longer
// plus folivant.css and folivant.js, written once into the catalog.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalog/catalog_options.h"

namespace folivant {

inline constexpr const char* kModernCssName = "folivant.css";
inline constexpr const char* kModernJsName = "folivant.js";
inline constexpr int kDisplaySides[] = {1280, 2560};
inline constexpr int kDisplayQuality = 85;

bool IsModern(const CatalogOptions& options);

std::string Tn2xFileName(std::string_view pictureName);
std::string DisplayCopyName(std::string_view pictureName, int side);

// A display copy: its file name and its upright size.
struct TDisplayCopy {
  std::string Name;
  int Width = 0, Height = 0;
};
// The display copies of an upright w x h picture, smallest first: one per side shorter than
// the picture's long side, the other side in proportion (at least 1).
std::vector<TDisplayCopy> DisplayCopies(std::string_view pictureName, int w, int h);

// Every file name the modern style may make for a picture, whatever its size.
std::vector<std::string> ModernNamesOf(const CatalogItem& item);
// Throws ECatalogError when one of those names is that of a picture of the list or of
// another picture's thumbnail or page (the build would overwrite it).
void CheckModernNames(const std::vector<CatalogItem>& items);

// "en", "de-CH", "zh-Hant-TW": letters and digits in parts of 1 to 8, joined by '-', the first
// of 2 to 3 letters (or "i"/"x"). Lower-case underscores ("de_CH") are not taken.
bool IsLanguageTag(std::string_view tag);
// The language of the pages: the option when set, else LC_ALL, LC_MESSAGES or LANG
// ("de_CH.UTF-8" gives "de-CH"), else "en".
std::string PageLanguage(const CatalogOptions& options);

}  // namespace folivant
