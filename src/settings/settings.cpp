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

  if (r.Window) {
    const WindowPlacement& w = *r.Window;
    const char* wi = kWindowSection;
    ini.WriteInteger(wi, "Left", w.Left);
    ini.WriteInteger(wi, "Top", w.Top);
    ini.WriteInteger(wi, "Width", w.Width);
    ini.WriteInteger(wi, "Height", w.Height);
    ini.WriteBool(wi, "Maximized", w.Maximized);
  }
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

bool SettingsLoad::ColorApplied(int slot) const {
  if (!FileProblem.empty()) return false;
  return std::none_of(Errors.begin(), Errors.end(),
                      [slot](const SettingsColorError& e) { return e.Slot == slot; });
}

std::vector<std::string> SettingsLoad::Problems(const std::string& path) const {
  std::vector<std::string> out;
  if (!FileProblem.empty()) out.push_back(path + ": " + FileProblem);
  for (const SettingsColorError& e : Errors) {
    out.push_back(path + ": [" + kGeneralSection + "] " + e.Key + "=" + e.Text +
                  " is not a colour (a name such as clRed, or a number such as $000000FF)");
  }
  return out;
}

namespace {

// Why a file that was read is no settings file; empty when it is one. Binary bytes mean a
// damaged file or another kind of file picked by mistake: its values would be nonsense.
std::string NotSettings(const TIniFile& ini) {
  const std::string text = ini.Text();
  int line = 1;
  bool blank = true;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\n') ++line;
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f') || c == 0x7F)
      return "damaged: line " + std::to_string(line) + " holds binary data, not text";
    blank = blank && (c == ' ' || c < 0x20);
  }
  if (blank) return {};  // an empty file reads as one without keys
  for (const char* section : {kGeneralSection, kTableSection, kImageSection})
    if (ini.SectionExists(section)) return {};
  return std::string("not a settings file: it has none of the sections [") + kGeneralSection +
         "], [" + kTableSection + "] and [" + kImageSection + "]";
}

void ReadGeneral(const TIniFile& ini, SettingsRecord& r) {
  static const SettingsRecord kDefaults;
  const char* g = kGeneralSection;
  r.TargetDir = ini.ReadString(g, "TargetDir", kDefaults.TargetDir);
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
}

void ReadTableAndImage(const TIniFile& ini, SettingsRecord& r) {
  static const SettingsRecord kDefaults;
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
}

// The frame as last saved, when every value is there; the window keeps it on a screen.
std::optional<WindowPlacement> ReadWindow(const TIniFile& ini) {
  const char* wi = kWindowSection;
  for (const char* key : {"Left", "Top", "Width", "Height"})
    if (!TryStrToInt(ini.ReadString(wi, key, ""))) return std::nullopt;
  constexpr int kFar = 1 << 20;  // beyond any desktop, and far from overflowing a sum
  WindowPlacement w;
  w.Left = ClampSpin(ini.ReadInteger(wi, "Left", 0), -kFar, kFar);
  w.Top = ClampSpin(ini.ReadInteger(wi, "Top", 0), -kFar, kFar);
  w.Width = ClampSpin(ini.ReadInteger(wi, "Width", 0), 0, kFar);
  w.Height = ClampSpin(ini.ReadInteger(wi, "Height", 0), 0, kFar);
  w.Maximized = ini.ReadBool(wi, "Maximized", false);
  return w;
}

}  // namespace

SettingsLoad LoadSettings(const std::string& path, const SettingsRecord& current) {
  SettingsLoad out;
  out.Record = current;
  const TIniFile ini(path);
  out.FileProblem = ini.ReadError();
  if (out.FileProblem.empty() && !ini.Absent()) out.FileProblem = NotSettings(ini);
  if (!out.FileProblem.empty()) return out;  // the settings in hand are worth more

  SettingsRecord& r = out.Record;
  ReadGeneral(ini, r);
  ReadTableAndImage(ini, r);
  r.Window = ReadWindow(ini);
  // The pickers: every readable colour is applied; a bad text stays as its picker's text.
  for (int i = 0; i < kColorSlots; ++i) {
    const auto color = TryStringToColor(r.ColorTexts[i]);
    if (!color) {
      out.Errors.push_back({i, kColorKeys[i], r.ColorTexts[i]});
      continue;
    }
    r.Colors[i] = *color;
    r.ColorTexts[i] = ColorToString(*color);  // the picker's change handling rewrites the text
  }
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
