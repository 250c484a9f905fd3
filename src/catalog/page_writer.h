// The two page writers: the numbered catalog pages and one page per picture. Both only read
// their arguments and keep no state, so several threads may write pages at once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "catalog/albums/album_page.h"
#include "catalog/catalog_options.h"

namespace folivant {

using TLines = std::vector<std::string>;

// Writes lines as UTF-8, each followed by CR LF (the last one too). The text goes to a new
// temporary file in the same folder, which is then renamed over path, so a failure never leaves
// a truncated file under the real name. Throws ECatalogError ("Unable to write to PATH: ...").
void SaveLines(const TLines& lines, const std::string& path);

// The lines of catalog page `page` (1-based) for the whole item list; captions show each
// item's SizeKb as it stands. Throws ECatalogError for a bad table size or page number.
// An album's pages (album set) also carry its way up, its text and its sub-albums; an album
// without pictures has one page.
void BuildCatalogPage(const CatalogOptions& options, const std::vector<CatalogItem>& items,
                      int page, TLines& lines, const TAlbumPage* album = nullptr);

// Writes page1.html .. pageN.html into targetDir and returns N. The size column is measured
// from the file each picture's page shows in targetDir, its copy or its web copy (FileSizeKb);
// a missing file throws, pages already saved stay.
int BuildTables(const CatalogOptions& options, const std::vector<CatalogItem>& items,
                const std::string& targetDir);
// The same, each page handed to save with its file name and bytes (CR LF lines) instead.
using TPageSink = std::function<void(const std::string& name, const std::string& bytes)>;
int BuildTables(const CatalogOptions& options, const std::vector<CatalogItem>& items,
                const std::string& targetDir, const TPageSink& save,
                const TAlbumPage* album = nullptr);

// Replaces lines with the page of the picture with 0-based list position index. prevPage and
// nextPage are the neighbours' PageFileName (unused on the first and the last picture). When
// first is set the first picture's navigation is written, else when last is set the last one's.
// The page shows shownFile (a web copy) when one is given, else the picture itself.
void BuildHTMLContent(const CatalogOptions& options, const std::string& prevPage,
                      const std::string& nextPage, const std::string& pictureName,
                      const std::string& origWidth, const std::string& origHeight, bool first,
                      bool last, int index, TLines& lines, const std::string& shownFile = {});

}  // namespace folivant
