#include "catalog/catalog_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "../common/test_files.h"
#include "catalog/html_color.h"
#include "catalog/picture_folder.h"

namespace folivant {
namespace {

TEST(NameRules, PageThumbnailAndBareNames) {
  // The page takes the first dot, the thumbnail drops what follows the last one: x.jpg and
  // x.gif would share a thumbnail, so a build refuses them.
  const char* const names[][3] = {{"beach.jpg", "beach_jpg.html", "tnbeach.jpg"},
                                  {"my.trip.png", "my_trip.png.html", "tnmy.trip.jpg"},
                                  {"README", "README.html", "tnREADME.jpg"},
                                  {"x.gif", "x_gif.html", "tnx.jpg"}};
  for (const auto& n : names) {
    EXPECT_EQ(PageFileName(n[0]), n[1]);
    EXPECT_EQ(TnFileName(n[0]), n[2]);
  }
  EXPECT_NO_THROW(CheckBareFileName("a b&c.jpg"));
  for (std::string bad : {std::string(), std::string("."), std::string(".."), std::string("../x"),
                          std::string("d/x.jpg"), std::string("x\0y.jpg", 7)})
    EXPECT_THROW(CheckBareFileName(bad), ECatalogError) << bad;
}

// A folder a catalog was built into gives its pictures again, without what the build made of
// them; a user's x.jpg stays unless it is the web copy of an x.heic (or .heif, .tif, .tiff).
TEST(NameRules, FolderPicturesLeaveOutThumbnailsAndWebCopies) {
  const test::TempDir dir;
  for (const char* name : {"a.heic", "a.heic.jpg", "tna.jpg", "c.TIFF", "c.TIFF.jpg", "y.tif.jpg",
                           "x.jpg", "a_heic.html", ".folivant-1-2.tmp", "v.MOV", "v.MOV.mp4",
                           "v.MOV.jpg"})
    test::WriteFile(dir / name, "x");
  std::string error;
  EXPECT_EQ(FolderPictureNames(dir.Path(), error),
            (std::vector<std::string>{"a.heic", "c.TIFF", "v.MOV", "x.jpg", "y.tif.jpg"}));
  // Without clips (--no-videos).
  EXPECT_EQ(FolderPictureNames(dir.Path(), error, false),
            (std::vector<std::string>{"a.heic", "c.TIFF", "x.jpg", "y.tif.jpg"}));
}

TEST(HtmlColorTest, PlainAndSystemColours) {
  const std::pair<TColor, const char*> colours[] = {
      {0x00FF8000, "#0080FF"}, {0x990000, "#000099"},   {0x0000AB, "#AB0000"},
      {clBtnFace, "#C0C0C0"},  {0x80000018, "#FFFFE1"}, {0x80000063, "#000000"}};
  for (const auto& [value, html] : colours) EXPECT_EQ(HtmlColor(value), html) << std::hex << value;
  // The resolver answers for system colours only.
  TColor asked = 0;
  const TColorResolver resolver = [&](TColor c) {
    asked = c;
    return TColor{0x123456};
  };
  EXPECT_EQ(HtmlColor(0x010203, resolver), "#030201");
  EXPECT_EQ(asked, 0u);
  EXPECT_EQ(HtmlColor(clBtnFace, resolver), "#563412");
  EXPECT_EQ(asked, clBtnFace);
}

TEST(PageArithmetic, CountsPagesAndLimits) {
  // {pictures or index, rows, cols, pages or page}
  const int counts[][4] = {{16, 4, 4, 1}, {17, 4, 4, 2}, {0, 4, 4, 0}, {10, 2, 3, 2}, {7, 1, 6, 2}};
  for (const auto& c : counts) EXPECT_EQ(PageCount(c[0], c[1], c[2]), c[3]) << c[0];
  const int pages[][4] = {{6, 3, 2, 2}, {5, 3, 2, 1}, {0, 1, 1, 1}, {4, 2, 2, 2}};
  for (const auto& p : pages) EXPECT_EQ(PageOfIndex(p[0], p[1], p[2]), p[3]) << p[0];
  EXPECT_EQ(ItemsPerPage("3", "2"), 6);
  EXPECT_EQ(ItemsPerPage(100, 100), 10000);
  for (const auto& [rows, cols] : {std::pair{0, 4}, {4, 0}, {-1, -1}, {101, 1}, {1, 101}})
    EXPECT_THROW(ItemsPerPage(rows, cols), ECatalogError) << rows << "x" << cols;
  EXPECT_THROW(PageOfIndex(-1, 3, 3), ECatalogError);
}

TEST(PageArithmetic, WholeNumbers) {
  const std::pair<const char*, int> good[] = {
      {"42", 42}, {"  07", 7}, {"-3", -3}, {"+2147483647", 2147483647}, {"-2147483648", INT32_MIN}};
  for (const auto& [text, value] : good) EXPECT_EQ(ParseWholeNumber(text), value) << text;
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

TEST(FileSize, KilobytesTruncate) {
  const test::TempDir dir;
  for (const auto& [bytes, kb] :
       {std::pair{1023, 0}, {1024, 1}, {2047, 1}, {2048, 2}, {150000, 146}}) {
    test::WriteFile(dir / "f", std::string(static_cast<std::size_t>(bytes), 'x'));
    EXPECT_EQ(FileSizeKb(dir / "f"), kb) << bytes;
  }
  try {
    FileSizeKb(dir / "missing.jpg");
    ADD_FAILURE();
  } catch (const ECatalogError& e) {
    EXPECT_NE(std::string(e.what()).find(dir / "missing.jpg"), std::string::npos) << e.what();
  }
  EXPECT_THROW(FileSizeKb(dir.Path()), ECatalogError);
}

}  // namespace
}  // namespace folivant
