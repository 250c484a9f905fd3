#include "catalog/page_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "../common/escape_check.h"
#include "../common/test_files.h"
#include "catalog/catalog_rules.h"

namespace folivant {
namespace {

using test::Listing;
using test::ReadFile;

// Pages are written whole under a temporary name and renamed: a failure names the file and
// leaves neither a half page nor the temporary file.
TEST(SaveLines, WholeFilesWithCrLfOrNothing) {
  const test::TempDir dir;
  SaveLines({"one", "", "t\xC3\xA9"}, dir / "a.html");
  EXPECT_EQ(ReadFile(dir / "a.html"), "one\r\n\r\nt\xC3\xA9\r\n");
  SaveLines({}, dir / "a.html");  // an existing file is replaced
  EXPECT_EQ(ReadFile(dir / "a.html"), "");
  try {
    SaveLines({"x"}, dir / "no/such/page.html");
    ADD_FAILURE();
  } catch (const ECatalogError& e) {
    EXPECT_NE(std::string(e.what()).find("Unable to write to " + (dir / "no/such/page.html")),
              std::string::npos);
  }
  std::filesystem::create_directory(dir / "busy.html");  // the rename fails
  EXPECT_THROW(SaveLines({"x"}, dir / "busy.html"), ECatalogError);
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"a.html", "busy.html"}));
}

TEST(BuildTables, StopsAtTheFirstProblemKeepingEarlierPages) {
  const test::TempDir dir;
  CatalogOptions o;
  o.TableRows = o.TableCols = "1";
  std::vector<CatalogItem> items(3);
  for (int i = 0; i < 3; ++i) {
    items[i].PictureName = "p" + std::to_string(i) + ".jpg";
    if (i != 1) test::WriteFile(dir / items[i].PictureName, "x");
  }
  try {
    BuildTables(o, items, dir.Path());  // sizes are read page by page
    ADD_FAILURE();
  } catch (const ECatalogError& e) {
    EXPECT_NE(std::string(e.what()).find("p1.jpg"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(test::Exists(dir / "page1.html"));
  EXPECT_FALSE(test::Exists(dir / "page2.html"));

  TLines lines{"kept"};
  for (const auto& [rows, cols] : {std::pair{"x", "4"}, {"4", "0"}}) {
    o.TableRows = rows;
    o.TableCols = cols;
    EXPECT_THROW(BuildTables(o, items, dir / "none"), ECatalogError);
    EXPECT_THROW(BuildCatalogPage(o, items, 1, lines), ECatalogError);
    EXPECT_THROW(BuildHTMLContent(o, "", "", "a.jpg", "1", "1", true, false, 0, lines),
                 ECatalogError);
  }
  o.TableCols = "4";
  EXPECT_THROW(BuildCatalogPage(o, items, 2, lines), ECatalogError);  // only one page exists
  items[0].PictureName = "../outside.jpg";
  EXPECT_THROW(BuildTables(o, items, dir.Path()), ECatalogError);
}

// The right-click text is a string in code that is itself a string: read back twice it is the
// text as typed, and nothing in it ends either string or the script. The default text (like
// any plain one) is written as it stands.
TEST(PicturePage, RightClickTextIsEscapedForTheScript) {
  CatalogOptions o;
  o.JavaProtect = true;
  for (const std::string text :
       {"Don't \"copy\" </script><b>x\\", "Right Mouse Click Disabled!!!"}) {
    o.JavaProtectText = text;
    TLines lines;
    BuildHTMLContent(o, "", "b.html", "a.jpg", "1", "1", true, false, 0, lines);
    const std::string& call = lines.at(14);
    const std::size_t from = call.find("alert('") + 7, to = call.rfind("')\")");
    ASSERT_LT(from, to) << call;
    std::string inner, back;
    EXPECT_TRUE(test::DecodeJsString(call.substr(from, to - from), inner)) << call;
    EXPECT_TRUE(test::DecodeJsString(inner, back)) << inner;
    EXPECT_EQ(back, text);
    EXPECT_EQ(lines.at(15), "</script>");
    if (text == CatalogOptions{}.JavaProtectText) {
      EXPECT_EQ(call.substr(from, to - from), text);
    }
  }
}

}  // namespace
}  // namespace folivant
