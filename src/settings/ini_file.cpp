#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "catalog/atomic_file.h"

namespace folivant {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

enum class LineKind { kOther, kComment, kSection, kKey };

struct LineInfo {
  LineKind kind = LineKind::kOther;
  std::string_view name;
  std::string_view value;
};

LineInfo Classify(std::string_view line) {
  LineInfo info;
  const std::string_view t = Trim(line);
  if (t.empty()) return info;
  if (t.front() == ';' || t.front() == '#') {
    info.kind = LineKind::kComment;
    return info;
  }
  if (t.front() == '[') {
    const std::size_t close = t.find(']');
    if (close != std::string_view::npos) {
      info.kind = LineKind::kSection;
      info.name = Trim(t.substr(1, close - 1));
    }
    return info;
  }
  const std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return info;
  const std::string_view name = Trim(t.substr(0, eq));
  if (name.empty()) return info;
  info.kind = LineKind::kKey;
  info.name = name;
  info.value = Trim(t.substr(eq + 1));
  return info;
}

void CheckName(std::string_view name, char forbidden, const char* what) {
  if (Trim(name).empty() || Trim(name).size() != name.size())
    throw std::invalid_argument(std::string("INI ") + what +
                                " name is empty or has blanks around it");
  for (char c : name)
    if (c == '\r' || c == '\n' || c == '\0' || c == forbidden)
      throw std::invalid_argument(std::string("INI ") + what + " name holds a forbidden character");
}

// Cut to at most max bytes without leaving half a UTF-8 sequence at the end.
std::string_view CutValue(std::string_view v, std::size_t max) {
  if (v.size() <= max) return v;
  std::size_t n = max;
  for (int back = 0; back < 3 && n > 0 && (static_cast<unsigned char>(v[n]) & 0xC0) == 0x80; ++back)
    --n;
  if ((static_cast<unsigned char>(v[n]) & 0xC0) == 0x80) n = max;  // not UTF-8: plain cut
  return v.substr(0, n);
}

std::string ErrnoText(int err) {
  return std::strerror(err);
}

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// Reads a whole regular file of at most max bytes. Returns an error text, empty on success;
// *absent is set when there is no such file.
std::string ReadWholeFile(const std::string& path, std::size_t max, std::string* out,
                          bool* absent) {
  *absent = false;
  Fd f;
  f.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (f.fd < 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR) {
      *absent = true;
      return {};
    }
    return ErrnoText(err);
  }
  struct stat st {};
  if (::fstat(f.fd, &st) != 0) return ErrnoText(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  const std::string too_big = "larger than " + std::to_string(max) + " bytes";
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > max) return too_big;
  out->clear();
  out->reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(f.fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoText(errno);
    }
    if (n == 0) break;
    if (out->size() + static_cast<std::size_t>(n) > max) return too_big;  // grew while read
    out->append(buf, static_cast<std::size_t>(n));
  }
  return {};
}

}  // namespace

EIniWriteError::EIniWriteError(const std::string& path, std::string reason)
    : std::runtime_error("Unable to write to " + path), path_(path), reason_(std::move(reason)) {}

std::optional<std::int32_t> TryStrToInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size()) return std::nullopt;
  std::uint64_t v = 0;
  if (text[i] == '$') {
    ++i;
    if (i >= text.size()) return std::nullopt;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      int d;
      if (c >= '0' && c <= '9')
        d = c - '0';
      else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
      else
        return std::nullopt;
      v = v * 16 + static_cast<std::uint64_t>(d);
      if (v > 0xFFFFFFFFu) return std::nullopt;
    }
    std::uint32_t bits = static_cast<std::uint32_t>(v);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
  }
  const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
    if (v > limit) return std::nullopt;
  }
  return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(v))
                  : static_cast<std::int32_t>(v);
}

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {
  std::string text;
  read_error_ = ReadWholeFile(path_, kMaxFileSize, &text, &absent_);
  if (read_error_.empty() && !absent_) Parse(text);
}

TIniFile TIniFile::FromText(std::string_view text, std::string path) {
  TIniFile ini;
  ini.path_ = std::move(path);
  ini.absent_ = false;
  ini.Parse(text);
  return ini;
}

void TIniFile::Parse(std::string_view text) {
  if (text.substr(0, kBom.size()) == kBom) {
    bom_ = true;
    text.remove_prefix(kBom.size());
  }
  const std::size_t first_lf = text.find('\n');
  if (first_lf != std::string_view::npos)
    eol_ = (first_lf > 0 && text[first_lf - 1] == '\r') ? "\r\n" : "\n";
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    // Every CR before the LF goes, so a stray one cannot turn into a line end on rewrite.
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
}

TIniFile::Found TIniFile::FindKey(std::string_view section, std::string_view key) const {
  bool in_section = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const LineInfo info = Classify(lines_[i]);
    if (info.kind == LineKind::kSection)
      in_section = SameName(info.name, section);
    else if (in_section && info.kind == LineKind::kKey && SameName(info.name, key))
      return {i, true};
  }
  return {};
}

std::optional<std::string_view> TIniFile::RawValue(std::string_view section,
                                                   std::string_view key) const {
  const Found f = FindKey(section, key);
  if (!f.found) return std::nullopt;
  return Classify(lines_[f.line]).value;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const {
  const auto raw = RawValue(section, key);
  return std::string(raw ? CutValue(*raw, kMaxValueLength) : def);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                                   std::int32_t def) const {
  const auto raw = RawValue(section, key);
  if (!raw) return def;
  std::string s(CutValue(*raw, kMaxValueLength));
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.replace(0, 2, "$");
  return TryStrToInt(s).value_or(def);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(std::string_view section) const {
  for (const std::string& line : lines_) {
    const LineInfo info = Classify(line);
    if (info.kind == LineKind::kSection && SameName(info.name, section)) return true;
  }
  return false;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return FindKey(section, key).found;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  CheckName(section, ']', "section");
  CheckName(key, '=', "key");
  std::string line;
  line.reserve(key.size() + 1 + value.size());
  line.append(key).push_back('=');
  for (char c : value) line.push_back((c == '\r' || c == '\n' || c == '\0') ? ' ' : c);

  const Found f = FindKey(section, key);
  if (f.found) {
    lines_[f.line] = std::move(line);
    return;
  }
  // First header of the section; the key goes after the section's last entry (blank lines and
  // comments that follow it usually belong to the next section).
  std::size_t header = lines_.size();
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const LineInfo info = Classify(lines_[i]);
    if (info.kind == LineKind::kSection && SameName(info.name, section)) {
      header = i;
      break;
    }
  }
  if (header == lines_.size()) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(std::move(line));
    return;
  }
  std::size_t insert_at = header + 1;
  for (std::size_t i = header + 1; i < lines_.size(); ++i) {
    const LineInfo info = Classify(lines_[i]);
    if (info.kind == LineKind::kSection) break;
    if (info.kind != LineKind::kComment && !Trim(lines_[i]).empty()) insert_at = i + 1;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), std::move(line));
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

std::string TIniFile::Text() const {
  std::size_t size = bom_ ? kBom.size() : 0;
  for (const std::string& line : lines_) size += line.size() + eol_.size();
  std::string out;
  out.reserve(size);
  if (bom_) out.append(kBom);
  for (const std::string& line : lines_) out.append(line).append(eol_);
  return out;
}

void TIniFile::UpdateFile() {
  if (path_.empty()) throw EIniWriteError(path_, "no file name");
  if (!read_error_.empty())
    throw EIniWriteError(path_, "the existing file could not be read (" + read_error_ + ")");

  std::string target = path_;
  struct stat st {};
  if (::lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path_.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists) {
    if (!S_ISREG(st.st_mode)) throw EIniWriteError(path_, "not a regular file");
    // Write bits are checked as well as access(): a read-only file stays read-only even for
    // a user whom permissions do not bind.
    if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)
      throw EIniWriteError(path_, "the file is read-only");
  }

  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : target.substr(0, slash);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  TTempFile temp(dir);
  if (temp.Error() != 0) throw EIniWriteError(path_, ErrnoText(temp.Error()));
  if (exists) (void)::fchmod(temp.Fd(), st.st_mode & 07777);
  int err = temp.Write(Text());
  if (err == 0) err = temp.Close(true);
  if (err == 0) err = temp.Commit(base, true, true);
  if (err != 0) throw EIniWriteError(path_, ErrnoText(err));
  absent_ = false;
}

}  // namespace folivant
