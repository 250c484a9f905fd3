// What an album of a folder tree adds to the classic pages: the way up to its ancestors, the
// text of its album.txt, and the sub-albums on its first catalog page. No Qt.
#pragma once

#include <string>
#include <vector>

#include "catalog/catalog_options.h"

namespace folivant {

using TLines = std::vector<std::string>;

// A sub-album as its parent's first page shows it.
struct TAlbumCell {
  std::string Folder;   // the folder's name on disk: the link goes to Folder/page1.html
  std::string CoverTn;  // the cover thumbnail relative to the parent ("a/b/tnx.jpg"); "": none
  std::string TnWidth, TnHeight;
  int Count = 0;  // pictures at any depth
};

struct TAlbumPage {
  // Folder names from below the top album down to this album; empty for the top album.
  std::vector<std::string> Path;
  std::string Title;        // album.txt: the first line; "": none
  std::string Description;  // the rest of it
  std::vector<TAlbumCell> SubAlbums;
};

// Lines written on catalog page `page` of an album, after the title: the path up (every page
// of an album below the top), the album's text and, on the first page, its sub-albums.
void AppendAlbumHead(const CatalogOptions& o, const TAlbumPage& album, int page, TLines& lines);

// The links up to the parent album, each followed by " / " (empty for the top album).
std::string AlbumPathLinks(const CatalogOptions& o, const TAlbumPage& album);
// The path up as one line (empty for the top album).
std::string AlbumPathLine(const CatalogOptions& o, const TAlbumPage& album);
// A relative link of folder names, each part percent-encoded on its own.
std::string EncodedPath(const std::string& path);
// Text from a file in the user's folder as HTML: shown as text, lines kept, never markup.
std::string TextAsHtml(const std::string& text);

// A picture page's lines get the path up above the picture's table.
void AddAlbumPath(const CatalogOptions& o, const TAlbumPage& album, TLines& lines);

}  // namespace folivant
