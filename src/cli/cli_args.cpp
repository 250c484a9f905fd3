#include "cli/cli_args.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <string_view>

#include "catalog/version.h"

namespace folivant {

const char* const kCliVersion = "folivant-build " FOLIVANT_VERSION_TEXT;

namespace {

constexpr const char* kHelpTop =
    R"(Usage: folivant-build [OPTIONS] PICTURE|FOLDER...

Builds an HTML picture catalog: a JPEG thumbnail and a page for every picture, and numbered
catalog pages (page1.html, page2.html, ...) with tables of thumbnails. Pictures are taken in
the order given; a FOLDER adds its *.jpg, *.jpeg, *.gif, *.png, *.webp, *.heic, *.heif,
*.avif, *.tif and *.tiff files and its *.mp4, *.m4v, *.mov, *.webm, *.mkv, *.avi and *.3gp
video clips (any letter case), sorted by name without regard to case, leaving out hidden
files and the thumbnails (tnNAME.jpg) and web copies of the folder's other pictures. At
least 3 pictures are needed (an album of --albums needs one).

Pictures are copied into the target folder unless a file of that name is there already (that
file is then the one used). HEIC, HEIF and TIFF pictures, which browsers do not show, also
get a web copy: a JPEG of the whole picture named after the picture's full name with .jpg
added (IMG_1.HEIC.jpg), which their page shows. A build whose thumbnail, page or web copy
would take the name of one of its pictures, or a web copy that of another file it makes,
stops before writing anything. A video clip gets a poster (IMG_2.MOV.jpg), a thumbnail of
it with a play mark and a page that plays the clip; a clip browsers do not play (HEVC,
MPEG-4 Part 2, ProRes, most AVI) also gets an H.264 web copy (IMG_2.MOV.mp4), which its
page plays. Options given here win over the settings file.

A build keeps a record of what it made from what in DIR/.folivant. The next build into DIR
decodes only pictures that changed or whose thumbnail options changed, writes only files
whose bytes change, replaces the copies it made of pictures that changed, and removes the
files it made that no longer belong; files it did not make are never removed.
)";

constexpr const char* kHelpGroups[] = {"Where and how", "Table", "Thumbnails", "Pages"};
constexpr const char* kHelpPagesEnd =
    "A colour C is a name (clWhite, clNavy, ...), $00BBGGRR or #RRGGBB.";

constexpr const char* kHelpEnd = R"(
Albums: folivant-build --albums -o ~/www/photos ~/Pictures builds ~/Pictures/2024/Holiday
into ~/www/photos/2024/Holiday, and so every folder holding pictures at any depth (hidden
folders and the target left out; a link to a folder followed once, a loop refused). An
album's first page shows its sub-albums (cover, name, number of pictures) above its own
pictures, and every page below the top links up. A folder's album.txt gives its title (first
line) and description (the rest). Any number of pictures makes an album.

Interrupts: Ctrl-C, SIGTERM and SIGHUP count alike. The first finishes the copy and the
pictures already begun and writes no catalog page; the second stops at once, dropping the copy
being made; the third ends the program on the spot, also while it waits on a read that does
not return (a temporary file left then is removed by the next build into the folder).

Exit status: 0 built, 1 the build failed (the message names the file), 2 bad usage,
128 + the signal when interrupted: 130 Ctrl-C, 143 SIGTERM, 129 SIGHUP.
)";

enum class Arg { None, Required, Optional };

// The flags that are no settings option: they choose the settings file, share the work, or
// set what the settings file does not store (alignment, thumbnail mode, header and footer,
// opening the browser, reduced decoding); the option schema holds the others.
enum class Opt {
  Settings,
  NoSettings,
  PrintSettings,
  SaveSettings,
  Jobs,
  Force,
  Shard,
  PagesOnly,
  NoWait,
  Open,
  Quiet,
  Help,
  Version,
  Align,
  FastDecode,
  HeaderFile,
  FooterFile,
  BashCompletion,
  Setting,  // a row of the option schema
};

struct OptSpec {
  std::string_view Long;
  char Short = 0;
  Arg Kind = Arg::None;
  Opt Id = Opt::Setting;
  ValueKind Values = ValueKind::Text;
  HelpGroup Group = HelpGroup::Where;
  int HelpAt = 0;
  const char* ValueName = nullptr;
  const char* Help = nullptr;  // none: hidden, left out of the completion, never abbreviated
  const OptionRow* Row = nullptr;
  bool Off = false;  // the row's NoFlag
};

using G = HelpGroup;
using V = ValueKind;

const OptSpec kCliFlags[] = {
    {"settings", 's', Arg::Required, Opt::Settings, V::File, G::Where, 1, "FILE",
     "read FILE instead of the default settings file"},
    {"no-settings", 0, Arg::None, Opt::NoSettings, V::Text, G::Where, 2, nullptr,
     "read no settings file: built-in defaults only"},
    {"print-settings", 0, Arg::None, Opt::PrintSettings, V::Text, G::Where, 3, nullptr,
     "print the effective settings (settings file layout) and exit"},
    {"save-settings", 0, Arg::Required, Opt::SaveSettings, V::File, G::Where, 4, "FILE",
     "write the effective settings into FILE and exit (other sections\nof FILE are kept)"},
    {"jobs", 'j', Arg::Required, Opt::Jobs, V::Text, G::Where, 5, "N",
     "pictures processed at once (default: the number of processors)"},
    {"force", 0, Arg::None, Opt::Force, V::Text, G::Where, 6, nullptr,
     "make every thumbnail and page again, trusting nothing the build\nrecord says"},
    {"shard", 0, Arg::Required, Opt::Shard, V::Text, G::Where, 7, "I/N",
     "build share I of N: pictures I, I+N, I+2N, ... of the list (their\n"
     "thumbnails, pages and copies), no catalog pages. auto or auto/N\n"
     "takes I (and N) from a Slurm job array (SLURM_ARRAY_TASK_ID),\n"
     "a Kubernetes Indexed Job (JOB_COMPLETION_INDEX) or GNU Parallel\n"
     "(PARALLEL_SEQ); the last two need N"},
    {"pages-only", 0, Arg::None, Opt::PagesOnly, V::Text, G::Where, 8, nullptr,
     "once every share is built: write the catalog pages (same pictures\n"
     "and options); fails naming the pictures no share has built"},
    {"no-wait", 0, Arg::None, Opt::NoWait, V::Text, G::Where, 9, nullptr,
     "stop at once when another build is writing into the target folder"},
    {"open", 0, Arg::None, Opt::Open, V::Text, G::Where, 10, nullptr,
     "open page1.html in the browser afterwards (xdg-open)"},
    {"quiet", 'q', Arg::None, Opt::Quiet, V::Text, G::Where, 11, nullptr,
     "print nothing but errors"},
    {"help", 'h', Arg::None, Opt::Help, V::Text, G::Where, 12, nullptr, "show this help and exit"},
    {"version", 'V', Arg::None, Opt::Version, V::Text, G::Where, 13, nullptr,
     "show the version and exit"},
    {"align", 0, Arg::Required, Opt::Align, V::Align, G::Table, 5, "WHERE",
     "left, center, right or default"},
    {"fast-decode", 0, Arg::None, Opt::FastDecode, V::Text, G::Thumbnails, 6, nullptr,
     "decode a large JPEG at 1/2, 1/4 or 1/8 of its size when that\n"
     "still leaves twice the thumbnail's size (several times faster;\n"
     "thumbnails differ slightly from those of a whole decode)"},
    {"header-file", 0, Arg::Required, Opt::HeaderFile, V::File, G::Pages, 3, "FILE",
     "its lines go at the top of every page body"},
    {"footer-file", 0, Arg::Required, Opt::FooterFile, V::File, G::Pages, 4, "FILE",
     "its lines go near the end of every page"},
    {"bash-completion", 0, Arg::None, Opt::BashCompletion},
};

// The command line's flags and the schema's, in --help's order.
std::vector<OptSpec> MakeFlags() {
  std::vector<OptSpec> flags(std::begin(kCliFlags), std::end(kCliFlags));
  for (const OptionRow& row : OptionRows()) {
    if (!row.Flag) continue;
    const bool isSwitch = row.Type == OptionType::Bool;
    const Arg kind = !isSwitch ? Arg::Required : row.ValueName ? Arg::Optional : Arg::None;
    flags.push_back({row.Flag, row.Short, kind, Opt::Setting, row.Values, row.Group, row.HelpAt,
                     row.ValueName, row.Help, &row});
    if (row.NoFlag) {
      flags.push_back({row.NoFlag, 0, Arg::None, Opt::Setting, V::Text, row.Group, row.HelpAt,
                       nullptr, row.NoHelp, &row, true});
    }
  }
  std::stable_sort(flags.begin(), flags.end(), [](const OptSpec& a, const OptSpec& b) {
    return std::pair(a.Group, a.HelpAt) < std::pair(b.Group, b.HelpAt);
  });
  return flags;
}

const std::vector<OptSpec>& Flags() {
  static const std::vector<OptSpec> flags = MakeFlags();
  return flags;
}

// An exact long name, else the one long name it abbreviates; nullptr with why in error.
const OptSpec* FindLong(std::string_view name, std::string& error) {
  const OptSpec* found = nullptr;
  int matches = 0;
  for (const OptSpec& spec : Flags()) {
    if (spec.Long == name) return &spec;
    if (spec.Help && spec.Long.substr(0, name.size()) == name) {
      found = &spec;
      ++matches;
    }
  }
  if (matches == 1) return found;
  error = matches == 0 ? "unknown option '--" + std::string(name) + "'"
                       : "ambiguous option '--" + std::string(name) + "'";
  return nullptr;
}

constexpr std::string_view kAlignWords[] = {"left", "center", "right", "default"};

const OptSpec* FindShort(char c) {
  for (const OptSpec& spec : Flags()) {
    if (spec.Short == c) return &spec;
  }
  return nullptr;
}

constexpr int kMaxShares = 1000000;

// A settings option: its value as the settings file holds it. An on-flag's optional value
// sets the row's ValueKey; the thumbnail sizes also choose the mode.
bool ApplySetting(const OptSpec& spec, const std::optional<std::string>& value, CliParse& parse) {
  CliOptions& o = parse.Options;
  const OptionRow& row = *spec.Row;
  if (row.Type == OptionType::Bool) {
    o.Settings.emplace_back(&row, spec.Off ? "0" : "1");
    if (value) o.Settings.emplace_back(FindOption(row.ValueKey), *value);
    return true;
  }
  const auto text = OptionArgument(row, "--" + std::string(spec.Long), *value, parse.Error);
  if (!text) return false;
  o.Settings.emplace_back(&row, *text);
  if (row.Int == &SettingsRecord::ThumbHeight) o.Mode = TThumbMode::tmFixedHeight;
  if (row.Int == &SettingsRecord::ThumbWidth) o.Mode = TThumbMode::tmFixedWidth;
  return true;
}

bool ApplyShard(const std::string& arg, CliParse& parse) {
  // auto is resolved from the environment when the build starts; the rest is checked now.
  const std::string numbers = arg == "auto"              ? "1/1"
                              : arg.starts_with("auto/") ? "1" + arg.substr(4)
                                                         : arg;
  int share = 0, count = 0;
  std::string error;
  const auto none = [](const char*) -> const char* { return nullptr; };
  if (!ResolveShard(numbers, none, share, count, error)) {
    parse.Error = "invalid value '" + arg + "' for --shard (I/N with 1 <= I <= N, auto or auto/N)";
    return false;
  }
  parse.Options.Shard = arg;
  return true;
}

bool ApplyAlign(const std::string& arg, CliParse& parse) {
  const std::string where = LowerText(arg);
  if (std::find(std::begin(kAlignWords), std::end(kAlignWords), where) == std::end(kAlignWords)) {
    parse.Error = "invalid value '" + arg + "' for --align (left, center, right or default)";
    return false;
  }
  parse.Options.Align = where == "default" ? std::string() : where;
  return true;
}

// Applies one flag with its argument; false with error set when the argument is bad.
bool Apply(const OptSpec& spec, const std::optional<std::string>& value, CliParse& parse) {
  CliOptions& o = parse.Options;
  const std::string arg = value.value_or(std::string());
  switch (spec.Id) {
    case Opt::Setting:
      return ApplySetting(spec, value, parse);
    case Opt::Settings:
      o.SettingsFile = arg;
      break;
    case Opt::NoSettings:
      o.NoSettings = true;
      break;
    case Opt::PrintSettings:
      o.PrintSettings = true;
      break;
    case Opt::SaveSettings:
      o.SaveSettingsFile = arg;
      break;
    case Opt::Jobs: {
      const auto jobs = ParseDigits(arg, 1, 1024);
      if (!jobs)
        parse.Error = "invalid value '" + arg + "' for --jobs (a whole number from 1 to 1024)";
      o.Jobs = jobs.value_or(0);
      return jobs.has_value();
    }
    case Opt::Force:
      o.Force = true;
      break;
    case Opt::Shard:
      return ApplyShard(arg, parse);
    case Opt::PagesOnly:
      o.PagesOnly = true;
      break;
    case Opt::NoWait:
      o.NoWait = true;
      break;
    case Opt::Align:
      return ApplyAlign(arg, parse);
    case Opt::FastDecode:
      o.FastDecode = true;
      break;
    case Opt::HeaderFile:
      o.HeaderFile = arg;
      break;
    case Opt::FooterFile:
      o.FooterFile = arg;
      break;
    case Opt::Open:
      o.Open = true;
      break;
    case Opt::Quiet:
      o.Quiet = true;
      break;
    case Opt::Help:
      parse.Action = CliAction::Help;
      break;
    case Opt::Version:
      if (parse.Action != CliAction::Help) parse.Action = CliAction::Version;
      break;
    case Opt::BashCompletion:
      parse.Action = CliAction::BashCompletion;
      break;
  }
  return true;
}

// One flag's lines of --help: the flag in a column of 27, its text beside and below it.
void HelpLines(const OptSpec& spec, std::string& out) {
  std::string flag = spec.Short ? std::string("  -") + spec.Short + ", --" : "      --";
  flag += spec.Long;
  if (spec.ValueName)
    flag += spec.Kind == Arg::Optional ? "[=" + std::string(spec.ValueName) + "]"
                                       : " " + std::string(spec.ValueName);
  std::string text = spec.Help;
  if (spec.Row && spec.Row->Max > spec.Row->Min) {
    const std::size_t at = text.find("{range}");
    if (at != std::string::npos)
      text.replace(at, 7, std::to_string(spec.Row->Min) + "-" + std::to_string(spec.Row->Max));
  }
  if (text == "{choices}") {
    text.clear();
    const auto names = FilterNames();
    for (std::size_t i = 0; i < names.size(); ++i)
      text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + std::string(names[i]);
  }
  constexpr std::size_t kColumn = 27;
  out += flag + std::string(flag.size() < kColumn ? kColumn - flag.size() : 1, ' ');
  for (char c : text) out += c == '\n' ? "\n" + std::string(kColumn, ' ') : std::string(1, c);
  out += '\n';
}

}  // namespace

std::string CliHelp() {
  std::string out = kHelpTop;
  int group = -1;
  for (const OptSpec& spec : Flags()) {
    if (!spec.Help) continue;
    if (static_cast<int>(spec.Group) != group) {
      group = static_cast<int>(spec.Group);
      out += "\n" + std::string(kHelpGroups[group]) + ":\n";
    }
    HelpLines(spec, out);
  }
  out += std::string(27, ' ') + kHelpPagesEnd + "\n" + kHelpEnd;
  return out;
}

std::optional<std::string> CliOptions::Setting(std::string_view key) const {
  for (auto it = Settings.rbegin(); it != Settings.rend(); ++it)
    if (key == it->first->Key) return it->second;
  return std::nullopt;
}

namespace {

using EnvLookup = std::function<const char*(const char*)>;

std::optional<int> Whole(const char* text, int lo, int hi) {
  return text ? ParseDigits(text, lo, hi) : std::nullopt;
}

// Share i of n from a Slurm job array: its ids evenly spaced from SLURM_ARRAY_TASK_MIN by
// SLURM_ARRAY_TASK_STEP. n, when given, must be the array's task count.
bool SlurmShare(const std::string& spec, const EnvLookup& env, std::optional<int>& n,
                std::optional<int>& i, std::string& error) {
  const auto task = Whole(env("SLURM_ARRAY_TASK_ID"), 0, 1 << 30);
  const auto min = Whole(env("SLURM_ARRAY_TASK_MIN"), 0, 1 << 30);
  const auto step = env("SLURM_ARRAY_TASK_STEP") ? Whole(env("SLURM_ARRAY_TASK_STEP"), 1, 1 << 30)
                                                 : std::optional<int>(1);
  const auto tasks = Whole(env("SLURM_ARRAY_TASK_COUNT"), 1, kMaxShares);
  if (!task || !min || !step || !tasks) {
    error =
        "--shard auto: SLURM_ARRAY_TASK_ID, SLURM_ARRAY_TASK_MIN and "
        "SLURM_ARRAY_TASK_COUNT do not give a share";
    return false;
  }
  // Ids such as 1,2,9 cannot be numbered from the environment: the array must be a range.
  const long long last = *min + static_cast<long long>(*tasks - 1) * *step;
  const auto max = Whole(env("SLURM_ARRAY_TASK_MAX"), 0, 1 << 30);
  if (*task < *min || *task > last || (*task - *min) % *step != 0 || (max && *max != last)) {
    error = "--shard auto: the Slurm job array's ids are not a range (SLURM_ARRAY_TASK_ID=" +
            std::to_string(*task) + ", " + std::to_string(*tasks) + " tasks from " +
            std::to_string(*min) + (max ? " to " + std::to_string(*max) : std::string()) +
            "); submit it as --array=0-" + std::to_string(*tasks - 1) + " or --array=1-" +
            std::to_string(*tasks);
    return false;
  }
  if (n && *n != *tasks) {
    error = "--shard " + spec + ": the job array has " + std::to_string(*tasks) + " tasks";
    return false;
  }
  n = tasks;
  i = (*task - *min) / *step + 1;
  return true;
}

// Share i of n from a Kubernetes Indexed Job or GNU Parallel, which need n.
bool IndexShare(const std::string& spec, const char* name, const char* value, std::optional<int>& n,
                std::optional<int>& i, std::string& error) {
  const bool k8s = std::string_view(name) == "JOB_COMPLETION_INDEX";
  if (!n) {
    error = std::string("--shard auto: with ") + name + " give the count: --shard auto/N";
    return false;
  }
  const auto index = k8s ? Whole(value, 0, *n - 1) : Whole(value, 1, *n);
  if (!index) {
    error =
        "--shard " + spec + ": " + name + "=" + value + " is not a share of " + std::to_string(*n);
    return false;
  }
  i = k8s ? *index + 1 : *index;
  return true;
}

}  // namespace

bool ResolveShard(const std::string& spec, const EnvLookup& env, int& share, int& count,
                  std::string& error, std::string* note) {
  const std::size_t slash = spec.find('/');
  const std::string first = spec.substr(0, slash);
  std::optional<int> n;
  if (slash != std::string::npos) {
    n = Whole(spec.c_str() + slash + 1, 1, kMaxShares);
    if (!n) {
      error = "--shard " + spec + ": N must be a whole number from 1 to 1000000";
      return false;
    }
  }
  std::optional<int> i;
  if (first != "auto") {
    i = n ? Whole(first.c_str(), 1, *n) : std::nullopt;
    if (!i) {
      error = "--shard " + spec + ": give I/N with 1 <= I <= N";
      return false;
    }
    share = *i;
    count = *n;
    return true;
  }
  // The first scheduler's variable that is set gives the share.
  constexpr const char* kVariables[] = {"SLURM_ARRAY_TASK_ID", "JOB_COMPLETION_INDEX",
                                        "PARALLEL_SEQ"};
  const char* used = nullptr;
  for (const char* name : kVariables) {
    if (!used && env(name)) used = name;
  }
  if (!used) {
    error =
        "--shard auto: no share in the environment (SLURM_ARRAY_TASK_ID, "
        "JOB_COMPLETION_INDEX or PARALLEL_SEQ)";
    return false;
  }
  if (used == kVariables[0] ? !SlurmShare(spec, env, n, i, error)
                            : !IndexShare(spec, used, env(used), n, i, error)) {
    return false;
  }
  share = *i;
  count = *n;
  std::string others;
  for (const char* name : kVariables) {
    if (name != used && env(name)) others += std::string(others.empty() ? "" : ", ") + name;
  }
  if (note && !others.empty()) {
    *note = "--shard auto: share " + std::to_string(share) + " of " + std::to_string(count) +
            " from " + used + "=" + env(used) + " (" + others + " also set, not used)";
  }
  return true;
}

CliParse ParseCommandLine(const std::vector<std::string>& args) {
  CliParse parse;
  auto usage = [&](std::string message) {
    parse.Action = CliAction::Usage;
    parse.Error = std::move(message);
    return parse;
  };
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      parse.Options.Inputs.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    if (a[1] == '-') {
      const std::size_t eq = a.find('=');
      const std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      std::string error;
      const OptSpec* spec = FindLong(name, error);
      if (!spec) return usage(error);
      std::optional<std::string> value;
      if (eq != std::string::npos) {
        if (spec->Kind == Arg::None) {
          return usage("option '--" + std::string(spec->Long) + "' takes no value");
        }
        value = a.substr(eq + 1);
      } else if (spec->Kind == Arg::Required) {
        if (i + 1 >= args.size()) {
          return usage("option '--" + std::string(spec->Long) + "' needs a value");
        }
        value = args[++i];
      }
      if (!Apply(*spec, value, parse)) return usage(parse.Error);
      continue;
    }
    // Short options, possibly bundled: -qj4, -o DIR, -oDIR.
    for (std::size_t k = 1; k < a.size(); ++k) {
      const OptSpec* spec = FindShort(a[k]);
      if (!spec) return usage(std::string("unknown option '-") + a[k] + "'");
      std::optional<std::string> value;
      if (spec->Kind == Arg::Required) {
        if (k + 1 < a.size()) {
          value = a.substr(k + 1);
        } else if (i + 1 < args.size()) {
          value = args[++i];
        } else {
          return usage(std::string("option '-") + a[k] + "' needs a value");
        }
        k = a.size();
      }
      if (!Apply(*spec, value, parse)) return usage(parse.Error);
    }
  }
  if (parse.Action != CliAction::Build) return parse;
  CliOptions& o = parse.Options;
  if (o.NoSettings && o.SettingsFile)
    return usage("--settings and --no-settings exclude each other");
  if (o.Shard && o.PagesOnly) return usage("--shard and --pages-only exclude each other");
  if (!o.PrintSettings && !o.SaveSettingsFile && o.Inputs.empty()) {
    return usage("no pictures given");
  }
  return parse;
}

std::string BashCompletionScript() {
  auto join = [](const auto& list) {
    std::string out;
    for (const auto& w : list) out += (out.empty() ? "" : " ") + std::string(w);
    return out;
  };
  auto offer = [](const std::string& list) {
    return "mapfile -t COMPREPLY < <(compgen -W '" + list + "' -- \"$cur\")";
  };
  std::vector<std::string_view> colors;
  for (const TColorName& c : ColorNames()) colors.push_back(c.Name);

  std::vector<std::string> options;
  std::map<ValueKind, std::string> patterns;  // "-o|--target" for each kind of value
  for (const OptSpec& spec : Flags()) {
    if (!spec.Help) continue;
    std::string spelled = "--" + std::string(spec.Long);
    if (spec.Short) spelled = std::string("-") + spec.Short + "|" + spelled;
    if (spec.Short) options.push_back(std::string("-") + spec.Short);
    options.push_back("--" + std::string(spec.Long));
    if (spec.Kind != Arg::Required || (spec.Row && spec.Row->Type == OptionType::Choice)) continue;
    std::string& pattern = patterns[spec.Values];
    pattern += (pattern.empty() ? "" : "|") + spelled;
  }
  const std::pair<ValueKind, std::string> actions[] = {
      {V::Filter, offer(join(FilterNames()))},
      {V::Align, offer(join(kAlignWords))},
      {V::Color, offer(join(colors))},
      {V::Dir, "_folivant_build_paths -d"},
      {V::File, "_folivant_build_paths -f"},
      {V::Text, ":"},  // a number or a text: nothing to offer
  };

  std::string script =
      R"(# bash completion for folivant-build, generated by 'folivant-build --bash-completion'.
_folivant_build_paths() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen "$1" -- "$cur")
}
_folivant_build() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev= opt=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    # bash splits --option=value at the "="; put it back together.
    if [[ $cur == = ]]; then
        opt=$prev cur=
    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        opt=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == --*=* ]]; then
        opt=${cur%%=*} cur=${cur#*=}
    else
        opt=$prev
    fi
    case $opt in
)";
  for (const auto& [kind, action] : actions) {
    const auto it = patterns.find(kind);
    if (it != patterns.end())
      script += "    " + it->second + ")\n        " + action + "; return ;;\n";
  }
  // A choice offers its names.
  for (const OptSpec& spec : Flags()) {
    if (!spec.Help || !spec.Row || spec.Row->Type != OptionType::Choice || spec.Off) continue;
    script += "    --" + std::string(spec.Long) + ")\n        " + offer(join(spec.Row->Choices)) +
              "; return ;;\n";
  }
  script += R"(    esac
    if [[ $cur == -* ]]; then
        )" + offer(join(options)) +
            R"(
    else
        _folivant_build_paths -f
    fi
}
complete -F _folivant_build folivant-build
)";
  return script;
}

}  // namespace folivant
