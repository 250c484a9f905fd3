// Every option, declared once: its settings key and default, its range or choices, its
// command-line flag and help, and the window control it binds to. The settings file, the command
// line (parser, --help, completion) and the window's load and gather all walk this table.
// Adding an option: one row here, a field in SettingsRecord and the code that uses the value.
// No Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace folivant {

class TIniFile;

// How an option's value is held, read from the settings file and written to it.
enum class OptionType : std::uint8_t {
  Text,         // text, as typed
  TypedNumber,  // a spinner's field: kept and written as typed; the command line takes Min..Max
  SpinText,     // a spinner's field that the file gives as the spinner's position (clamped)
  Number,       // a whole number, clamped to Min..Max
  Bool,
  Filter,  // a resampling filter's index 0..6, or -1: none chosen
  Color,   // a colour picker: its text, and its colour when the text is one
  Choice,  // one of Choices, written by name and held as its index (a list's position)
};

// Where --help lists a flag, and what the shell completion offers for its value.
enum class HelpGroup : std::uint8_t { Where, Table, Thumbnails, Pages };
enum class ValueKind : std::uint8_t { Text, Dir, File, Filter, Align, Color };

// A whole number from digits only (no sign, at most nine), within lo..hi.
std::optional<int> ParseDigits(const std::string& text, int lo, int hi);
// ASCII letters in lower case.
std::string LowerText(std::string text);

struct OptionRow {
  // The settings file.
  const char* Section = nullptr;
  const char* Key = nullptr;
  OptionType Type = OptionType::Text;
  const char* Default = "";  // as the settings file writes it
  int Min = 0, Max = 0;      // the spinner's limits (number types)
  // The record's field: one of these, by Type (Slot for Color).
  std::string SettingsRecord::*Str = nullptr;
  int SettingsRecord::*Int = nullptr;
  bool SettingsRecord::*Bit = nullptr;
  int Slot = -1;
  // The command line: no Flag, no flag. A Bool has Flag (on) and NoFlag (off). Help says
  // "{range}" where the limits go; HelpAt orders the flags within their group.
  const char* Flag = nullptr;
  char Short = 0;
  const char* ValueName = nullptr;  // "N", "TEXT"; an on-flag with one takes an optional value
  const char* Help = nullptr;
  const char* NoFlag = nullptr;
  const char* NoHelp = nullptr;
  HelpGroup Group = HelpGroup::Where;
  int HelpAt = 0;
  ValueKind Values = ValueKind::Text;
  const char* ValueKey = nullptr;  // the option an on-flag's optional value sets
  // The window: the objectName of the control that shows the value; none: the window keeps it.
  const char* Control = nullptr;
  std::span<const std::string_view> Choices{};  // a Choice's names, the default first
  bool (*Check)(std::string_view) = nullptr;    // a Text the command line must pass
  const char* CheckWhat = nullptr;              // what Check wants, for the error
};

// The rows, in the settings file's order.
std::span<const OptionRow> OptionRows();
// The row of a settings key; nullptr when there is none.
const OptionRow* FindOption(std::string_view key);

// The value as the settings file writes it.
std::string OptionText(const OptionRow& row, const SettingsRecord& record);
// Sets the value from text as the settings file holds it: numbers clamped (a text that is no
// number gives the default), a colour text that is no colour kept as the picker's text with
// the colour left as it was. False for such a colour text.
bool SetOptionText(const OptionRow& row, SettingsRecord& record, const std::string& text);

void WriteOption(const OptionRow& row, const SettingsRecord& record, TIniFile& ini);
// Reads the key (its default when absent). False for a colour text that is no colour.
bool ReadOption(const OptionRow& row, const TIniFile& ini, SettingsRecord& record);

// The filter names, "none" .. "mitchell" for 0 .. 6.
std::span<const std::string_view> FilterNames();
std::optional<int> ParseFilterName(const std::string& text);

// A value given on the command line, checked and turned into the settings file's text; empty
// with error set when it is not one.
std::optional<std::string> OptionArgument(const OptionRow& row, const std::string& flag,
                                          const std::string& arg, std::string& error);

}  // namespace folivant
