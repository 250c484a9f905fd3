// Escaping of picture names for the pages. Properties: percent-decoding a link gives the name
// back and the link holds only URL-safe characters; text holds no raw markup character and
// every "&" starts an entity, it is pure ASCII, and reading the entities gives a UTF-8 name
// back; a script string
// reads back as the name; ordinary names pass unchanged.
#include <cctype>
#include <string>
#include <string_view>

#include "catalog/html_escape.h"
#include "fuzz_common.h"

using namespace folivant;

namespace {

bool IsUnreserved(unsigned char c) {
  return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool IsHex(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}
int HexValue(char c) {
  return std::isdigit(static_cast<unsigned char>(c))
             ? c - '0'
             : (std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
}

// A link is made of unreserved characters and %XX with upper-case hex.
bool IsEncodedLink(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = s[i];
    if (c == '%') {
      if (i + 2 >= s.size() || !IsHex(s[i + 1]) || !IsHex(s[i + 2])) return false;
      if (std::islower(static_cast<unsigned char>(s[i + 1])) ||
          std::islower(static_cast<unsigned char>(s[i + 2])))
        return false;
      i += 2;
    } else if (!IsUnreserved(c)) {
      return false;
    }
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
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

// True for well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char b = s[i];
    std::size_t n = b < 0x80                 ? 1
                    : b >= 0xC2 && b <= 0xDF ? 2
                    : b >= 0xE0 && b <= 0xEF ? 3
                    : b >= 0xF0 && b <= 0xF4 ? 4
                                             : 0;
    if (n == 0 || i + n > s.size()) return false;
    char32_t cp = n == 1 ? b : b & (0xFF >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) {
      const unsigned char c = s[i + k];
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    const char32_t min = n == 1 ? 0 : n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

// Reads HTML character references as a browser would for the entities a writer may use.
// Returns false on a raw markup character or an "&" that starts no known reference.
bool DecodeEntities(std::string_view s, std::string& out) {
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
    if (ref == "amp")
      out += '&';
    else if (ref == "lt")
      out += '<';
    else if (ref == "gt")
      out += '>';
    else if (ref == "quot")
      out += '"';
    else if (ref == "apos")
      out += '\'';
    else if (ref.size() >= 2 && ref[0] == '#') {
      unsigned long v = 0;
      const bool hex = ref[1] == 'x' || ref[1] == 'X';
      const std::string_view digits = ref.substr(hex ? 2 : 1);
      if (digits.empty()) return false;
      for (char d : digits) {
        if (hex ? !IsHex(d) : !std::isdigit(static_cast<unsigned char>(d))) return false;
        v = v * (hex ? 16 : 10) + static_cast<unsigned long>(HexValue(d));
      }
      if (v > 0x10FFFF) return false;
      AppendUtf8(out, static_cast<char32_t>(v));
    } else {
      return false;
    }
    i = semi;
  }
  return true;
}

// Reads the body of a quoted JavaScript string literal. Returns false on a raw quote,
// backslash at the end, line end, or "<", ">" and "&" (which must not appear in a page script).
bool DecodeJsString(std::string_view s, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = s[i];
    if (c == '\'' || c == '"' || c == '\n' || c == '\r' || c == '<' || c == '>' || c == '&')
      return false;
    if (c < 0x20) return false;
    if (c != '\\') {
      out += static_cast<char>(c);
      continue;
    }
    if (++i >= s.size()) return false;
    const char e = s[i];
    auto hexRun = [&](std::size_t n) -> long {
      if (i + n >= s.size()) return -1;
      long v = 0;
      for (std::size_t k = 1; k <= n; ++k) {
        if (!IsHex(s[i + k])) return -1;
        v = v * 16 + HexValue(s[i + k]);
      }
      i += n;
      return v;
    };
    switch (e) {
      case '\\':
        out += '\\';
        break;
      case '\'':
        out += '\'';
        break;
      case '"':
        out += '"';
        break;
      case '/':
        out += '/';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'v':
        out += '\v';
        break;
      case '0':
        out += '\0';
        break;
      case 'x': {
        const long v = hexRun(2);
        if (v < 0) return false;
        out += static_cast<char>(v);
        break;
      }
      case 'u': {
        const long v = hexRun(4);
        if (v < 0 || v > 0xFF) return false;  // names are bytes; only bytes are escaped
        out += static_cast<char>(v);
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

bool IsPlainName(std::string_view s) {
  for (unsigned char c : s) {
    if (!std::isalnum(c) && c != '.' && c != '_' && c != '-') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);

  const std::string link = UrlEncodeName(name);
  FUZZ_CHECK(IsEncodedLink(link));
  FUZZ_CHECK(PercentDecode(link) == name);

  const std::string text = HtmlEscape(name);
  std::string back;
  FUZZ_CHECK(DecodeEntities(text, back));
  for (unsigned char c : text) FUZZ_CHECK(c < 0x80);  // reads the same in any encoding
  if (IsUtf8(name)) FUZZ_CHECK(back == name);

  const std::string js = JsEscape(name);
  FUZZ_CHECK(DecodeJsString(js, back));
  FUZZ_CHECK(back == name);

  // The openpic argument: percent-decoded by the browser, then read as a script string,
  // gives the link; the link percent-decoded gives the name.
  const std::string arg = OpenPicArgument(name);
  FUZZ_CHECK(IsEncodedLink(arg));
  std::string script;
  FUZZ_CHECK(DecodeJsString(PercentDecode(arg), script));
  FUZZ_CHECK(script == link);

  if (IsPlainName(name)) {
    FUZZ_CHECK(link == name && text == name && js == name);
  }
  // Decoding never invents bytes: an input without "%" decodes to itself.
  if (name.find('%') == std::string::npos) FUZZ_CHECK(PercentDecode(name) == name);
  return 0;
}
