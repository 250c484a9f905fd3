#include "catalog/html_escape.h"

#include <cstdio>

namespace folivant {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string UrlEncodeName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsUnreserved(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

// Length of the well-formed UTF-8 sequence at text[i] and its code point; 0 when the bytes
// there are not one (overlong forms, surrogates and values past U+10FFFF included).
static std::size_t Utf8Sequence(std::string_view text, std::size_t i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  std::size_t n = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if (static_cast<unsigned char>(ch) < 0x80) {
          out += ch;
        } else {
          // The pages declare no character set, so a browser may read them as Latin-1:
          // letters beyond ASCII go in as character references, which read the same in
          // every encoding. A byte that starts no UTF-8 sequence shows as U+FFFD.
          char32_t cp = 0;
          const std::size_t n = Utf8Sequence(text, i, cp);
          if (n == 0) {
            cp = 0xFFFD;
          } else {
            i += n - 1;
          }
          char ref[16];
          std::snprintf(ref, sizeof ref, "&#x%X;", static_cast<unsigned>(cp));
          out += ref;
        }
    }
  }
  return out;
}

std::string JsEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == '\\' || ch == '\'' || ch == '"') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F || ch == '<' || ch == '>' || ch == '&') {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  return out;
}

std::string JsTextEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto unit = [&out](unsigned u) {
    char esc[16];
    std::snprintf(esc, sizeof esc, "\\u%04X", u);
    out += esc;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      out += JsEscape(text.substr(i, 1));
      continue;
    }
    char32_t cp = 0;
    const std::size_t n = Utf8Sequence(text, i, cp);
    if (n == 0) cp = 0xFFFD;
    i += n == 0 ? 0 : n - 1;
    if (cp < 0x10000) {
      unit(static_cast<unsigned>(cp));
    } else {  // a surrogate pair, as script strings count UTF-16 units
      unit(0xD800 + static_cast<unsigned>((cp - 0x10000) >> 10));
      unit(0xDC00 + static_cast<unsigned>((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string OpenPicArgument(std::string_view name) {
  return UrlEncodeName(JsEscape(UrlEncodeName(name)));
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace folivant
