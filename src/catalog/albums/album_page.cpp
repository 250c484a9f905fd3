#include "catalog/albums/album_page.h"

#include <algorithm>

#include "catalog/catalog_rules.h"
#include "catalog/html_escape.h"

namespace folivant {

namespace {

std::string SubAlbumCell(const TAlbumCell& cell) {
  const std::string page = UrlEncodeName(cell.Folder) + "/page1.html";
  const std::string name = HtmlEscape(cell.Folder);
  std::string img;
  if (!cell.CoverTn.empty()) {
    img = "<a href=\"" + page + "\"><img src=\"" + EncodedPath(cell.CoverTn) + "\" width=\"" +
          HtmlEscape(cell.TnWidth) + "\" height=\"" + HtmlEscape(cell.TnHeight) +
          "\" border=\"0\" align=\"absmiddle\" alt=\"" + name + "\"></a><br>";
  }
  return "<td><div align=\"center\">" + img + "<a href=\"" + page + "\">" + name + "</a> (" +
         std::to_string(cell.Count) + ")</div></td>";
}

}  // namespace

std::string EncodedPath(const std::string& path) {
  std::string out;
  std::size_t from = 0;
  for (;;) {
    const std::size_t slash = path.find('/', from);
    out += UrlEncodeName(path.substr(from, slash - from));
    if (slash == std::string::npos) return out;
    out += '/';
    from = slash + 1;
  }
}

std::string TextAsHtml(const std::string& text) {
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

std::string AlbumPathLinks(const CatalogOptions& o, const TAlbumPage& album) {
  const std::size_t depth = album.Path.size();
  if (depth == 0) return {};
  std::string up;
  for (std::size_t k = 0; k < depth; ++k) up += "../";
  std::string links = "<a href=\"" + up + "page1.html\">" + o.CatTitle + "</a>";
  for (std::size_t k = 0; k + 1 < depth; ++k) {
    up.erase(0, 3);
    links += " / <a href=\"" + up + "page1.html\">" + HtmlEscape(album.Path[k]) + "</a>";
  }
  return links + " / ";
}

std::string AlbumPathLine(const CatalogOptions& o, const TAlbumPage& album) {
  if (album.Path.empty()) return {};
  return "<p align=\"center\">" + AlbumPathLinks(o, album) + HtmlEscape(album.Path.back()) + "</p>";
}

void AddAlbumPath(const CatalogOptions& o, const TAlbumPage& album, TLines& lines) {
  const std::string path = AlbumPathLine(o, album);
  if (path.empty()) return;
  auto at = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with("<center><table");
  });
  lines.insert(at, path);
}

void AppendAlbumHead(const CatalogOptions& o, const TAlbumPage& album, int page, TLines& lines) {
  const std::string path = AlbumPathLine(o, album);
  if (!path.empty()) lines.push_back(path);
  if (!album.Title.empty()) {
    lines.push_back("<p><font size=\"3\"><b>" + HtmlEscape(album.Title) + "</b></font></p>");
  }
  if (!album.Description.empty()) lines.push_back("<p>" + TextAsHtml(album.Description) + "</p>");
  if (page != 1 || album.SubAlbums.empty()) return;
  const int cols = std::max(1, ParseWholeNumber(o.TableCols));
  lines.push_back("<table width=\"90%\" border=\"" + o.Border + "\" cellspacing=\"" +
                  o.Cellspacing + "\" cellpadding=\"" + o.Cellpadding + "\">");
  for (std::size_t i = 0; i < album.SubAlbums.size(); ++i) {
    if (i % cols == 0) lines.push_back(i ? "</tr><tr>" : "<tr>");
    lines.push_back(SubAlbumCell(album.SubAlbums[i]));
  }
  lines.push_back("</tr></table><br>");
}

}  // namespace folivant
