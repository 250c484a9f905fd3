#include "catalog/clip_page.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "catalog/html_escape.h"
#include "imaging/bitmap.h"
#include "imaging/picture_formats.h"

namespace folivant {

bool IsClipName(std::string_view name) {
  return PictureFormat(PictureKindOfName(std::string(name))).Clip;
}

std::string ClipCopyFileName(std::string_view clipName) {
  return std::string(clipName) + ".mp4";
}

std::string ClipDurationText(std::int64_t ms) {
  if (ms < 0) return {};
  const long long s = (ms + 500) / 1000;
  char text[48];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  }
  return text;
}

std::string ClipCaption(const CatalogItem& item) {
  if (!item.Clip || item.DurationMs < 0) return {};
  return " - " + ClipDurationText(item.DurationMs);
}

void BuildClipPage(const CatalogOptions& o, const std::string& prevPage,
                   const std::string& nextPage, const CatalogItem& item, int width, int height,
                   bool first, bool last, int index, TLines& lines) {
  const std::string w = std::to_string(width), h = std::to_string(height);
  BuildHTMLContent(o, prevPage, nextPage, item.PictureName, w, h, first, last, index, lines,
                   item.WebCopyName);
  const std::string poster = UrlEncodeName(item.WebCopyName);
  const std::string picture = "<img src=\"" + poster + "\"";
  const auto at = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.compare(0, picture.size(), picture) == 0;
  });
  if (at == lines.end()) return;
  const std::string played = UrlEncodeName(item.ShownFileName());
  *at = "<video controls preload=\"metadata\" src=\"" + played + "\" poster=\"" + poster +
        "\" width=\"" + w + "\" height=\"" + h + "\"><a href=\"" + played + "\">" +
        HtmlEscape(item.PictureName) + "</a></video><br>";
}

void DrawPlayMark(TBitmap& bmp) {
  const int w = bmp.Width(), h = bmp.Height();
  if (bmp.PixelFormat() != TPixelFormat::pf24bit || std::min(w, h) < 12) return;
  // In sixteenths of a pixel, so the mark is the same on every machine.
  const int r = std::min(w, h) * 16 / 6, cx = w * 8, cy = h * 8;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const int dx = x * 16 + 8 - cx, dy = y * 16 + 8 - cy;
      if (dx * dx + dy * dy > r * r) continue;
      // The triangle points right, its tip 3r/5 right of the middle.
      const int a = r * 2 / 5, b = r * 3 / 5;
      const bool inside = dx >= -a && std::abs(dy) * (a + b) <= (r / 2) * (b - dx);
      std::uint8_t* p = row + 3 * x;
      for (int c = 0; c < 3; ++c) p[c] = inside ? 255 : static_cast<std::uint8_t>(p[c] * 2 / 5);
    }
  }
}

}  // namespace folivant
