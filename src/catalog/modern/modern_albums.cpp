#include "catalog/modern/modern_albums.h"

#include "catalog/html_escape.h"

namespace folivant {

std::vector<TModernCell> ModernAlbumCells(const TAlbumPage& album) {
  std::vector<TModernCell> cells;
  for (const TAlbumCell& a : album.SubAlbums) {
    TModernCell c;
    c.Href = a.Folder + "/page1.html";
    c.Thumb = a.CoverTn;
    // The cover's own thumbnail at twice the size, made beside it in the same style.
    if (c.Thumb.size() > 4) c.Thumb2x = std::string(c.Thumb).insert(c.Thumb.size() - 4, "@2x");
    c.Width = ModernSizeOf(a.TnWidth);
    c.Height = ModernSizeOf(a.TnHeight);
    c.Alt = a.Folder;
    c.Caption.push_back(a.Folder + " (" + std::to_string(a.Count) + ")");
    cells.push_back(std::move(c));
  }
  return cells;
}

std::string ModernAlbumPath(const CatalogOptions& o, const TAlbumPage& album) {
  if (album.Path.empty()) return {};
  return "<nav class=\"crumbs\" aria-label=\"" + HtmlEscape(o.CatTitle) + "\">" +
         AlbumPathLinks(o, album) + "<span aria-current=\"page\">" + HtmlEscape(album.Path.back()) +
         "</span></nav>";
}

void AppendModernAlbumHead(const CatalogOptions& o, const TAlbumPage& album, TLines& lines) {
  const std::string path = ModernAlbumPath(o, album);
  if (!path.empty()) lines.push_back(path);
  if (!album.Title.empty()) lines.push_back("<h2>" + HtmlEscape(album.Title) + "</h2>");
  if (!album.Description.empty()) {
    lines.push_back("<p class=\"about\">" + TextAsHtml(album.Description) + "</p>");
  }
}

}  // namespace folivant
