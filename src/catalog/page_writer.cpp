#include "catalog/page_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <system_error>
#include <thread>

#include "catalog/catalog_rules.h"
#include "catalog/clip_page.h"
#include "catalog/html_escape.h"
#include "catalog/version.h"

namespace folivant {

namespace {

std::string Str(std::int64_t v) {
  return std::to_string(v);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  return (std::filesystem::path(dir) / name).string();
}

std::string GeneratorMeta() {
  return "<meta name=\"GENERATOR\" content=\"Folivant " + std::string(kVersionText) +
         " by Tamberlo / Ostrel\">";
}

void AppendStyle(const CatalogOptions& o, TLines& lines) {
  lines.push_back("<style type=\"text/css\">");
  lines.push_back("<!--");
  lines.push_back(
      "a:active {  font-family: Arial, Helvetica, sans-serif; font-size: 10pt; color: " +
      o.ALinkColorHtml + "}");
  lines.push_back(
      "a:hover {  font-family: Arial, Helvetica, sans-serif; text-decoration: underline overline; "
      "background-color: #CCFFCC}");
  lines.push_back("a:link {  font-family: Arial, Helvetica, sans-serif; color: " + o.LinkColorHtml +
                  "}");
  lines.push_back(
      "a:visited {  font-family: Arial, Helvetica, sans-serif; font-size: 10pt; font-weight: bold; "
      "color: " +
      o.VLinkColorHtml + "}");
  lines.push_back(
      "body, TD {  font-family: Arial, Helvetica, sans-serif; font-size: 9pt; color: #000000}");
  lines.push_back("--></style>");
}

// The background is a file name: entities keep it inside its attribute; an ordinary name is
// unchanged.
std::string BodyLine(const CatalogOptions& o) {
  if (o.BackGrnd.empty()) return "<body bgcolor=\"" + o.BackColorHtml + "\">";
  return "<body bgcolor=\"" + o.BackColorHtml + "\" background=\"" + HtmlEscape(o.BackGrnd) + "\">";
}

std::string CreatedWithLine() {
  return "<p align=\"center\">Created with Folivant " + std::string(kVersionText) +
         " by <a href=\"" + std::string(kHomePageUrl) + "\" target=\"_blank\">Ostrel</a></p>";
}

void AppendAll(const std::vector<std::string>& from, TLines& lines) {
  lines.insert(lines.end(), from.begin(), from.end());
}

std::string ThumbnailCell(const CatalogOptions& o, const CatalogItem& item) {
  std::string link;
  if (o.JavaOpen) {
    link = "javascript:openpic('" + OpenPicArgument(item.ShownFileName()) + "','" +
           OpenPicArgument(item.OrigWidth) + "','" + OpenPicArgument(item.OrigHeight) + "')";
  } else {
    link = UrlEncodeName(item.PageFileName);
  }
  return "<td><div align=\"center\"><a href=\"" + link + "\"><img src=\"" +
         UrlEncodeName(item.TnFileName) + "\" width=\"" + HtmlEscape(item.TnWidth) +
         "\" height=\"" + HtmlEscape(item.TnHeight) + "\" border=\"0\" align=\"absmiddle\" alt=\"" +
         HtmlEscape(item.PictureName) + "\"></a></div></td>";
}

std::string CaptionCell(const CatalogItem& item) {
  return "<td><div align=\"center\"><font size=\"1\" color=\"#FFFFFF\">" +
         HtmlEscape(item.OrigWidth) + "x" + HtmlEscape(item.OrigHeight) + ClipCaption(item) +
         " - " + Str(item.SizeKb) + "Kb</font></div></td>";
}

// The table's shape and how many pages the pictures fill.
struct TPageLayout {
  int rows;
  int cols;
  int perPage;
  int n;
  int pageCount;
};

TPageLayout LayoutFor(const CatalogOptions& o, std::size_t itemCount, bool album = false) {
  TPageLayout l;
  l.rows = ParseWholeNumber(o.TableRows);
  l.cols = ParseWholeNumber(o.TableCols);
  l.perPage = ItemsPerPage(l.rows, l.cols);
  if (itemCount > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw ECatalogError("Too many pictures");
  l.n = static_cast<int>(itemCount);
  l.pageCount = PageCount(l.n, l.rows, l.cols);
  if (album && l.pageCount == 0) l.pageCount = 1;  // its sub-albums
  return l;
}

std::string PageLink(int page) {
  return "page" + Str(page) + ".html";
}

// A temporary name beside path that no other writer picks: process, thread and a counter.
std::string TempNameFor(const std::string& path, int attempt) {
  const std::filesystem::path p(path);
  std::string base = p.filename().string();
  if (base.size() > 100) base.resize(100);  // room for the suffix within the name limit
  thread_local unsigned counter = 0;
  const auto thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
  const std::string name = "." + base + ".tmp" + Str(::getpid()) + "-" +
                           Str(static_cast<std::int64_t>(thread % 1000000007u)) + "-" +
                           Str(++counter) + "-" + Str(attempt);
  return (p.parent_path() / name).string();
}

std::string JoinCrLf(const TLines& lines) {
  std::string text;
  std::size_t total = 0;
  for (const auto& line : lines) total += line.size() + 2;
  text.reserve(total);
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void SaveText(const std::string& text, const std::string& path) {
  const auto fail = [&](int err) {
    return ECatalogError("Unable to write to " + path + ": " +
                         std::generic_category().message(err));
  };
  if (path.empty() || path.find('\0') != std::string::npos) throw fail(EINVAL);

  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = TempNameFor(path, attempt);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) throw fail(errno);
  }
  if (fd < 0) throw fail(EEXIST);

  const char* data = text.data();
  std::size_t left = text.size();
  int err = 0;
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    throw fail(err);
  }
}

}  // namespace

void SaveLines(const TLines& lines, const std::string& path) {
  SaveText(JoinCrLf(lines), path);
}

void BuildCatalogPage(const CatalogOptions& o, const std::vector<CatalogItem>& items, int page,
                      TLines& lines, const TAlbumPage* album) {
  const auto [rows, cols, perPage, n, pageCount] = LayoutFor(o, items.size(), album != nullptr);
  if (page < 1 || page > pageCount) throw ECatalogError("No catalog page " + Str(page));

  lines.clear();
  lines.push_back("<html><head>" + GeneratorMeta());
  if (!o.MetaTag.empty()) lines.push_back(o.MetaTag);
  lines.push_back("<title>Page " + Str(page) + " of " + Str(pageCount) + "</title>");
  AppendStyle(o, lines);
  if (o.JavaOpen) {
    lines.push_back("<script language=\"JavaScript1.2\">");
    lines.push_back("function openpic(Data,picwidth,picheight) {");
    lines.push_back("if (document.all) {");
    lines.push_back(
        "neu = window.open(Data,'_blank','toolbar=0,menubar=0,resizable=yes,scrollbars=1,"
        "location=0,status=0,width=picwidth,height=picheight');");
    lines.push_back("}");
    lines.push_back("else {");
    lines.push_back(
        "neu = window.open(Data,'_blank','toolbar=1,menubar=1,scrollbars=1,resizable=yes,"
        "location=0,status=0');");
    lines.push_back("}");
    lines.push_back("}");
    lines.push_back("</script>");
  }
  lines.push_back("</head>");
  lines.push_back(BodyLine(o));
  AppendAll(o.HeaderLines, lines);
  lines.push_back("<center><br>");
  lines.push_back("<p><font color=\"black\" face=\"Arial, Helvetica\" size=\"4\"><b>" +
                  o.ContentTitle + "</b></font></p><br>");
  if (album) AppendAlbumHead(o, *album, page, lines);
  std::string table = "<table width=\"90%\" border=\"" + o.Border;
  if (!o.TableAlign.empty()) table += "\" align=\"" + o.TableAlign;
  table += "\" cellspacing=\"" + o.Cellspacing + "\" cellpadding=\"" + o.Cellpadding + "\">";
  lines.push_back(table);
  lines.push_back("<tr bgcolor=\"#000099\"><td colspan=\"" + Str(cols) +
                  "\"><div align=\"center\"><font color=\"#FFFFFF\" face=\"Arial, Helvetica, "
                  "sans-serif\" size=\"2\"><b>" +
                  o.PageTitle + " " + Str(page) + " / " + Str(pageCount) +
                  "</b></font></div></td></tr>");

  int next = (page - 1) * perPage;
  for (int r = 0; r < rows; ++r) {
    const int rowStart = next;
    const int rowEnd = std::min(n, rowStart + cols);
    lines.push_back("<tr>");
    for (int i = rowStart; i < rowEnd; ++i) lines.push_back(ThumbnailCell(o, items[i]));
    lines.push_back("</tr><tr bgcolor=\"#000099\">");
    for (int i = rowStart; i < rowEnd; ++i) lines.push_back(CaptionCell(items[i]));
    next = std::max(rowEnd, rowStart);
  }
  lines.push_back("</table>");

  const std::string& pt = o.PageTitle;
  if (pageCount > 1) {
    if (page == 1) {
      lines.push_back("<br><p align=\"center\"><a href=\"" + PageLink(page + 1) + "\">| " +
                      o.NextTitle + " " + pt + " >> |</a></p>");
    } else if (page < pageCount) {
      lines.push_back("<br><p align=\"center\"><a href=\"" + PageLink(page - 1) + "\">| << " +
                      o.PrevTitle + " " + pt + " |</a><a href=\"" + PageLink(page + 1) + "\">| " +
                      o.NextTitle + " " + pt + " >> |</a></p>");
    } else {
      lines.push_back("<br><p align=\"center\"><a href=\"" + PageLink(page - 1) + "\">| << " +
                      o.PrevTitle + " " + pt + " |</a></p>");
    }
  }
  std::string list = "<p align=\"center\">";
  for (int q = 1; q <= pageCount; ++q)
    list += "<a href=\"" + PageLink(q) + "\">| " + pt + " " + Str(q) + " |</a>";
  lines.push_back(list + "</p>");
  AppendAll(o.FooterLines, lines);
  lines.push_back(CreatedWithLine());
  lines.push_back("</body></html>");
}

int BuildTables(const CatalogOptions& o, const std::vector<CatalogItem>& items,
                const std::string& targetDir) {
  return BuildTables(o, items, targetDir, [&](const std::string& name, const std::string& bytes) {
    SaveText(bytes, JoinPath(targetDir, name));
  });
}

int BuildTables(const CatalogOptions& o, const std::vector<CatalogItem>& items,
                const std::string& targetDir, const TPageSink& save, const TAlbumPage* album) {
  const auto [rows, cols, perPage, n, pageCount] = LayoutFor(o, items.size(), album != nullptr);

  std::vector<CatalogItem> sized = items;
  TLines lines;
  for (int p = 1; p <= pageCount; ++p) {
    // Sizes are read page by page, so pages saved before a missing copy stay.
    const int last = std::min(n, p * perPage);
    for (int i = (p - 1) * perPage; i < last; ++i) {
      CheckBareFileName(sized[i].ShownFileName());
      if (!sized[i].SizeKnown)
        sized[i].SizeKb = FileSizeKb(JoinPath(targetDir, sized[i].ShownFileName()));
    }
    BuildCatalogPage(o, sized, p, lines, album);
    save(PageLink(p), JoinCrLf(lines));
  }
  return pageCount;
}

void BuildHTMLContent(const CatalogOptions& o, const std::string& prevPage,
                      const std::string& nextPage, const std::string& pictureName,
                      const std::string& origWidth, const std::string& origHeight, bool first,
                      bool last, int index, TLines& lines, const std::string& shownFile) {
  const int rows = ParseWholeNumber(o.TableRows);
  const int cols = ParseWholeNumber(o.TableCols);
  const std::string catalogPage = PageLink(PageOfIndex(index, rows, cols));
  const std::string name = HtmlEscape(pictureName);
  const std::string width = HtmlEscape(origWidth);
  const std::string height = HtmlEscape(origHeight);

  std::vector<std::string> nav;
  if (first) {
    nav.push_back("<p><a href=\"" + catalogPage +
                  "\" onMouseOver=\"this.className='over'; window.status='Back to Page'; return "
                  "true;\" onMouseOut=\"this.className='off'; window.status=''; return true;\">" +
                  o.CatTitle + "</a>");
    nav.push_back("| <a href=\"" + UrlEncodeName(nextPage) +
                  "\" onMouseOver=\"this.className='over'; window.status='Next Image'; return "
                  "true;\" onMouseOut=\"this.className='off'; window.status=''; return true;\">" +
                  o.NextTitle);
  } else if (last) {
    nav.push_back("<a href=\"" + UrlEncodeName(prevPage) +
                  "\" OnMouseOver=\"this.className='over'; window.status='Previous Image'; "
                  "return true;\" OnMouseOut=\"this.className='off'; window.status=''; return "
                  "true;\">&lt");
    nav.push_back(o.PrevTitle + "</a> | <a href=\"" + catalogPage +
                  "\" OnMouseOver=\"this.className='over'; window.status='Catalog'; return "
                  "true;\" OnMouseOut=\"this.className='off'; window.status=''; return true;\">" +
                  o.CatTitle + "</a>");
  } else {
    nav.push_back("<a href=\"" + UrlEncodeName(prevPage) +
                  "\" OnMouseOver=\"this.className='over'; window.status='Previous Image'; "
                  "return true;\" OnMouseOut=\"this.className='off'; window.status=''; return "
                  "true;\">&lt " +
                  o.PrevTitle + "</a>");
    nav.push_back(" | <a href=\"" + catalogPage +
                  "\" OnMouseOver=\"this.className='over'; window.status='Back to Catalog'; "
                  "return true;\" OnMouseOut=\"this.className='off'; window.status=''; return "
                  "true;\">" +
                  o.CatTitle + "</a>");
    nav.push_back("| <a href=\"" + UrlEncodeName(nextPage) +
                  "\" OnMouseOver=\"this.className='over'; window.status='Next Image'; return "
                  "true;\" OnMouseOut=\"this.className='off'; window.status=''; return true;\">" +
                  o.NextTitle);
  }

  lines.clear();
  lines.push_back("<html><head><meta name=\"Description\" content=\"" + name + "\">");
  lines.push_back(GeneratorMeta());
  if (!o.MetaTag.empty()) lines.push_back(o.MetaTag);
  lines.push_back("<title>" + name + "</title>");
  AppendStyle(o, lines);
  lines.push_back("</head>");
  lines.push_back(BodyLine(o));
  if (o.JavaProtect) {
    // The text is a string inside code that is itself a string: escaped once for each, so it
    // can neither end either string nor the script element (no "<" is left).
    lines.push_back("<script language=\"JavaScript1.2\">");
    lines.push_back(
        "if (document.all) document.body.onmousedown=new Function(\"if "
        "(event.button==2||event.button==3)alert('" +
        JsEscape(JsTextEscape(o.JavaProtectText)) + "')\")");
    lines.push_back("</script>");
  }
  AppendAll(o.HeaderLines, lines);
  if (o.TableAlign.empty()) {
    lines.push_back("<center><table width=\"" + width + "\" border=\"0\">");
  } else {
    lines.push_back("<center><table width=\"" + width + "\" border=\"0\" align=\"" + o.TableAlign +
                    "\">");
  }
  lines.push_back("<tr><td><div align=\"center\"><p>");
  AppendAll(nav, lines);
  lines.push_back("&gt<br></a><br>");
  const std::string& shown = shownFile.empty() ? pictureName : shownFile;
  lines.push_back("<img src=\"" + UrlEncodeName(shown) + "\" width=\"" + width + "\" height=\"" +
                  height + "\" alt=\"" + name + "\"><br>");
  lines.push_back("</p><center>");
  AppendAll(nav, lines);
  lines.push_back("&gt</a><br><br></p>");
  AppendAll(o.FooterLines, lines);
  lines.push_back(CreatedWithLine());
  lines.push_back("</center></div></td></tr></table></center></body></html>");
}

}  // namespace folivant
