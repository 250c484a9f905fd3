// Golden pages: every file a case writes is compared byte for byte with its folder under
// tests/golden. The golden files were checked line by line against the page formats; when a
// page format changes on purpose, run with FOLIVANT_UPDATE_GOLDEN=1 and review every diff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../common/test_files.h"
#include "catalog/catalog_rules.h"
#include "catalog/html_escape.h"
#include "catalog/page_writer.h"

namespace folivant {
namespace {

namespace fs = std::filesystem;

struct Picture {
  std::string name;
  int ow, oh, tw, th;
  std::size_t bytes;
};

struct GoldenCase {
  std::string folder;
  CatalogOptions options;
  std::vector<Picture> pictures;
  bool picturePages = true;
};

using test::ReadFile;

// Writes the case's pages into dir the way a build does: picture pages, then catalog pages.
void WriteCase(const GoldenCase& c, const fs::path& dir) {
  for (const auto& p : c.pictures)
    std::ofstream(dir / p.name, std::ios::binary) << std::string(p.bytes, '\xAA');
  std::vector<CatalogItem> items;
  for (const auto& p : c.pictures) {
    items.push_back({p.name, "", PageFileName(p.name), TnFileName(p.name), std::to_string(p.ow),
                     std::to_string(p.oh), std::to_string(p.tw), std::to_string(p.th), 0});
  }
  if (c.picturePages) {
    TLines lines;
    const int n = static_cast<int>(items.size());
    for (int i = 0; i < n; ++i) {
      BuildHTMLContent(c.options, i > 0 ? items[i - 1].PageFileName : "",
                       i + 1 < n ? items[i + 1].PageFileName : "", items[i].PictureName,
                       items[i].OrigWidth, items[i].OrigHeight, i == 0, i == n - 1, i, lines);
      SaveLines(lines, (dir / items[i].PageFileName).string());
    }
  }
  BuildTables(c.options, items, dir.string());
  for (const auto& p : c.pictures) fs::remove(dir / p.name);
}

std::vector<GoldenCase> Cases() {
  std::vector<GoldenCase> cases;
  const std::vector<Picture> three = {{"beach.jpg", 800, 600, 128, 96, 150000},
                                      {"harbour.png", 600, 800, 72, 96, 2048},
                                      {"night.gif", 1000, 333, 288, 96, 1023}};
  std::vector<Picture> many;
  for (int i = 0; i < 10; ++i)
    many.push_back({"img" + std::to_string(i) + ".jpg", 640 + i, 480 - i, 96 + i, 72, 1024u * i});

  cases.push_back({"one_page", {}, three});  // everything at its start value
  {  // Navigation of first, middle and last page; every optional line present.
    GoldenCase c{"three_pages", {}, {}};
    c.pictures.assign(many.begin(), many.begin() + 5);
    c.options.TableRows = "1";
    c.options.TableCols = "2";
    c.options.MetaTag = "<meta name=\"keywords\" content=\"summer, sea\">";
    c.options.HeaderLines = {"<h1>Summer</h1>", "<hr>"};
    c.options.FooterLines = {"<hr>", "<p>&copy; 2026 K. M\xC3\xBCller</p>"};
    c.options.BackGrnd = "paper.gif";
    c.options.TableAlign = "center";
    c.options.ContentTitle = "Summer <i>2026</i>";
    c.options.BackColorHtml = "#FFFFE1";
    c.options.LinkColorHtml = "#0080FF";
    c.options.ALinkColorHtml = "#FF0000";
    c.options.VLinkColorHtml = "#008000";
    c.options.PageTitle = "Seite";
    c.options.PrevTitle =
        "Zur\xC3\xBC"
        "ck";
    c.options.NextTitle = "Weiter";
    c.options.CatTitle = "Katalog";
    c.options.Border = "0";
    c.options.Cellpadding = "4";
    c.options.Cellspacing = "10";
    cases.push_back(c);
  }
  {  // Short last page: a part row, then a row of nothing.
    GoldenCase c{"ten_2x3", {}, many, false};
    c.options.TableRows = "2";
    c.options.TableCols = "3";
    c.options.TableAlign = "left";
    cases.push_back(c);
  }
  {  // Thumbnails open the picture by script; picture pages carry the protection script.
    GoldenCase c{"java_open", {}, three};
    c.options.JavaOpen = true;
    c.options.JavaProtect = true;
    c.options.JavaProtectText = "Please do not copy";
    c.options.TableAlign = "right";
    cases.push_back(c);
  }
  {  // Pictures 0..3 belong to page 1, picture 4 to page 2.
    GoldenCase c{"five_2x2", {}, {}};
    c.pictures.assign(many.begin(), many.begin() + 5);
    c.options.TableRows = "2";
    c.options.TableCols = "2";
    cases.push_back(c);
  }
  {  // Names that need escaping in every place a name goes.
    GoldenCase c{"awkward_names", {}, {}};
    c.pictures = {{"a b&c.jpg", 100, 50, 192, 96, 4096},
                  {"it's \"q\".png", 50, 100, 48, 96, 10},
                  {"caf\xC3\xA9<1>#%?.gif", 30, 30, 96, 96, 5000},
                  {"README", 10, 20, 48, 96, 3000}};
    c.options.JavaOpen = true;
    cases.push_back(c);
  }
  return cases;
}

// Golden files are stored under their percent-encoded names, so that names with characters
// some file systems refuse can still be checked out.
std::set<std::string> FilesIn(const fs::path& dir, bool encode) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file()) names.insert(encode ? UrlEncodeName(name) : name);
  }
  return names;
}

class GoldenPages : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenPages, MatchByteForByte) {
  const GoldenCase& c = GetParam();
  const fs::path golden = fs::path(FOLIVANT_TEST_SOURCE_DIR) / ".." / "golden" / c.folder;
  const test::TempDir tmp;
  const fs::path out = tmp.Path();
  WriteCase(c, out);

  const char* update = std::getenv("FOLIVANT_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    fs::remove_all(golden);
    fs::create_directories(golden);
    for (const auto& name : FilesIn(out, false))
      fs::copy_file(out / name, golden / UrlEncodeName(name));
  }

  ASSERT_TRUE(fs::is_directory(golden)) << golden;
  EXPECT_EQ(FilesIn(out, true), FilesIn(golden, false));
  for (const auto& name : FilesIn(golden, false)) {
    const std::string want = ReadFile(golden / name);
    const std::string got = ReadFile(out / PercentDecode(name));
    if (want == got) continue;
    // Point at the first differing line rather than dumping two pages.
    std::istringstream a(want), b(got);
    std::string la, lb;
    int line = 1;
    while (std::getline(a, la) && std::getline(b, lb) && la == lb) ++line;
    ADD_FAILURE() << c.folder << "/" << name << " differs at line " << line << "\n want: " << la
                  << "\n  got: " << lb;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenPages, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.folder; });

}  // namespace
}  // namespace folivant
