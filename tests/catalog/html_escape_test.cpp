#include "catalog/html_escape.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/catalog_rules.h"
#include "catalog/page_writer.h"

namespace folivant {
namespace {

// Reads back one JavaScript single-quoted string literal body as JsEscape writes it.
std::string JsUnescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
    } else if (i + 1 < s.size() && s[i + 1] == 'x' && i + 3 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else if (i + 1 < s.size()) {
      out += s[++i];
    }
  }
  return out;
}

void AppendUtf8(std::string& out, unsigned long cp) {
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

// The name as a page shows it: bytes that are no UTF-8 become U+FFFD.
std::string Shown(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    const auto b = static_cast<unsigned char>(name[i]);
    const std::size_t n = b < 0x80                 ? 1
                          : b >= 0xC2 && b <= 0xDF ? 2
                          : b >= 0xE0 && b <= 0xEF ? 3
                          : b >= 0xF0 && b <= 0xF4 ? 4
                                                   : 0;
    bool ok = n > 0 && i + n <= name.size();
    for (std::size_t k = 1; ok && k < n; ++k) ok = (name[i + k] & 0xC0) == 0x80;
    if (ok) {
      out += name.substr(i, n);
      i += n;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

std::string EntityDecode(std::string s) {
  // Numeric references first (letters beyond ASCII), then the named ones, "&amp;" last.
  for (auto pos = s.find("&#x"); pos != std::string::npos; pos = s.find("&#x", pos + 1)) {
    const auto semi = s.find(';', pos);
    std::string utf8;
    AppendUtf8(utf8, std::stoul(s.substr(pos + 3, semi - pos - 3), nullptr, 16));
    s.replace(pos, semi + 1 - pos, utf8);
  }
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities) {
    for (auto pos = s.find(from); pos != std::string::npos; pos = s.find(from, pos + 1))
      s.replace(pos, std::string(from).size(), to);
  }
  return s;
}

// What a browser does with href="javascript:openpic('A','W','H')": percent-decode the script,
// then read the string literals; the first is the URL window.open gets.
std::vector<std::string> OpenPicArgs(const std::string& href) {
  const std::string prefix = "javascript:openpic(";
  EXPECT_EQ(href.rfind(prefix, 0), 0u) << href;
  const std::string script = PercentDecode(href.substr(prefix.size()));
  std::vector<std::string> args;
  std::size_t i = 0;
  while (i < script.size() && script[i] == '\'') {
    std::size_t j = i + 1;
    while (j < script.size() && script[j] != '\'') j += script[j] == '\\' ? 2 : 1;
    args.push_back(JsUnescape(script.substr(i + 1, j - i - 1)));
    i = j + 1;
    if (i < script.size() && script[i] == ',') ++i;
  }
  EXPECT_EQ(script.substr(i), ")") << script;
  return args;
}

TEST(Escaping, PlainNamesAreUnchanged) {
  const std::string plain = "Holiday_2026-beach.final.JPG";
  EXPECT_EQ(UrlEncodeName(plain), plain);
  EXPECT_EQ(HtmlEscape(plain), plain);
  EXPECT_EQ(JsEscape(plain), plain);
  EXPECT_EQ(OpenPicArgument(plain), plain);
}

TEST(Escaping, KnownForms) {
  EXPECT_EQ(UrlEncodeName("a b&c#%?\xC3\xA9~"), "a%20b%26c%23%25%3F%C3%A9~");
  EXPECT_EQ(HtmlEscape("<a href=\"x\">Tom's & Jerry's</a>"),
            "&lt;a href=&quot;x&quot;&gt;Tom&#39;s &amp; Jerry&#39;s&lt;/a&gt;");
  EXPECT_EQ(JsEscape("it's \"\\\"\n</script>"), "it\\'s \\\"\\\\\\\"\\x0A\\x3C/script\\x3E");
  EXPECT_EQ(OpenPicArgument("a b.jpg"), "a%2520b.jpg");
  EXPECT_EQ(PercentDecode("%41%zz%4"), "A%zz%4");
}

std::string RandomName(std::mt19937& rng) {
  // The pieces, separated by "|".
  static const std::vector<std::string> pieces = [] {
    std::istringstream in(
        "a|Z|7|.|_|-|~| |\"|'|&|<|>|#|%|?|\\|;|+|=|(|)|%41|&amp;|</script>|\xC3\xA9|"
        "\xE6\x97\xA5|\xF0\x9F\x93\xB7|\t|javascript:|\xFF");
    std::vector<std::string> v;
    for (std::string piece; std::getline(in, piece, '|');) v.push_back(piece);
    return v;
  }();
  std::uniform_int_distribution<std::size_t> len(1, 12), pick(0, pieces.size() - 1);
  std::string name;
  for (std::size_t n = len(rng); n > 0; --n) name += pieces[pick(rng)];
  return name;
}

// Counts the characters that can end an attribute or start markup, and the "&" that do not
// start one of the entities the writers use ("&gt"/"&lt" without ";" are part of the format).
struct MarkupCounts {
  int lt = 0, gt = 0, quot = 0, apos = 0, strayAmp = 0;
  bool operator==(const MarkupCounts&) const = default;
};

MarkupCounts Count(const TLines& lines) {
  MarkupCounts m;
  const auto isEntity = [](std::string_view rest) {
    for (std::string_view e : {"&amp;", "&lt", "&gt", "&quot;", "&#39;", "&#x"})
      if (rest.substr(0, e.size()) == e) return true;
    return false;
  };
  for (const auto& line : lines) {
    for (std::size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      m.lt += c == '<';
      m.gt += c == '>';
      m.quot += c == '"';
      m.apos += c == '\'';
      if (c == '&' && !isEntity(std::string_view(line).substr(i))) ++m.strayAmp;
    }
  }
  return m;
}

std::vector<std::string> Attributes(const TLines& lines, const std::string& attr) {
  std::vector<std::string> values;
  const std::string open = " " + attr + "=\"";
  for (const auto& line : lines) {
    for (auto pos = line.find(open); pos != std::string::npos; pos = line.find(open, pos + 1)) {
      const auto start = pos + open.size();
      values.push_back(line.substr(start, line.find('"', start) - start));
    }
  }
  return values;
}

struct Pages {
  TLines catalog, catalogScript, picture;
};

// A three-picture catalog with `name` in the middle, and the middle picture's page.
Pages BuildFor(const std::string& name) {
  CatalogOptions o;
  std::vector<CatalogItem> items(3);
  const std::string names[] = {"first.jpg", name, "last.jpg"};
  for (int i = 0; i < 3; ++i) {
    items[i].PictureName = names[i];
    items[i].PageFileName = PageFileName(names[i]);
    items[i].TnFileName = TnFileName(names[i]);
    items[i].OrigWidth = "640";
    items[i].OrigHeight = "480";
    items[i].TnWidth = "128";
    items[i].TnHeight = "96";
  }
  Pages p;
  BuildCatalogPage(o, items, 1, p.catalog);
  o.JavaOpen = true;
  BuildCatalogPage(o, items, 1, p.catalogScript);
  // The middle picture's neighbours carry the awkward name too, to cover the navigation links.
  BuildHTMLContent(o, PageFileName(name), PageFileName(name), name, "640", "480", false, false, 1,
                   p.picture);
  return p;
}

TEST(Escaping, RandomNamesRoundTripAndInjectNothing) {
  std::mt19937 rng(20261206);
  const Pages plain = BuildFor("plain.jpg");
  for (int round = 0; round < 300; ++round) {
    const std::string name = RandomName(rng);
    SCOPED_TRACE("name: " + name);
    const Pages p = BuildFor(name);

    // No markup character comes from the name: the counts equal those of a plain name.
    EXPECT_EQ(Count(p.catalog), Count(plain.catalog));
    EXPECT_EQ(Count(p.catalogScript), Count(plain.catalogScript));
    EXPECT_EQ(Count(p.picture), Count(plain.picture));
    EXPECT_EQ(p.catalog.size(), plain.catalog.size());

    // Links and sources decode to the files they name.
    const auto hrefs = Attributes(p.catalog, "href");
    const auto srcs = Attributes(p.catalog, "src");
    ASSERT_GE(hrefs.size(), 2u);
    EXPECT_EQ(PercentDecode(hrefs[1]), PageFileName(name));
    EXPECT_EQ(PercentDecode(srcs[1]), TnFileName(name));
    EXPECT_EQ(EntityDecode(Attributes(p.catalog, "alt")[1]), Shown(name));

    const auto scriptHrefs = Attributes(p.catalogScript, "href");
    const auto args = OpenPicArgs(scriptHrefs[1]);
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(PercentDecode(args[0]), name);  // window.open resolves it as a relative URL
    EXPECT_EQ(args[0], UrlEncodeName(name));
    EXPECT_EQ(args[1], "640");
    EXPECT_EQ(args[2], "480");

    const auto pictureHrefs = Attributes(p.picture, "href");
    for (const auto& h : pictureHrefs) {
      if (h.rfind("page", 0) != 0 && h.rfind("https:", 0) != 0) {
        EXPECT_EQ(PercentDecode(h), PageFileName(name));
      }
    }
    EXPECT_EQ(PercentDecode(Attributes(p.picture, "src").at(0)), name);
    EXPECT_EQ(EntityDecode(Attributes(p.picture, "alt").at(0)), Shown(name));
    EXPECT_EQ(EntityDecode(Attributes(p.picture, "content").at(0)), Shown(name));
    EXPECT_EQ(p.picture[2], "<title>" + HtmlEscape(name) + "</title>");
  }
}

}  // namespace
}  // namespace folivant
