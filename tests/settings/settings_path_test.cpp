#include "settings/settings_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace folivant {
namespace {

TEST(SettingsPath, BesideTheProgramElseTheConfigFolder) {
  const struct {
    const char* dir;
    bool writable;
    const char *xdg, *home, *path;
  } cases[] = {{"/opt/fv", true, "/x/cfg", "/home/u", "/opt/fv/folivant.ini"},
               {"/", true, nullptr, nullptr, "/folivant.ini"},
               {"/usr/bin", false, "/x/cfg", "/home/u", "/x/cfg/folivant/folivant.ini"},
               {"/usr/bin", false, nullptr, "/home/u", "/home/u/.config/folivant/folivant.ini"},
               // A relative or empty XDG_CONFIG_HOME is not valid and is ignored.
               {"/usr/bin", false, "rel", "/home/u", "/home/u/.config/folivant/folivant.ini"},
               {"/usr/bin", false, "", "/home/u/", "/home/u/.config/folivant/folivant.ini"},
               {"/usr/bin", false, nullptr, nullptr, "/usr/bin/folivant.ini"}};
  for (const auto& c : cases)
    EXPECT_EQ(ChooseSettingsPath(c.dir, c.writable, c.xdg, c.home), c.path) << c.dir << c.writable;
  const std::string dir = ProgramDir();
  ASSERT_EQ(dir.substr(0, 1), "/");
  EXPECT_EQ(FileBesideProgram("readme.txt"), dir + "/readme.txt");
  if (::access(dir.c_str(), W_OK) == 0) {
    EXPECT_EQ(DefaultSettingsPath(), dir + "/folivant.ini");
  }
}

}  // namespace
}  // namespace folivant
