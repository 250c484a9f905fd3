#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "../common/test_files.h"

namespace folivant {
namespace {

using test::Listing;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(IniRead, LineEndsMarkBlanksDuplicatesAndJunk) {
  TempDir dir;
  for (const std::string eol : {"\r\n", "\n"}) {
    for (const bool bom : {false, true}) {
      const std::string path = dir.Path("a.ini");
      std::string text = bom ? "\xEF\xBB\xBF" : "";
      for (const char* line :
           {"[General Options]", "  PageTitle  =  Seite  ", "pagetitle=second copy",
            "just some words", "; Comment=not a key", "# Hash=not a key", "=no name",
            "Empty=", "[ table options ]", "TABLECOLS\t=\t7", "[General Options]",
            "NextTitle=from the repeated section"})
        text += std::string(line) + eol;
      WriteFile(path, text + "NoNewline=last");  // the final line has no line end
      const TIniFile ini(path);
      EXPECT_TRUE(ini.ReadError().empty());
      EXPECT_EQ(ini.ReadString("General Options", "PageTitle", "x"), "Seite");  // first wins
      EXPECT_EQ(ini.ReadString("GENERAL OPTIONS", "pageTITLE", "x"), "Seite");
      EXPECT_EQ(ini.ReadString("Table Options", "TableCols", "x"), "7");
      EXPECT_EQ(ini.ReadString("General Options", "NextTitle", "x"), "from the repeated section");
      EXPECT_EQ(ini.ReadString("General Options", "NoNewline", "x"), "last");
      EXPECT_EQ(ini.ReadString("General Options", "Empty", "default"), "");
      EXPECT_EQ(ini.ReadString("General Options", "Missing", "default"), "default");
      EXPECT_EQ(ini.ReadString("General Options", "; Comment", "d"), "d");
      EXPECT_EQ(ini.ReadString("General Options", "# Hash", "d"), "d");
      EXPECT_EQ(ini.ReadString("General Options", "just some words", "d"), "d");
      EXPECT_EQ(ini.ReadString("Other", "PageTitle", "d"), "d");
      // Untouched text is written back byte for byte, mark and line ends included.
      TIniFile copy(path);
      EXPECT_EQ(copy.Text(), text + "NoNewline=last" + eol);
    }
  }
}

TEST(IniRead, ValuesAreCutAt2047BytesOnCharacterBoundaries) {
  TempDir dir;
  const std::string path = dir.Path("long.ini");
  const std::string ascii(3000, 'a');
  // 2046 ASCII bytes, then a two-byte character that would straddle the cut.
  const std::string utf8 = std::string(2046, 'b') + "\xC3\xA9" + "tail";
  WriteFile(path, "[S]\nA=" + ascii + "\nU=" + utf8 + "\n");
  const TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("S", "A", ""), ascii.substr(0, 2047));
  EXPECT_EQ(ini.ReadString("S", "U", ""), std::string(2046, 'b'));
}

TEST(IniRead, Integers) {
  TempDir dir;
  const std::string path = dir.Path("int.ini");
  WriteFile(path,
            "[S]\nhex0x=0x20\nupperX=0X1f\nonly0x=0x\ndollar=$FF\nneg=-12\nplus=+7\n"
            "junk=12a\nempty=\nbig=2147483648\nmin=-2147483648\nallbits=$FFFFFFFF\n"
            "toolong=$100000000\nspace=1 2\nlead0=007\nbool2=2\nbool0=0\n");
  const TIniFile ini(path);
  const std::pair<const char*, int> ints[] = {
      {"hex0x", 32},   {"upperX", 31}, {"only0x", 5}, {"dollar", 255}, {"neg", -12},
      {"plus", 7},     {"junk", 5},    {"empty", 5},  {"big", 5},      {"min", INT32_MIN},
      {"allbits", -1}, {"toolong", 5}, {"space", 5},  {"lead0", 7},    {"absent", 5}};
  for (const auto& [key, value] : ints) EXPECT_EQ(ini.ReadInteger("S", key, 5), value) << key;
  EXPECT_TRUE(ini.ReadBool("S", "bool2", false));
  EXPECT_FALSE(ini.ReadBool("S", "bool0", true));
  EXPECT_TRUE(ini.ReadBool("S", "junk", true));
  EXPECT_FALSE(ini.ReadBool("S", "junk", false));
}

TEST(IniWrite, KeepsEverythingElseInPlace) {
  TempDir dir;
  const std::string path = dir.Path("other.ini");
  const std::string original =
      "; another program's settings\r\n"
      "[Window]\r\n"
      "Left = 10\r\n"
      "\r\n"
      "[general options]\r\n"
      "Theme=dark\r\n"
      "pagetitle = old\r\n"
      "\r\n"
      "; about the next section\r\n"
      "[Fonts]\r\n"
      "Size=9\r\n";
  WriteFile(path, original);
  TIniFile ini(path);
  ini.WriteString("General Options", "PageTitle", "new");   // replaced in place
  ini.WriteString("General Options", "NextTitle", "Next");  // after the section's last entry
  ini.WriteInteger("Image Options", "ThumbHeight", 96);     // new section at the end
  ini.WriteBool("Image Options", "Progressive", true);
  ini.UpdateFile();
  EXPECT_EQ(ReadFile(path),
            "; another program's settings\r\n"
            "[Window]\r\n"
            "Left = 10\r\n"
            "\r\n"
            "[general options]\r\n"
            "Theme=dark\r\n"
            "PageTitle=new\r\n"
            "NextTitle=Next\r\n"
            "\r\n"
            "; about the next section\r\n"
            "[Fonts]\r\n"
            "Size=9\r\n"
            "\r\n"
            "[Image Options]\r\n"
            "ThumbHeight=96\r\n"
            "Progressive=1\r\n");
  EXPECT_EQ(Listing(dir.Path()).size(), 1u);  // no temporary file left
}

TEST(IniWrite, NewFileLfFileAndHostileValues) {
  TempDir dir;
  const std::string fresh = dir.Path("new.ini");
  TIniFile a(fresh);
  EXPECT_TRUE(a.Absent());
  a.WriteString("S", "K", "line1\r\nline2\0x");
  a.WriteString("S", "K", std::string("v\0w\nx", 5));
  a.WriteInteger("S", "N", -7);
  a.UpdateFile();
  EXPECT_EQ(ReadFile(fresh), "[S]\r\nK=v w x\r\nN=-7\r\n");
  EXPECT_EQ(TIniFile(fresh).ReadString("S", "K", ""), "v w x");

  const std::string lf = dir.Path("lf.ini");
  WriteFile(lf, "\xEF\xBB\xBF[S]\nA=1");
  TIniFile b(lf);
  b.WriteString("s", "B", "2");
  b.UpdateFile();
  EXPECT_EQ(ReadFile(lf), "\xEF\xBB\xBF[S]\nA=1\nB=2\n");

  EXPECT_THROW(b.WriteString("", "K", "v"), std::invalid_argument);
  EXPECT_THROW(b.WriteString("S]", "K", "v"), std::invalid_argument);
  EXPECT_THROW(b.WriteString("S", "K=1", "v"), std::invalid_argument);
  EXPECT_THROW(b.WriteString("S", "K\n[X]", "v"), std::invalid_argument);
  EXPECT_THROW(b.WriteString("S", " K", "v"), std::invalid_argument);
}

TEST(IniWrite, FailuresRaiseAndLeaveTheOldFile) {
  TempDir dir;
  const std::string blocker = dir.Path("plain-file");
  WriteFile(blocker, "I am not a folder");
  const std::string readonly = dir.Path("readonly.ini");
  WriteFile(readonly, "[S]\r\nK=old\r\n");
  ASSERT_EQ(::chmod(readonly.c_str(), 0444), 0);
  const std::string folder_at_path = dir.Path("folder.ini");
  std::filesystem::create_directory(folder_at_path);

  for (const std::string& path :
       {blocker + "/settings.ini", dir.Path("missing-folder/settings.ini"), readonly,
        folder_at_path}) {
    TIniFile ini(path);
    ini.WriteString("S", "K", "new");
    try {
      ini.UpdateFile();
      ADD_FAILURE() << "no error for " << path;
    } catch (const EIniWriteError& e) {
      EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
      EXPECT_FALSE(e.Reason().empty());
    }
  }
  EXPECT_EQ(ReadFile(readonly), "[S]\r\nK=old\r\n");
  EXPECT_EQ(ReadFile(blocker), "I am not a folder");
  EXPECT_EQ(Listing(dir.Path()).size(), 3u);  // nothing left behind
}

TEST(IniWrite, TooLargeFileReadsEmptyAndIsNeverReplaced) {
  TempDir dir;
  const std::string path = dir.Path("huge.ini");
  const std::string big = "[S]\nK=v\n" + std::string(TIniFile::kMaxFileSize, ';');
  WriteFile(path, big);
  TIniFile ini(path);
  EXPECT_FALSE(ini.ReadError().empty());
  EXPECT_EQ(ini.ReadString("S", "K", "default"), "default");
  ini.WriteString("S", "K", "new");
  EXPECT_THROW(ini.UpdateFile(), EIniWriteError);
  EXPECT_EQ(ReadFile(path).size(), big.size());
}

TEST(IniWrite, KeepsModeAndFollowsSymbolicLinks) {
  TempDir dir;
  const std::string real = dir.Path("real.ini");
  const std::string link = dir.Path("link.ini");
  WriteFile(real, "[S]\nK=old\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);
  TIniFile ini(link);
  EXPECT_EQ(ini.ReadString("S", "K", ""), "old");
  ini.WriteString("S", "K", "new");
  ini.UpdateFile();
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(real), "[S]\nK=new\n");
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace folivant
