#include "settings/settings_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace folivant {
namespace {

TEST(SettingsPath, BesideTheProgramWhenItsFolderIsWritable) {
  EXPECT_EQ(ChooseSettingsPath("/opt/fv", true, "/x/cfg", "/home/u"), "/opt/fv/folivant.ini");
  EXPECT_EQ(ChooseSettingsPath("/", true, nullptr, nullptr), "/folivant.ini");
}

TEST(SettingsPath, ConfigFolderOtherwise) {
  EXPECT_EQ(ChooseSettingsPath("/usr/bin", false, "/x/cfg", "/home/u"),
            "/x/cfg/folivant/folivant.ini");
  EXPECT_EQ(ChooseSettingsPath("/usr/bin", false, nullptr, "/home/u"),
            "/home/u/.config/folivant/folivant.ini");
  // A relative or empty XDG_CONFIG_HOME is not valid and is ignored.
  EXPECT_EQ(ChooseSettingsPath("/usr/bin", false, "rel", "/home/u"),
            "/home/u/.config/folivant/folivant.ini");
  EXPECT_EQ(ChooseSettingsPath("/usr/bin", false, "", "/home/u/"),
            "/home/u/.config/folivant/folivant.ini");
  EXPECT_EQ(ChooseSettingsPath("/usr/bin", false, nullptr, nullptr), "/usr/bin/folivant.ini");
}

TEST(SettingsPath, TheRunningProgram) {
  const std::string dir = ProgramDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.front(), '/');
  EXPECT_EQ(FileBesideProgram("readme.txt"), dir + "/readme.txt");
  // The test program's folder is writable, so the settings file lies beside it.
  if (::access(dir.c_str(), W_OK) == 0) {
    EXPECT_EQ(DefaultSettingsPath(), dir + "/folivant.ini");
  }
}

}  // namespace
}  // namespace folivant
