#include "settings/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "../common/test_files.h"
#include "settings/color_text.h"
#include "settings/ini_file.h"

namespace folivant {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// The defaults, as the first save of a first run writes them: stored files depend on them.
constexpr const char* kFirstSave =
    "[General Options]\r\nTargetDir=\r\nLastDir=\r\nBackGrnd=\r\nContentTitle=\r\nMetaTag=\r\n"
    "BackColorS=clWhite\r\nLinkColorS=$00990000\r\nALinkColorS=$00990000\r\n"
    "VLinkColorS=clPurple\r\nPageTitle=Page\r\nPrevTitle=Previous\r\nNextTitle=Next\r\n"
    "CatTitle=Catalog\r\nStyle=classic\r\nLanguage=\r\nAlbums=0\r\nSort=name\r\n"
    "\r\n[Table Options]\r\nTableCols=4\r\nTableRows=4\r\nBorder=1\r\n"
    "Cellpadding=0\r\nCellspacing=2\r\n\r\n[Image Options]\r\nThumbHeight=96\r\nThumbWidth=70\r\n"
    "JPEGQuality=75\r\nProgressive=0\r\nFilter=-1\r\nJavaProtect=0\r\n"
    "JavaProtectText=Right Mouse Click Disabled!!!\r\nJavaOpen=0\r\nAutoRotate=1\r\n"
    "StripLocation=0\r\nVideos=1\r\n";

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
  r.Progressive = r.JavaProtect = r.JavaOpen = true;
  r.Filter = 6;
  r.JavaProtectText = "No!";
  r.AutoRotate = false;
  r.PageStyle = 1;
  r.Language = "de-CH";
  r.Window = WindowPlacement{-8, 20, 1000, 560, true};
  return r;
}

TEST(Settings, DefaultsSaveAndLoadRoundTrip) {
  TempDir dir;
  EXPECT_EQ(SettingsFileText(SettingsRecord{}), kFirstSave);
  const SettingsLoad absent = LoadSettings(dir / "absent.ini", Customised());
  EXPECT_TRUE(absent.Complete() && absent.FileProblem.empty());
  EXPECT_EQ(absent.Record, SettingsRecord{});
  // Into another program's file: its content stays where it was, ours reads back.
  WriteFile(dir / "s.ini",
            "; Written by another program\n[Editor]\nFont=Mono\n\n"
            "[General Options]\n# mine\nPageTitle=Old\nUnrelated=keep me\n");
  SaveSettings(Customised(), dir / "s.ini");
  const std::string text = ReadFile(dir / "s.ini");
  EXPECT_EQ(text.rfind("; Written by another program\n[Editor]\nFont=Mono\n\n"
                       "[General Options]\n# mine\nPageTitle=Seite\nUnrelated=keep me\n",
                       0),
            0u)
      << text;
  for (const char* line :
       {"BackColorS=$00563412\n", "LinkColorS=clBlue\n", "ALinkColorS=clHighlight\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(LoadSettings(dir / "s.ini").Record, Customised());
}

TEST(Settings, ValuesAreKeptWithinTheControlsLimits) {
  TempDir dir;
  WriteFile(dir / "l.ini",
            "[General Options]\nBackColorS=CLWHITE\nLinkColorS=$00FF0000\nALinkColorS=16711680\n"
            "VLinkColorS=$0012ABCD\n[Table Options]\nTableRows=abcd\nTableCols=0x10\n"
            "Border=  thick  \n[Image Options]\nThumbHeight=1000\nThumbWidth=-70000\n"
            "JPEGQuality=0x20\nFilter=9\nProgressive=2\nJavaProtect=yes\nJavaOpen=0x1\n");
  const SettingsRecord r = LoadSettings(dir / "l.ini").Record;
  EXPECT_EQ(r.TableRows + "|" + r.TableCols + "|" + r.Border, "4|16|thick");
  EXPECT_EQ(r.ThumbHeight * 1000 + r.ThumbWidth, 300010);
  EXPECT_EQ(r.JPEGQuality * 100 + r.Filter, 3199);
  EXPECT_TRUE(r.Progressive && !r.JavaProtect && r.JavaOpen);
  // Colour texts are normalised by their pickers.
  const std::array<std::string, kColorSlots> texts{"clWhite", "clBlue", "clBlue", "$0012ABCD"};
  EXPECT_EQ(r.ColorTexts, texts);
  EXPECT_EQ(r.Colors[csVLink], 0x12ABCDu);

  WriteFile(dir / "l.ini",
            "[table options]\ntablerows=0\ntablecols=101\n[image options]\nfilter=6\n");
  const SettingsRecord e = LoadSettings(dir / "l.ini").Record;
  EXPECT_EQ(e.TableRows + "|" + e.TableCols + "|" + std::to_string(e.Filter), "1|100|6");
}

// Every readable key is applied; a bad colour text leaves its picker's colour alone, stays as
// its text (a later save writes it back) and is reported by file and key.
TEST(Settings, BadColoursAreReportedAndEverythingElseApplied) {
  TempDir dir;
  WriteFile(dir / "bad.ini",
            "[General Options]\nTargetDir=/new/target\nLastDir=/new/pictures\nMetaTag=meta\n"
            "BackColorS=clRed\nLinkColorS=clPink\nALinkColorS=clLime\nVLinkColorS=\n"
            "CatTitle=Back\n[Table Options]\nTableRows=7\n[Image Options]\nJavaOpen=1\n");
  SettingsRecord current;
  current.Colors = {0x111111, 0x222222, 0x333333, 0x444444};
  current.AutoRotate = false;
  const SettingsLoad load = LoadSettings(dir / "bad.ini", current);
  const SettingsRecord& r = load.Record;
  EXPECT_EQ(r.TargetDir + "|" + r.LastDir + "|" + r.MetaTag + "|" + r.CatTitle + "|" + r.TableRows,
            "/new/target|/new/pictures|meta|Back|7");
  EXPECT_TRUE(r.JavaOpen && r.AutoRotate);  // a file from before the key turns pictures upright
  const std::array<TColor, kColorSlots> colours{0x0000FF, 0x222222, 0x00FF00, 0x444444};
  EXPECT_EQ(r.Colors, colours);
  const std::array<std::string, kColorSlots> texts{"clRed", "clPink", "clLime", ""};
  EXPECT_EQ(r.ColorTexts, texts);
  EXPECT_TRUE(load.ColorApplied(csALink) && !load.ColorApplied(csLink));
  const std::string p = dir / "bad.ini";
  const std::string tail = " is not a colour (a name such as clRed, or a number such as $000000FF)";
  EXPECT_EQ(load.Problems(p),
            (std::vector<std::string>{p + ": [General Options] LinkColorS=clPink" + tail,
                                      p + ": [General Options] VLinkColorS=" + tail}));
  SaveSettings(r, p);  // a later save writes the bad text back unchanged
  EXPECT_EQ(TIniFile(p).ReadString(kGeneralSection, "LinkColorS", ""), "clPink");
}

// A file that cannot be used changes nothing: the settings in hand are kept, and why is told.
TEST(Settings, UnusableFileChangesNothing) {
  TempDir dir;
  const std::string big = "[General Options]\nMetaTag=" + std::string(TIniFile::kMaxFileSize, 'x');
  const std::pair<std::string, std::string> cases[] = {
      {big, "larger than 4194304 bytes"},
      {"[General Options]\nPageTitle=a\n\x89PNG\r\n\x1A\n", "damaged: line 4 holds binary data"},
      {"[Fonts]\nSize=9\n", "not a settings file: it has none of the sections"}};
  for (const auto& [text, why] : cases) {
    WriteFile(dir / "x.ini", text);
    const SettingsLoad load = LoadSettings(dir / "x.ini", Customised());
    EXPECT_EQ(load.Record, Customised());
    EXPECT_EQ(load.FileProblem.rfind(why, 0), 0u) << load.FileProblem;
    EXPECT_FALSE(load.Complete());
  }
  WriteFile(dir / "x.ini", " \r\n");  // an empty file reads as one without keys
  EXPECT_EQ(LoadSettings(dir / "x.ini", Customised()).Record, SettingsRecord{});
}

}  // namespace
}  // namespace folivant
