#include "settings/settings_path.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace folivant {

namespace {

std::string JoinPath(const std::string& dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  std::string out = dir;
  if (out.back() != '/') out.push_back('/');
  out.append(name);
  return out;
}

std::string HomeDir() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
    return found->pw_dir;
  return {};
}

// mkdir -p for the configuration folder; failures show up later as a failed save.
void MakeFolders(const std::string& dir) {
  for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos == dir.size() || dir[pos] == '/') (void)::mkdir(dir.substr(0, pos).c_str(), 0700);
  }
}

}  // namespace

std::string ProgramDir() {
  std::vector<char> buf(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buf.size()) {
      std::string exe(buf.data(), static_cast<std::size_t>(n));
      const std::size_t slash = exe.rfind('/');
      if (slash == std::string::npos) return {};
      return slash == 0 ? "/" : exe.substr(0, slash);
    }
    if (buf.size() >= (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
}

std::string FileBesideProgram(std::string_view name) {
  return JoinPath(ProgramDir(), name);
}

std::string ChooseSettingsPath(const std::string& program_dir, bool program_dir_writable,
                               const char* xdg_config_home, const char* home) {
  if (!program_dir.empty() && program_dir_writable) return JoinPath(program_dir, kSettingsFileName);
  std::string base;
  // XDG: a relative value is invalid and ignored.
  if (xdg_config_home && xdg_config_home[0] == '/')
    base = xdg_config_home;
  else if (home && *home)
    base = JoinPath(home, ".config");
  if (base.empty()) return JoinPath(program_dir, kSettingsFileName);
  return JoinPath(JoinPath(base, "folivant"), kSettingsFileName);
}

std::string DefaultSettingsPath() {
  const std::string dir = ProgramDir();
  const bool writable = !dir.empty() && ::access(dir.c_str(), W_OK) == 0;
  const std::string home = HomeDir();
  std::string path = ChooseSettingsPath(dir, writable, std::getenv("XDG_CONFIG_HOME"),
                                        home.empty() ? nullptr : home.c_str());
  if (!writable) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) MakeFolders(path.substr(0, slash));
  }
  return path;
}

}  // namespace folivant
