// What an album of a folder tree adds to the modern pages: the way up to its ancestors, its
// album.txt text, and its sub-albums as cells of the first catalog page's grid.
#pragma once

#include <string>
#include <vector>

#include "catalog/albums/album_page.h"
#include "catalog/modern/modern_pages.h"

namespace folivant {

// The sub-albums of album as grid cells, their links and cover thumbnails relative to it.
std::vector<TModernCell> ModernAlbumCells(const TAlbumPage& album);

// The path up as a navigation line; "" for the top album.
std::string ModernAlbumPath(const CatalogOptions& o, const TAlbumPage& album);

// The lines above the grid of a catalog page: the path up and the album's text.
void AppendModernAlbumHead(const CatalogOptions& o, const TAlbumPage& album, TLines& lines);

}  // namespace folivant
