// INI files with profile semantics: the read/write-a-string-by-section-and-key service the
// settings file is built on. No Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace folivant {

// A settings file could not be written. what() is exactly "Unable to write to PATH";
// Reason() says why (for logs and the command line).
class EIniWriteError : public std::runtime_error {
 public:
  EIniWriteError(const std::string& path, std::string reason);
  const std::string& Path() const { return path_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::string path_;
  std::string reason_;
};

// Whole-number text as the settings file reads it: optional blanks and sign, then decimal
// digits, or "$" and at most eight hexadecimal digits (taken as a 32-bit pattern, so
// "$FFFFFFFF" is -1). Anything else, or a decimal outside 32 bits, gives no value.
std::optional<std::int32_t> TryStrToInt(std::string_view text);

// One INI file held in memory. The constructor reads the file (absent or unreadable: no
// keys); reads and writes work on the text in memory; UpdateFile() writes it back atomically.
//
// Text rules: names of sections and keys match without regard to ASCII case and are written
// exactly as given. Blanks (space, tab, CR, VT, FF) around names and values are ignored. A line
// is a section header when it starts with "[" and has a "]"; a comment when it starts with ";"
// or "#"; a key when it has "=" after a non-empty name; anything else is kept but means nothing.
// The first occurrence of a key wins (sections of the same name count as one, in file order).
// Values are taken verbatim (quotes are not removed). CR LF and LF line ends and a UTF-8
// byte-order mark are read; a rewritten file keeps its mark and the line end of its first line
// (CR LF for a new file), and every line ends with it, the last one too.
class TIniFile {
 public:
  // Largest file read; a larger one reads as no keys and cannot be rewritten.
  static constexpr std::size_t kMaxFileSize = 4u << 20;
  // Longest value returned by ReadString, in bytes (the profile functions' 2047 characters).
  static constexpr std::size_t kMaxValueLength = 2047;

  explicit TIniFile(std::string path);
  // An INI file held in memory only, from its text; UpdateFile() would write it to path.
  static TIniFile FromText(std::string_view text, std::string path = {});

  const std::string& FileName() const { return path_; }
  // True when the file did not exist when it was opened.
  bool Absent() const { return absent_; }
  // Empty when the file read well (or was absent); else why it reads as no keys.
  const std::string& ReadError() const { return read_error_; }

  // The value trimmed of blanks and cut to kMaxValueLength bytes (never inside a UTF-8
  // sequence); def when the key is absent. A key present with an empty value reads "".
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  // The value as a whole number: "0x"/"0X" at the start of a value longer than two
  // characters counts as "$"; a value that is no number, or an absent key, gives def.
  std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t def) const;
  // ReadInteger with default 1 or 0; any non-zero value is true.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

  // Sets the key in memory: an existing key is replaced in place, a missing key goes after
  // the last entry of its section, a missing section at the end of the text. CR, LF and NUL
  // in the value become blanks so a value can never add lines. Names must be non-empty and
  // free of line ends; section names free of "]", key names free of "=" (std::invalid_argument).
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

  // The file's text as UpdateFile() would write it.
  std::string Text() const;
  // Writes Text() to a temporary file in the same folder and renames it over the file (a
  // symbolic link is followed, its target replaced). Throws EIniWriteError and leaves the old
  // file as it was when that fails, when the file is read-only (no write permission bits) or
  // when it exists but could not be read (rewriting it would lose its content).
  void UpdateFile();

 private:
  struct Found {
    std::size_t line = 0;
    bool found = false;
  };
  Found FindKey(std::string_view section, std::string_view key) const;
  std::optional<std::string_view> RawValue(std::string_view section, std::string_view key) const;
  void Parse(std::string_view text);
  TIniFile() = default;

  std::string path_;
  std::vector<std::string> lines_;
  std::string eol_ = "\r\n";
  bool bom_ = false;
  bool absent_ = true;
  std::string read_error_;
};

}  // namespace folivant
