#include "catalog/modern/modern_pages.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>

#include "catalog/albums/album_page.h"
#include "catalog/catalog_rules.h"
#include "catalog/clip_page.h"
#include "catalog/html_escape.h"
#include "catalog/modern/modern_albums.h"
#include "catalog/modern/modern_files.h"
#include "catalog/version.h"

namespace folivant {
namespace {

std::string Str(std::int64_t v) {
  return std::to_string(v);
}

// A colour goes into a style element: "#RRGGBB" or a colour name, else the fallback.
std::string CssColor(const std::string& c, const char* fallback) {
  const bool ok = !c.empty() && c.size() <= 32 && std::all_of(c.begin(), c.end(), [](char ch) {
    return std::isalnum(static_cast<unsigned char>(ch)) || (ch == '#');
  });
  return ok ? c : fallback;
}

bool Same(const std::string& a, const char* b) {
  return std::equal(a.begin(), a.end(), b, b + std::char_traits<char>::length(b),
                    [](char x, char y) { return std::toupper(x) == std::toupper(y); });
}

// True for a "#RRGGBB" background too dark for dark text.
bool IsDark(const std::string& c) {
  if (c.size() != 7 || c[0] != '#') return false;
  const auto hex = [&](int k) { return std::stoi(c.substr(k, 2), nullptr, 16); };
  try {
    return 299 * hex(1) + 587 * hex(3) + 114 * hex(5) < 128000;
  } catch (const std::exception&) {
    return false;
  }
}

// The user's colours as variables; in a dark system scheme, the ones still at their defaults
// take dark counterparts (a colour the user chose stays).
std::string ColorStyle(const CatalogOptions& o) {
  const CatalogOptions d;
  const std::string bg = CssColor(o.BackColorHtml, "#FFFFFF");
  const bool dark = IsDark(bg);
  std::string css = "<style>:root{--bg:" + bg + ";--link:" + CssColor(o.LinkColorHtml, "#000099") +
                    ";--alink:" + CssColor(o.ALinkColorHtml, "#000099") +
                    ";--vlink:" + CssColor(o.VLinkColorHtml, "#800080") +
                    (dark ? ";--fg:#f0f0f0;--muted:#c8c8c8;--focus:#8ab4f8}"
                          : ";--fg:#111111;--muted:#4a4a4a;--focus:#1a56c8}");
  std::string night;
  if (Same(o.BackColorHtml, d.BackColorHtml.c_str()))
    night += "--bg:#121212;--fg:#ececec;--muted:#b8b8b8;--focus:#8ab4f8;color-scheme:dark;";
  if (Same(o.LinkColorHtml, d.LinkColorHtml.c_str())) night += "--link:#8ab4f8;";
  if (Same(o.ALinkColorHtml, d.ALinkColorHtml.c_str())) night += "--alink:#aecbfa;";
  if (Same(o.VLinkColorHtml, d.VLinkColorHtml.c_str())) night += "--vlink:#d7aefb;";
  if (!night.empty()) css += "@media (prefers-color-scheme:dark){:root{" + night + "}}";
  return css + "</style>";
}

void AppendHead(const CatalogOptions& o, const std::string& title, const char* kind,
                TLines& lines) {
  lines.push_back("<!doctype html>");
  lines.push_back("<html lang=\"" + HtmlEscape(PageLanguage(o)) + "\">");
  lines.push_back("<head>");
  lines.push_back("<meta charset=\"utf-8\">");
  lines.push_back("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">");
  lines.push_back("<meta name=\"generator\" content=\"Folivant " + std::string(kVersionText) +
                  "\">");
  if (!o.MetaTag.empty()) lines.push_back(o.MetaTag);
  lines.push_back("<title>" + title + "</title>");
  lines.push_back("<link rel=\"stylesheet\" href=\"" + std::string(kModernCssName) + "\">");
  lines.push_back(ColorStyle(o));
  lines.push_back("<script src=\"" + std::string(kModernJsName) + "\" defer></script>");
  lines.push_back("</head>");
  std::string body = "<body class=\"" + std::string(kind) + "\"";
  if (!o.BackGrnd.empty())
    body += " style=\"background-image:url('" + UrlEncodeName(o.BackGrnd) + "')\"";
  lines.push_back(body + ">");
  lines.insert(lines.end(), o.HeaderLines.begin(), o.HeaderLines.end());
}

void AppendFoot(const CatalogOptions& o, TLines& lines) {
  lines.insert(lines.end(), o.FooterLines.begin(), o.FooterLines.end());
  lines.push_back("<footer>Created with Folivant " + std::string(kVersionText) + " by <a href=\"" +
                  std::string(kHomePageUrl) + "\">Ostrel</a></footer>");
  lines.push_back("</body>");
  lines.push_back("</html>");
}

std::string PageLink(int page) {
  return "page" + Str(page) + ".html";
}

std::string Link(const char* id, const std::string& href, const std::string& text,
                 const char* rel = nullptr) {
  return std::string("<a id=\"") + id + "\"" + (rel ? std::string(" rel=\"") + rel + "\"" : "") +
         " href=\"" + UrlEncodeName(href) + "\">" + text + "</a>";
}

std::string CellLine(const TModernCell& c, bool lazy) {
  std::string img = "<img src=\"" + EncodedPath(c.Thumb) + "\"";
  if (!c.Thumb2x.empty())
    img += " srcset=\"" + EncodedPath(c.Thumb) + " 1x, " + EncodedPath(c.Thumb2x) + " 2x\"";
  img += " width=\"" + Str(c.Width) + "\" height=\"" + Str(c.Height) + "\" alt=\"" +
         HtmlEscape(c.Alt) + "\"" + (lazy ? " loading=\"lazy\"" : "") + " decoding=\"async\">";
  std::string caption;
  for (const std::string& line : c.Caption)
    caption += (caption.empty() ? "" : "<br>") + HtmlEscape(line);
  return "<li><a href=\"" + EncodedPath(c.Href) + "\">" + img + "</a><p class=\"cap\">" + caption +
         "</p></li>";
}

std::string PageNavLine(const CatalogOptions& o, int page, int pageCount) {
  const std::string& pt = o.PageTitle;
  std::string nav = "<nav class=\"pages\" aria-label=\"" + HtmlEscape(pt) + "\">";
  if (page > 1) nav += Link("prev", PageLink(page - 1), "&larr; " + o.PrevTitle, "prev");
  for (int q = 1; q <= pageCount; ++q) {
    nav += q == page ? "<a href=\"" + PageLink(q) + "\" aria-current=\"page\">" + Str(q) + "</a>"
                     : "<a href=\"" + PageLink(q) + "\">" + Str(q) + "</a>";
  }
  if (page < pageCount) nav += Link("next", PageLink(page + 1), o.NextTitle + " &rarr;", "next");
  return nav + "</nav>";
}

std::string KbText(std::int64_t kb) {
  return Str(kb) + " KB";
}

}  // namespace

TModernCell PictureCell(const CatalogItem& item, const TPictureMeta& meta) {
  TModernCell c;
  c.Href = item.PageFileName;
  c.Thumb = item.TnFileName;
  c.Thumb2x = Tn2xFileName(item.PictureName);
  c.Width = ModernSizeOf(item.TnWidth);
  c.Height = ModernSizeOf(item.TnHeight);
  c.Alt = meta.Title.empty() ? item.PictureName : meta.Title;
  const std::string length = item.Clip ? ClipDurationText(item.DurationMs) : std::string();
  c.Caption.push_back(item.OrigWidth + " \xC3\x97 " + item.OrigHeight + " \xC2\xB7 " +
                      (length.empty() ? "" : length + " \xC2\xB7 ") + KbText(item.SizeKb));
  std::string when = meta.Taken;
  if (!meta.Camera.empty()) when += (when.empty() ? "" : " \xC2\xB7 ") + meta.Camera;
  if (!when.empty()) c.Caption.push_back(when);
  return c;
}

// The engine's decimal sizes; anything else counts as 0.
int ModernSizeOf(const std::string& text) {
  if (text.empty() || text.size() > 9) return 0;
  int v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return v;
}

void BuildModernCatalogPage(const CatalogOptions& o, const std::vector<TModernCell>& cells,
                            int page, int pageCount, TLines& lines, const TAlbumPage* album) {
  lines.clear();
  const std::string count = o.PageTitle + " " + Str(page) + " / " + Str(pageCount);
  AppendHead(o, count, "catalog", lines);
  lines.push_back("<header><h1>" + (o.ContentTitle.empty() ? count : o.ContentTitle) +
                  "</h1><p class=\"count\">" + count + "</p></header>");
  if (album) AppendModernAlbumHead(o, *album, lines);
  // Columns as wide as the page's middle thumbnail: a panorama among portraits is shrunk to
  // its cell rather than making every column as wide as itself.
  std::vector<int> widths;
  for (const TModernCell& c : cells) widths.push_back(c.Width);
  std::sort(widths.begin(), widths.end());
  const int cell = widths.empty() ? 160 : widths[widths.size() / 2] + 16;
  lines.push_back("<main><ul class=\"grid\" style=\"--cell:" + Str(cell) + "px\">");
  for (std::size_t k = 0; k < cells.size(); ++k)
    lines.push_back(CellLine(cells[k], static_cast<int>(k) >= kEagerThumbnails));
  lines.push_back("</ul></main>");
  if (pageCount > 1) lines.push_back(PageNavLine(o, page, pageCount));
  AppendFoot(o, lines);
}

int BuildModernTables(const CatalogOptions& o, const std::vector<CatalogItem>& items,
                      const std::string& targetDir, const TPageSink& save,
                      const TAlbumPage* album) {
  const int rows = ParseWholeNumber(o.TableRows), cols = ParseWholeNumber(o.TableCols);
  const int perPage = ItemsPerPage(rows, cols);
  const int n = static_cast<int>(std::min<std::size_t>(items.size(), 1u << 30));
  int pageCount = PageCount(n, rows, cols);
  if (album && pageCount == 0) pageCount = 1;  // its sub-albums
  save(kModernCssName, ModernStylesheet());
  save(kModernJsName, ModernScript());
  TLines lines;
  for (int p = 1; p <= pageCount; ++p) {
    std::vector<TModernCell> cells;
    if (album && p == 1) cells = ModernAlbumCells(*album);
    for (int i = (p - 1) * perPage; i < std::min(n, p * perPage); ++i) {
      CatalogItem item = items[i];
      CheckBareFileName(item.ShownFileName());
      const std::string dir = targetDir.empty() ? "." : targetDir;
      if (!item.SizeKnown)
        item.SizeKb = FileSizeKb((std::filesystem::path(dir) / item.ShownFileName()).string());
      cells.push_back(PictureCell(
          item, ReadPictureMeta((std::filesystem::path(dir) / item.PictureName).string())));
    }
    BuildModernCatalogPage(o, cells, p, pageCount, lines, album);
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\r\n";
    save(PageLink(p), bytes);
  }
  return pageCount;
}

void BuildModernViewerPage(const CatalogOptions& o, const std::string& title, const TModernNav& nav,
                           const std::string& body, TLines& lines) {
  lines.clear();
  AppendHead(o, title, "viewer", lines);
  std::string links = "<nav class=\"pnav\" aria-label=\"" + HtmlEscape(o.CatTitle) + "\">";
  links +=
      nav.Prev.empty() ? "<span></span>" : Link("prev", nav.Prev, "&larr; " + o.PrevTitle, "prev");
  links += Link("up", nav.Up, o.CatTitle);
  if (nav.Next.empty()) {
    links += "<span></span>";
  } else {
    std::string next = Link("next", nav.Next, o.NextTitle + " &rarr;", "next");
    if (!nav.NextPicture.empty()) {
      next.insert(next.find(" href="), " data-fetch=\"" + UrlEncodeName(nav.NextPicture) +
                                           "\" data-fallback=\"" + UrlEncodeName(nav.NextFallback) +
                                           "\"");
    }
    links += next;
  }
  lines.push_back(links + "</nav>");
  lines.push_back("<main>" + body + "</main>");
  // Below the picture, so it does not take from the height the picture is fitted to.
  if (!nav.Crumbs.empty()) lines.push_back(nav.Crumbs);
  AppendFoot(o, lines);
}

namespace {

// A clip plays fitted like a picture; its poster is the smallest display copy of the poster
// frame (a phone need not load a 4K still), else the frame itself.
std::string ClipElement(const TModernPicture& p, const std::vector<TDisplayCopy>& copies,
                        const std::string& ratio) {
  const std::string played = UrlEncodeName(p.ShownFile);
  const std::string poster = UrlEncodeName(copies.empty() ? p.Poster : copies.front().Name);
  return "<video controls preload=\"metadata\" src=\"" + played + "\" poster=\"" + poster +
         "\" width=\"" + Str(p.Width) + "\" height=\"" + Str(p.Height) + "\" style=\"--r:" + ratio +
         "\"><a href=\"" + played + "\">" + HtmlEscape(p.PictureName) + "</a></video>";
}

}  // namespace

void BuildModernPicturePage(const CatalogOptions& o, const TModernPicture& p, const TModernNav& nav,
                            TLines& lines) {
  const std::vector<TDisplayCopy> copies = DisplayCopies(p.PictureName, p.Width, p.Height);
  const std::int64_t h = std::max(p.Height, 1);
  const std::int64_t ratio = (std::int64_t{p.Width} * 10000 + h / 2) / h;  // 4 decimals
  const std::string frac = Str(ratio % 10000);
  const std::string r = Str(ratio / 10000) + "." + std::string(4 - frac.size(), '0') + frac;
  const std::string alt = p.Meta.Title.empty() ? p.PictureName : p.Meta.Title;
  // The browser picks the smallest copy that fills the picture's place on its screen: the
  // window's width, or its height less the links and caption, at the picture's ratio.
  std::string img = "<img src=\"" + UrlEncodeName(copies.empty() ? p.ShownFile : copies[0].Name);
  if (!copies.empty()) {
    img += "\" srcset=\"";
    for (const TDisplayCopy& c : copies) img += UrlEncodeName(c.Name) + " " + Str(c.Width) + "w, ";
    img += UrlEncodeName(p.ShownFile) + " " + Str(p.Width) +
           "w\" sizes=\"min(100vw, (100vh - 8rem) * " + r + ")";
  }
  img += "\" width=\"" + Str(p.Width) + "\" height=\"" + Str(p.Height) + "\" alt=\"" +
         HtmlEscape(alt) + "\" style=\"--r:" + r + "\">";
  if (p.Clip) img = ClipElement(p, copies, r);
  std::string caption;
  if (!p.Meta.Title.empty()) caption += HtmlEscape(p.Meta.Title) + " \xC2\xB7 ";
  for (const std::string* s : {&p.Meta.Taken, &p.Meta.Camera}) {
    if (!s->empty()) caption += HtmlEscape(*s) + " \xC2\xB7 ";
  }
  caption += "<a href=\"" + UrlEncodeName(p.PictureName) + "\">" + HtmlEscape(p.PictureName) +
             "</a> " + Str(p.Width) + " \xC3\x97 " + Str(p.Height);
  if (p.Clip && p.DurationMs >= 0) caption += ", " + ClipDurationText(p.DurationMs);
  if (p.SizeKb >= 0) caption += ", " + KbText(p.SizeKb);
  BuildModernViewerPage(o, HtmlEscape(alt), nav,
                        "<figure>" + img + "<figcaption>" + caption + "</figcaption></figure>",
                        lines);
}

TModernNav PictureNav(const CatalogOptions& o, const std::vector<CatalogItem>& items, int index) {
  TModernNav nav;
  const int rows = ParseWholeNumber(o.TableRows), cols = ParseWholeNumber(o.TableCols);
  nav.Up = PageLink(PageOfIndex(index, rows, cols));
  if (index > 0) nav.Prev = items[index - 1].PageFileName;
  if (index + 1 < static_cast<int>(items.size())) {
    const CatalogItem& next = items[index + 1];
    nav.Next = next.PageFileName;
    nav.NextPicture = DisplayCopyName(next.PictureName, kDisplaySides[0]);
    // Never a clip itself: its poster is what shows first.
    nav.NextFallback = next.Clip ? next.WebCopyName : next.ShownFileName();
  }
  return nav;
}

}  // namespace folivant
