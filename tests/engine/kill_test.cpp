// A build killed at every file operation in turn (before each create, write, rename and
// removal), then built again after its pictures changed and one left the list: the rebuild
// must equal a fresh build, file for file, with no temporary file left.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "../common/pictures.h"
#include "catalog/atomic_file.h"
#include "catalog/engine/build_engine.h"

namespace folivant::test {
namespace {

int opsLeft = 0;  // in the child: file operations before the kill
void CountDown() {
  if (--opsLeft == 0) ::_exit(9);
}

// Name and content (hashed, so a difference is short to print) of every file.
std::map<std::string, std::size_t> Files(const std::string& dir) {
  std::map<std::string, std::size_t> files;
  for (const std::string& name : Listing(dir)) {
    files[name] = std::hash<std::string>()(ReadFile(dir + "/" + name));
  }
  return files;
}

TEST(KillHarness, ARebuildAfterAKillAtAnyFileOperationEqualsAFreshBuild) {
  InstallCodecs();
  // In memory where there is room: the record's sync would otherwise take most of the time.
  if (::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
  TempDir src;
  TBuildRequest request;
  request.Jobs = 1;
  auto pictures = [&](int version, int count) {
    request.Pictures.clear();
    for (int i = 1; i <= count; ++i) {
      const std::string name = "p" + std::to_string(i) + ".jpg";
      WriteJpeg(src / name, 16, 12, version * 10 + i);
      request.Pictures.push_back({name, src / name});
    }
  };
  auto build = [&](const std::string& dir) {
    request.Options.TargetDir = dir;
    IBuildObserver quiet;
    return TBuildEngine().Run(request, quiet).Outcome;
  };
  // Killed building version 1 into an empty folder, or version 2 over version 1.
  for (const bool over : {false, true}) {
    const int killed = over ? 2 : 1;
    TempDir fresh;
    pictures(killed + 1, 3);
    ASSERT_EQ(build(fresh.Path()), TBuildOutcome::boDone);
    const auto expected = Files(fresh.Path());
    int status = 9 << 8;  // as a killed child's
    for (int ops = 1; WEXITSTATUS(status) != 0; ++ops) {
      SCOPED_TRACE((over ? "over, killed at " : "killed at ") + std::to_string(ops));
      TempDir target;
      if (over) {
        pictures(1, 4);
        ASSERT_EQ(build(target.Path()), TBuildOutcome::boDone);
      }
      pictures(killed, 4);
      const pid_t child = ::fork();
      if (child == 0) {
        opsLeft = ops;
        SetFileOpHook(&CountDown);
        ::_exit(build(target.Path()) == TBuildOutcome::boDone ? 0 : 1);
      }
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 1) << status;
      pictures(killed + 1, 3);
      ASSERT_EQ(build(target.Path()), TBuildOutcome::boDone);
      ASSERT_EQ(Files(target.Path()), expected);
    }
  }
}

}  // namespace
}  // namespace folivant::test
