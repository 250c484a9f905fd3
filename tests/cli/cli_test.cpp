#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "../common/pictures.h"
#include "cli/cli_args.h"
#include "cli/cli_progress.h"
#include "cli/cli_run.h"
#include "cli/cli_signals.h"

namespace folivant {
namespace {

using test::Exists;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using test::WriteJpeg;

// "a b|c d" with sep '|' gives {"a b", "c d"}.
std::vector<std::string> Args(const std::string& text, char sep = ' ') {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string a; std::getline(in, a, sep);) out.push_back(a);
  return out;
}

CliParse Parse(const std::string& line) {
  return ParseCommandLine(Args(line));
}

struct Ran {
  int status;
  std::string out, err;
};
Ran RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunCli(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(CliParse, GnuForms) {
  const CliParse p =
      ParseCommandLine({"-o", "out", "-qj4", "--rows=3", "--cols", "5", "--thumb-w", "80", "--fil",
                        "Lanczos3", "--align", "center", "a.jpg", "--", "-b.jpg"});
  ASSERT_EQ(p.Action, CliAction::Build) << p.Error;
  const CliOptions& o = p.Options;
  EXPECT_EQ(*o.Setting("TargetDir") + *o.Align, "outcenter");
  EXPECT_TRUE(o.Quiet && o.Mode == TThumbMode::tmFixedWidth && o.Setting("Filter") == "5");
  EXPECT_EQ(std::to_string(o.Jobs) + *o.Setting("TableRows") + *o.Setting("TableCols") +
                *o.Setting("ThumbWidth"),
            "43580");
  EXPECT_EQ(o.Inputs, (std::vector<std::string>{"a.jpg", "-b.jpg"}));
  EXPECT_EQ(Parse("-oout x").Options.Setting("TargetDir"), "out");
  EXPECT_EQ(Parse("--target=a=b x").Options.Setting("TargetDir"), "a=b");
  EXPECT_EQ(Parse("--align default x").Options.Align, "");
  EXPECT_EQ(Parse("--thumb-width 50 --thumb-height 60 x").Options.Mode, TThumbMode::tmFixedHeight);
  // Switches and their values as the settings file holds them; the last one given wins.
  const auto settings = [](const CliOptions& s) {
    std::string out;
    for (const char* key : {"JavaProtect", "JavaProtectText", "JavaOpen", "Progressive"})
      out += s.Setting(key).value_or("-") + "|";
    return out;
  };
  EXPECT_EQ(settings(Parse("--protect --open-in-window --progressive x").Options), "1|-|1|1|");
  EXPECT_EQ(settings(ParseCommandLine({"--protect=No copies", "--no-progressive", "--protect",
                                       "--no-protect", "--link-color=#0080FF", "x"})
                         .Options),
            "0|No copies|-|0|");
  // Help wins over the version whatever their order; a bad option wins over both.
  const std::pair<const char*, CliAction> actions[] = {{"-h -V", CliAction::Help},
                                                       {"--version -h", CliAction::Help},
                                                       {"-V", CliAction::Version},
                                                       {"-h --bogus", CliAction::Usage}};
  for (const auto& [line, action] : actions) EXPECT_EQ(Parse(line).Action, action) << line;
}

TEST(CliParse, ValuesOutsideTheWindowsLimitsAreUsageErrors) {
  for (const std::string& line :
       Args("--rows 0 x|--rows 101 x|--cols -1 x|--border 31 x|--cellpadding 31 x|"
            "--cellspacing 40 x|--thumb-height 9 x|--thumb-width 301 x|--quality 101 x|"
            "--quality 5x x|--jobs 0 x|--rows 99999999999999 x|--filter gauss x|--align middle x|"
            "--link-color blue x|--vlink-color #12345 x|--bogus x|-Z x|--no x|--pr x|--rows|"
            "--open=yes x|-o|--settings a --no-settings x|",
            '|')) {
    const CliParse p = Parse(line);
    EXPECT_EQ(p.Action, CliAction::Usage) << line;
    EXPECT_FALSE(p.Error.empty());
  }
  EXPECT_EQ(ParseCommandLine({}).Action, CliAction::Usage);
  const CliParse edge = Parse("--rows 100 --cols 1 --border 30 --cellspacing 39 --quality 10 x");
  EXPECT_EQ(edge.Action, CliAction::Build) << edge.Error;
  const std::pair<const char*, TColor> colours[] = {{"#0080FF", 0xFF8000},
                                                    {"#ffffff", 0xFFFFFF},
                                                    {"$00990000", 0x990000},
                                                    {"clnavy", 0x800000},
                                                    {"clBtnFace", 0x8000000F}};
  for (const auto& [text, value] : colours) EXPECT_EQ(ParseColorArg(text), value) << text;
  EXPECT_FALSE(ParseColorArg("#GG0000") || ParseColorArg("navy"));
  EXPECT_EQ(ParseFilterName("BSpline"), 4);
}

// Shares as given, and as the schedulers' environments give them.
TEST(CliParse, Shards) {
  const struct {
    const char* spec;
    std::map<std::string, std::string> env;
    int share, count;       // 0: refused
    std::string says = "";  // in the note, or in the error when refused
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
      {"auto",  // ids 1,2,9: not a range
       {{"SLURM_ARRAY_TASK_ID", "2"},
        {"SLURM_ARRAY_TASK_MIN", "1"},
        {"SLURM_ARRAY_TASK_MAX", "9"},
        {"SLURM_ARRAY_TASK_COUNT", "3"}},
       0,
       0,
       "submit it as --array=0-2 or --array=1-3"},
      {"auto",
       {{"SLURM_ARRAY_TASK_ID", "2"},
        {"SLURM_ARRAY_TASK_MIN", "1"},
        {"SLURM_ARRAY_TASK_COUNT", "3"},
        {"PARALLEL_SEQ", "1"}},
       2,
       3,
       "share 2 of 3 from SLURM_ARRAY_TASK_ID=2 (PARALLEL_SEQ also set, not used)"},
      {"auto/4", {{"JOB_COMPLETION_INDEX", "0"}}, 1, 4},
      {"auto/4", {{"JOB_COMPLETION_INDEX", "4"}}, 0, 0},
      {"auto", {{"JOB_COMPLETION_INDEX", "0"}}, 0, 0},
      {"auto/3", {{"PARALLEL_SEQ", "3"}}, 3, 3},
      {"auto/3", {{"PARALLEL_SEQ", "0"}}, 0, 0},
  };
  for (const auto& c : cases) {
    int share = 0, count = 0;
    std::string error, note;
    const bool ok = ResolveShard(
        c.spec,
        [&](const char* name) {
          const auto it = c.env.find(name);
          return it == c.env.end() ? nullptr : it->second.c_str();
        },
        share, count, error, &note);
    EXPECT_NE((ok ? note : error).find(c.says), std::string::npos) << note << error;
    EXPECT_EQ(ok, c.share > 0) << c.spec << ": " << error;
    EXPECT_EQ(share, c.share) << c.spec;
    EXPECT_EQ(count, c.count) << c.spec;
  }
  EXPECT_EQ(Parse("--shard auto/3 x").Options.Shard, "auto/3");
  EXPECT_TRUE(Parse("--no-wait x").Options.NoWait);
  EXPECT_EQ(Parse("--shard x/3 x").Action, CliAction::Usage);
  EXPECT_EQ(Parse("--shard 1/2 --pages-only x").Action, CliAction::Usage);
}

TEST(CliRun, HelpVersionAndUsage) {
  for (const char* line : {"--help", "-h -V"}) {
    const Ran r = RunTool(Args(line));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("Usage: folivant-build [OPTIONS] PICTURE|FOLDER...")) << line;
  }
  EXPECT_EQ(RunTool({"-V"}).out, "folivant-build v1.7\n");
  Ran r = RunTool({"--rows", "500", "x.jpg"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.err.find("--rows") != std::string::npos &&
              r.err.find("--help") != std::string::npos);
  // The effective settings in the settings file's layout: the command line wins over the file.
  TempDir dir;
  WriteFile(dir / "s.ini", "[Other]\r\nkey=value\r\n[Table Options]\r\nTableRows=7\r\n");
  r = RunTool({"-s", dir / "s.ini", "--cols", "3", "--print-settings"});
  EXPECT_NE(r.out.find("[Table Options]\r\nTableCols=3\r\nTableRows=7\r\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(RunTool({"-s", dir / "s.ini", "--rows", "2", "--save-settings", dir / "s.ini"}).status,
            0);
  EXPECT_TRUE(ReadFile(dir / "s.ini")
                  .starts_with(
                      "[Other]\r\nkey=value\r\n[Table Options]\r\nTableRows=2\r\nTableCols=4\r\n"));
  // Header and footer files larger than 16 MB are refused before they are read.
  WriteFile(dir / "big.html", "");
  std::filesystem::resize_file(dir / "big.html", (16u << 20) + 1);
  for (const char* option : {"--header-file", "--footer-file"}) {
    r = RunTool({"--no-settings", "--print-settings", option, dir / "big.html"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("larger than 16 MB"), std::string::npos) << r.err;
  }
}

// The man page lists every flag --help lists (both come from the option tables), and no other.
TEST(CliRun, ManPageListsTheFlagsOfTheHelp) {
  const auto flags = [](const std::string& text, const std::regex& line) {
    std::set<std::string> out;
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
      out.insert(std::regex_replace((*it)[1].str(), std::regex(R"(\\)"), ""));
    return out;
  };
  const std::set<std::string> help =
      flags(RunTool({"--help"}).out, std::regex(R"(\n  (?:-., |    )--([a-z-]+))"));
  EXPECT_EQ(help.size(), 49u);
  EXPECT_EQ(flags(ReadFile(FOLIVANT_SOURCE_DIR "/docs/folivant-build.1"),
                  std::regex(R"(\.TP\n(?:\\fB\\-.\\fR, )?\\fB\\-\\-((?:[a-z]|\\-)+))")),
            help);
}

class CliBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"c.jpg", "A.JPG", "b.jpeg", "d.txt", ".hidden.jpg"})
      WriteJpeg(pics / name, 40, 30, name[0]);
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
  EXPECT_TRUE(
      r.err.starts_with("Reading folder " + pics.Path() + "\nCreating target directory " + target))
      << r.err;
  EXPECT_NE(r.err.find("[1/3] A.JPG"), std::string::npos) << r.err;
  EXPECT_TRUE(Exists(target + "/page2.html") && Exists(target + "/tnb.jpg"));
  EXPECT_FALSE(Exists(target + "/d.txt") || Exists(target + "/.hidden.jpg"));
  // By name without regard to case (A.JPG, b.jpeg, then c.jpg on page 2); thumbnails of the
  // default height.
  const std::string page = ReadFile(target + "/page1.html");
  EXPECT_LT(page.find("tnA.jpg"), page.find("tnb.jpg"));
  EXPECT_NE(page.find("width=\"128\" height=\"96\""), std::string::npos);
  const Ran q = RunTool({"--no-settings", "-q", "-o", out / "q", pics.Path()});
  EXPECT_EQ(q.status, 0);
  EXPECT_EQ(q.out + q.err, "");
  // In the singular: a share of one picture, then a catalog of one page.
  for (const char* share : {"--shard=1/3", "--force"}) {
    const std::string one = RunTool({"--no-settings", share, "-o", out / "q", pics.Path()}).out;
    EXPECT_TRUE(one.starts_with("Built 1 picture (") || one.find(", 1 catalog page in") != one.npos)
        << one;
  }
}

TEST_F(CliBuild, ExitCodesOfFailures) {
  WriteFile(pics / "zz.png", "not a png");
  const struct {
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
      {{"-o", out.Path(), pics / "c.jpg", pics / "b.jpeg"},
       1,
       "You MUST select at least 3 files !"},
      {{"-o", out.Path(), pics.Path()}, 1, "Cannot read picture zz.png"},
      {{"-o", out.Path(), pics / "nothing.jpg"}, 2, "nothing.jpg"},
      {{pics.Path()}, 2, "no target folder"},
      {{"-o", out.Path(), "--header-file", pics / "nope", pics.Path()}, 2, "nope"},
      {{"-o", pics / "c.jpg", pics.Path()}, 1, "c.jpg as the target folder: it is a file"},
      {{"-o", pics / "c.jpg/x", pics.Path()}, 1, "/x: " + pics / "c.jpg is not a folder"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "--no-settings");
    const Ran r = RunTool(args);
    EXPECT_EQ(r.status, c.status) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Creating"), std::string::npos) << r.err;
  }
  EXPECT_EQ(RunTool({"-s", pics / "missing.ini", "-o", out.Path(), pics.Path()}).status, 2);
}

TEST_F(CliBuild, OptionsReachThePages) {
  WriteFile(pics / "head.txt", "<p>top one</p>\r\n<p>top two</p>\n");
  const Ran r = RunTool(
      Args("--no-settings|-q|-o|" + out.Path() + "|--title|My Title|--meta|<meta name=\"x\">" +
               "|--header-file|" + (pics / "head.txt") +
               "|--page-word|Seite|--prev-word|Zurueck|--next-word|Weiter|--catalog-word|Katalog"
               "|--background-color|#102030|--align|right|--border|3|--rows|1|--cols|1|--thumb-"
               "width|50|" +
               pics.Path(),
           '|'));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string page = ReadFile(out / "page2.html"), last = ReadFile(out / "c_jpg.html");
  for (const std::string& piece :
       Args("<b>My Title</b>~<meta name=\"x\">\r\n~<p>top one</p>\r\n<p>top two</p>\r\n~"
            "<title>Page 2 of 3</title>~Seite 2 / 3~bgcolor=\"#102030\"~align=\"right\"~"
            "border=\"3\"~width=\"50\"~"
            "| << Zurueck Seite |</a><a href=\"page3.html\">| Weiter Seite >> |",
            '~'))
    EXPECT_NE(page.find(piece), std::string::npos) << piece;
  EXPECT_NE(last.find("Zurueck</a> | <a href=\"page3.html\""), std::string::npos);
  EXPECT_NE(last.find("Katalog</a>"), std::string::npos);
}

// Copying is shown by bytes, and the time left of the pictures is theirs, not the copies'.
TEST(CliProgressTest, CopiesByBytesAndTimeLeftOfThePictures) {
  const std::vector<TPictureEntry> pictures(3);
  double now;
  for (const bool terminal : {true, false}) {
    std::ostringstream err;
    now = 0;
    CliProgress progress(err, terminal, false, pictures, [&] { return now; });
    now = 2;
    progress.CopyProgress(12'300'000, 130'000'000);
    EXPECT_NE(err.str().find("Copying pictures 12.3 of 130 MB"), std::string::npos) << err.str();
    now = 100;
    progress.OverallProgress(0, 9);
    now = 110;
    progress.OverallProgress(3, 9);
    EXPECT_EQ(err.str().find("1:50, 0:20 left") != std::string::npos, terminal) << err.str();
  }
  EXPECT_EQ(AmountOf(25'500'000'000u, 40'000'000'000u), "25.5 of 40.0 GB");
}

// A folder gives its pictures sorted without regard to case, without hidden files and without
// the thumbnails of its own pictures; a file named alone is taken as it is.
TEST(CliInputs, FolderRules) {
  TempDir dir;
  for (const char* name : {"b.PNG", "a.jpg", "C.gif", "tna.jpg", "tnb.jpg", "x.bmp", ".h.jpg",
                           "tnzz.jpg", "a.JPEG", "D.jpg"})
    WriteFile(dir / name, "x");
  std::filesystem::create_directory(dir / "sub.jpg");
  std::string error;
  std::vector<std::string> names;
  for (const TPictureEntry& e : ExpandInputs({dir.Path(), dir / "x.bmp"}, error)) {
    names.push_back(e.Name);
    EXPECT_EQ(e.Path, dir / e.Name);
  }
  EXPECT_EQ(error, "");
  EXPECT_EQ(names, (std::vector<std::string>{"a.JPEG", "a.jpg", "b.PNG", "C.gif", "D.jpg",
                                             "tnzz.jpg", "x.bmp"}));
  ExpandInputs({dir / "none"}, error);
  EXPECT_NE(error.find("none"), std::string::npos);
}

// The real program, interrupted after its first picture by Ctrl-C, SIGTERM (timeout, Slurm) or
// SIGHUP (a closed terminal): it finishes what it began, writes no catalog page, leaves no
// temporary file and exits with 128 + the signal.
TEST(CliProcess, InterruptFinishesPicturesBegunAndExits128PlusSignal) {
  TempDir pics;
  for (int i = 0; i < 12; ++i)
    WriteJpeg(pics / ("p" + std::to_string(10 + i) + ".jpg"), 1600, 1200, i);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    TempDir out;
    int errPipe[2];
    ASSERT_EQ(::pipe(errPipe), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::dup2(errPipe[1], STDERR_FILENO);
      ::close(errPipe[0]);
      ::execl(FOLIVANT_BUILD_BIN, "folivant-build", "--no-settings", "-j1", "--filter", "lanczos3",
              "-o", out.Path().c_str(), pics.Path().c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(errPipe[1]);
    std::string err;
    char buf[256];
    for (ssize_t n; (n = ::read(errPipe[0], buf, sizeof buf)) > 0;) {
      const bool first = err.find("[1/12]") == std::string::npos;
      err.append(buf, static_cast<std::size_t>(n));
      if (first && err.find("[1/12]") != std::string::npos) ::kill(pid, sig);
    }
    ::close(errPipe[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << sig << err;
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig) << err;
    EXPECT_NE(err.find("interrupted"), std::string::npos) << err;
    EXPECT_TRUE(Exists(out / "tnp10.jpg") && !Exists(out / "tnp21.jpg"));
    for (const auto& entry : std::filesystem::directory_iterator(out.Path()))
      EXPECT_TRUE(entry.path().extension() != ".tmp" && entry.path().filename() != "page1.html")
          << entry.path();
  }
}

// The third interrupt ends the process even while its thread waits in a read that no handler
// can interrupt (here: one with the signals blocked, as a hung share's read is for handlers).
TEST(CliProcess, ThirdInterruptEndsABlockedProgram) {
  int block[2], ready[2];
  ASSERT_TRUE(::pipe(block) == 0 && ::pipe(ready) == 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    static CliInterrupts interrupts;
    WatchInterrupts(interrupts, false);
    char c = 'r';
    if (::write(ready[1], &c, 1) != 1) ::_exit(1);
    ::_exit(::read(block[0], &c, 1) == 1 ? 10 + interrupts.Count() : 1);
  }
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  for (const int sig : {SIGHUP, SIGINT, SIGTERM}) ::kill(pid, sig);
  int status = 0;
  for (int i = 0; i < 3000 && ::waitpid(pid, &status, WNOHANG) == 0; ++i) ::usleep(10000);
  if (::write(block[1], "x", 1) == 1) ::waitpid(pid, &status, 0);  // let a survivor go
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

}  // namespace
}  // namespace folivant
