// The properties of the four escapes a picture name goes through, read back the way a browser
// reads a page. Shared by the escaping test and the fuzz target; no test framework here.
//  - link (UrlEncodeName): unreserved characters and %XX (upper-case hex) only; percent-decoded
//    it is the name;
//  - text (HtmlEscape): ASCII only (it reads the same in any encoding), no raw markup character,
//    every "&" starts a known reference; read back it is the name as shown, where each byte
//    that starts no well-formed UTF-8 sequence (overlong forms, surrogates and values past
//    U+10FFFF included) is U+FFFD;
//  - script string (JsEscape): no quote, line end, control character, "<", ">" or "&"; read
//    back it is the name;
//  - openpic argument (OpenPicArgument): a link; percent-decoded and read as a script string it
//    is the name's link.
// Plain names pass every escape unchanged; text without "%" percent-decodes to itself.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

#include "catalog/html_escape.h"

namespace folivant::test {

inline int HexDigit(char c) {
  return c >= '0' && c <= '9'   ? c - '0'
         : c >= 'A' && c <= 'F' ? c - 'A' + 10
         : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                : -1;
}

inline bool IsUnreservedByte(unsigned char c) {
  return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

inline bool IsEncodedLink(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const bool escape =
        s[i] == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0;
    if (escape ? std::islower(s[i + 1]) || std::islower(s[i + 2]) : !IsUnreservedByte(s[i]))
      return false;
    i += escape ? 2 : 0;
  }
  return true;
}

inline void AppendUtf8(std::string& out, char32_t cp) {
  const int n = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
  out += static_cast<char>(n == 1 ? cp : (0xF00 >> n) | (cp >> (6 * (n - 1))));
  for (int k = n - 2; k >= 0; --k) out += static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F));
}

// Length of the well-formed UTF-8 sequence at s[i] (1 for ASCII), 0 when there is none.
inline std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  const std::size_t n = b < 0x80             ? 1
                        : (b & 0xE0) == 0xC0 ? 2
                        : (b & 0xF0) == 0xE0 ? 3
                        : (b & 0xF8) == 0xF0 ? 4
                                             : 0;
  if (n == 0 || i + n > s.size()) return 0;
  char32_t cp = n == 1 ? b : b & (0x7F >> n);
  for (std::size_t k = 1; k < n; ++k) {
    if ((s[i + k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (s[i + k] & 0x3F);
  }
  const char32_t min = n == 1 ? 0 : n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
  return cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ? 0 : n;
}

// The name as a page shows it.
inline std::string Shown(std::string_view name) {
  std::string out;
  for (std::size_t i = 0, n; i < name.size(); i += n ? n : 1) {
    n = Utf8Length(name, i);
    out += n ? std::string(name.substr(i, n)) : "\xEF\xBF\xBD";
  }
  return out;
}

// Character references as a browser reads the ones a writer may use; false on a raw markup
// character or an "&" that starts none.
inline bool DecodeEntities(std::string_view s, std::string& out) {
  static const std::string_view kNames[] = {"amp", "lt", "gt", "quot", "apos"};
  out.clear();
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (std::string_view("<>\"'").find(s[i]) != std::string_view::npos) return false;
    if (s[i] != '&') {
      out += s[i];
      continue;
    }
    const std::size_t semi = s.find(';', i);
    if (semi == std::string_view::npos || semi - i > 10) return false;
    const std::string_view ref = s.substr(i + 1, semi - i - 1);
    const bool hex = ref.size() > 1 && ref[0] == '#' && (ref[1] == 'x' || ref[1] == 'X');
    int k = 0;
    while (k < 5 && ref != kNames[k]) ++k;
    unsigned long v = k < 5 ? static_cast<unsigned char>("&<>\"'"[k]) : 0;
    if (k == 5 && (ref.size() < 2u + hex || ref[0] != '#')) return false;
    for (char d : k < 5 ? std::string_view() : ref.substr(hex ? 2 : 1)) {
      if (HexDigit(d) < 0 || (!hex && HexDigit(d) > 9) || v > 0x10FFFF) return false;
      v = v * (hex ? 16 : 10) + static_cast<unsigned long>(HexDigit(d));
    }
    if (v > 0x10FFFF) return false;
    AppendUtf8(out, static_cast<char32_t>(v));
    i = semi;
  }
  return true;
}

// The body of a quoted script string literal; false on anything a page script must not hold.
inline bool DecodeJsString(std::string_view s, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F || std::string_view("'\"<>&").find(s[i]) != std::string_view::npos)
      return false;
    if (c != '\\') {
      out += s[i];
      continue;
    }
    if (++i >= s.size()) return false;
    const std::size_t n = s[i] == 'x'   ? 2
                          : s[i] == 'u' ? 4
                                        : 0,
                      simple = std::string_view("\\'\"/nrtbfv0").find(s[i]);
    unsigned v = 0;
    for (std::size_t k = 1; k <= n; ++k) {
      if (i + k >= s.size() || HexDigit(s[i + k]) < 0) return false;
      v = v * 16 + static_cast<unsigned>(HexDigit(s[i + k]));
    }
    if (n == 0 && simple == std::string_view::npos) return false;
    if (v > 0xFF) return false;  // names are bytes; only bytes are escaped
    out += n ? static_cast<char>(v) : std::string_view("\\'\"/\n\r\t\b\f\v\0", 11)[simple];
    i += n;
  }
  return true;
}

// What is wrong with the escapes of name; empty when nothing is.
inline std::string CheckEscapes(std::string_view name) {
  const std::string link = UrlEncodeName(name), text = HtmlEscape(name), js = JsEscape(name),
                    arg = OpenPicArgument(name);
  std::string back;
  bool ascii = true, plain = true;
  for (unsigned char c : text) ascii = ascii && c < 0x80;
  for (unsigned char c : name) plain = plain && IsUnreservedByte(c) && c != '~';
  if (!IsEncodedLink(link) || PercentDecode(link) != name) return "link " + link;
  if (!ascii || !DecodeEntities(text, back) || back != Shown(name)) return "text " + text;
  if (!DecodeJsString(js, back) || back != name) return "script string " + js;
  if (!IsEncodedLink(arg) || !DecodeJsString(PercentDecode(arg), back) || back != link)
    return "openpic argument " + arg;
  if (plain && (link != name || text != name || js != name)) return "a plain name was changed";
  if (name.find('%') == std::string_view::npos && PercentDecode(name) != name)
    return "decoding invented bytes";
  return {};
}

}  // namespace folivant::test
