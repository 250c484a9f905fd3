// folivant-build as a function: settings, options, pictures, the build and its report.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

#include "catalog/engine/build_engine.h"
#include "cli/cli_args.h"
#include "settings/settings.h"

namespace folivant {

enum CliExit : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitInterrupted = 130 };

struct CliEnvironment {
  bool ProgressIsTerminal = false;  // standard error is a terminal: draw a progress bar
  // Set from a signal handler: the build is to stop as Cancel does.
  std::atomic<bool>* Interrupt = nullptr;
  // The engine of the running build, for the signal handler (nullptr when none runs).
  std::atomic<TBuildEngine*>* RunningEngine = nullptr;
};

// Pictures from the arguments: a file as it is, a folder's *.jpg *.jpeg *.gif *.png (any
// case) sorted by name without regard to case, leaving out hidden files and the thumbnails
// of the folder's other pictures. An argument that is neither file nor folder sets error.
std::vector<TPictureEntry> ExpandInputs(const std::vector<std::string>& inputs, std::string& error);

// The settings record with the command line's options laid over it.
SettingsRecord ApplyOptions(SettingsRecord record, const CliOptions& options);

// The record in settings-file layout, as SaveSettings writes it into a new file.
std::string SettingsText(const SettingsRecord& record);

// The whole program; returns its exit status. out gets the summary and --print-settings,
// err the progress, warnings and errors.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliEnvironment& env = {});

}  // namespace folivant
