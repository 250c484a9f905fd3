// The settings file: the 27 stored values, how they are written and read back, and how they
// become the build's options. Shared by the window and the command line. No Qt.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/catalog_options.h"
#include "catalog/html_color.h"
#include "imaging/types.h"

namespace folivant {

inline constexpr const char* kGeneralSection = "General Options";
inline constexpr const char* kTableSection = "Table Options";
inline constexpr const char* kImageSection = "Image Options";

inline constexpr const char* kWindowSection = "Window";

// The four colour pickers, in the order the settings file stores and applies them.
enum TColorSlot : int { csBack = 0, csLink = 1, csALink = 2, csVLink = 3 };
inline constexpr int kColorSlots = 4;

// The wizard's frame: where it stood and how large it was, in logical pixels.
struct WindowPlacement {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool Maximized = false;
  friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

// What the settings file stores, held as the window holds it. A new record holds the reading
// defaults (the schema's, option_schema.h): the state of a first run without a settings file.
struct SettingsRecord {
  SettingsRecord();

  // "General Options"
  std::string TargetDir;  // Target Directory field
  std::string LastDir;    // last picture folder
  std::string BackGrnd;   // background image name (not the field's text)
  std::string ContentTitle;
  std::string MetaTag;
  // The carried colour texts, written as they stand; indexed by TColorSlot.
  std::array<std::string, kColorSlots> ColorTexts;
  std::string PageTitle;
  std::string PrevTitle;
  std::string NextTitle;
  std::string CatTitle;
  bool Albums = false;  // a folder's sub-folders become albums
  int Sort = 0;         // the order of an album's pictures: a TAlbumSort
  // "Table Options": the fields' texts, whatever was typed.
  std::string TableCols;
  std::string TableRows;
  std::string Border;
  std::string Cellpadding;
  std::string Cellspacing;
  // "Image Options"
  int ThumbHeight = 0;
  int ThumbWidth = 0;
  int JPEGQuality = 0;
  bool Progressive = false;
  int Filter = -1;  // 0..6, or -1: no entry chosen
  bool JavaProtect = false;
  std::string JavaProtectText;
  bool JavaOpen = false;
  bool AutoRotate = false;  // turn pictures upright by their EXIF orientation
  // The copies lose their location.
  bool StripLocation = false;
  bool Videos = false;   // folder scans take video clips too
  int PageStyle = 0;     // TPageStyle
  std::string Language;  // the modern pages' language tag; empty: from the locale

  // [Window], only once the window has written it: the command line keeps what it read.
  std::optional<WindowPlacement> Window;

  // Not stored: the pickers' colours. Each normally equals its colour text; a colour text
  // that could not be read leaves its picker's colour as it was.
  std::array<TColor, kColorSlots> Colors{};

  friend bool operator==(const SettingsRecord&, const SettingsRecord&) = default;
};

// Writes the 27 keys, in order, under "General Options", "Table Options" and "Image Options"
// (and [Window] when the record has it) into the file at path, keeping everything else in it.
// Throws EIniWriteError ("Unable to write to PATH"); the old file is then unchanged.
void SaveSettings(const SettingsRecord& record, const std::string& path);

// The text SaveSettings gives a new file (for printing the settings without writing a file).
std::string SettingsFileText(const SettingsRecord& record);

struct SettingsColorError {
  int Slot = 0;      // the picker whose text failed (TColorSlot)
  std::string Key;   // "LinkColorS"
  std::string Text;  // the offending colour text
};

struct SettingsLoad {
  // The state after loading, starting from the record given to LoadSettings. When the file
  // could not be used (FileProblem) it is that record unchanged. Otherwise every key read,
  // with defaults and the spinner limits applied (Columns and Rows become the spinners'
  // positions as text); a colour text that is no colour stays as its picker's text, so a
  // later save writes it back, while that picker keeps its colour.
  SettingsRecord Record;
  std::vector<SettingsColorError> Errors;  // the colour texts that could not be read
  // Why an existing file was not used: unreadable, too large, damaged, or not a settings file.
  std::string FileProblem;

  bool Complete() const { return Errors.empty() && FileProblem.empty(); }
  bool ColorApplied(int slot) const;
  // One line per problem, each naming the file and, for a value, its section and key.
  std::vector<std::string> Problems(const std::string& path) const;
};

// Reads the settings file at path over current. A missing file reads as one without keys
// (every default). Never throws for the file's content. A file that exists but cannot be
// used changes nothing (FileProblem says why); a bad colour text leaves its picker alone and
// every other key is applied (Errors).
//
// A window applies the result in the file's order: its fields, spinners and boxes from
// Record; then each picker whose colour was applied, with its change handling; then LastDir
// as the picture dialog's starting folder and Record.TargetDir in the Target Directory field.
SettingsLoad LoadSettings(const std::string& path,
                          const SettingsRecord& current = SettingsRecord{});

// Clamping rules of the window's spinners and filter list, shared with the command line.
int ClampSpin(std::int64_t value, int lo, int hi);
int FilterIndexOrNone(std::int64_t value);  // value when 0..6, else -1

// The build options for a record: its stored values, the pickers' colours as HTML colour
// strings, and the five options not stored (TableAlign, ThumbMode, HeaderLines, FooterLines,
// ShowInBrowser) at their start values. System colours go through resolver (the window's
// palette); an empty resolver uses the classic default desktop colours.
CatalogOptions MakeCatalogOptions(const SettingsRecord& record,
                                  const TColorResolver& resolver = {});

}  // namespace folivant
