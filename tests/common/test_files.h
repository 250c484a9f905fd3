// Helpers every test folder shares: a fresh folder per test, whole-file reads and writes, the
// committed fixtures, a file size limit that makes writes fail as on a full disk.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace folivant::test {

// A fresh folder under the system's temporary folder, removed with everything in it (also
// when a test left it read-only).
class TempDir {
 public:
  TempDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/folivant-test-XXXXXX";
    if (::mkdtemp(pattern.data())) dir_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(dir_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return dir_; }
  std::string operator/(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Names of the files in a folder, sorted; the build record's folder left out.
inline std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().filename() != ".folivant") names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Files may not grow past `bytes` while this lives: a write past it fails (EFBIG), as on a
// full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit small = saved_;
    small.rlim_cur = bytes;
    ok_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, SIG_DFL);
  }
  bool Ok() const { return ok_; }

 private:
  rlimit saved_{};
  bool ok_ = false;
};

#ifdef FOLIVANT_TEST_DATA
inline std::string DataPath(const std::string& rel) {
  // Built up in place: GCC 12 sees a false out-of-bounds copy in literal + "/" + rel.
  std::string path = FOLIVANT_TEST_DATA;
  return path.append("/").append(rel);
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& rel) {
  const std::string s = ReadFile(DataPath(rel));
  return {s.begin(), s.end()};
}
#endif

}  // namespace folivant::test
