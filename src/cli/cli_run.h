// folivant-build as a function: settings, options, pictures, the build and its report.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "catalog/engine/build_engine.h"
#include "cli/cli_args.h"
#include "settings/settings.h"

namespace folivant {

enum CliExit : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitInterrupted = 130 };

class CliInterrupts;

struct CliEnvironment {
  bool ProgressIsTerminal = false;      // standard error is a terminal: draw a progress bar
  CliInterrupts* Interrupts = nullptr;  // Ctrl-C, SIGTERM and SIGHUP, when they are watched
};

// Pictures from the arguments: a file as it is, a folder's *.jpg *.jpeg *.gif *.png (any
// case) sorted by name without regard to case, leaving out hidden files and the thumbnails
// of the folder's other pictures. An argument that is neither file nor folder sets error.
// reading is told each folder before it is read.
std::vector<TPictureEntry> ExpandInputs(const std::vector<std::string>& inputs, std::string& error,
                                        const std::function<void(const std::string&)>& reading = {},
                                        bool videos = true);

// What can be known of the target folder before a build: false, with error naming what is in
// the way and why, when it is not a folder or cannot be made.
bool CheckTargetFolder(const std::string& dir, std::string& error);

// The settings record with the command line's options laid over it.
SettingsRecord ApplyOptions(SettingsRecord record, const CliOptions& options);

// The record in settings-file layout, as SaveSettings writes it into a new file.
std::string SettingsText(const SettingsRecord& record);

// The whole program; returns its exit status. out gets the summary and --print-settings,
// err the progress, warnings and errors.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliEnvironment& env = {});

}  // namespace folivant
