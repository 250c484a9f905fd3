#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "../common/test_files.h"

namespace folivant {
namespace {

using test::Listing;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(IniRead, NamesValuesAndWhatIsNoKey) {
  TempDir dir;
  for (const std::string eol : {"\r\n", "\n"}) {
    for (const bool bom : {false, true}) {
      std::string text = bom ? "\xEF\xBB\xBF" : "";
      for (const std::string& line : std::vector<std::string>{
               "[General Options]", "  PageTitle  =  Seite  ", "pagetitle=second copy",
               "just some words", "; Comment=not a key", "# Hash=not a key", "=no name",
               "Empty=", "[ table options ]", "TABLECOLS\t=\t7", "[General Options]",
               "NextTitle=from the repeated section", "A=" + std::string(3000, 'a'),
               "U=" + std::string(2046, 'b') + "\xC3\xA9tail", "V=" + std::string(2047, 'c')})
        text += line + eol;
      WriteFile(dir / "a.ini", text + "NoNewline=last");
      const TIniFile ini(dir / "a.ini");
      EXPECT_TRUE(ini.ReadError().empty());
      // {section, key, value read with the default "d"}: the first copy wins, names are
      // trimmed and compared without regard to case, values are cut at 2047 bytes on a
      // character boundary.
      // clang-format off
      const std::string g = "General Options", cases[][3] = {
          {g, "PageTitle", "Seite"}, {"GENERAL OPTIONS", "pageTITLE", "Seite"},
          {"Table Options", "TableCols", "7"}, {g, "NextTitle", "from the repeated section"},
          {g, "NoNewline", "last"}, {g, "Empty", ""}, {g, "Missing", "d"}, {g, "; Comment", "d"},
          {g, "# Hash", "d"}, {g, "just some words", "d"}, {"Other", "PageTitle", "d"},
          {g, "A", std::string(2047, 'a')}, {g, "U", std::string(2046, 'b')},
          {g, "V", std::string(2047, 'c')}};
      // clang-format on
      for (const auto& c : cases) EXPECT_EQ(ini.ReadString(c[0], c[1], "d"), c[2]) << c[1];
      // Untouched text is written back byte for byte, mark and line ends included.
      EXPECT_EQ(ini.Text(), text + "NoNewline=last" + eol);
    }
  }
}

TEST(IniRead, Integers) {
  TempDir dir;
  WriteFile(dir / "int.ini",
            "[S]\nhex0x=0x20\nupperX=0X1f\nonly0x=0x\ndollar=$FF\nneg=-12\nplus=+7\njunk=12a\n"
            "empty=\nbig=2147483648\nmin=-2147483648\nbelow=-2147483649\nallbits=$FFFFFFFF\n"
            "toolong=$100000000\nspace=1 2\nlead0=007\nbool2=2\nbool0=0\n");
  const TIniFile ini(dir / "int.ini");
  const std::pair<const char*, int> ints[] = {
      {"hex0x", 32},  {"upperX", 31},     {"only0x", 5}, {"dollar", 255},
      {"neg", -12},   {"plus", 7},        {"junk", 5},   {"empty", 5},
      {"big", 5},     {"min", INT32_MIN}, {"below", 5},  {"allbits", -1},
      {"toolong", 5}, {"space", 5},       {"lead0", 7},  {"absent", 5}};
  for (const auto& [key, value] : ints) EXPECT_EQ(ini.ReadInteger("S", key, 5), value) << key;
  EXPECT_TRUE(ini.ReadBool("S", "bool2", false) && !ini.ReadBool("S", "bool0", true) &&
              ini.ReadBool("S", "junk", true));
}

TEST(IniWrite, KeepsEverythingElseInPlace) {
  TempDir dir;
  WriteFile(
      dir / "other.ini",
      "; another program's settings\r\n[Window]\r\nLeft = 10\r\n\r\n[general options]\r\n"
      "Theme=dark\r\npagetitle = old\r\n\r\n; about the next section\r\n[Fonts]\r\nSize=9\r\n");
  TIniFile ini(dir / "other.ini");
  ini.WriteString("General Options", "PageTitle", "new");   // replaced in place
  ini.WriteString("General Options", "NextTitle", "Next");  // after the section's last entry
  ini.WriteInteger("Image Options", "ThumbHeight", 96);     // new section at the end
  ini.WriteBool("Image Options", "Progressive", true);
  ini.UpdateFile();
  EXPECT_EQ(ReadFile(dir / "other.ini"),
            "; another program's settings\r\n[Window]\r\nLeft = 10\r\n\r\n[general options]\r\n"
            "Theme=dark\r\nPageTitle=new\r\nNextTitle=Next\r\n\r\n; about the next section\r\n"
            "[Fonts]\r\nSize=9\r\n\r\n[Image Options]\r\nThumbHeight=96\r\nProgressive=1\r\n");
  EXPECT_EQ(Listing(dir.Path()).size(), 1u);  // no temporary file left

  TIniFile fresh(dir / "new.ini");  // line ends and zero bytes in a value become blanks
  EXPECT_TRUE(fresh.Absent());
  fresh.WriteString("S", "K", std::string("v\0w\nx", 5));
  fresh.WriteInteger("S", "N", -7);
  fresh.UpdateFile();
  EXPECT_EQ(ReadFile(dir / "new.ini"), "[S]\r\nK=v w x\r\nN=-7\r\n");
  WriteFile(dir / "lf.ini", "\xEF\xBB\xBF[S]\nA=1");
  TIniFile lf(dir / "lf.ini");
  lf.WriteString("s", "B", "2");
  lf.UpdateFile();
  EXPECT_EQ(ReadFile(dir / "lf.ini"), "\xEF\xBB\xBF[S]\nA=1\nB=2\n");
  for (const auto& [section, key] :
       {std::pair{"", "K"}, {"S]", "K"}, {"S", "K=1"}, {"S", "K\n[X]"}, {"S", " K"}})
    EXPECT_THROW(lf.WriteString(section, key, "v"), std::invalid_argument) << section << key;
}

// A save that cannot be made raises "Unable to write to PATH" and leaves the old file and no
// temporary file: a folder that is a file or missing, a read-only file, a folder at the path,
// a disk that fills up part-way, a file too large to have been read.
TEST(IniWrite, FailuresRaiseAndLeaveTheOldFile) {
  TempDir dir;
  WriteFile(dir / "plain-file", "I am not a folder");
  WriteFile(dir / "readonly.ini", "[S]\r\nK=old\r\n");
  ASSERT_EQ(::chmod((dir / "readonly.ini").c_str(), 0444), 0);
  std::filesystem::create_directory(dir / "folder.ini");
  WriteFile(dir / "full.ini", "[Other]\r\nkeep=" + std::string(300, 'k') + "\r\n");
  WriteFile(dir / "huge.ini", "[S]\nK=v\n" + std::string(TIniFile::kMaxFileSize, ';'));
  const std::vector<std::string> before = Listing(dir.Path());
  for (const std::string name : {"plain-file/settings.ini", "missing/settings.ini", "readonly.ini",
                                 "folder.ini", "full.ini", "huge.ini"}) {
    TIniFile ini(dir / name);
    const bool file = std::filesystem::is_regular_file(dir / name);
    const std::string old = file ? ReadFile(dir / name) : "";
    ini.WriteString("S", "K", std::string(500, 'n'));
    try {
      test::FileSizeLimit limit(name == std::string("full.ini") ? 200 : RLIM_INFINITY);
      ASSERT_TRUE(limit.Ok());
      ini.UpdateFile();
      ADD_FAILURE() << "no error for " << name;
    } catch (const EIniWriteError& e) {
      EXPECT_EQ(std::string(e.what()), "Unable to write to " + (dir / name));
      EXPECT_FALSE(e.Reason().empty());
    }
    if (file) {
      EXPECT_EQ(ReadFile(dir / name), old) << name;
    }
  }
  EXPECT_EQ(Listing(dir.Path()), before);
  EXPECT_EQ(TIniFile(dir / "huge.ini").ReadString("S", "K", "d"), "d");  // read as empty
}

TEST(IniWrite, KeepsModeAndFollowsSymbolicLinks) {
  TempDir dir;
  WriteFile(dir / "real.ini", "[S]\nK=old\n");
  ASSERT_EQ(::chmod((dir / "real.ini").c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real.ini", (dir / "link.ini").c_str()), 0);
  TIniFile ini(dir / "link.ini");
  ini.WriteString("S", "K", "new");
  ini.UpdateFile();
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
  EXPECT_EQ(ReadFile(dir / "real.ini"), "[S]\nK=new\n");
  struct stat st {};
  ASSERT_EQ(::stat((dir / "real.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace folivant
