#include "cli/cli_run.h"

#include <spawn.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "catalog/catalog_rules.h"
#include "catalog/picture_folder.h"
#include "settings/color_text.h"
#include "settings/settings_path.h"

extern char** environ;

namespace folivant {
namespace fs = std::filesystem;

namespace {

constexpr const char* kProgram = "folivant-build";

// The lines of a header or footer file: LF or CR LF line ends; no empty line for a final one.
bool ReadLines(const std::string& path, std::vector<std::string>& lines, std::string& error) {
  constexpr std::uintmax_t kMaxBytes = 16u << 20;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    error = "cannot read " + path + ": not a file";
    return false;
  }
  if (fs::file_size(path, ec) > kMaxBytes) {
    error = "cannot read " + path + ": larger than 16 MB";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::string line;
  lines.clear();
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return true;
}

std::string Clock(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

// What the build reports, shown on standard error.
class CliObserver : public IBuildObserver {
 public:
  CliObserver(std::ostream& err, bool terminal, bool quiet, TBuildEngine& engine,
              std::atomic<bool>* interrupt, const std::vector<TPictureEntry>& pictures)
      : err_(err),
        terminal_(terminal && !quiet),
        quiet_(quiet),
        engine_(engine),
        interrupt_(interrupt),
        pictures_(pictures),
        start_(std::chrono::steady_clock::now()) {}

  void Status(const std::string& text) override {
    CheckInterrupt();
    static const std::string kOpening = "Opening file ";
    if (text.rfind(kOpening, 0) == 0) current_ = text.substr(kOpening.size());
    if (text == "Ready.") ClearBar();
    Draw(false);
  }
  void OverallProgress(int position, int maximum) override {
    CheckInterrupt();
    steps_ = position;
    maxSteps_ = maximum;
    Draw(false);
  }
  void CurrentProgress(int) override {
    CheckInterrupt();
    Draw(false);
  }
  bool AskCreateTarget(const std::string& dir) override {
    if (!quiet_) err_ << "Creating target directory " << dir << "\n";
    return true;
  }
  void KeptDifferentFile(const std::string& message) override {
    if (drawn_) err_ << "\r\x1b[K";
    drawn_ = false;
    err_ << kProgram << ": warning: " << message << "\n";
  }
  void Information(const std::string& message) override { message_ = message; }
  void Warning(const std::string& message) override { KeptDifferentFile(message); }
  void Error(const std::string& message) override { message_ = message; }
  void OpenDocument(const std::string& path) override {
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0) {
      err_ << kProgram << ": warning: cannot start xdg-open to show " << path << "\n";
    }
  }
  void PictureDone(int index) override {
    CheckInterrupt();
    ++done_;
    if (!terminal_ && !quiet_) {
      err_ << "[" << done_ << "/" << pictures_.size() << "] " << pictures_[index].Name << "\n";
    }
    Draw(true);
  }

  const std::string& Message() const { return message_; }
  int Done() const { return done_; }
  double Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  // The signal handler only sets flags; a Ctrl-C that came before the engine was known to it
  // is passed on at every report.
  void CheckInterrupt() {
    if (interrupt_ && interrupt_->load()) engine_.Cancel();
  }

  void Draw(bool force) {
    if (!terminal_ || finished_ || maxSteps_ <= 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    drawn_ = true;
    constexpr int kWidth = 24;
    const int filled = steps_ * kWidth / maxSteps_;
    const double elapsed = Elapsed();
    std::string name = current_;
    if (name.size() > 24) name = name.substr(0, 21) + "...";
    std::ostringstream line;
    line << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '-') << "] " << done_
         << "/" << pictures_.size() << "  " << std::left << std::setw(24) << name << "  "
         << Clock(elapsed);
    if (steps_ > 0 && steps_ < maxSteps_) {
      line << ", " << Clock(elapsed * (maxSteps_ - steps_) / steps_) << " left";
    }
    line << "\x1b[K";
    err_ << line.str() << std::flush;
  }
  void ClearBar() {
    if (drawn_) err_ << "\r\x1b[K" << std::flush;
    drawn_ = false;
    finished_ = true;  // the reports after "Ready." only reset the bars
  }

  std::ostream& err_;
  bool terminal_;
  bool quiet_;
  TBuildEngine& engine_;
  std::atomic<bool>* interrupt_;
  const std::vector<TPictureEntry>& pictures_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_{};
  bool drawn_ = false;
  bool finished_ = false;
  int steps_ = 0;
  int maxSteps_ = 0;
  int done_ = 0;
  std::string current_;
  std::string message_;
};

int Usage(std::ostream& err, const std::string& message) {
  err << kProgram << ": " << message << "\n"
      << "Try '" << kProgram << " --help' for more information.\n";
  return kExitUsage;
}

}  // namespace

std::vector<TPictureEntry> ExpandInputs(const std::vector<std::string>& inputs,
                                        std::string& error) {
  std::vector<TPictureEntry> pictures;
  for (const std::string& input : inputs) {
    std::error_code ec;
    const fs::file_status st = fs::status(input, ec);
    if (fs::is_directory(st)) {
      const std::vector<std::string> names = FolderPictureNames(input, error);
      if (!error.empty()) return {};
      for (const std::string& name : names) {
        pictures.push_back({name, (fs::path(input) / name).string()});
      }
    } else if (fs::is_regular_file(st)) {
      pictures.push_back({fs::path(input).filename().string(), input});
    } else {
      error = "cannot find picture or folder '" + input + "'";
      return {};
    }
  }
  return pictures;
}

SettingsRecord ApplyOptions(SettingsRecord r, const CliOptions& o) {
  if (o.Target) r.TargetDir = *o.Target;
  if (o.Rows) r.TableRows = std::to_string(*o.Rows);
  if (o.Cols) r.TableCols = std::to_string(*o.Cols);
  if (o.Border) r.Border = std::to_string(*o.Border);
  if (o.Cellpadding) r.Cellpadding = std::to_string(*o.Cellpadding);
  if (o.Cellspacing) r.Cellspacing = std::to_string(*o.Cellspacing);
  if (o.ThumbHeight) r.ThumbHeight = *o.ThumbHeight;
  if (o.ThumbWidth) r.ThumbWidth = *o.ThumbWidth;
  if (o.Quality) r.JPEGQuality = *o.Quality;
  if (o.Progressive) r.Progressive = *o.Progressive;
  if (o.AutoRotate) r.AutoRotate = *o.AutoRotate;
  if (o.Filter) r.Filter = *o.Filter;
  if (o.Title) r.ContentTitle = *o.Title;
  if (o.Meta) r.MetaTag = *o.Meta;
  if (o.Background) r.BackGrnd = *o.Background;
  if (o.Protect) r.JavaProtect = *o.Protect;
  if (o.ProtectText) r.JavaProtectText = *o.ProtectText;
  if (o.OpenInWindow) r.JavaOpen = *o.OpenInWindow;
  if (o.PageWord) r.PageTitle = *o.PageWord;
  if (o.PrevWord) r.PrevTitle = *o.PrevWord;
  if (o.NextWord) r.NextTitle = *o.NextWord;
  if (o.CatalogWord) r.CatTitle = *o.CatalogWord;
  for (int slot = 0; slot < kColorSlots; ++slot) {
    if (o.Colors[slot]) {
      r.Colors[slot] = *o.Colors[slot];
      r.ColorTexts[slot] = ColorToString(*o.Colors[slot]);
    }
  }
  return r;
}

std::string SettingsText(const SettingsRecord& record) {
  return SettingsFileText(record);
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliEnvironment& env) {
  const CliParse parse = ParseCommandLine(args);
  switch (parse.Action) {
    case CliAction::Usage:
      return Usage(err, parse.Error);
    case CliAction::Help:
      out << kCliHelp;
      return kExitOk;
    case CliAction::Version:
      out << kCliVersion << "\n";
      return kExitOk;
    case CliAction::BashCompletion:
      out << BashCompletionScript();
      return kExitOk;
    case CliAction::Build:
      break;
  }
  const CliOptions& opt = parse.Options;

  // Settings: the default file, another one, or none; the options win.
  SettingsRecord record;
  if (!opt.NoSettings) {
    std::string path;
    if (opt.SettingsFile) {
      path = *opt.SettingsFile;
      std::error_code ec;
      if (!fs::is_regular_file(path, ec)) return Usage(err, "cannot read settings file " + path);
    } else {
      path = DefaultSettingsPath();
    }
    const SettingsLoad load = LoadSettings(path, record);
    for (const std::string& problem : load.Problems(path))
      err << kProgram << ": warning: " << problem << "\n";
    record = load.Record;
  }
  record = ApplyOptions(record, opt);

  std::vector<std::string> header, footer;
  std::string error;
  if (opt.HeaderFile && !ReadLines(*opt.HeaderFile, header, error)) return Usage(err, error);
  if (opt.FooterFile && !ReadLines(*opt.FooterFile, footer, error)) return Usage(err, error);

  if (opt.SaveSettingsFile || opt.PrintSettings) {
    try {
      if (opt.SaveSettingsFile) SaveSettings(record, *opt.SaveSettingsFile);
      if (opt.PrintSettings) out << SettingsText(record) << std::flush;
    } catch (const std::exception& e) {
      err << kProgram << ": " << e.what() << "\n";
      return kExitFailed;
    }
    return kExitOk;
  }

  if (record.TargetDir.empty()) {
    return Usage(err, "no target folder: give --target DIR (or TargetDir in the settings)");
  }
  const std::vector<TPictureEntry> pictures = ExpandInputs(opt.Inputs, error);
  if (!error.empty()) return Usage(err, error);

  TBuildRequest request;
  request.Options = MakeCatalogOptions(record);
  request.Options.TableAlign = opt.Align.value_or(std::string());
  request.Options.ThumbMode = opt.Mode.value_or(TThumbMode::tmFixedHeight);
  request.Options.HeaderLines = header;
  request.Options.FooterLines = footer;
  request.Options.ShowInBrowser = opt.Open;
  request.Pictures = pictures;
  request.Params.JpegQuality = record.JPEGQuality;
  request.Jobs = opt.Jobs;
  request.CreateTargetParents = true;
  request.JpegPrescale = opt.FastDecode;
  request.Force = opt.Force;
  request.PagesOnly = opt.PagesOnly;
  if (opt.Shard && !ResolveShard(
                       *opt.Shard, [](const char* name) { return std::getenv(name); },
                       request.Share, request.Shares, error)) {
    return Usage(err, error);
  }

  TBuildEngine engine;
  CliObserver observer(err, env.ProgressIsTerminal, opt.Quiet, engine, env.Interrupt, pictures);
  if (env.RunningEngine) env.RunningEngine->store(&engine);
  const TBuildResult result = engine.Run(request, observer);
  if (env.RunningEngine) env.RunningEngine->store(nullptr);

  switch (result.Outcome) {
    case TBuildOutcome::boDone: {
      if (!opt.Quiet) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", observer.Elapsed());
        out << "Built " << result.PicturesDone << " pictures ("
            << result.PicturesDone - result.PicturesReused << " made, " << result.PicturesReused
            << " reused), ";
        if (request.Shares > 0) {
          out << "share " << request.Share << " of " << request.Shares << ", no catalog pages";
        } else {
          out << result.PagesWritten << " catalog pages";
        }
        out << " in " << record.TargetDir << " (" << seconds << " s)\n";
      }
      return kExitOk;
    }
    case TBuildOutcome::boCancelled:
      err << kProgram << ": interrupted: " << result.PicturesDone << " of " << pictures.size()
          << " pictures built in " << record.TargetDir << ", no catalog page written\n";
      return kExitInterrupted;
    case TBuildOutcome::boRefused:
      err << kProgram << ": " << (result.Message.empty() ? observer.Message() : result.Message)
          << "\n";
      return kExitFailed;
    case TBuildOutcome::boFailed:
      err << kProgram << ": " << result.Message << "\n";
      return kExitFailed;
  }
  return kExitFailed;
}

}  // namespace folivant
