#include "catalog/html_escape.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../common/escape_check.h"
#include "catalog/catalog_rules.h"
#include "catalog/page_writer.h"
#include "catalog_item.h"

namespace folivant {
namespace {

using test::Item;

using test::CheckEscapes;
using test::Shown;

TEST(Escaping, KnownForms) {
  const struct {
    std::string (*escape)(std::string_view);
    std::string in, out;
  } cases[] = {
      {UrlEncodeName, "a b&c#%?\xC3\xA9~", "a%20b%26c%23%25%3F%C3%A9~"},
      {HtmlEscape, "<a href=\"x\">Tom's & Jerry's</a>",
       "&lt;a href=&quot;x&quot;&gt;Tom&#39;s &amp; Jerry&#39;s&lt;/a&gt;"},
      {HtmlEscape, "caf\xC3\xA9 \xF0\x9F\x93\xB7", "caf&#xE9; &#x1F4F7;"},
      // Bytes that start no well-formed sequence show as U+FFFD, one each.
      {HtmlEscape, "\xC0\xAF|\xC1\xBF|\xE0\x80\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|\xFF",
       "&#xFFFD;&#xFFFD;|&#xFFFD;&#xFFFD;|&#xFFFD;&#xFFFD;&#xFFFD;|&#xFFFD;&#xFFFD;&#xFFFD;|"
       "&#xFFFD;&#xFFFD;&#xFFFD;&#xFFFD;|&#xFFFD;"},
      {JsEscape, "it's \"\\\"\n</script>&", "it\\'s \\\"\\\\\\\"\\x0A\\x3C/script\\x3E\\x26"},
      {JsTextEscape, "caf\xC3\xA9 \xF0\x9F\x93\xB7 '<\xFF",
       "caf\\u00E9 \\uD83D\\uDCF7 \\'\\x3C\\uFFFD"},
      {OpenPicArgument, "a b.jpg", "a%2520b.jpg"},
      {PercentDecode, "%41%zz%4", "A%zz%4"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.escape(c.in), c.out) << c.in;
}

std::vector<std::string> Attributes(const TLines& lines, const std::string& attr) {
  std::vector<std::string> values;
  const std::string open = " " + attr + "=\"";
  for (const std::string& line : lines)
    for (auto pos = line.find(open); pos != std::string::npos; pos = line.find(open, pos + 1)) {
      const auto start = pos + open.size();
      values.push_back(line.substr(start, line.find('"', start) - start));
    }
  return values;
}

std::string EntityDecode(const std::string& text) {
  std::string out;
  EXPECT_TRUE(test::DecodeEntities(text, out)) << text;
  return out;
}

// A three-picture catalog page (plain links and script links) with name in the middle and as
// the pages' background, and the middle picture's page.
struct Pages {
  TLines catalog, catalogScript, picture;
};
Pages BuildFor(const std::string& name) {
  CatalogOptions o;
  o.BackGrnd = name;
  std::vector<CatalogItem> items(3);
  const std::string names[] = {"first.jpg", name, "last.jpg"};
  for (int i = 0; i < 3; ++i) items[i] = Item(names[i], "640", "480", "128", "96");
  Pages p;
  BuildCatalogPage(o, items, 1, p.catalog);
  o.JavaOpen = true;
  BuildCatalogPage(o, items, 1, p.catalogScript);
  // The neighbours carry the name too, to cover the navigation links.
  BuildHTMLContent(o, PageFileName(name), PageFileName(name), name, "640", "480", false, false, 1,
                   p.picture);
  return p;
}

// Names with every awkward piece, random and listed, through the escapes and through the pages:
// no markup character comes from a name, and every attribute reads back as the name.
TEST(Escaping, NamesRoundTripAndInjectNothing) {
  // Pieces of names, "|" between them; the first ten are names of their own.
  std::vector<std::string> pieces, names;
  std::istringstream in(
      "plain.jpg|Holiday_2026-beach.final.JPG|~|\xC0\xAF|\xC1\xBF.png|\xE0\x80\xAF|\xED\xA0\x80|"
      "\xF4\x90\x80\x80|\xF8\x88\x80\x80\x80|\x80\xE6\x97|a|Z|7|.|_|-| |\"|'|&|<|>|#|%|?|\\|;|+|=|"
      "(|%41|&amp;|</"
      "script>|\xC3\xA9|\xE6\x97\xA5|\xF0\x9F\x93\xB7|\t|\n|\xFF|\xC0\x80|javascript:");
  for (std::string piece; std::getline(in, piece, '|');) pieces.push_back(piece);
  names.assign(pieces.begin(), pieces.begin() + 10);
  std::mt19937 rng(20261206);
  for (int round = 0; round < 300; ++round) {
    std::string name;
    for (std::size_t n = 1 + rng() % 12; n > 0; --n)
      name += pieces[2 + rng() % (pieces.size() - 2)];
    names.push_back(name);
  }
  for (const std::string& name : names) {
    SCOPED_TRACE("name: " + name);
    EXPECT_EQ(CheckEscapes(name), "");
    const Pages p = BuildFor(name);

    const auto hrefs = Attributes(p.catalog, "href");
    ASSERT_GE(hrefs.size(), 2u);
    EXPECT_EQ(PercentDecode(hrefs[1]), PageFileName(name));
    EXPECT_EQ(PercentDecode(Attributes(p.catalog, "src")[1]), TnFileName(name));
    EXPECT_EQ(EntityDecode(Attributes(p.catalog, "alt")[1]), Shown(name));
    for (const TLines* page : {&p.catalog, &p.picture})
      EXPECT_EQ(EntityDecode(Attributes(*page, "background").at(0)), Shown(name));
    // The script link: the browser percent-decodes the address, then reads the string.
    const std::string script = PercentDecode(Attributes(p.catalogScript, "href")[1]);
    const std::string head = "javascript:openpic('";
    ASSERT_EQ(script.rfind(head, 0), 0u) << script;
    const std::string first = script.substr(head.size(), script.find("','") - head.size());
    std::string url;
    EXPECT_TRUE(test::DecodeJsString(first, url)) << first;
    EXPECT_EQ(PercentDecode(url), name);  // window.open resolves it as a relative address
    EXPECT_EQ(script.substr(script.find("','")), "','640','480')");

    for (const std::string& h : Attributes(p.picture, "href")) {
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
