// The settings file: the 27 stored values, how they are written and read back, and how they
// become the build's options. Shared by the window and the command line. No Qt.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "catalog/catalog_options.h"
#include "catalog/html_color.h"
#include "imaging/types.h"

namespace folivant {

inline constexpr const char* kGeneralSection = "General Options";
inline constexpr const char* kTableSection = "Table Options";
inline constexpr const char* kImageSection = "Image Options";

// The four colour pickers, in the order the settings file stores and applies them.
enum TColorSlot : int { csBack = 0, csLink = 1, csALink = 2, csVLink = 3 };
inline constexpr int kColorSlots = 4;

// What the settings file stores, held as the window holds it. Start values are the reading
// defaults: the state of a first run without a settings file.
struct SettingsRecord {
  // "General Options"
  std::string TargetDir;  // Target Directory field
  std::string LastDir;    // last picture folder
  std::string BackGrnd;   // background image name (not the field's text)
  std::string ContentTitle;
  std::string MetaTag;
  // The carried colour texts, written as they stand; indexed by TColorSlot.
  std::array<std::string, kColorSlots> ColorTexts{"clWhite", "$00990000", "$00990000", "clPurple"};
  std::string PageTitle = "Page";
  std::string PrevTitle = "Previous";
  std::string NextTitle = "Next";
  std::string CatTitle = "Catalog";
  // "Table Options": the fields' texts, whatever was typed.
  std::string TableCols = "4";
  std::string TableRows = "4";
  std::string Border = "1";
  std::string Cellpadding = "0";
  std::string Cellspacing = "2";
  // "Image Options"
  int ThumbHeight = 96;
  int ThumbWidth = 70;
  int JPEGQuality = 75;
  bool Progressive = false;
  int Filter = -1;  // 0..6, or -1: no entry chosen
  bool JavaProtect = false;
  std::string JavaProtectText = "Right Mouse Click Disabled!!!";
  bool JavaOpen = false;
  bool AutoRotate = true;  // turn pictures upright by their EXIF orientation

  // Not stored: the pickers' colours. Each normally equals its colour text; after a load that
  // failed at a colour, the failing picker and those after it keep their earlier colours.
  std::array<TColor, kColorSlots> Colors{0xFFFFFF, 0x990000, 0x990000, 0x800080};

  friend bool operator==(const SettingsRecord&, const SettingsRecord&) = default;
};

// Writes the 27 keys, in order, under "General Options", "Table Options" and "Image Options"
// into the file at path, keeping everything else in it. Throws EIniWriteError
// ("Unable to write to PATH"); the old file is then unchanged.
void SaveSettings(const SettingsRecord& record, const std::string& path);

// The text SaveSettings gives a new file (for printing the settings without writing a file).
std::string SettingsFileText(const SettingsRecord& record);

struct SettingsColorError {
  int Slot = 0;         // the picker whose text failed (TColorSlot)
  std::string Text;     // the offending colour text
  std::string Message;  // "'TEXT' is not a valid integer value"
};

struct SettingsLoad {
  // The state after loading, starting from the record given to LoadSettings:
  //  - every stored value read (steps 1 to 5), with defaults and the spinner limits applied;
  //    Columns and Rows become the spinners' positions as text;
  //  - Colors[i] and ColorTexts[i] converted and normalised for i < ColorsApplied; the
  //    failing text kept as its picker's colour text; later texts as read, their colours kept;
  //  - TargetDir: the file's only when the load completed, else the earlier one.
  SettingsRecord Record;
  std::string TargetDirRead;                // "TargetDir" as read (step 1), whatever happened after
  int ColorsApplied = kColorSlots;          // pickers set in step 7, in slot order
  std::optional<SettingsColorError> Error;  // set when a colour text failed
  std::string FileProblem;  // why an existing file read as empty (too large, not a file...)

  bool Complete() const { return !Error.has_value(); }
  // Throws EColorTextError with the error's message when the load stopped at a colour.
  void ThrowIfFailed() const;
};

// Reads the settings file at path over current. A missing or unreadable file reads as one
// without keys (every default). Never throws for the file's content: a bad colour text ends
// the load at that colour and is reported in Error (the window then shows the message and
// skips the picture dialog's folder and the Target Directory field).
//
// A window applies the result in the file's order: its fields, spinners and boxes from
// Record; then for slot 0..ColorsApplied-1 the picker colour Record.Colors[slot] with its
// change handling; then, only when Complete(), LastDir as the picture dialog's starting folder
// and Record.TargetDir in the Target Directory field.
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
