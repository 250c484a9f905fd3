#include "settings/settings.h"

#include <algorithm>

#include "settings/color_text.h"
#include "settings/ini_file.h"
#include "settings/option_schema.h"

namespace folivant {

SettingsRecord::SettingsRecord() {
  for (const OptionRow& row : OptionRows()) SetOptionText(row, *this, row.Default);
}

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
  for (const OptionRow& row : OptionRows()) WriteOption(row, r, ini);
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
  // Every readable colour is applied; a bad text stays as its picker's text.
  for (const OptionRow& row : OptionRows())
    if (!ReadOption(row, ini, r)) out.Errors.push_back({row.Slot, row.Key, OptionText(row, r)});
  r.Window = ReadWindow(ini);
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
  o.StripLocation = r.StripLocation;
  o.Style = r.PageStyle == 1 ? TPageStyle::psModern : TPageStyle::psClassic;
  o.Lang = r.Language;
  return o;
}

}  // namespace folivant
