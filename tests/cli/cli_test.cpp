#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "../engine/test_pictures.h"
#include "cli/cli_args.h"
#include "cli/cli_run.h"

namespace folivant {
namespace {

using test::Exists;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using test::WriteJpeg;

CliParse Parse(std::vector<std::string> args) {
  return ParseCommandLine(args);
}

struct Ran {
  int status;
  std::string out, err;
};
// "a b|c d" with sep '|' gives {"a b", "c d"}; empty text gives no arguments.
std::vector<std::string> Args(const std::string& text, char sep = ' ') {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string a; std::getline(in, a, sep);) out.push_back(a);
  return out;
}

Ran RunTool(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = RunCli(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(CliParse, GnuForms) {
  const CliParse p = Parse({"-o", "out", "-qj4", "--rows=3", "--cols", "5", "--thumb-w", "80",
                            "--filter", "Lanczos3", "--align", "center", "a.jpg", "--", "-b.jpg"});
  ASSERT_EQ(p.Action, CliAction::Build) << p.Error;
  const CliOptions& o = p.Options;
  EXPECT_EQ(o.Target, "out");
  EXPECT_TRUE(o.Quiet);
  EXPECT_EQ(o.Jobs, 4);
  EXPECT_EQ(o.Rows, 3);
  EXPECT_EQ(o.Cols, 5);
  EXPECT_EQ(o.ThumbWidth, 80);
  EXPECT_EQ(o.Mode, TThumbMode::tmFixedWidth);
  EXPECT_EQ(o.Filter, 5);
  EXPECT_EQ(o.Align, "center");
  EXPECT_EQ(o.Inputs, (std::vector<std::string>{"a.jpg", "-b.jpg"}));

  EXPECT_EQ(Parse({"-oout", "x"}).Options.Target, "out");
  EXPECT_EQ(Parse({"--target=a=b", "x"}).Options.Target, "a=b");
  EXPECT_EQ(Parse({"--align", "default", "x"}).Options.Align, "");
  EXPECT_EQ(Parse({"--thumb-width", "50", "--thumb-height", "60", "x"}).Options.Mode,
            TThumbMode::tmFixedHeight);
  EXPECT_EQ(Parse({"-", "x"}).Options.Inputs.size(), 2u);
}

TEST(CliParse, SwitchesWithAndWithoutValues) {
  CliOptions o = Parse({"--protect", "--open-in-window", "--progressive", "x"}).Options;
  EXPECT_EQ(o.Protect, true);
  EXPECT_FALSE(o.ProtectText);
  EXPECT_EQ(o.OpenInWindow, true);
  EXPECT_EQ(o.Progressive, true);
  o = Parse({"--protect=No copies", "--no-progressive", "x"}).Options;
  EXPECT_EQ(o.ProtectText, "No copies");
  EXPECT_EQ(o.Progressive, false);
  o = Parse({"--protect", "--no-protect", "x"}).Options;
  EXPECT_EQ(o.Protect, false);
  EXPECT_TRUE(Parse({"--no-settings", "--print-settings"}).Options.PrintSettings);
  EXPECT_EQ(Parse({"--save-settings", "f.ini"}).Options.SaveSettingsFile, "f.ini");
  EXPECT_EQ(Parse({"-h", "--bogus"}).Action, CliAction::Usage);
  EXPECT_EQ(Parse({"--version", "-h"}).Action, CliAction::Help);
  EXPECT_EQ(Parse({"-V"}).Action, CliAction::Version);
}

TEST(CliParse, ValuesOutsideTheWindowsLimitsAreUsageErrors) {
  for (const char* line : {"--rows 0 x",
                           "--rows 101 x",
                           "--cols -1 x",
                           "--border 31 x",
                           "--cellpadding 31 x",
                           "--cellspacing 40 x",
                           "--thumb-height 9 x",
                           "--thumb-width 301 x",
                           "--quality 101 x",
                           "--quality 5x x",
                           "--jobs 0 x",
                           "--rows 99999999999999 x",
                           "--filter gauss x",
                           "--align middle x",
                           "--link-color blue x",
                           "--vlink-color #12345 x",
                           "--bogus x",
                           "-Z x",
                           "--no x",
                           "--rows",
                           "--open=yes x",
                           "-o",
                           "",
                           "--settings a --no-settings x"}) {
    const std::vector<std::string> args = Args(line);
    const CliParse p = Parse(args);
    EXPECT_EQ(p.Action, CliAction::Usage) << ::testing::PrintToString(args);
    EXPECT_FALSE(p.Error.empty());
  }
  EXPECT_EQ(Parse({"--cellspacing", "39", "--quality", "10", "x"}).Action, CliAction::Build);
}

// Shares as given, and as the schedulers' environments give them.
TEST(CliParse, Shards) {
  const struct {
    const char* spec;
    std::map<std::string, std::string> env;
    int share, count;  // 0: refused
  } cases[] = {
      {"2/5", {}, 2, 5},
      {"5/5", {{"PARALLEL_SEQ", "1"}}, 5, 5},
      {"6/5", {}, 0, 0},
      {"0/5", {}, 0, 0},
      {"2/", {}, 0, 0},
      {"auto", {}, 0, 0},
      {"auto",
       {{"SLURM_ARRAY_TASK_ID", "7"},
        {"SLURM_ARRAY_TASK_MIN", "5"},
        {"SLURM_ARRAY_TASK_COUNT", "4"}},
       3,
       4},
      {"auto",
       {{"SLURM_ARRAY_TASK_ID", "9"},
        {"SLURM_ARRAY_TASK_MIN", "1"},
        {"SLURM_ARRAY_TASK_STEP", "4"},
        {"SLURM_ARRAY_TASK_COUNT", "3"}},
       3,
       3},
      {"auto/9",
       {{"SLURM_ARRAY_TASK_ID", "1"},
        {"SLURM_ARRAY_TASK_MIN", "1"},
        {"SLURM_ARRAY_TASK_COUNT", "4"}},
       0,
       0},
      {"auto/4", {{"JOB_COMPLETION_INDEX", "0"}}, 1, 4},
      {"auto/4", {{"JOB_COMPLETION_INDEX", "4"}}, 0, 0},
      {"auto", {{"JOB_COMPLETION_INDEX", "0"}}, 0, 0},
      {"auto/3", {{"PARALLEL_SEQ", "3"}}, 3, 3},
      {"auto/3", {{"PARALLEL_SEQ", "0"}}, 0, 0},
  };
  for (const auto& c : cases) {
    int share = 0, count = 0;
    std::string error;
    const bool ok = ResolveShard(
        c.spec,
        [&](const char* name) {
          const auto it = c.env.find(name);
          return it == c.env.end() ? nullptr : it->second.c_str();
        },
        share, count, error);
    EXPECT_EQ(ok, c.share > 0) << c.spec << ": " << error;
    EXPECT_EQ(share, c.share) << c.spec;
    EXPECT_EQ(count, c.count) << c.spec;
  }
  EXPECT_EQ(Parse({"--shard", "auto/3", "x"}).Options.Shard, "auto/3");
  EXPECT_EQ(Parse({"--shard", "x/3", "x"}).Action, CliAction::Usage);
  EXPECT_EQ(Parse({"--shard", "1/2", "--pages-only", "x"}).Action, CliAction::Usage);
}

TEST(CliParse, Colours) {
  EXPECT_EQ(ParseColorArg("#0080FF"), 0xFF8000u);
  EXPECT_EQ(ParseColorArg("#ffffff"), 0xFFFFFFu);
  EXPECT_EQ(ParseColorArg("$00990000"), 0x990000u);
  EXPECT_EQ(ParseColorArg("clnavy"), 0x800000u);
  EXPECT_EQ(ParseColorArg("clBtnFace"), 0x8000000Fu);
  EXPECT_FALSE(ParseColorArg("#GG0000"));
  EXPECT_FALSE(ParseColorArg("navy"));
  EXPECT_EQ(ParseFilterName("BSpline"), 4);
  EXPECT_EQ(ParseFilterName("none"), 0);
}

TEST(CliRun, HelpVersionAndUsage) {
  Ran r = RunTool({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.starts_with("Usage: folivant-build [OPTIONS] PICTURE|FOLDER..."));
  r = RunTool({"-V"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "folivant-build v1.7\n");
  r = RunTool({"--rows", "500", "x.jpg"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--rows"), std::string::npos);
  EXPECT_NE(r.err.find("--help"), std::string::npos);
}

class CliBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallCodecs();
    for (const char* name : {"c.jpg", "A.JPG", "b.jpeg", "d.txt", ".hidden.jpg"}) {
      WriteJpeg(pics / name, 40, 30, name[0]);
    }
  }
  TempDir pics, out;
};

TEST_F(CliBuild, BuildsAFolderAndSaysSo) {
  const std::string target = out / "new/deep";
  const Ran r = RunTool({"--no-settings", "-o", target, "--rows", "1", "--cols", "2", pics.Path()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::regex_match(
      r.out, std::regex("Built 3 pictures \\(3 made, 0 reused\\), 2 catalog pages in " + target +
                        " \\([0-9.]+ s\\)\n")))
      << r.out;
  EXPECT_NE(r.err.find("Creating target directory " + target), std::string::npos);
  EXPECT_NE(r.err.find("[1/3] A.JPG"), std::string::npos) << r.err;
  EXPECT_TRUE(Exists(target + "/page2.html"));
  EXPECT_TRUE(Exists(target + "/tnb.jpg"));
  EXPECT_FALSE(Exists(target + "/d.txt"));
  EXPECT_FALSE(Exists(target + "/.hidden.jpg"));
  // Order by name without regard to case: A.JPG, b.jpeg, c.jpg.
  const std::string page = ReadFile(target + "/page1.html");
  EXPECT_LT(page.find("tnA.jpg"), page.find("tnb.jpg"));

  // Quiet: nothing at all.
  const Ran q = RunTool({"--no-settings", "-q", "-o", out / "q", pics.Path()});
  EXPECT_EQ(q.status, 0);
  EXPECT_EQ(q.out, "");
  EXPECT_EQ(q.err, "");
}

TEST_F(CliBuild, ExitCodesOfFailures) {
  // Fewer than three pictures.
  Ran r = RunTool({"--no-settings", "-o", out.Path(), pics / "c.jpg", pics / "b.jpeg"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("You MUST select at least 3 files !"), std::string::npos);
  // A picture that does not load.
  WriteFile(pics / "zz.png", "not a png");
  r = RunTool({"--no-settings", "-o", out / "t", pics.Path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Cannot read picture zz.png"), std::string::npos) << r.err;
  // Nothing that exists, no target, an unreadable header file.
  EXPECT_EQ(RunTool({"--no-settings", "-o", out.Path(), pics / "nothing.jpg"}).status, 2);
  EXPECT_EQ(RunTool({"--no-settings", pics.Path()}).status, 2);
  EXPECT_EQ(
      RunTool({"--no-settings", "-o", out.Path(), "--header-file", pics / "nope", pics.Path()})
          .status,
      2);
  EXPECT_EQ(RunTool({"-s", pics / "missing.ini", "-o", out.Path(), pics.Path()}).status, 2);
}

TEST_F(CliBuild, OptionsReachThePages) {
  WriteFile(pics / "head.txt", "<p>top one</p>\r\n<p>top two</p>\n");
  const Ran r = RunTool(Args("--no-settings|-q|-o|" + out.Path() +
                                 "|--title|My Title|--meta|<meta name=\"x\">|--header-file|" +
                                 (pics / "head.txt") +
                                 "|--page-word|Seite|--background-color|#102030|--align|right"
                                 "|--border|3|--open-in-window|--thumb-width|50|" +
                                 pics.Path(),
                             '|'));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string page = ReadFile(out / "page1.html");
  for (const char* piece :
       {"<b>My Title</b>", "<meta name=\"x\">\r\n", "<p>top one</p>\r\n<p>top two</p>\r\n",
        "<title>Page 1 of 1</title>", "Seite 1 / 1", "bgcolor=\"#102030\"", "align=\"right\"",
        "border=\"3\"", "javascript:openpic(", "width=\"50\""}) {
    EXPECT_NE(page.find(piece), std::string::npos) << piece;
  }
}

TEST(CliSettings, PrintSettingsRoundTripsThroughSaveSettings) {
  TempDir dir;
  const std::vector<std::string> options = Args(
      "--rows 7 --cols 3 --link-color #FF0000 --vlink-color clNavy --title Title "
      "--quality 90 --filter mitchell --progressive --protect=Stop --thumb-height 120 "
      "-o /some/target");
  auto with = [&](std::vector<std::string> head) {
    head.insert(head.end(), options.begin(), options.end());
    return head;
  };
  const Ran printed = RunTool(with({"--no-settings", "--print-settings"}));
  ASSERT_EQ(printed.status, 0) << printed.err;
  EXPECT_TRUE(printed.out.starts_with("[General Options]\r\nTargetDir=/some/target\r\n"));
  EXPECT_NE(printed.out.find("LinkColorS=clRed\r\n"), std::string::npos) << printed.out;
  EXPECT_NE(printed.out.find("TableRows=7\r\n"), std::string::npos);
  EXPECT_NE(printed.out.find("JavaProtectText=Stop\r\n"), std::string::npos);

  // Saved into a file of another program: its own section stays.
  const std::string file = dir / "other.ini";
  WriteFile(file, "[Other]\r\nkey=value\r\n");
  ASSERT_EQ(RunTool(with({"--no-settings", "--save-settings", file})).status, 0);
  const std::string saved = ReadFile(file);
  EXPECT_TRUE(saved.starts_with("[Other]\r\nkey=value\r\n"));
  EXPECT_NE(saved.find(printed.out), std::string::npos);

  // Read back, nothing given: the same settings.
  const Ran again = RunTool({"-s", file, "--print-settings"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, printed.out);
  // And the command line still wins over the file.
  EXPECT_NE(RunTool({"-s", file, "--rows", "2", "--print-settings"}).out.find("TableRows=2\r\n"),
            std::string::npos);
}

TEST(CliInputs, FoldersSortedWithoutRegardToCaseAndThumbnailsLeftOut) {
  TempDir dir;
  for (const char* name :
       {"b.PNG", "a.jpg", "C.gif", "tna.jpg", "tnb.jpg", "x.bmp", ".h.jpg", "tnzz.jpg", "a.JPEG"}) {
    WriteFile(dir / name, "x");
  }
  std::filesystem::create_directory(dir / "sub.jpg");
  std::string error;
  const std::vector<TPictureEntry> got = ExpandInputs({dir.Path(), dir / "x.bmp"}, error);
  ASSERT_EQ(error, "");
  std::vector<std::string> names;
  for (const TPictureEntry& e : got) names.push_back(e.Name);
  // tna.jpg and tnb.jpg are thumbnails of a.jpg and b.PNG; tnzz.jpg belongs to no picture.
  EXPECT_EQ(names,
            (std::vector<std::string>{"a.JPEG", "a.jpg", "b.PNG", "C.gif", "tnzz.jpg", "x.bmp"}));
  EXPECT_EQ(got[0].Path, dir / "a.JPEG");
  EXPECT_EQ(got.back().Path, dir / "x.bmp");
  ExpandInputs({dir / "none"}, error);
  EXPECT_NE(error.find("none"), std::string::npos);
}

// Every long option of --help is in the man page and the other way round.
TEST(CliDocs, ManPageMatchesHelp) {
  const std::string man =
      ReadFile(std::string(FOLIVANT_TEST_SOURCE_DIR) + "/../../docs/folivant-build.1");
  ASSERT_FALSE(man.empty());
  auto longOptions = [](const std::string& text, const std::regex& re) {
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
         ++it) {
      found.insert((*it)[1]);
    }
    return found;
  };
  // The page's text without font changes and with plain hyphens.
  const std::string text = std::regex_replace(
      std::regex_replace(man, std::regex(R"(\\f[BIRP])"), ""), std::regex(R"(\\-)"), "-");
  const std::regex option(R"(--([a-z][a-z-]+))");
  EXPECT_EQ(longOptions(kCliHelp, option), longOptions(text, option));
}

// The real program, interrupted by Ctrl-C after its first picture: it finishes what it began,
// writes no catalog page and exits with 130.
TEST(CliProcess, InterruptFinishesPicturesBegunAndExits130) {
  InstallCodecs();
  TempDir pics, out;
  for (int i = 0; i < 12; ++i)
    WriteJpeg(pics / ("p" + std::to_string(10 + i) + ".jpg"), 1600, 1200, i);
  int errPipe[2];
  ASSERT_EQ(::pipe(errPipe), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(errPipe[1], STDERR_FILENO);
    ::close(errPipe[0]);
    ::close(errPipe[1]);
    const std::string target = out.Path();
    const std::string folder = pics.Path();
    ::execl(FOLIVANT_BUILD_BIN, "folivant-build", "--no-settings", "-j1", "--filter", "lanczos3",
            "-o", target.c_str(), folder.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(errPipe[1]);
  std::string err;
  char buf[256];
  bool signalled = false;
  for (;;) {
    const ssize_t n = ::read(errPipe[0], buf, sizeof buf);
    if (n <= 0) break;
    err.append(buf, static_cast<std::size_t>(n));
    if (!signalled && err.find("[1/12]") != std::string::npos) {
      ::kill(pid, SIGINT);
      signalled = true;
    }
  }
  ::close(errPipe[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << err;
  EXPECT_EQ(WEXITSTATUS(status), 130) << err;
  EXPECT_NE(err.find("interrupted"), std::string::npos) << err;
  EXPECT_FALSE(Exists(out / "page1.html"));
  EXPECT_TRUE(Exists(out / "tnp10.jpg"));
  EXPECT_FALSE(Exists(out / "tnp21.jpg"));
}

}  // namespace
}  // namespace folivant
