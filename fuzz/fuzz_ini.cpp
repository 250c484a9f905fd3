// The INI layer on a hostile file: reads of a few keys, one write of a value from the input,
// the text written back and read again. Properties: a written value reads back (blanks
// trimmed, line ends made blanks, cut at the value limit); other keys keep their values;
// a file rewritten and read again gives the same text and values.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_file.h"
#include "fuzz_common.h"

using namespace folivant;

namespace {

const char* const kSections[] = {
    "General Options", "general OPTIONS", "Table Options", "Image Options", "x", " spaced ", "a]b"};
const char* const kKeys[] = {"TargetDir", "TARGETDIR", "Filter",       "k",
                             "Border",    "a=b",       " JPEGQuality "};

const std::string& Folder() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/folivant-fuzz-ini-XXXXXX";
    const char* made = mkdtemp(tmpl);
    if (!made) std::abort();
    return std::string(made);
  }();
  return dir;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// What the layer trims around names and values.
bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool SameName(std::string_view a, std::string_view b) {
  auto trim = [](std::string_view s) {
    while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
    return s;
  };
  a = trim(a);
  b = trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::vector<std::string> ReadAll(const TIniFile& ini) {
  std::vector<std::string> values;
  for (const char* s : kSections) {
    for (const char* k : kKeys) {
      const std::string v = ini.ReadString(s, k, "\x01");
      FUZZ_CHECK(v.size() <= TIniFile::kMaxValueLength);
      if (v != "\x01" && !v.empty()) FUZZ_CHECK(!Blank(v.front()));
      (void)ini.ReadInteger(s, k, 7);
      (void)ini.ReadBool(s, k, false);
      values.push_back(v);
    }
  }
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::ByteReader in(data, size);
  const std::size_t si = in.Byte() % std::size(kSections);
  const std::size_t ki = in.Byte() % std::size(kKeys);
  std::size_t valueLength = in.Word() % 2200;
  if (valueLength > in.RestSize()) valueLength = in.RestSize();
  const std::string value(reinterpret_cast<const char*>(in.Rest()), valueLength);
  const std::string_view file(reinterpret_cast<const char*>(in.Rest()) + valueLength,
                              in.RestSize() - valueLength);

  const std::string path = Folder() + "/a.ini";
  WriteFile(path, file);
  TIniFile ini(path);
  const std::vector<std::string> before = ReadAll(ini);
  (void)TryStrToInt(value);

  bool written = true;
  try {
    ini.WriteString(kSections[si], kKeys[ki], value);
  } catch (const std::invalid_argument&) {
    written = false;
  }
  const std::vector<std::string> after = ReadAll(ini);
  std::size_t i = 0;
  for (const char* s : kSections) {
    for (const char* k : kKeys) {
      const bool same = SameName(s, kSections[si]) && SameName(k, kKeys[ki]);
      if (!written || !same) FUZZ_CHECK(after[i] == before[i]);
      ++i;
    }
  }
  if (written) {
    std::string expect = value;
    for (char& c : expect) {
      if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    }
    while (!expect.empty() && Blank(expect.front())) expect.erase(expect.begin());
    while (!expect.empty() && Blank(expect.back())) expect.pop_back();
    const std::string got = ini.ReadString(kSections[si], kKeys[ki], "\x01");
    if (expect.size() <= TIniFile::kMaxValueLength) {
      FUZZ_CHECK(got == expect);
    } else {
      FUZZ_CHECK(expect.compare(0, got.size(), got) == 0);
      FUZZ_CHECK(got.size() + 4 > TIniFile::kMaxValueLength);
    }
  }

  // Written back and read again: the same text and the same values.
  const std::string text = ini.Text();
  bool updated = true;
  try {
    ini.UpdateFile();
  } catch (const EIniWriteError&) {
    updated = false;
  }
  if (updated) {
    FUZZ_CHECK(ReadFile(path) == text);
    TIniFile again(path);
    FUZZ_CHECK(again.Text() == text);
    FUZZ_CHECK(ReadAll(again) == ReadAll(ini));
  }
  std::remove(path.c_str());
  return 0;
}
