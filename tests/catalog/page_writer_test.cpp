#include "catalog/page_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "../common/test_files.h"

#include "catalog/catalog_rules.h"

namespace folivant {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

class PageWriterTest : public ::testing::Test {
 protected:
  std::vector<std::string> Entries() const { return test::Listing(tmp_.Path()); }
  test::TempDir tmp_;
  const fs::path dir_ = tmp_.Path();
};

TEST_F(PageWriterTest, SaveLinesEndsEveryLineWithCrLf) {
  const auto path = (dir_ / "a.html").string();
  SaveLines({"one", "", "t\xC3\xA9"}, path);
  EXPECT_EQ(ReadFile(path), "one\r\n\r\nt\xC3\xA9\r\n");
  SaveLines({}, path);  // an existing file is replaced
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_EQ(Entries(), std::vector<std::string>{"a.html"});  // no temporary left behind
}

TEST_F(PageWriterTest, SaveLinesFailureNamesTheFileAndKeepsTheOldOne) {
  const auto missing = (dir_ / "no" / "such" / "page.html").string();
  try {
    SaveLines({"x"}, missing);
    ADD_FAILURE();
  } catch (const ECatalogError& e) {
    EXPECT_NE(std::string(e.what()).find("Unable to write to " + missing), std::string::npos);
  }
  // A folder in the way: the rename fails, nothing half-written remains.
  fs::create_directory(dir_ / "busy.html");
  EXPECT_THROW(SaveLines({"x"}, (dir_ / "busy.html").string()), ECatalogError);
  EXPECT_EQ(Entries(), std::vector<std::string>{"busy.html"});
}

TEST_F(PageWriterTest, BuildTablesStopsAtAMissingCopyKeepingEarlierPages) {
  CatalogOptions o;
  o.TableRows = "1";
  o.TableCols = "1";
  std::vector<CatalogItem> items(3);
  for (int i = 0; i < 3; ++i) {
    items[i].PictureName = "p" + std::to_string(i) + ".jpg";
    if (i != 1) std::ofstream(dir_ / items[i].PictureName) << "x";
  }
  try {
    BuildTables(o, items, dir_.string());
    ADD_FAILURE();
  } catch (const ECatalogError& e) {
    EXPECT_NE(std::string(e.what()).find("p1.jpg"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(fs::exists(dir_ / "page1.html"));
  EXPECT_FALSE(fs::exists(dir_ / "page2.html"));
}

TEST_F(PageWriterTest, BadTableSizesStopBeforeWriting) {
  CatalogOptions o;
  std::vector<CatalogItem> items(3);
  TLines lines{"kept"};
  o.TableRows = "x";
  EXPECT_THROW(BuildTables(o, items, dir_.string()), ECatalogError);
  EXPECT_THROW(BuildHTMLContent(o, "", "", "a.jpg", "1", "1", true, false, 0, lines),
               ECatalogError);
  o.TableRows = "4";
  o.TableCols = "0";
  EXPECT_THROW(BuildTables(o, items, dir_.string()), ECatalogError);
  EXPECT_THROW(BuildCatalogPage(o, items, 1, lines), ECatalogError);
  EXPECT_TRUE(Entries().empty());
  o.TableCols = "4";
  EXPECT_THROW(BuildCatalogPage(o, items, 2, lines), ECatalogError);  // only one page exists
}

TEST_F(PageWriterTest, PictureNamesMustBeBareFileNames) {
  std::vector<CatalogItem> items(3);
  items[0].PictureName = "../outside.jpg";
  EXPECT_THROW(BuildTables(CatalogOptions{}, items, dir_.string()), ECatalogError);
}

// Workers write picture pages at the same time; each page must be the one a lone call gives.
TEST_F(PageWriterTest, PicturePagesFromManyThreads) {
  CatalogOptions o;
  o.JavaProtect = true;
  constexpr int kPictures = 64;
  auto name = [](int i) { return "pic" + std::to_string(i) + ".jpg"; };
  auto write = [&](int i, TLines& lines) {
    BuildHTMLContent(o, PageFileName(name(i - 1)), PageFileName(name(i + 1)), name(i), "100", "200",
                     i == 0, i == kPictures - 1, i, lines);
  };
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&, t] {
      TLines lines;
      for (int i = t; i < kPictures; i += 4) {
        write(i, lines);
        SaveLines(lines, (dir_ / PageFileName(name(i))).string());
      }
    });
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(Entries().size(), static_cast<std::size_t>(kPictures));
  for (int i = 0; i < kPictures; ++i) {
    TLines lines;
    write(i, lines);
    std::string want;
    for (const auto& l : lines) want += l + "\r\n";
    EXPECT_EQ(ReadFile(dir_ / PageFileName(name(i))), want) << i;
  }
}

}  // namespace
}  // namespace folivant
