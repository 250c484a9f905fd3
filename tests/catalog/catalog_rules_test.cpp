#include "catalog/catalog_rules.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "../common/test_files.h"

#include "catalog/html_color.h"

namespace folivant {
namespace {

TEST(NameRules, PageAndThumbnailNames) {
  EXPECT_EQ(PageFileName("beach.jpg"), "beach_jpg.html");
  EXPECT_EQ(PageFileName("my.trip.png"), "my_trip.png.html");
  EXPECT_EQ(PageFileName("a.b.gif"), "a_b.gif.html");
  EXPECT_EQ(PageFileName("README"), "README.html");
  EXPECT_EQ(TnFileName("beach.png"), "tnbeach.jpg");
  EXPECT_EQ(TnFileName("my.trip.png"), "tnmy.trip.jpg");
  EXPECT_EQ(TnFileName("README"), "tnREADME.jpg");
  // Two pictures share a thumbnail but not a page.
  EXPECT_EQ(TnFileName("x.jpg"), TnFileName("x.gif"));
  EXPECT_NE(PageFileName("x.jpg"), PageFileName("x.gif"));
}

TEST(NameRules, BareFileNames) {
  EXPECT_NO_THROW(CheckBareFileName("a b&c.jpg"));
  for (std::string bad :
       {std::string(), std::string("."), std::string(".."), std::string("../x.jpg"),
        std::string("d/x.jpg"), std::string("x\0y.jpg", 7)})
    EXPECT_THROW(CheckBareFileName(bad), ECatalogError) << bad;
}

TEST(HtmlColorTest, PlainColours) {
  EXPECT_EQ(HtmlColor(0x00FF8000), "#0080FF");
  EXPECT_EQ(HtmlColor(0x990000), "#000099");
  EXPECT_EQ(HtmlColor(0x800080), "#800080");
  EXPECT_EQ(HtmlColor(0xFFFFFF), "#FFFFFF");
  EXPECT_EQ(HtmlColor(0x0000AB), "#AB0000");
}

TEST(HtmlColorTest, SystemColoursGoThroughTheResolver) {
  EXPECT_EQ(HtmlColor(clBtnFace), "#C0C0C0");
  EXPECT_EQ(HtmlColor(0x80000018), "#FFFFE1");  // info background
  EXPECT_EQ(HtmlColor(0x80000063), "#000000");  // unknown index
  TColor asked = 0;
  const TColorResolver resolver = [&](TColor c) {
    asked = c;
    return TColor{0x123456};
  };
  EXPECT_EQ(HtmlColor(clBtnFace, resolver), "#563412");
  EXPECT_EQ(asked, clBtnFace);
  // A plain colour never reaches the resolver.
  asked = 0;
  EXPECT_EQ(HtmlColor(0x010203, resolver), "#030201");
  EXPECT_EQ(asked, 0u);
  EXPECT_EQ(ClassicSystemColor(0x00ABCDEF), 0x00ABCDEFu);
}

TEST(PageArithmetic, CountsAndPages) {
  // {items or index, rows, cols, pages or page}
  for (const auto& [n, rows, cols, pages] :
       {std::array{16, 4, 4, 1}, {17, 4, 4, 2}, {0, 4, 4, 0}, {10, 2, 3, 2}})
    EXPECT_EQ(PageCount(n, rows, cols), pages) << n;
  for (const auto& [i, rows, cols, page] :
       {std::array{6, 3, 2, 2}, {5, 3, 2, 1}, {0, 1, 1, 1}, {4, 2, 2, 2}})
    EXPECT_EQ(PageOfIndex(i, rows, cols), page) << i;
  EXPECT_EQ(ItemsPerPage("3", "2"), 6);
  EXPECT_EQ(ItemsPerPage(100, 100), 10000);
}

TEST(PageArithmetic, WholeNumbers) {
  EXPECT_EQ(ParseWholeNumber("42"), 42);
  EXPECT_EQ(ParseWholeNumber("  07"), 7);
  EXPECT_EQ(ParseWholeNumber("-3"), -3);
  EXPECT_EQ(ParseWholeNumber("+2147483647"), 2147483647);
  EXPECT_EQ(ParseWholeNumber("-2147483648"), -2147483647 - 1);
  for (const char* bad :
       {"", " ", "-", "4x", "4 ", "1.5", "2147483648", "99999999999999999999", "0x10", "four"}) {
    try {
      ParseWholeNumber(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const ECatalogError& e) {
      EXPECT_EQ(e.what(), "'" + std::string(bad) + "' is not a valid integer value");
    }
  }
}

TEST(PageArithmetic, BadTableSizesAreErrorsNotDivisions) {
  EXPECT_THROW(ItemsPerPage(0, 4), ECatalogError);
  EXPECT_THROW(ItemsPerPage(4, 0), ECatalogError);
  EXPECT_THROW(ItemsPerPage(-1, -1), ECatalogError);
  EXPECT_THROW(ItemsPerPage(101, 1), ECatalogError);
  EXPECT_THROW(PageCount(5, 0, 3), ECatalogError);
  EXPECT_THROW(PageOfIndex(5, 3, 0), ECatalogError);
  EXPECT_THROW(PageOfIndex(-1, 3, 3), ECatalogError);
  CatalogOptions options;
  options.TableRows = "abc";
  try {
    ItemsPerPage(options);
    ADD_FAILURE();
  } catch (const ECatalogError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
  options.TableRows = "0";
  EXPECT_THROW(ItemsPerPage(options), ECatalogError);
}

TEST(FileSize, KilobytesTruncate) {
  const test::TempDir tmp;
  const std::filesystem::path dir = tmp.Path();
  const auto write = [&](const char* name, std::size_t n) {
    test::WriteFile(tmp / name, std::string(n, 'x'));
    return tmp / name;
  };
  EXPECT_EQ(FileSizeKb(write("a", 2047)), 1);
  EXPECT_EQ(FileSizeKb(write("b", 2048)), 2);
  EXPECT_EQ(FileSizeKb(write("c", 1023)), 0);
  EXPECT_EQ(FileSizeKb(write("d", 150000)), 146);
  const std::string missing = (dir / "missing.jpg").string();
  try {
    FileSizeKb(missing);
    ADD_FAILURE();
  } catch (const ECatalogError& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }
  EXPECT_THROW(FileSizeKb(dir.string()), ECatalogError);
}

TEST(Titles, CopiesTheFourCaptionWords) {
  CatalogOptions from, to;
  from.PageTitle = "Seite";
  from.PrevTitle = "Zurueck";
  from.NextTitle = "Weiter";
  from.CatTitle = "Katalog";
  from.ContentTitle = "untouched";
  GetTitles(from, to);
  EXPECT_EQ(to.PageTitle, "Seite");
  EXPECT_EQ(to.PrevTitle, "Zurueck");
  EXPECT_EQ(to.NextTitle, "Weiter");
  EXPECT_EQ(to.CatTitle, "Katalog");
  EXPECT_EQ(to.ContentTitle, "");
}

}  // namespace
}  // namespace folivant
