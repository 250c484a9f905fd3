#include "cli/cli_run.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "catalog/catalog_rules.h"
#include "catalog/engine/album_build.h"
#include "catalog/engine/location_copy.h"
#include "catalog/picture_folder.h"
#include "cli/cli_progress.h"
#include "cli/cli_signals.h"
#include "settings/color_text.h"
#include "settings/settings_path.h"

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

int Usage(std::ostream& err, const std::string& message) {
  err << kProgram << ": " << message << "\n"
      << "Try '" << kProgram << " --help' for more information.\n";
  return kExitUsage;
}

}  // namespace

std::vector<TPictureEntry> ExpandInputs(const std::vector<std::string>& inputs, std::string& error,
                                        const std::function<void(const std::string&)>& reading,
                                        bool videos) {
  std::vector<TPictureEntry> pictures;
  for (const std::string& input : inputs) {
    std::error_code ec;
    const fs::file_status st = fs::status(input, ec);
    if (fs::is_directory(st)) {
      if (reading) reading(input);
      const std::vector<std::string> names = FolderPictureNames(input, error, videos);
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
  for (const auto& [row, text] : o.Settings) SetOptionText(*row, r, text);
  return r;
}

std::string SettingsText(const SettingsRecord& record) {
  return SettingsFileText(record);
}

bool CheckTargetFolder(const std::string& dir, std::string& error) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    error = "cannot use " + dir + " as the target folder: it is " +
            (S_ISREG(st.st_mode) ? "a file" : "not a folder") + " (give a folder with -o)";
    return false;
  }
  if (errno != ENOENT && errno != ENOTDIR) {
    error = "cannot use " + dir + " as the target folder: " + std::strerror(errno);
    return false;
  }
  // The folder is to be made: the nearest part of its path that exists must be a folder this
  // program may write in.
  for (fs::path at = dir; at.has_relative_path() && at != at.parent_path();) {
    at = at.parent_path();
    const std::string name = at.empty() ? "." : at.string();
    if (::stat(name.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) {
        error = "cannot make the target folder " + dir + ": " + name + " is not a folder";
        return false;
      }
      if (::access(name.c_str(), W_OK | X_OK) != 0) {
        error =
            "cannot make the target folder " + dir + " in " + name + ": " + std::strerror(errno);
        return false;
      }
      return true;
    }
    if (errno != ENOENT && errno != ENOTDIR) break;
    if (at.empty()) return true;
  }
  return true;  // the build's own attempt names the reason
}

namespace {

// The build request from the settings and options; false with error set for a bad --shard.
bool MakeRequest(const SettingsRecord& record, const CliOptions& opt, TBuildRequest& request,
                 std::string& note, std::string& error) {
  request.Options = MakeCatalogOptions(record);
  request.Options.TableAlign = opt.Align.value_or(std::string());
  request.Options.ThumbMode = opt.Mode.value_or(TThumbMode::tmFixedHeight);
  request.Options.ShowInBrowser = opt.Open;
  request.Params.JpegQuality = record.JPEGQuality;
  request.Jobs = opt.Jobs;
  request.CreateTarget = true;
  request.CreateTargetParents = true;
  request.JpegPrescale = opt.FastDecode;
  request.Force = opt.Force;
  request.PagesOnly = opt.PagesOnly;
  request.NoWait = opt.NoWait;
  return !opt.Shard || ResolveShard(
                           *opt.Shard, [](const char* name) { return std::getenv(name); },
                           request.Share, request.Shares, error, &note);
}

// The tree of albums of the folders given, in the order the settings ask for.
bool ReadAlbumTree(const std::vector<std::string>& inputs, const SettingsRecord& record,
                   TAlbumTree& tree, std::string& error,
                   const std::function<void(const std::string&)>& reading) {
  const TAlbumSort sort = static_cast<TAlbumSort>(record.Sort == 1);
  if (!ScanAlbumTree(inputs, record.TargetDir, sort, tree, error, reading, record.Videos))
    return false;
  if (!tree.Albums.empty() && tree.Albums.back().Total == 0) {
    error = "no pictures in the folders given, nor in their sub-folders";
    return false;
  }
  return true;
}

std::string Plural(int n, const char* one) {
  return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

int Report(const TBuildResult& result, const TBuildRequest& request, const CliOptions& opt,
           const CliProgress& observer, const CliEnvironment& env, std::ostream& out,
           std::ostream& err) {
  const std::string& dir = request.Options.TargetDir;
  switch (result.Outcome) {
    case TBuildOutcome::boDone: {
      if (opt.Quiet) return kExitOk;
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.1f", observer.Elapsed());
      out << "Built " << Plural(result.PicturesDone, "picture") << " ("
          << result.PicturesDone - result.PicturesReused << " made, " << result.PicturesReused
          << " reused), ";
      if (request.Shares > 0) {
        out << "share " << request.Share << " of " << request.Shares << ", no catalog pages";
      } else {
        out << Plural(result.PagesWritten, "catalog page");
      }
      out << " in " << dir << " (" << seconds << " s)\n";
      if (result.PicturesLocated > 0) out << LocatedPicturesText(result.PicturesLocated) << "\n";
      return kExitOk;
    }
    case TBuildOutcome::boCancelled:
      err << kProgram << ": interrupted: " << result.PicturesDone << " of "
          << request.Pictures.size() << " pictures built in " << dir
          << ", no catalog page written\n";
      return env.Interrupts ? env.Interrupts->ExitStatus() : kExitInterrupted;
    case TBuildOutcome::boRefused:
      err << kProgram << ": " << result.Message << "\n";
      return kExitFailed;
    case TBuildOutcome::boFailed:
      err << kProgram << ": " << result.Message << "\n";
      return kExitFailed;
  }
  return kExitFailed;
}

// The settings file the options ask for, with the options laid over it; false after a usage
// error has been written.
bool LoadRecord(const CliOptions& opt, std::ostream& err, SettingsRecord& record) {
  if (!opt.NoSettings) {
    std::string path;
    if (opt.SettingsFile) {
      path = *opt.SettingsFile;
      std::error_code ec;
      if (!fs::is_regular_file(path, ec)) {
        Usage(err, "cannot read settings file " + path);
        return false;
      }
    } else {
      path = DefaultSettingsPath();
    }
    const SettingsLoad load = LoadSettings(path, record);
    for (const std::string& problem : load.Problems(path))
      err << kProgram << ": warning: " << problem << "\n";
    record = load.Record;
  }
  record = ApplyOptions(record, opt);
  return true;
}

int SaveOrPrint(const SettingsRecord& record, const CliOptions& opt, std::ostream& out,
                std::ostream& err) {
  try {
    if (opt.SaveSettingsFile) SaveSettings(record, *opt.SaveSettingsFile);
    if (opt.PrintSettings) out << SettingsText(record) << std::flush;
  } catch (const std::exception& e) {
    err << kProgram << ": " << e.what() << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliEnvironment& env) {
  const CliParse parse = ParseCommandLine(args);
  switch (parse.Action) {
    case CliAction::Usage:
      return Usage(err, parse.Error);
    case CliAction::Help:
      out << CliHelp();
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
  SettingsRecord record;
  if (!LoadRecord(opt, err, record)) return kExitUsage;

  std::vector<std::string> header, footer;
  std::string error, note;
  if (opt.HeaderFile && !ReadLines(*opt.HeaderFile, header, error)) return Usage(err, error);
  if (opt.FooterFile && !ReadLines(*opt.FooterFile, footer, error)) return Usage(err, error);
  if (opt.SaveSettingsFile || opt.PrintSettings) return SaveOrPrint(record, opt, out, err);
  if (record.TargetDir.empty()) {
    return Usage(err, "no target folder: give --target DIR (or TargetDir in the settings)");
  }

  // The first line comes at once, also when a large folder takes a while to read.
  TBuildRequest request;
  const auto reading = [&](const std::string& folder) {
    if (!opt.Quiet) err << "Reading folder " << folder << "\n" << std::flush;
  };
  if (record.Albums) {
    auto tree = std::make_shared<TAlbumTree>();
    if (!ReadAlbumTree(opt.Inputs, record, *tree, error, reading)) return Usage(err, error);
    for (const std::string& warning : tree->Warnings) {
      err << kProgram << ": warning: " << warning << "\n";
    }
    request.Pictures = AlbumTreePictures(*tree);
    request.Tree = std::move(tree);
  } else {
    request.Pictures = ExpandInputs(opt.Inputs, error, reading, record.Videos);
  }
  if (!error.empty()) return Usage(err, error);
  if (!MakeRequest(record, opt, request, note, error)) return Usage(err, error);
  request.Options.HeaderLines = std::move(header);
  request.Options.FooterLines = std::move(footer);
  if (!note.empty() && !opt.Quiet) err << kProgram << ": " << note << "\n";
  if (!CheckTargetFolder(record.TargetDir, error)) {
    err << kProgram << ": " << error << "\n";
    return kExitFailed;
  }

  if (env.Interrupts && env.Interrupts->Count() > 0) {  // while the folders were read
    err << kProgram << ": interrupted before the build began\n";
    return env.Interrupts->ExitStatus();
  }
  TBuildEngine engine;
  CliProgress observer(err, env.ProgressIsTerminal, opt.Quiet, request.Pictures);
  if (env.Interrupts) env.Interrupts->Attach(&engine);
  const TBuildResult result = request.Tree ? RunAlbumTree(engine, request, *request.Tree, observer)
                                           : engine.Run(request, observer);
  if (env.Interrupts) env.Interrupts->Attach(nullptr);
  return Report(result, request, opt, observer, env, out, err);
}

}  // namespace folivant
