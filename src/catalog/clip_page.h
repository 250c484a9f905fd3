// What the catalog does differently for a video clip: its files' names, its page (the picture
// page with a video player in place of the picture) and its caption's duration.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "catalog/catalog_options.h"
#include "catalog/page_writer.h"

namespace folivant {

// A clip by its name's extension (.mp4 .m4v .mov .webm .mkv .avi .3gp, any case).
bool IsClipName(std::string_view name);
// The H.264 web copy of a clip browsers do not play: "IMG_1.MOV" gives "IMG_1.MOV.mp4".
std::string ClipCopyFileName(std::string_view clipName);

// "0:42", "1:02:03"; "" for -1 (the clip does not say).
std::string ClipDurationText(std::int64_t ms);
// The catalog caption's part for a clip, " - 0:42"; "" for a picture.
std::string ClipCaption(const CatalogItem& item);

// The page of clip item (its WebCopyName the poster, ClipCopyName set when the page plays the
// web copy): the picture page's lines, the picture replaced by
// <video controls preload="metadata"> at the upright size.
void BuildClipPage(const CatalogOptions& options, const std::string& prevPage,
                   const std::string& nextPage, const CatalogItem& item, int width, int height,
                   bool first, bool last, int index, TLines& lines);

// Draws the play mark on a clip's thumbnail (24-bit BGR rows): a white triangle on a dark
// disc in the middle, a third of the shorter side across.
class TBitmap;
void DrawPlayMark(TBitmap& bmp);

}  // namespace folivant
