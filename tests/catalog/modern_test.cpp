#include <stdlib.h>

#include <gtest/gtest.h>

#include "catalog/catalog_rules.h"
#include "catalog/modern/modern_files.h"
#include "catalog/modern/modern_pages.h"
#include "catalog/modern/picture_meta.h"

namespace folivant {
namespace {

using namespace std::string_literals;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string Joined(const TLines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(ModernFiles, NamesSizesAndLanguageTags) {
  EXPECT_EQ(Tn2xFileName("a.b.jpg"), "tna.b@2x.jpg");
  EXPECT_EQ(Tn2xFileName("plain"), "tnplain@2x.jpg");
  const std::vector<TDisplayCopy> big = DisplayCopies("p.jpg", 3000, 4000);
  ASSERT_EQ(big.size(), 2u);
  EXPECT_EQ(big[0].Name + " " + std::to_string(big[0].Width) + "x" + std::to_string(big[0].Height),
            "p.jpg.1280.jpg 960x1280");
  EXPECT_EQ(big[1].Width, 1920);
  EXPECT_EQ(DisplayCopies("w.jpg", 1300, 40).at(0).Height, 39);  // rounded, at least 1
  EXPECT_TRUE(DisplayCopies("s.jpg", 1280, 800).empty());
  for (const char* good : {"en", "de-CH", "zh-Hant-TW", "x-private", "gsw"})
    EXPECT_TRUE(IsLanguageTag(good)) << good;
  for (const char* bad : {"", "e", "de_CH", "en-", "-en", "en--US", "<b>", "en-toolongtag",
                          "\xC3\xA9n", "e1", "engl"})
    EXPECT_FALSE(IsLanguageTag(bad)) << bad;
  CatalogOptions o;
  o.Lang = "fr";
  ::setenv("LC_ALL", "de_CH.UTF-8@euro", 1);
  EXPECT_EQ(PageLanguage(o), "fr");
  o.Lang = "no good";
  EXPECT_EQ(PageLanguage(o), "de-CH");
  ::setenv("LC_ALL", "C", 1);
  EXPECT_EQ(PageLanguage(o), "en");
  ::unsetenv("LC_ALL");
}

TEST(ModernFiles, NoModernFileTakesTheNameOfAnotherPicturesFile) {
  std::vector<CatalogItem> items(2);
  items[0].PictureName = "a.jpg";
  items[1].PictureName = "a.jpg.1280.jpg";
  EXPECT_THROW(CheckModernNames(items), ECatalogError);
  items[1].PictureName = "b.jpg";
  EXPECT_NO_THROW(CheckModernNames(items));
}

// A JPEG whose EXIF block has a description, make, model and the time taken.
std::string ExifJpeg(const std::string& description) {
  std::string tiff = "II*\0\x08\0\0\0"s, texts;
  const auto u16 = [](std::string& s, unsigned v) { s += {char(v & 255), char(v >> 8)}; };
  const auto u32 = [&](std::string& s, unsigned v) { u16(s, v & 0xFFFF), u16(s, v >> 16); };
  const unsigned exifAt = 8 + 2 + 4 * 12 + 4, textsAt = exifAt + 2 + 12 + 4;
  const auto text = [&](unsigned tag, const std::string& value) {
    u16(tiff, tag), u16(tiff, 2), u32(tiff, value.size() + 1), u32(tiff, textsAt + texts.size());
    texts += value + '\0';
  };
  u16(tiff, 4);
  text(0x010E, description), text(0x010F, "Canon"), text(0x0110, "Canon EOS 80D");
  u16(tiff, 0x8769), u16(tiff, 4), u32(tiff, 1), u32(tiff, exifAt), u32(tiff, 0);
  u16(tiff, 1), text(0x9003, "2024:05:17 14:03:09"), u32(tiff, 0);
  const std::string app1 = "Exif\0\0"s + tiff + texts;
  const std::size_t len = app1.size() + 2;
  return "\xFF\xD8\xFF\xE1"s + char(len >> 8) + char(len & 255) + app1 + "\xFF\xD9"s;
}

TEST(PictureMeta, TitlesFromXmpThenExifAndNeverTheCamerasOwnName) {
  const std::string xmp =
      "<x:xmpmeta><dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Tom &amp; "
      "Jerry</rdf:li></rdf:Alt></dc:title></x:xmpmeta>";
  const TPictureMeta exif = PictureMetaOf(ExifJpeg("Lake at dawn"));
  EXPECT_EQ(exif.Title + "|" + exif.Taken + "|" + exif.Camera,
            "Lake at dawn|2024-05-17 14:03|Canon EOS 80D");
  EXPECT_EQ(PictureMetaOf(ExifJpeg("OLYMPUS DIGITAL CAMERA")).Title, "");
  EXPECT_EQ(PictureMetaOf(ExifJpeg("Lake at dawn") + xmp).Title, "Tom & Jerry");
  EXPECT_EQ(PictureMetaOf("<x:xmpmeta><dc:description><rdf:Alt><rdf:li>Sea\x01</rdf:li>"
                          "</rdf:Alt></dc:description></x:xmpmeta>")
                .Title,
            "Sea");
  EXPECT_EQ(PictureMetaOf("<x:xmpmeta><dc:title><rdf:li>" + std::string(400, 'a')).Title, "");
}

TEST(ModernPages, AltTextsEscapedThumbnailsLazyBelowTheFirstScreenPicturesFromCopies) {
  CatalogOptions o;
  o.Lang = "de-CH";
  CatalogItem item{"a.jpg", "",   "a_jpg.html", "tna.jpg", "", "4000", "3000",
                   "128",   "96", 12,           false,     "", -1};
  TLines lines;
  BuildModernCatalogPage(o, std::vector<TModernCell>(6, PictureCell(item, {"\"><b>", "", "Cam"})),
                         1, 1, lines);
  std::string page = Joined(lines);
  EXPECT_EQ(Count(page, "alt=\"&quot;&gt;&lt;b&gt;\""), 6u);
  EXPECT_EQ(Count(page, "loading=\"lazy\""), 6u - kEagerThumbnails);
  EXPECT_EQ(Count(page, "srcset=\"tna.jpg 1x, tna%402x.jpg 2x\""), 6u);
  EXPECT_EQ(Count(page, "<html lang=\"de-CH\">"), 1u);
  EXPECT_EQ(Count(page, "--bg:#121212"), 1u);  // default colours: dark in a dark scheme
  TModernPicture picture{"a.jpg", "a.jpg", 4000, 3000, 150, {}, false, "", -1};
  BuildModernPicturePage(o, picture, {"p.html", "n.html", "page1.html", "", "", ""}, lines);
  page = Joined(lines);
  EXPECT_EQ(Count(page,
                  "<img src=\"a.jpg.1280.jpg\" srcset=\"a.jpg.1280.jpg 1280w, "
                  "a.jpg.2560.jpg 2560w, a.jpg 4000w\""),
            1u);
  picture.Width = 800, picture.Height = 600;
  o.BackColorHtml = "#102030";
  BuildModernPicturePage(o, picture, {}, lines);
  page = Joined(lines);
  EXPECT_EQ(Count(page, "srcset"), 0u);
  EXPECT_EQ(Count(page, "--bg:#121212"), 0u);  // a colour the user chose stays
  // A clip plays its web copy, with the poster's smallest display copy, and says how long.
  picture = {"c.mov", "c.mov.mp4", 3840, 2160, 900, {}, true, "c.mov.jpg", 62000};
  BuildModernPicturePage(o, picture, {}, lines);
  page = Joined(lines);
  EXPECT_EQ(Count(page,
                  "<video controls preload=\"metadata\" src=\"c.mov.mp4\" "
                  "poster=\"c.mov.1280.jpg\" width=\"3840\" height=\"2160\""),
            1u);
  EXPECT_EQ(Count(page, "<img"), 0u);
  EXPECT_EQ(Count(page, ", 1:02, "), 1u);
}

}  // namespace
}  // namespace folivant
