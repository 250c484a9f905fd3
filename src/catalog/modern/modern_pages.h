// The modern page style: HTML5 catalog pages whose grid reflows from one column on a phone to
// many on a desktop, and picture pages that fit the picture to the window from display-size
// copies, with keyboard and swipe navigation, dark mode and alt texts. The user's colours,
// titles, header and footer and the pictures per page carry over from the classic style.
//
// Pages stay numbered rows x columns pictures each, as in the classic style: a page's weight
// is bounded (a phone browser given 5000 thumbnails at once gives up, lazy loading or not),
// page links stay those users already shared, and the grid decides the columns by the width.
#pragma once

#include <string>
#include <vector>

#include "catalog/catalog_options.h"
#include "catalog/modern/picture_meta.h"
#include "catalog/page_writer.h"

namespace folivant {

// Thumbnails this far down a page (in page order) load lazily: the first ones stand on the
// first screen of any device, so they load at once.
inline constexpr int kEagerThumbnails = 4;

// The engine's decimal sizes as numbers; anything else counts as 0.
int ModernSizeOf(const std::string& text);

// One cell of a catalog page. A picture gives one (PictureCell); an album or a video gives its
// own the same way.
struct TModernCell {
  std::string Href;   // the page the cell opens, a bare file name
  std::string Thumb;  // thumbnail file; Thumb2x "" when there is none at twice the size
  std::string Thumb2x;
  int Width = 0, Height = 0;         // the thumbnail's
  std::string Alt;                   // plain text, escaped when written
  std::vector<std::string> Caption;  // plain text lines, escaped when written
};
TModernCell PictureCell(const CatalogItem& item, const TPictureMeta& meta);

// The lines of catalog page `page` (1-based) of pageCount holding cells.
// An album's page gets its path up and text above the grid.
struct TAlbumPage;
void BuildModernCatalogPage(const CatalogOptions& options, const std::vector<TModernCell>& cells,
                            int page, int pageCount, TLines& lines,
                            const TAlbumPage* album = nullptr);

// Every catalog page and the style's stylesheet and script, each handed to save. Sizes are
// measured and the pictures' own texts read from the files in targetDir. An album's first page
// shows its sub-albums before its pictures. Returns the number of catalog pages.
int BuildModernTables(const CatalogOptions& options, const std::vector<CatalogItem>& items,
                      const std::string& targetDir, const TPageSink& save,
                      const TAlbumPage* album = nullptr);

// Links of a page that shows one thing among others; "" where there is none.
struct TModernNav {
  std::string Prev, Next, Up;  // bare file names of pages
  std::string NextPicture;     // what to fetch ahead for the next page: display copy to try
  std::string NextFallback;    // ... and what to fetch when it is not there
  std::string Crumbs;          // an album's path up (HTML), or ""
};
// A page of the viewer kind: the links, then body (already HTML), as picture pages are; a video
// page gives its own body.
void BuildModernViewerPage(const CatalogOptions& options, const std::string& title,
                           const TModernNav& nav, const std::string& body, TLines& lines);

// What the picture page of items[index] needs besides the item's names; w x h the upright size.
struct TModernPicture {
  std::string PictureName, ShownFile;  // the original and the file browsers can show
  int Width = 0, Height = 0;
  std::int64_t SizeKb = -1;  // of ShownFile; -1: not told
  TPictureMeta Meta;
  // A clip: ShownFile is what the page plays, Poster its whole-size poster frame.
  bool Clip = false;
  std::string Poster;
  std::int64_t DurationMs = -1;
};
void BuildModernPicturePage(const CatalogOptions& options, const TModernPicture& picture,
                            const TModernNav& nav, TLines& lines);

// The navigation of picture index of n: neighbours' pages and the catalog page holding it.
// names gives PictureName, PageFileName and ShownFileName of the neighbours only.
TModernNav PictureNav(const CatalogOptions& options, const std::vector<CatalogItem>& items,
                      int index);

const std::string& ModernStylesheet();
const std::string& ModernScript();

}  // namespace folivant
