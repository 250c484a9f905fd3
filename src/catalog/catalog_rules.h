// Small rules the build and both page writers share: file names derived from a picture,
// page arithmetic, file sizes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "catalog/catalog_options.h"

namespace folivant {

// An error that ends a build; the message is shown to the user as it stands.
class ECatalogError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The picture's own page: first "." replaced by "_", then ".html" (beach.jpg -> beach_jpg.html;
// a name without "." -> NAME.html).
std::string PageFileName(std::string_view pictureName);
// The thumbnail: "tn", the name with its extension (from the last ".") changed to ".jpg";
// a name without "." gets ".jpg" appended.
std::string TnFileName(std::string_view pictureName);

// Pictures that browsers do not show (HEIC, HEIF, TIFF: by extension, any case, as the format
// registry says) get a web copy, a JPEG that their pages show instead.
bool NeedsWebCopy(std::string_view pictureName);
// The web copy: the picture's whole name with ".jpg" added (IMG_1.HEIC -> IMG_1.HEIC.jpg), so
// pictures of one name in different formats get different copies.
std::string WebCopyFileName(std::string_view pictureName);

// Throws ECatalogError unless name is a plain file name: not empty, no "/", no NUL, not "." or
// "..". Every name a build joins to the target folder goes through this.
void CheckBareFileName(std::string_view name);

// Decimal whole number, optional leading blanks and sign. Anything else, or a value outside
// int, throws ECatalogError("'TEXT' is not a valid integer value").
int ParseWholeNumber(std::string_view text);

// A number typed into a table field, checked against the field's limits. Throws ECatalogError
// naming the field as the window labels it and its range: "Rows must be a whole number from 1
// to 100 (100 is the table's limit), not '200'".
int TableFieldNumber(std::string_view field, std::string_view text, int min, int max);
// Rows, Columns, Border, Cell Padding and Cell Spacing, in the order the window shows them: the
// check a build needs before it writes anything.
void CheckTableFields(const CatalogOptions& options);

// TableRows x TableCols. Throws ECatalogError when a value is not a number, is below 1 or above
// the window's limit of 100 (a larger table would let a typed value grow a page without bound).
int ItemsPerPage(int rows, int cols);
int ItemsPerPage(std::string_view rowsText, std::string_view colsText);
int ItemsPerPage(const CatalogOptions& options);

// Catalog pages for n pictures; the 1-based catalog page of the picture with 0-based index.
int PageCount(int n, int rows, int cols);
int PageOfIndex(int index, int rows, int cols);

// Size of the file in bytes div 1024. Throws ECatalogError naming the file when it cannot be
// opened or is not a regular file.
std::int64_t FileSizeKb(const std::string& path);

// The caption words a build takes at its start.
inline void GetTitles(const CatalogOptions& from, CatalogOptions& to) {
  to.PageTitle = from.PageTitle;
  to.NextTitle = from.NextTitle;
  to.PrevTitle = from.PrevTitle;
  to.CatTitle = from.CatTitle;
}

}  // namespace folivant
