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

#include <string>
#include <string_view>

#include "catalog/html_escape.h"

namespace folivant::test {

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

inline bool IsUnreservedByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

inline bool IsEncodedLink(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      if (!IsUnreservedByte(static_cast<unsigned char>(s[i]))) return false;
    } else if (i + 2 >= s.size() || HexDigit(s[i + 1]) < 0 || HexDigit(s[i + 2]) < 0 ||
               (s[i + 1] >= 'a' && s[i + 1] <= 'f') || (s[i + 2] >= 'a' && s[i + 2] <= 'f')) {
      return false;
    } else {
      i += 2;
    }
  }
  return true;
}

inline void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
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
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  const char32_t min = n == 1 ? 0 : n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
  return cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ? 0 : n;
}

// The name as a page shows it.
inline std::string Shown(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t n = Utf8Length(name, i);
    out += n ? std::string(name.substr(i, n)) : "\xEF\xBF\xBD";
    i += n ? n : 1;
  }
  return out;
}

// Character references as a browser reads the ones a writer may use; false on a raw markup
// character or an "&" that starts none.
inline bool DecodeEntities(std::string_view s, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '<' || c == '>' || c == '"' || c == '\'') return false;
    if (c != '&') {
      out += c;
      continue;
    }
    const std::size_t semi = s.find(';', i);
    if (semi == std::string_view::npos || semi - i > 10) return false;
    const std::string_view ref = s.substr(i + 1, semi - i - 1);
    static const std::pair<std::string_view, char> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    bool named = false;
    for (const auto& [n, ch] : kNamed)
      if (ref == n) out += ch, named = true;
    if (!named) {
      if (ref.size() < 2 || ref[0] != '#') return false;
      const bool hex = ref[1] == 'x' || ref[1] == 'X';
      const std::string_view digits = ref.substr(hex ? 2 : 1);
      unsigned long v = 0;
      for (char d : digits) {
        const int dv = HexDigit(d);
        if (dv < 0 || (!hex && dv > 9)) return false;
        v = v * (hex ? 16 : 10) + static_cast<unsigned long>(dv);
      }
      if (digits.empty() || v > 0x10FFFF) return false;
      AppendUtf8(out, static_cast<char32_t>(v));
    }
    i = semi;
  }
  return true;
}

// The body of a quoted script string literal; false on anything a page script must not hold.
inline bool DecodeJsString(std::string_view s, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '\'' || c == '"' || c < 0x20 || c == 0x7F || c == '<' || c == '>' || c == '&')
      return false;
    if (c != '\\') {
      out += static_cast<char>(c);
    } else if (i + 1 >= s.size()) {
      return false;
    } else if (s[i + 1] == 'x' || s[i + 1] == 'u') {
      const std::size_t n = s[i + 1] == 'x' ? 2 : 4;
      if (i + 1 + n >= s.size()) return false;
      unsigned v = 0;
      for (std::size_t k = 0; k < n; ++k) {
        const int d = HexDigit(s[i + 2 + k]);
        if (d < 0) return false;
        v = v * 16 + static_cast<unsigned>(d);
      }
      if (v > 0xFF) return false;  // names are bytes; only bytes are escaped
      out += static_cast<char>(v);
      i += 1 + n;
    } else {
      const std::string_view from = "\\'\"/nrtbfv0", to("\\'\"/\n\r\t\b\f\v\0", 11);
      const std::size_t k = from.find(s[++i]);
      if (k == std::string_view::npos) return false;
      out += to[k];
    }
  }
  return true;
}

// What is wrong with the escapes of name; empty when nothing is.
inline std::string CheckEscapes(std::string_view name) {
  const std::string link = UrlEncodeName(name), text = HtmlEscape(name), js = JsEscape(name),
                    arg = OpenPicArgument(name);
  std::string back;
  if (!IsEncodedLink(link) || PercentDecode(link) != name) return "link " + link;
  for (unsigned char c : text)
    if (c >= 0x80) return "text beyond ASCII " + text;
  if (!DecodeEntities(text, back) || back != Shown(name)) return "text " + text;
  if (!DecodeJsString(js, back) || back != name) return "script string " + js;
  if (!IsEncodedLink(arg) || !DecodeJsString(PercentDecode(arg), back) || back != link)
    return "openpic argument " + arg;
  bool plain = true;
  for (unsigned char c : name) plain = plain && (IsUnreservedByte(c) && c != '~');
  if (plain && (link != name || text != name || js != name)) return "a plain name was changed";
  if (name.find('%') == std::string_view::npos && PercentDecode(name) != name)
    return "decoding invented bytes";
  return {};
}

}  // namespace folivant::test
