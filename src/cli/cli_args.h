// The command line of folivant-build: GNU-style options, parsed without touching the system.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalog/catalog_options.h"
#include "imaging/types.h"
#include "settings/color_text.h"
#include "settings/option_schema.h"

namespace folivant {

struct OptionRow;

// Every option, as given. The settings options are kept as the settings file would hold them,
// in the order given (the last wins); unset means "take it from the settings".
struct CliOptions {
  std::vector<std::string> Inputs;  // pictures and folders, in the order given
  std::vector<std::pair<const OptionRow*, std::string>> Settings;
  // The value given last for a settings key.
  std::optional<std::string> Setting(std::string_view key) const;

  // Not settings: how this run reads and writes settings, how it shares its work, and what
  // the settings file does not store (the window starts those anew too).
  std::optional<std::string> SettingsFile;
  bool NoSettings = false;
  bool PrintSettings = false;
  std::optional<std::string> SaveSettingsFile;
  int Jobs = 0;                      // 0: the number of processors
  bool Force = false;                // reuse nothing the build record knows
  std::optional<std::string> Shard;  // "I/N", "auto" or "auto/N" (checked)
  bool PagesOnly = false;
  bool NoWait = false;  // another build writing into the target: stop instead of waiting
  std::optional<std::string> Align;  // "left", "center", "right" or "" (default)
  std::optional<TThumbMode> Mode;    // from the last of --thumb-height / --thumb-width
  bool FastDecode = false;           // reduced-size JPEG decoding
  std::optional<std::string> HeaderFile, FooterFile;
  bool Open = false;
  bool Quiet = false;
};

enum class CliAction { Build, Help, Version, BashCompletion, Usage };

struct CliParse {
  CliAction Action = CliAction::Build;
  CliOptions Options;
  std::string Error;  // for Usage: what was wrong
};

// args: the arguments after the program name. Never throws for bad arguments.
CliParse ParseCommandLine(const std::vector<std::string>& args);

// Share I of N from --shard: "I/N", or "auto" and "auto/N" from the environment of a
// scheduler (env looks a variable up, nullptr when unset): a Slurm job array
// (SLURM_ARRAY_TASK_ID, counted from SLURM_ARRAY_TASK_MIN by SLURM_ARRAY_TASK_STEP, and
// SLURM_ARRAY_TASK_COUNT; the ids must be evenly spaced, as 0-(N-1) or 1-N), a Kubernetes
// Indexed Job (JOB_COMPLETION_INDEX from 0) or GNU Parallel (PARALLEL_SEQ from 1); the last two
// need N. False with error set when it cannot. note, when given, is set to which variable gave
// the share when another scheduler's variable is set too.
bool ResolveShard(const std::string& spec, const std::function<const char*(const char*)>& env,
                  int& share, int& count, std::string& error, std::string* note = nullptr);

// A bash completion script for folivant-build made from the option table: options, the values
// of --filter, --align and the colours, folders for --target, files elsewhere.
std::string BashCompletionScript();

// --help: the flags from the option schema and the command line's own table.
std::string CliHelp();
extern const char* const kCliVersion;  // "folivant-build v1.7"

}  // namespace folivant
