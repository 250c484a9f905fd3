// Golden pages: every file a case of tests/golden/cases.txt writes is compared byte for byte
// with its folder under tests/golden. The golden files were checked line by line against the
// page formats; when a page format changes on purpose, run with FOLIVANT_UPDATE_GOLDEN=1 and
// review every diff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "../common/test_files.h"
#include "catalog/catalog_rules.h"
#include "catalog/html_escape.h"
#include "catalog/page_writer.h"
#include "catalog_item.h"

namespace folivant {
namespace {

using test::Item;

namespace fs = std::filesystem;

struct GoldenCase {
  std::string folder;
  CatalogOptions options;
  std::vector<CatalogItem> items;
  std::vector<std::size_t> bytes;
  bool picturePages = true;
};

std::vector<GoldenCase> Cases() {
  using O = CatalogOptions;
  // clang-format off
  static const std::pair<const char*, std::string O::*> kText[] = {
      {"TableRows", &O::TableRows}, {"TableCols", &O::TableCols}, {"MetaTag", &O::MetaTag},
      {"BackGrnd", &O::BackGrnd}, {"TableAlign", &O::TableAlign}, {"ContentTitle", &O::ContentTitle},
      {"BackColorHtml", &O::BackColorHtml}, {"LinkColorHtml", &O::LinkColorHtml},
      {"ALinkColorHtml", &O::ALinkColorHtml}, {"VLinkColorHtml", &O::VLinkColorHtml},
      {"PageTitle", &O::PageTitle}, {"PrevTitle", &O::PrevTitle}, {"NextTitle", &O::NextTitle},
      {"CatTitle", &O::CatTitle}, {"Border", &O::Border}, {"Cellpadding", &O::Cellpadding},
      {"Cellspacing", &O::Cellspacing}, {"JavaProtectText", &O::JavaProtectText}};
  // clang-format on
  std::vector<GoldenCase> cases;
  std::istringstream in(
      test::ReadFile(std::string(FOLIVANT_TEST_SOURCE_DIR) + "/../golden/cases.txt"));
  for (std::string line; std::getline(in, line);) {
    const std::string key = line.substr(0, line.find('=')),
                      value = line.substr(key.size() + (key.size() < line.size()));
    CatalogOptions* o = cases.empty() ? nullptr : &cases.back().options;
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') cases.push_back({line.substr(1, line.size() - 2), {}, {}, {}});
    if (line == "nopages") cases.back().picturePages = false;
    if (line.starts_with("picture ")) {
      std::istringstream p(line.substr(8));
      std::string name, w, h, tw, th;
      std::size_t bytes = 0;
      p >> name >> w >> h >> tw >> th >> bytes;
      name = PercentDecode(name);
      cases.back().items.push_back(Item(name, w, h, tw, th));
      cases.back().bytes.push_back(bytes);
    }
    for (const auto& [name, member] : kText)
      if (key == name) o->*member = value;
    if (key == "JavaOpen" || key == "JavaProtect")
      (key == "JavaOpen" ? o->JavaOpen : o->JavaProtect) = true;
    if (key == "HeaderLines" || key == "FooterLines") {
      std::istringstream parts(value);
      for (std::string part; std::getline(parts, part, '|');)
        (key == "HeaderLines" ? o->HeaderLines : o->FooterLines).push_back(part);
    }
  }
  return cases;
}

// Golden files are stored under their percent-encoded names, so that names with characters
// some file systems refuse can still be checked out.
std::set<std::string> FilesIn(const fs::path& dir, bool encode) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file())
      names.insert(encode ? UrlEncodeName(e.path().filename().string())
                          : e.path().filename().string());
  return names;
}

class GoldenPages : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenPages, MatchByteForByte) {
  const GoldenCase& c = GetParam();
  const fs::path golden = fs::path(FOLIVANT_TEST_SOURCE_DIR) / ".." / "golden" / c.folder;
  const test::TempDir tmp;
  const fs::path out = tmp.Path();
  // The way a build writes them: picture pages, then catalog pages from the copies' sizes.
  const std::vector<CatalogItem>& items = c.items;
  const int n = static_cast<int>(items.size());
  for (int i = 0; i < n; ++i)
    test::WriteFile(out / items[i].PictureName, std::string(c.bytes[i], '\xAA'));
  TLines lines;
  for (int i = 0; i < n && c.picturePages; ++i) {
    BuildHTMLContent(c.options, i > 0 ? items[i - 1].PageFileName : "",
                     i + 1 < n ? items[i + 1].PageFileName : "", items[i].PictureName,
                     items[i].OrigWidth, items[i].OrigHeight, i == 0, i == n - 1, i, lines);
    SaveLines(lines, out / items[i].PageFileName);
  }
  BuildTables(c.options, items, out);
  for (const CatalogItem& item : items) fs::remove(out / item.PictureName);

  if (const char* update = std::getenv("FOLIVANT_UPDATE_GOLDEN");
      update && std::string(update) == "1") {
    fs::remove_all(golden);
    fs::create_directories(golden);
    for (const auto& name : FilesIn(out, false))
      fs::copy_file(out / name, golden / UrlEncodeName(name));
  }
  ASSERT_TRUE(fs::is_directory(golden)) << golden;
  EXPECT_EQ(FilesIn(out, true), FilesIn(golden, false));
  for (const auto& name : FilesIn(golden, false)) {
    std::istringstream want(test::ReadFile(golden / name)),
        got(test::ReadFile(out / PercentDecode(name)));
    std::string a, b;
    for (int line = 1;; ++line, a.clear(), b.clear()) {
      const bool inWant = bool(std::getline(want, a));  // both read, even when one has ended
      if (!std::getline(got, b) && !inWant) break;
      ASSERT_EQ(a, b) << c.folder << "/" << name << " differs at line " << line;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenPages, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.folder; });

}  // namespace
}  // namespace folivant
