#include "catalog/modern/modern_albums.h"

#include "catalog/html_escape.h"

namespace folivant {

namespace {

// Text from a file in the user's folder: shown as text, never taken as markup.
std::string TextLines(const std::string& text) {
  std::string out;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out += (from ? "<br>" : "") + HtmlEscape(line);
    from = end + 1;
  }
  return out;
}

int SizeOf(const std::string& text) {
  if (text.empty() || text.size() > 9) return 0;
  int v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return v;
}

}  // namespace

std::vector<TModernCell> ModernAlbumCells(const TAlbumPage& album) {
  std::vector<TModernCell> cells;
  for (const TAlbumCell& a : album.SubAlbums) {
    TModernCell c;
    c.Href = a.Folder + "/page1.html";
    c.Thumb = a.CoverTn;
    // The cover's own thumbnail at twice the size, made beside it in the same style.
    if (c.Thumb.size() > 4) c.Thumb2x = std::string(c.Thumb).insert(c.Thumb.size() - 4, "@2x");
    c.Width = SizeOf(a.TnWidth);
    c.Height = SizeOf(a.TnHeight);
    c.Alt = a.Folder;
    c.Caption.push_back(a.Folder + " (" + std::to_string(a.Count) + ")");
    cells.push_back(std::move(c));
  }
  return cells;
}

std::string ModernAlbumPath(const CatalogOptions& o, const TAlbumPage& album) {
  const std::size_t depth = album.Path.size();
  if (depth == 0) return {};
  std::string up;
  for (std::size_t k = 0; k < depth; ++k) up += "../";
  std::string line = "<nav class=\"crumbs\" aria-label=\"" + HtmlEscape(o.CatTitle) +
                     "\"><a href=\"" + up + "page1.html\">" + o.CatTitle + "</a>";
  for (std::size_t k = 0; k + 1 < depth; ++k) {
    up.erase(0, 3);
    line += " / <a href=\"" + up + "page1.html\">" + HtmlEscape(album.Path[k]) + "</a>";
  }
  return line + " / <span aria-current=\"page\">" + HtmlEscape(album.Path.back()) + "</span></nav>";
}

void AppendModernAlbumHead(const CatalogOptions& o, const TAlbumPage& album, TLines& lines) {
  const std::string path = ModernAlbumPath(o, album);
  if (!path.empty()) lines.push_back(path);
  if (!album.Title.empty()) lines.push_back("<h2>" + HtmlEscape(album.Title) + "</h2>");
  if (!album.Description.empty()) {
    lines.push_back("<p class=\"about\">" + TextLines(album.Description) + "</p>");
  }
}

}  // namespace folivant
