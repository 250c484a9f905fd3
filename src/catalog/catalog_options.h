// Every setting a build reads, and what is known about one picture when pages are written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace folivant {

enum class TThumbMode : std::uint8_t { tmFixedHeight, tmFixedWidth };
// classic: the pages as they always were; modern: catalog/modern (phones, dark mode, keyboard).
enum class TPageStyle : std::uint8_t { psClassic, psModern };

struct CatalogOptions {
  std::string TargetDir;
  std::string BackGrnd;  // body background attribute; empty: none
  std::string ContentTitle;
  std::string MetaTag;  // one head line written as typed; empty: none
  std::string BackColorHtml = "#FFFFFF";
  std::string LinkColorHtml = "#000099";
  std::string ALinkColorHtml = "#000099";
  std::string VLinkColorHtml = "#800080";
  std::string PageTitle = "Page";
  std::string PrevTitle = "Previous";
  std::string NextTitle = "Next";
  std::string CatTitle = "Catalog";
  std::string TableRows = "4";  // text of the field: read as a whole number when used (1..100)
  std::string TableCols = "4";
  std::string Border = "1";       // written as typed (0..30)
  std::string Cellpadding = "0";  // (0..30)
  std::string Cellspacing = "2";  // (0..39)
  std::string TableAlign;         // "left", "center", "right" or empty
  TThumbMode ThumbMode = TThumbMode::tmFixedHeight;
  int ThumbHeight = 96;  // 10..300
  int ThumbWidth = 70;   // 10..300
  int JPEGQuality = 75;  // 10..100
  bool Progressive = false;
  int Filter = -1;  // TResampleFilter value 0..6; -1: no selection
  bool JavaProtect = false;
  std::string JavaProtectText = "Right Mouse Click Disabled!!!";
  bool JavaOpen = false;
  // Pictures are turned upright by their EXIF orientation before the thumbnail is made, and
  // the pages give their upright size.
  bool AutoRotate = true;
  // The copies of the pictures lose their location (EXIF GPS, XMP place); nothing else changes.
  bool StripLocation = false;
  std::vector<std::string> HeaderLines;
  std::vector<std::string> FooterLines;
  bool ShowInBrowser = true;
  TPageStyle Style = TPageStyle::psClassic;
  std::string Lang;  // modern pages' language tag; empty: from the locale, else "en"
};

// Limits of the window's spin controls, shared by the settings file and the command line.
struct OptionLimits {
  static constexpr int kMinRows = 1, kMaxRows = 100;
  static constexpr int kMinCols = 1, kMaxCols = 100;
  static constexpr int kMinBorder = 0, kMaxBorder = 30;
  static constexpr int kMinCellpadding = 0, kMaxCellpadding = 30;
  static constexpr int kMinCellspacing = 0, kMaxCellspacing = 39;
  static constexpr int kMinThumb = 10, kMaxThumb = 300;
  static constexpr int kMinQuality = 10, kMaxQuality = 100;
  static constexpr int kMinFilter = 0, kMaxFilter = 6;
};

struct CatalogItem {
  std::string PictureName;            // file name without folder, as the file list shows it
  std::string SourcePath;             // full path of the chosen picture
  std::string PageFileName;           // see PageFileName()
  std::string TnFileName;             // see TnFileName()
  std::string WebCopyName;            // see WebCopyFileName(); empty: the pages show the picture
  std::string OrigWidth, OrigHeight;  // decimal text, as loaded
  std::string TnWidth, TnHeight;      // decimal text, after resampling
  std::int64_t SizeKb = 0;            // of the file the pages show
  // A video clip: its WebCopyName is the poster; its page plays ClipCopyName (the H.264 web
  // copy) when set, else the clip itself.
  bool Clip = false;
  std::string ClipCopyName;
  std::int64_t DurationMs = -1;  // -1: the clip does not say (or no clip)
  bool SizeKnown = false;        // SizeKb is set: the page writers need not look

  // The file the picture page and the new-window link show (a clip: the one it plays).
  const std::string& ShownFileName() const {
    if (Clip) return ClipCopyName.empty() ? PictureName : ClipCopyName;
    return WebCopyName.empty() ? PictureName : WebCopyName;
  }
};

}  // namespace folivant
