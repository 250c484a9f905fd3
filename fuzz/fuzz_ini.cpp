// The INI layer on a hostile file: reads of a few keys, one write of a value from the input,
// the text written back and read again. Properties: values read are trimmed and within the
// value limit; a written value reads back (line ends made blanks, blanks trimmed, cut at the
// limit); a file rewritten and read again gives the same text and values.
#include <stdexcept>
#include <string>
#include <vector>

#include "../tests/common/test_files.h"
#include "fuzz_common.h"
#include "settings/ini_file.h"

using namespace folivant;

namespace {

const char* const kSections[] = {
    "General Options", "general OPTIONS", "Table Options", "Image Options", "x", " spaced ", "a]b"};
const char* const kKeys[] = {"TargetDir", "TARGETDIR", "Filter",       "k",
                             "Border",    "a=b",       " JPEGQuality "};

bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::vector<std::string> ReadAll(const TIniFile& ini) {
  std::vector<std::string> values;
  for (const char* s : kSections)
    for (const char* k : kKeys) {
      const std::string v = ini.ReadString(s, k, "\x01");
      FUZZ_CHECK(v.size() <= TIniFile::kMaxValueLength);
      FUZZ_CHECK(v.empty() || (!Blank(v.front()) && !Blank(v.back())) || v == "\x01");
      values.push_back(v + "|" + std::to_string(ini.ReadInteger(s, k, 7)));
    }
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const test::TempDir dir;
  fuzz::ByteReader in(data, size);
  const char* section = kSections[in.Byte() % std::size(kSections)];
  const char* key = kKeys[in.Byte() % std::size(kKeys)];
  const std::size_t wanted = in.Word() % 2200;
  const std::size_t length = std::min(wanted, in.RestSize());
  const std::string value(reinterpret_cast<const char*>(in.Rest()), length);
  test::WriteFile(dir / "a.ini", std::string(reinterpret_cast<const char*>(in.Rest()) + length,
                                             in.RestSize() - length));
  TIniFile ini(dir / "a.ini");
  ReadAll(ini);
  (void)TryStrToInt(value);
  try {
    ini.WriteString(section, key, value);
    std::string expect = value;
    for (char& c : expect)
      if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    while (!expect.empty() && Blank(expect.back())) expect.pop_back();
    expect.erase(0, expect.find_first_not_of(" \t\r\v\f"));
    const std::string got = ini.ReadString(section, key, "\x01");
    FUZZ_CHECK(expect.compare(0, got.size(), got) == 0);
    FUZZ_CHECK(got.size() == expect.size() || got.size() + 4 > TIniFile::kMaxValueLength);
  } catch (const std::invalid_argument&) {
  }
  // Written back and read again: the same text and the same values.
  const std::string text = ini.Text();
  try {
    ini.UpdateFile();
  } catch (const EIniWriteError&) {
    return 0;
  }
  FUZZ_CHECK(test::ReadFile(dir / "a.ini") == text);
  const TIniFile again(dir / "a.ini");
  FUZZ_CHECK(again.Text() == text && ReadAll(again) == ReadAll(ini));
  return 0;
}
