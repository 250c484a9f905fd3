#include "settings/option_schema.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "catalog/modern/modern_files.h"
#include "settings/color_text.h"
#include "settings/ini_file.h"

namespace folivant {

namespace {

using R = SettingsRecord;
using T = OptionType;
using G = HelpGroup;
using V = ValueKind;
using L = OptionLimits;
constexpr const char* kG = kGeneralSection;
constexpr const char* kT = kTableSection;
constexpr const char* kI = kImageSection;
constexpr std::array<std::string_view, 2> kStyleNames = {"classic", "modern"};
// In the order of TAlbumSort.
constexpr std::array<std::string_view, 2> kSortNames = {"name", "date"};

// The settings file's order is the order of the rows; --help's is Group, then HelpAt.
constexpr std::array kRows = {
    OptionRow{.Section = kG,
              .Key = "TargetDir",
              .Str = &R::TargetDir,
              .Flag = "target",
              .Short = 'o',
              .ValueName = "DIR",
              .Help = "write the catalog into DIR (default: TargetDir of the settings);\n"
                      "a missing DIR is made, with its parents",
              .Group = G::Where,
              .HelpAt = 0,
              .Values = V::Dir,
              .Control = "EditTarget"},
    OptionRow{.Section = kG, .Key = "LastDir", .Str = &R::LastDir},
    OptionRow{.Section = kG,
              .Key = "BackGrnd",
              .Str = &R::BackGrnd,
              .Flag = "background",
              .ValueName = "NAME",
              .Help = "background image of the pages (a file in the target folder)",
              .Group = G::Pages,
              .HelpAt = 2,
              .Values = V::File},
    OptionRow{.Section = kG,
              .Key = "ContentTitle",
              .Str = &R::ContentTitle,
              .Flag = "title",
              .ValueName = "TEXT",
              .Help = "title above the thumbnail table",
              .Group = G::Pages,
              .HelpAt = 0,
              .Control = "IndexTitle"},
    OptionRow{.Section = kG,
              .Key = "MetaTag",
              .Str = &R::MetaTag,
              .Flag = "meta",
              .ValueName = "TEXT",
              .Help = "one extra line in the head of every page",
              .Group = G::Pages,
              .HelpAt = 1,
              .Control = "MetaTagEdit"},
    OptionRow{.Section = kG,
              .Key = "BackColorS",
              .Type = T::Color,
              .Default = "clWhite",
              .Slot = csBack,
              .Flag = "background-color",
              .ValueName = "C",
              .Help = "page background colour",
              .Group = G::Pages,
              .HelpAt = 20,
              .Values = V::Color,
              .Control = "BackColorPickerButton"},
    OptionRow{.Section = kG,
              .Key = "LinkColorS",
              .Type = T::Color,
              .Default = "$00990000",
              .Slot = csLink,
              .Flag = "link-color",
              .ValueName = "C",
              .Help = "link colour",
              .Group = G::Pages,
              .HelpAt = 21,
              .Values = V::Color,
              .Control = "LinkColorPickerButton"},
    OptionRow{.Section = kG,
              .Key = "ALinkColorS",
              .Type = T::Color,
              .Default = "$00990000",
              .Slot = csALink,
              .Flag = "alink-color",
              .ValueName = "C",
              .Help = "active link colour",
              .Group = G::Pages,
              .HelpAt = 22,
              .Values = V::Color,
              .Control = "ALinkColorPickerButton"},
    OptionRow{.Section = kG,
              .Key = "VLinkColorS",
              .Type = T::Color,
              .Default = "clPurple",
              .Slot = csVLink,
              .Flag = "vlink-color",
              .ValueName = "C",
              .Help = "visited link colour",
              .Group = G::Pages,
              .HelpAt = 23,
              .Values = V::Color,
              .Control = "VLinkColorPickerButton"},
    OptionRow{.Section = kG,
              .Key = "PageTitle",
              .Default = "Page",
              .Str = &R::PageTitle,
              .Flag = "page-word",
              .ValueName = "TEXT",
              .Help = "caption word for a catalog page (default \"Page\")",
              .Group = G::Pages,
              .HelpAt = 10,
              .Control = "PageEdit"},
    OptionRow{.Section = kG,
              .Key = "PrevTitle",
              .Default = "Previous",
              .Str = &R::PrevTitle,
              .Flag = "prev-word",
              .ValueName = "TEXT",
              .Help = "caption word for \"previous\"",
              .Group = G::Pages,
              .HelpAt = 11,
              .Control = "PreviousEdit"},
    OptionRow{.Section = kG,
              .Key = "NextTitle",
              .Default = "Next",
              .Str = &R::NextTitle,
              .Flag = "next-word",
              .ValueName = "TEXT",
              .Help = "caption word for \"next\"",
              .Group = G::Pages,
              .HelpAt = 12,
              .Control = "NextEdit"},
    OptionRow{.Section = kG,
              .Key = "CatTitle",
              .Default = "Catalog",
              .Str = &R::CatTitle,
              .Flag = "catalog-word",
              .ValueName = "TEXT",
              .Help = "caption word for the way back to the catalog",
              .Group = G::Pages,
              .HelpAt = 13,
              .Control = "CatalogEdit"},
    OptionRow{.Section = kG,
              .Key = "Style",
              .Type = T::Choice,
              .Default = "classic",
              .Int = &R::PageStyle,
              .Flag = "style",
              .ValueName = "NAME",
              .Help = "page style: classic (the default) or modern (phones, high-density\n"
                      "screens, keyboard, dark mode, screen readers)",
              .Group = G::Pages,
              .HelpAt = 14,
              .Control = "StyleComboBox",
              .Choices = kStyleNames},
    OptionRow{.Section = kG,
              .Key = "Language",
              .Str = &R::Language,
              .Flag = "lang",
              .ValueName = "TAG",
              .Help = "language of the modern pages, such as en or de-CH (default: from\n"
                      "the locale, else en)",
              .Group = G::Pages,
              .HelpAt = 15,
              .Check = IsLanguageTag,
              .CheckWhat = "a language tag such as en, de-CH or zh-Hant"},
    OptionRow{.Section = kG,
              .Key = "Albums",
              .Type = T::Bool,
              .Default = "0",
              .Bit = &R::Albums,
              .Flag = "albums",
              .Help = "a FOLDER is a tree of albums: each sub-folder holding pictures (at\n"
                      "any depth) is built into the same sub-folder of the target, linked\n"
                      "from its parent's first page",
              .NoFlag = "no-albums",
              .NoHelp = "a FOLDER adds only its own pictures (the default)",
              .Group = G::Where,
              .HelpAt = 20,
              .Control = "AlbumsCheck"},
    OptionRow{.Section = kG,
              .Key = "Sort",
              .Type = T::Choice,
              .Default = "name",
              .Int = &R::Sort,
              .Flag = "sort",
              .ValueName = "ORDER",
              .Help = "order of an album's pictures: name (without regard to case) or\n"
                      "date (taken, from EXIF; the file's modification time where none)",
              .Group = G::Where,
              .HelpAt = 21,
              .Control = "SortCombo",
              .Choices = kSortNames},
    OptionRow{.Section = kT,
              .Key = "TableCols",
              .Type = T::SpinText,
              .Default = "4",
              .Min = L::kMinCols,
              .Max = L::kMaxCols,
              .Str = &R::TableCols,
              .Flag = "cols",
              .ValueName = "N",
              .Help = "thumbnail columns per catalog page ({range})",
              .Group = G::Table,
              .HelpAt = 1,
              .Control = "TableCols"},
    OptionRow{.Section = kT,
              .Key = "TableRows",
              .Type = T::SpinText,
              .Default = "4",
              .Min = L::kMinRows,
              .Max = L::kMaxRows,
              .Str = &R::TableRows,
              .Flag = "rows",
              .ValueName = "N",
              .Help = "thumbnail rows per catalog page ({range})",
              .Group = G::Table,
              .HelpAt = 0,
              .Control = "TableRows"},
    OptionRow{.Section = kT,
              .Key = "Border",
              .Type = T::TypedNumber,
              .Default = "1",
              .Min = L::kMinBorder,
              .Max = L::kMaxBorder,
              .Str = &R::Border,
              .Flag = "border",
              .ValueName = "N",
              .Help = "table border ({range})",
              .Group = G::Table,
              .HelpAt = 2,
              .Control = "TableBorderEdit"},
    OptionRow{.Section = kT,
              .Key = "Cellpadding",
              .Type = T::TypedNumber,
              .Default = "0",
              .Min = L::kMinCellpadding,
              .Max = L::kMaxCellpadding,
              .Str = &R::Cellpadding,
              .Flag = "cellpadding",
              .ValueName = "N",
              .Help = "table cell padding ({range})",
              .Group = G::Table,
              .HelpAt = 3,
              .Control = "TableCellPadEdit"},
    OptionRow{.Section = kT,
              .Key = "Cellspacing",
              .Type = T::TypedNumber,
              .Default = "2",
              .Min = L::kMinCellspacing,
              .Max = L::kMaxCellspacing,
              .Str = &R::Cellspacing,
              .Flag = "cellspacing",
              .ValueName = "N",
              .Help = "table cell spacing ({range})",
              .Group = G::Table,
              .HelpAt = 4,
              .Control = "TableCellSpaceEdit"},
    OptionRow{.Section = kI,
              .Key = "ThumbHeight",
              .Type = T::Number,
              .Default = "96",
              .Min = L::kMinThumb,
              .Max = L::kMaxThumb,
              .Int = &R::ThumbHeight,
              .Flag = "thumb-height",
              .ValueName = "N",
              .Help = "thumbnails N pixels high, width in proportion ({range}; the default\n"
                      "mode)",
              .Group = G::Thumbnails,
              .HelpAt = 0,
              .Control = "UpDown3"},
    OptionRow{.Section = kI,
              .Key = "ThumbWidth",
              .Type = T::Number,
              .Default = "70",
              .Min = L::kMinThumb,
              .Max = L::kMaxThumb,
              .Int = &R::ThumbWidth,
              .Flag = "thumb-width",
              .ValueName = "N",
              .Help = "thumbnails N pixels wide, height in proportion ({range})",
              .Group = G::Thumbnails,
              .HelpAt = 1,
              .Control = "UpDown4"},
    OptionRow{.Section = kI,
              .Key = "JPEGQuality",
              .Type = T::Number,
              .Default = "75",
              .Min = L::kMinQuality,
              .Max = L::kMaxQuality,
              .Int = &R::JPEGQuality,
              .Flag = "quality",
              .ValueName = "N",
              .Help = "JPEG quality ({range})",
              .Group = G::Thumbnails,
              .HelpAt = 2,
              .Control = "UpDown5"},
    OptionRow{.Section = kI,
              .Key = "Progressive",
              .Type = T::Bool,
              .Default = "0",
              .Bit = &R::Progressive,
              .Flag = "progressive",
              .Help = "write progressive JPEG thumbnails",
              .NoFlag = "no-progressive",
              .NoHelp = "write baseline JPEG thumbnails",
              .Group = G::Thumbnails,
              .HelpAt = 3,
              .Control = "ProgrCheckBox"},
    OptionRow{.Section = kI,
              .Key = "Filter",
              .Type = T::Filter,
              .Default = "-1",
              .Min = L::kMinFilter,
              .Max = L::kMaxFilter,
              .Int = &R::Filter,
              .Flag = "filter",
              .ValueName = "NAME",
              .Help = "{choices}",
              .Group = G::Thumbnails,
              .HelpAt = 4,
              .Values = V::Filter,
              .Control = "FilterComboBox"},
    OptionRow{.Section = kI,
              .Key = "JavaProtect",
              .Type = T::Bool,
              .Default = "0",
              .Bit = &R::JavaProtect,
              .Flag = "protect",
              .ValueName = "TEXT",
              .Help = "picture pages carry the right-click protection script, with\n"
                      "TEXT as its message",
              .NoFlag = "no-protect",
              .NoHelp = "no protection script",
              .Group = G::Pages,
              .HelpAt = 5,
              .ValueKey = "JavaProtectText",
              .Control = "JavaProtect"},
    OptionRow{.Section = kI,
              .Key = "JavaProtectText",
              .Default = "Right Mouse Click Disabled!!!",
              .Str = &R::JavaProtectText,
              .Control = "AlertEdit"},
    OptionRow{.Section = kI,
              .Key = "JavaOpen",
              .Type = T::Bool,
              .Default = "0",
              .Bit = &R::JavaOpen,
              .Flag = "open-in-window",
              .Help = "thumbnails open the picture in a new window by script",
              .NoFlag = "no-open-in-window",
              .NoHelp = "thumbnails link to the picture pages",
              .Group = G::Pages,
              .HelpAt = 6,
              .Control = "JavaOpen"},
    // A file from before this key turns pictures upright too.
    OptionRow{.Section = kI,
              .Key = "AutoRotate",
              .Type = T::Bool,
              .Default = "1",
              .Bit = &R::AutoRotate,
              .Flag = "auto-rotate",
              .Help = "turn pictures upright by their EXIF orientation (the default)",
              .NoFlag = "no-auto-rotate",
              .NoHelp = "use pictures as stored, whatever their EXIF orientation says",
              .Group = G::Thumbnails,
              .HelpAt = 5,
              .Control = "AutoRotateCheck"},
    OptionRow{.Section = kI,
              .Key = "StripLocation",
              .Type = T::Bool,
              .Default = "0",
              .Bit = &R::StripLocation,
              .Flag = "strip-location",
              .Help = "remove the location (GPS) from the copies of the pictures, keeping\n"
                      "the rest of their bytes",
              .NoFlag = "no-strip-location",
              .NoHelp = "copy the pictures byte for byte (the default)",
              .Group = G::Thumbnails,
              .HelpAt = 6,
              .Control = "StripLocationCheck"},
    OptionRow{.Section = kI,
              .Key = "Videos",
              .Type = T::Bool,
              .Default = "1",
              .Bit = &R::Videos,
              .Flag = "videos",
              .Help = "a folder gives its video clips too (the default)",
              .NoFlag = "no-videos",
              .NoHelp = "a folder gives its pictures only, no video clips",
              .Group = G::Where,
              .HelpAt = 6,  // after --force
              .Control = "VideosCheck"},
};

constexpr std::array<std::string_view, 7> kFilterNames = {"none",    "triangle", "hermite", "bell",
                                                          "bspline", "lanczos3", "mitchell"};

// A choice by name (any case) or by its index (the window's list); anything else: the default.
std::size_t ChoiceIndex(const OptionRow& row, const std::string& text) {
  const std::string name = LowerText(text);
  for (std::size_t i = 0; i < row.Choices.size(); ++i) {
    if (name == row.Choices[i] || text == std::to_string(i)) return i;
  }
  return 0;
}

std::int32_t DefaultNumber(const OptionRow& row) {
  return TryStrToInt(row.Default).value_or(0);
}

}  // namespace

std::string LowerText(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A whole number from digits only, within lo..hi.
std::optional<int> ParseDigits(const std::string& text, int lo, int hi) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < lo || value > hi) return std::nullopt;
  return value;
}

std::span<const OptionRow> OptionRows() {
  return kRows;
}

const OptionRow* FindOption(std::string_view key) {
  for (const OptionRow& row : kRows)
    if (key == row.Key) return &row;
  return nullptr;
}

std::span<const std::string_view> FilterNames() {
  return kFilterNames;
}

std::optional<int> ParseFilterName(const std::string& text) {
  const std::string name = LowerText(text);
  for (std::size_t i = 0; i < kFilterNames.size(); ++i)
    if (name == kFilterNames[i]) return static_cast<int>(i);
  return std::nullopt;
}

std::string OptionText(const OptionRow& row, const SettingsRecord& r) {
  switch (row.Type) {
    case T::Text:
    case T::TypedNumber:
    case T::SpinText:
      return r.*row.Str;
    case T::Number:
      return std::to_string(r.*row.Int);
    case T::Bool:
      return r.*row.Bit ? "1" : "0";
    case T::Filter:
      return std::to_string(FilterIndexOrNone(r.*row.Int));
    case T::Color:
      return r.ColorTexts[static_cast<std::size_t>(row.Slot)];
    case T::Choice:
      return std::string(row.Choices[ChoiceIndex(row, std::to_string(r.*row.Int))]);
  }
  return {};
}

bool SetOptionText(const OptionRow& row, SettingsRecord& r, const std::string& text) {
  const auto number = [&] { return TryStrToInt(text).value_or(DefaultNumber(row)); };
  switch (row.Type) {
    case T::Text:
    case T::TypedNumber:
      r.*row.Str = text;
      break;
    case T::SpinText:  // the spinner takes the number and shows its position in the field
      r.*row.Str = std::to_string(ClampSpin(number(), row.Min, row.Max));
      break;
    case T::Number:
      r.*row.Int = ClampSpin(number(), row.Min, row.Max);
      break;
    case T::Bool:
      r.*row.Bit = number() != 0;
      break;
    case T::Filter:
      r.*row.Int = FilterIndexOrNone(number());
      break;
    case T::Color: {
      const auto slot = static_cast<std::size_t>(row.Slot);
      r.ColorTexts[slot] = text;
      const auto color = TryStringToColor(text);
      if (!color) return false;
      r.Colors[slot] = *color;
      r.ColorTexts[slot] = ColorToString(*color);  // the picker's change handling rewrites it
      break;
    }
    case T::Choice:
      r.*row.Int = static_cast<int>(ChoiceIndex(row, text));
      break;
  }
  return true;
}

void WriteOption(const OptionRow& row, const SettingsRecord& r, TIniFile& ini) {
  ini.WriteString(row.Section, row.Key, OptionText(row, r));
}

bool ReadOption(const OptionRow& row, const TIniFile& ini, SettingsRecord& r) {
  switch (row.Type) {
    case T::SpinText:
    case T::Number:
    case T::Bool:
    case T::Filter:  // as numbers are read: "0x1F" too, and the default for other text
      return SetOptionText(
          row, r, std::to_string(ini.ReadInteger(row.Section, row.Key, DefaultNumber(row))));
    default:
      return SetOptionText(row, r, ini.ReadString(row.Section, row.Key, row.Default));
  }
}

std::optional<std::string> OptionArgument(const OptionRow& row, const std::string& flag,
                                          const std::string& arg, std::string& error) {
  switch (row.Type) {
    case T::Text:
      if (row.Check && !row.Check(arg)) {
        error = "invalid value '" + arg + "' for " + flag + " (" + row.CheckWhat + ")";
        return std::nullopt;
      }
      return arg;
    case T::Bool:
      return arg;
    case T::Choice: {
      std::string names;
      for (std::size_t i = 0; i < row.Choices.size(); ++i) {
        if (LowerText(arg) == row.Choices[i]) return std::string(row.Choices[i]);
        names += (i == 0                        ? ""
                  : i + 1 == row.Choices.size() ? " or "
                                                : ", ") +
                 std::string(row.Choices[i]);
      }
      error = "invalid value '" + arg + "' for " + flag + " (" + names + ")";
      return std::nullopt;
    }
    case T::TypedNumber:
    case T::SpinText:
    case T::Number:
      if (const auto n = ParseDigits(arg, row.Min, row.Max)) return std::to_string(*n);
      error = "invalid value '" + arg + "' for " + flag + " (a whole number from " +
              std::to_string(row.Min) + " to " + std::to_string(row.Max) + ")";
      return std::nullopt;
    case T::Filter:
      if (const auto index = ParseFilterName(arg)) return std::to_string(*index);
      error = "invalid value '" + arg +
              "' for --filter (none, triangle, hermite, bell, bspline, lanczos3 or mitchell)";
      return std::nullopt;
    case T::Color:
      if (const auto color = ParseColorArg(arg)) return ColorToString(*color);
      error = "invalid colour '" + arg + "' for " + flag +
              " (a colour name such as clNavy, $00BBGGRR or #RRGGBB)";
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace folivant
