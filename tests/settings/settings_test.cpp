#include "settings/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "../common/test_files.h"
#include "settings/color_text.h"
#include "settings/ini_file.h"

namespace folivant {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr const char* kFirstSave =
    "[General Options]\r\n"
    "TargetDir=\r\n"
    "LastDir=\r\n"
    "BackGrnd=\r\n"
    "ContentTitle=\r\n"
    "MetaTag=\r\n"
    "BackColorS=clWhite\r\n"
    "LinkColorS=$00990000\r\n"
    "ALinkColorS=$00990000\r\n"
    "VLinkColorS=clPurple\r\n"
    "PageTitle=Page\r\n"
    "PrevTitle=Previous\r\n"
    "NextTitle=Next\r\n"
    "CatTitle=Catalog\r\n"
    "\r\n"
    "[Table Options]\r\n"
    "TableCols=4\r\n"
    "TableRows=4\r\n"
    "Border=1\r\n"
    "Cellpadding=0\r\n"
    "Cellspacing=2\r\n"
    "\r\n"
    "[Image Options]\r\n"
    "ThumbHeight=96\r\n"
    "ThumbWidth=70\r\n"
    "JPEGQuality=75\r\n"
    "Progressive=0\r\n"
    "Filter=-1\r\n"
    "JavaProtect=0\r\n"
    "JavaProtectText=Right Mouse Click Disabled!!!\r\n"
    "JavaOpen=0\r\n"
    "AutoRotate=1\r\n";

SettingsRecord Customised() {
  SettingsRecord r;
  r.TargetDir = "/srv/catalog";
  r.LastDir = "/home/u/Pictures";
  r.BackGrnd = "paper.jpg";
  r.ContentTitle = "Summer = sun";
  r.MetaTag = "<meta name=\"author\" content=\"me\">";
  r.Colors = {0x563412, 0xFF0000, 0x8000000D, 0x000000};
  for (int i = 0; i < kColorSlots; ++i) r.ColorTexts[i] = ColorToString(r.Colors[i]);
  r.PageTitle = "Seite";
  r.PrevTitle = "Zurück";
  r.NextTitle = "Weiter";
  r.CatTitle = "Katalog";
  r.TableCols = "5";
  r.TableRows = "3";
  r.Border = "abc";  // table fields are written and read back as typed
  r.Cellpadding = "4";
  r.Cellspacing = "";
  r.ThumbHeight = 120;
  r.ThumbWidth = 300;
  r.JPEGQuality = 10;
  r.Progressive = true;
  r.Filter = 6;
  r.JavaProtect = true;
  r.JavaProtectText = "No!";
  r.JavaOpen = true;
  r.AutoRotate = false;
  return r;
}

TEST(Settings, NoFileGivesEveryDefault) {
  TempDir dir;
  const SettingsLoad load = LoadSettings(dir.Path("absent.ini"), Customised());
  EXPECT_TRUE(load.Complete());
  EXPECT_EQ(load.ColorsApplied, kColorSlots);
  EXPECT_TRUE(load.FileProblem.empty());
  EXPECT_EQ(load.Record, SettingsRecord{});
}

TEST(Settings, FirstSaveWritesAll27KeysInOrder) {
  TempDir dir;
  const std::string path = dir.Path("folivant.ini");
  SaveSettings(SettingsRecord{}, path);
  EXPECT_EQ(ReadFile(path), kFirstSave);
  SaveSettings(SettingsRecord{}, path);  // saving again changes nothing
  EXPECT_EQ(ReadFile(path), kFirstSave);
  EXPECT_EQ(SettingsFileText(SettingsRecord{}), kFirstSave);
}

TEST(Settings, SaveThenLoadGivesTheRecordBack) {
  TempDir dir;
  const std::string path = dir.Path("s.ini");
  const SettingsRecord r = Customised();
  SaveSettings(r, path);
  const std::string text = ReadFile(path);
  EXPECT_NE(text.find("BackColorS=$00563412\r\n"), std::string::npos);
  EXPECT_NE(text.find("LinkColorS=clBlue\r\n"), std::string::npos);
  EXPECT_NE(text.find("ALinkColorS=clHighlight\r\n"), std::string::npos);
  const SettingsLoad load = LoadSettings(path);
  EXPECT_TRUE(load.Complete());
  EXPECT_EQ(load.Record, r);
}

TEST(Settings, ValuesAreKeptWithinTheControlsLimits) {
  TempDir dir;
  const std::string path = dir.Path("limits.ini");
  WriteFile(path,
            "[Table Options]\nTableRows=abcd\nTableCols=0x10\nBorder=  thick  \n"
            "[Image Options]\nThumbHeight=1000\nThumbWidth=-70000\nJPEGQuality=0x20\n"
            "Filter=9\nProgressive=2\nJavaProtect=yes\nJavaOpen=0x1\n");
  SettingsLoad load = LoadSettings(path);
  const SettingsRecord& r = load.Record;
  EXPECT_EQ(r.TableRows, "4");
  EXPECT_EQ(r.TableCols, "16");
  EXPECT_EQ(r.Border, "thick");
  EXPECT_EQ(r.ThumbHeight, 300);
  EXPECT_EQ(r.ThumbWidth, 10);
  EXPECT_EQ(r.JPEGQuality, 32);
  EXPECT_EQ(r.Filter, -1);
  EXPECT_TRUE(r.Progressive);
  EXPECT_FALSE(r.JavaProtect);
  EXPECT_TRUE(r.JavaOpen);

  WriteFile(path, "[table options]\ntablerows=0\ntablecols=101\n[image options]\nfilter=3\n");
  load = LoadSettings(path);
  EXPECT_EQ(load.Record.TableRows, "1");
  EXPECT_EQ(load.Record.TableCols, "100");
  EXPECT_EQ(load.Record.Filter, 3);

  // Filter 9 and Progressive 2 are written back as -1 and 1.
  WriteFile(path, "[Image Options]\nFilter=9\nProgressive=2\n");
  SaveSettings(LoadSettings(path).Record, path);
  const TIniFile ini(path);
  EXPECT_EQ(ini.ReadString(kImageSection, "Filter", ""), "-1");
  EXPECT_EQ(ini.ReadString(kImageSection, "Progressive", ""), "1");
}

TEST(Settings, ColourTextsAreNormalisedByTheirPickers) {
  TempDir dir;
  const std::string path = dir.Path("c.ini");
  WriteFile(path,
            "[General Options]\nBackColorS=CLWHITE\nLinkColorS=$00FF0000\n"
            "ALinkColorS=16711680\nVLinkColorS=$0012ABCD\n");
  const SettingsLoad load = LoadSettings(path);
  ASSERT_TRUE(load.Complete());
  EXPECT_EQ(load.Record.ColorTexts[csBack], "clWhite");
  EXPECT_EQ(load.Record.ColorTexts[csLink], "clBlue");
  EXPECT_EQ(load.Record.ColorTexts[csALink], "clBlue");
  EXPECT_EQ(load.Record.ColorTexts[csVLink], "$0012ABCD");
  EXPECT_EQ(load.Record.Colors[csVLink], 0x12ABCDu);
}

TEST(Settings, BadColourStopsTheLoadAtThatPicker) {
  TempDir dir;
  const std::string path = dir.Path("bad.ini");
  WriteFile(path,
            "[General Options]\nTargetDir=/new/target\nLastDir=/new/pictures\n"
            "MetaTag=meta\nBackColorS=clRed\nLinkColorS=clPink\nALinkColorS=clLime\n"
            "VLinkColorS=$00123456\nCatTitle=Back\n"
            "[Table Options]\nTableRows=7\n[Image Options]\nJavaOpen=1\n");
  SettingsRecord current;
  current.TargetDir = "/old/target";
  current.Colors = {0x111111, 0x222222, 0x333333, 0x444444};
  current.AutoRotate = false;
  const SettingsLoad load = LoadSettings(path, current);
  ASSERT_FALSE(load.Complete());
  EXPECT_EQ(load.Error->Slot, csLink);
  EXPECT_EQ(load.Error->Text, "clPink");
  EXPECT_EQ(load.Error->Message, "'clPink' is not a valid integer value");
  EXPECT_EQ(load.ColorsApplied, 1);
  const SettingsRecord& r = load.Record;
  // Before the failing colour: applied.
  EXPECT_EQ(r.Colors[csBack], 0x0000FFu);
  EXPECT_EQ(r.ColorTexts[csBack], "clRed");
  EXPECT_EQ(r.LastDir, "/new/pictures");
  EXPECT_EQ(r.MetaTag, "meta");
  EXPECT_EQ(r.CatTitle, "Back");
  EXPECT_EQ(r.TableRows, "7");
  EXPECT_TRUE(r.JavaOpen);
  EXPECT_TRUE(r.AutoRotate);  // a file written before the key existed turns pictures upright
  // The failing picker and the later ones keep their colours; their texts are the file's.
  EXPECT_EQ(r.Colors[csLink], 0x222222u);
  EXPECT_EQ(r.Colors[csALink], 0x333333u);
  EXPECT_EQ(r.Colors[csVLink], 0x444444u);
  EXPECT_EQ(r.ColorTexts[csLink], "clPink");
  EXPECT_EQ(r.ColorTexts[csALink], "clLime");
  EXPECT_EQ(r.ColorTexts[csVLink], "$00123456");
  // The Target Directory field is not reached.
  EXPECT_EQ(r.TargetDir, "/old/target");
  EXPECT_EQ(load.TargetDirRead, "/new/target");
  try {
    load.ThrowIfFailed();
    ADD_FAILURE();
  } catch (const EColorTextError& e) {
    EXPECT_STREQ(e.what(), "'clPink' is not a valid integer value");
  }
  // A later save writes the bad text back unchanged.
  SaveSettings(r, path);
  EXPECT_EQ(TIniFile(path).ReadString(kGeneralSection, "LinkColorS", ""), "clPink");

  // An empty colour value is present and not a number either.
  WriteFile(path, "[General Options]\nBackColorS=\n");
  const SettingsLoad empty = LoadSettings(path);
  ASSERT_FALSE(empty.Complete());
  EXPECT_EQ(empty.ColorsApplied, 0);
  EXPECT_EQ(empty.Error->Message, "'' is not a valid integer value");
}

TEST(Settings, SavingIntoAnotherProgramsFileKeepsItsContent) {
  TempDir dir;
  const std::string path = dir.Path("shared.ini");
  WriteFile(path,
            "; Written by another program\n[Editor]\nFont=Mono\n\n"
            "[General Options]\n# mine\nPageTitle=Old\nUnrelated=keep me\n");
  SaveSettings(Customised(), path);
  const std::string text = ReadFile(path);
  EXPECT_EQ(text.rfind("; Written by another program\n[Editor]\nFont=Mono\n\n"
                       "[General Options]\n# mine\nPageTitle=Seite\nUnrelated=keep me\n",
                       0),
            0u)
      << text;
  EXPECT_EQ(LoadSettings(path).Record, Customised());
  const TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("Editor", "Font", ""), "Mono");
  EXPECT_EQ(ini.ReadString(kGeneralSection, "Unrelated", ""), "keep me");
}

TEST(Settings, SaveFailuresRaiseAndKeepTheOldFile) {
  TempDir dir;
  const std::string plain = dir.Path("plain");
  WriteFile(plain, "x");
  EXPECT_THROW(SaveSettings(SettingsRecord{}, plain + "/folivant.ini"), EIniWriteError);
  const std::string readonly = dir.Path("ro.ini");
  WriteFile(readonly, "[General Options]\nPageTitle=Kept\n");
  ASSERT_EQ(::chmod(readonly.c_str(), 0444), 0);
  try {
    SaveSettings(Customised(), readonly);
    ADD_FAILURE();
  } catch (const EIniWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + readonly);
  }
  EXPECT_EQ(ReadFile(readonly), "[General Options]\nPageTitle=Kept\n");
  EXPECT_EQ(LoadSettings(readonly).Record.PageTitle, "Kept");
}

TEST(Settings, CatalogOptionsFromARecord) {
  const CatalogOptions start;
  const CatalogOptions d = MakeCatalogOptions(SettingsRecord{});
  EXPECT_EQ(d.LinkColorHtml, start.LinkColorHtml);
  EXPECT_EQ(d.Filter, start.Filter);

  SettingsRecord r = Customised();
  r.ThumbHeight = 5000;  // a record from elsewhere still gives options within the limits
  const CatalogOptions o = MakeCatalogOptions(r, [](TColor) { return TColor{0x0A0B0C}; });
  EXPECT_EQ(o.TargetDir, "/srv/catalog");
  EXPECT_EQ(o.BackGrnd, "paper.jpg");
  EXPECT_EQ(o.BackColorHtml, "#123456");
  EXPECT_EQ(o.LinkColorHtml, "#0000FF");
  EXPECT_EQ(o.ALinkColorHtml, "#0C0B0A");  // system colour through the resolver
  EXPECT_EQ(o.VLinkColorHtml, "#000000");
  EXPECT_EQ(o.Border, "abc");
  EXPECT_EQ(o.TableCols, "5");
  EXPECT_EQ(o.ThumbHeight, 300);
  EXPECT_EQ(o.JPEGQuality, 10);
  EXPECT_EQ(o.Filter, 6);
  EXPECT_TRUE(o.Progressive && o.JavaProtect && o.JavaOpen);
  EXPECT_FALSE(o.AutoRotate);
}

}  // namespace
}  // namespace folivant
