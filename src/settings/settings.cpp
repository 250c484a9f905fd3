#include "settings/settings.h"

#include <algorithm>

#include "settings/color_text.h"
#include "settings/ini_file.h"

namespace folivant {

namespace {

constexpr std::array<const char*, kColorSlots> kColorKeys{"BackColorS", "LinkColorS", "ALinkColorS",
                                                          "VLinkColorS"};

}  // namespace

int ClampSpin(std::int64_t value, int lo, int hi) {
  return static_cast<int>(std::clamp<std::int64_t>(value, lo, hi));
}

int FilterIndexOrNone(std::int64_t value) {
  return (value >= OptionLimits::kMinFilter && value <= OptionLimits::kMaxFilter)
             ? static_cast<int>(value)
             : -1;
}

namespace {

void WriteSettings(const SettingsRecord& r, TIniFile& ini) {
  const char* g = kGeneralSection;
  ini.WriteString(g, "TargetDir", r.TargetDir);
  ini.WriteString(g, "LastDir", r.LastDir);
  ini.WriteString(g, "BackGrnd", r.BackGrnd);
  ini.WriteString(g, "ContentTitle", r.ContentTitle);
  ini.WriteString(g, "MetaTag", r.MetaTag);
  for (int i = 0; i < kColorSlots; ++i) ini.WriteString(g, kColorKeys[i], r.ColorTexts[i]);
  ini.WriteString(g, "PageTitle", r.PageTitle);
  ini.WriteString(g, "PrevTitle", r.PrevTitle);
  ini.WriteString(g, "NextTitle", r.NextTitle);
  ini.WriteString(g, "CatTitle", r.CatTitle);

  const char* t = kTableSection;
  ini.WriteString(t, "TableCols", r.TableCols);
  ini.WriteString(t, "TableRows", r.TableRows);
  ini.WriteString(t, "Border", r.Border);
  ini.WriteString(t, "Cellpadding", r.Cellpadding);
  ini.WriteString(t, "Cellspacing", r.Cellspacing);

  const char* im = kImageSection;
  ini.WriteInteger(im, "ThumbHeight", r.ThumbHeight);
  ini.WriteInteger(im, "ThumbWidth", r.ThumbWidth);
  ini.WriteInteger(im, "JPEGQuality", r.JPEGQuality);
  ini.WriteBool(im, "Progressive", r.Progressive);
  ini.WriteInteger(im, "Filter", FilterIndexOrNone(r.Filter));
  ini.WriteBool(im, "JavaProtect", r.JavaProtect);
  ini.WriteString(im, "JavaProtectText", r.JavaProtectText);
  ini.WriteBool(im, "JavaOpen", r.JavaOpen);
  ini.WriteBool(im, "AutoRotate", r.AutoRotate);
}

}  // namespace

void SaveSettings(const SettingsRecord& record, const std::string& path) {
  TIniFile ini(path);
  WriteSettings(record, ini);
  ini.UpdateFile();
}

std::string SettingsFileText(const SettingsRecord& record) {
  TIniFile ini = TIniFile::FromText("");
  WriteSettings(record, ini);
  return ini.Text();
}

void SettingsLoad::ThrowIfFailed() const {
  if (Error) throw EColorTextError(Error->Text);
}

SettingsLoad LoadSettings(const std::string& path, const SettingsRecord& current) {
  static const SettingsRecord kDefaults;
  SettingsLoad out;
  out.Record = current;
  SettingsRecord& r = out.Record;
  const TIniFile ini(path);
  out.FileProblem = ini.ReadError();

  // Steps 1 to 5: every stored value, in the file's order. The target directory is kept aside
  // until the colours have gone through.
  const char* g = kGeneralSection;
  out.TargetDirRead = ini.ReadString(g, "TargetDir", kDefaults.TargetDir);
  r.LastDir = ini.ReadString(g, "LastDir", kDefaults.LastDir);
  r.BackGrnd = ini.ReadString(g, "BackGrnd", kDefaults.BackGrnd);
  r.ContentTitle = ini.ReadString(g, "ContentTitle", kDefaults.ContentTitle);
  for (int i = 0; i < kColorSlots; ++i)
    r.ColorTexts[i] = ini.ReadString(g, kColorKeys[i], kDefaults.ColorTexts[i]);
  r.MetaTag = ini.ReadString(g, "MetaTag", kDefaults.MetaTag);
  r.PageTitle = ini.ReadString(g, "PageTitle", kDefaults.PageTitle);
  r.PrevTitle = ini.ReadString(g, "PrevTitle", kDefaults.PrevTitle);
  r.NextTitle = ini.ReadString(g, "NextTitle", kDefaults.NextTitle);
  r.CatTitle = ini.ReadString(g, "CatTitle", kDefaults.CatTitle);

  const char* t = kTableSection;
  // The Columns and Rows spinners take the number and show their position in the field.
  r.TableCols = std::to_string(ClampSpin(ini.ReadInteger(t, "TableCols", 4), OptionLimits::kMinCols,
                                         OptionLimits::kMaxCols));
  r.TableRows = std::to_string(ClampSpin(ini.ReadInteger(t, "TableRows", 4), OptionLimits::kMinRows,
                                         OptionLimits::kMaxRows));
  r.Border = ini.ReadString(t, "Border", kDefaults.Border);
  r.Cellpadding = ini.ReadString(t, "Cellpadding", kDefaults.Cellpadding);
  r.Cellspacing = ini.ReadString(t, "Cellspacing", kDefaults.Cellspacing);

  const char* im = kImageSection;
  r.ThumbHeight = ClampSpin(ini.ReadInteger(im, "ThumbHeight", kDefaults.ThumbHeight),
                            OptionLimits::kMinThumb, OptionLimits::kMaxThumb);
  r.ThumbWidth = ClampSpin(ini.ReadInteger(im, "ThumbWidth", kDefaults.ThumbWidth),
                           OptionLimits::kMinThumb, OptionLimits::kMaxThumb);
  r.JPEGQuality = ClampSpin(ini.ReadInteger(im, "JPEGQuality", kDefaults.JPEGQuality),
                            OptionLimits::kMinQuality, OptionLimits::kMaxQuality);
  r.Progressive = ini.ReadBool(im, "Progressive", kDefaults.Progressive);
  r.Filter = FilterIndexOrNone(ini.ReadInteger(im, "Filter", kDefaults.Filter));
  r.JavaProtect = ini.ReadBool(im, "JavaProtect", kDefaults.JavaProtect);
  r.JavaProtectText = ini.ReadString(im, "JavaProtectText", kDefaults.JavaProtectText);
  r.JavaOpen = ini.ReadBool(im, "JavaOpen", kDefaults.JavaOpen);
  // A file from before this key turns pictures upright too.
  r.AutoRotate = ini.ReadBool(im, "AutoRotate", kDefaults.AutoRotate);

  // Step 7: the pickers in order; the first bad text stops here, leaving it as its picker's
  // colour text and the later pickers and the target directory as they were.
  for (int i = 0; i < kColorSlots; ++i) {
    const auto color = TryStringToColor(r.ColorTexts[i]);
    if (!color) {
      out.ColorsApplied = i;
      out.Error = SettingsColorError{i, r.ColorTexts[i], EColorTextError(r.ColorTexts[i]).what()};
      return out;
    }
    r.Colors[i] = *color;
    r.ColorTexts[i] = ColorToString(*color);  // the picker's change handling rewrites the text
  }
  // Step 9 (step 8, the picture dialog's folder, is the window's own).
  r.TargetDir = out.TargetDirRead;
  return out;
}

CatalogOptions MakeCatalogOptions(const SettingsRecord& r, const TColorResolver& resolver) {
  CatalogOptions o;
  o.TargetDir = r.TargetDir;
  o.BackGrnd = r.BackGrnd;
  o.ContentTitle = r.ContentTitle;
  o.MetaTag = r.MetaTag;
  o.BackColorHtml = HtmlColor(r.Colors[csBack], resolver);
  o.LinkColorHtml = HtmlColor(r.Colors[csLink], resolver);
  o.ALinkColorHtml = HtmlColor(r.Colors[csALink], resolver);
  o.VLinkColorHtml = HtmlColor(r.Colors[csVLink], resolver);
  o.PageTitle = r.PageTitle;
  o.PrevTitle = r.PrevTitle;
  o.NextTitle = r.NextTitle;
  o.CatTitle = r.CatTitle;
  o.TableRows = r.TableRows;
  o.TableCols = r.TableCols;
  o.Border = r.Border;
  o.Cellpadding = r.Cellpadding;
  o.Cellspacing = r.Cellspacing;
  o.ThumbHeight = ClampSpin(r.ThumbHeight, OptionLimits::kMinThumb, OptionLimits::kMaxThumb);
  o.ThumbWidth = ClampSpin(r.ThumbWidth, OptionLimits::kMinThumb, OptionLimits::kMaxThumb);
  o.JPEGQuality = ClampSpin(r.JPEGQuality, OptionLimits::kMinQuality, OptionLimits::kMaxQuality);
  o.Progressive = r.Progressive;
  o.Filter = FilterIndexOrNone(r.Filter);
  o.JavaProtect = r.JavaProtect;
  o.JavaProtectText = r.JavaProtectText;
  o.JavaOpen = r.JavaOpen;
  o.AutoRotate = r.AutoRotate;
  return o;
}

}  // namespace folivant
