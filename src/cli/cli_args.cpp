#include "cli/cli_args.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <string_view>

#include "catalog/version.h"
#include "settings/color_text.h"

namespace folivant {

const char* const kCliVersion = "folivant-build " FOLIVANT_VERSION_TEXT;

const char* const kCliHelp =
    R"(Usage: folivant-build [OPTIONS] PICTURE|FOLDER...

Builds an HTML picture catalog: a JPEG thumbnail and a page for every picture, and numbered
catalog pages (page1.html, page2.html, ...) with tables of thumbnails. Pictures are taken in
the order given; a FOLDER adds its *.jpg, *.jpeg, *.gif, *.png, *.webp, *.heic, *.heif,
*.avif, *.tif and *.tiff files (any letter case), sorted by name without regard to case,
leaving out hidden files and the thumbnails (tnNAME.jpg) of the folder's other pictures. At
least 3 pictures are needed.

Pictures are copied into the target folder unless a file of that name is there already (that
file is then the one used). HEIC, HEIF and TIFF pictures, which browsers do not show, also
get a web copy: a JPEG of the whole picture named after the picture's full name with .jpg
added (IMG_1.HEIC.jpg), which their page shows. A build whose thumbnail, page or web copy
would take the name of one of its pictures, or a web copy that of another file it makes,
stops before writing anything. Options given here win over the settings file.

A build keeps a record of what it made from what in DIR/.folivant. The next build into DIR
decodes only pictures that changed or whose thumbnail options changed, writes only files
whose bytes change, replaces the copies it made of pictures that changed, and removes the
files it made that no longer belong; files it did not make are never removed.

Where and how:
  -o, --target DIR         write the catalog into DIR (default: TargetDir of the settings);
                           a missing DIR is made, with its parents
  -s, --settings FILE      read FILE instead of the default settings file
      --no-settings        read no settings file: built-in defaults only
      --print-settings     print the effective settings (settings file layout) and exit
      --save-settings FILE write the effective settings into FILE and exit (other sections
                           of FILE are kept)
  -j, --jobs N             pictures processed at once (default: the number of processors)
      --force              make every thumbnail and page again, trusting nothing the build
                           record says
      --shard I/N          build share I of N: pictures I, I+N, I+2N, ... of the list (their
                           thumbnails, pages and copies), no catalog pages. auto or auto/N
                           takes I (and N) from a Slurm job array (SLURM_ARRAY_TASK_ID),
                           a Kubernetes Indexed Job (JOB_COMPLETION_INDEX) or GNU Parallel
                           (PARALLEL_SEQ); the last two need N
      --pages-only         once every share is built: write the catalog pages (same pictures
                           and options); fails naming the pictures no share has built
      --no-wait            stop at once when another build is writing into the target folder
      --open               open page1.html in the browser afterwards (xdg-open)
  -q, --quiet              print nothing but errors
  -h, --help               show this help and exit
  -V, --version            show the version and exit

Table:
      --rows N             thumbnail rows per catalog page (1-100)
      --cols N             thumbnail columns per catalog page (1-100)
      --border N           table border (0-30)
      --cellpadding N      table cell padding (0-30)
      --cellspacing N      table cell spacing (0-39)
      --align WHERE        left, center, right or default

Thumbnails:
      --thumb-height N     thumbnails N pixels high, width in proportion (10-300; the default
                           mode)
      --thumb-width N      thumbnails N pixels wide, height in proportion (10-300)
      --quality N          JPEG quality (10-100)
      --progressive        write progressive JPEG thumbnails
      --no-progressive     write baseline JPEG thumbnails
      --filter NAME        none, triangle, hermite, bell, bspline, lanczos3 or mitchell
      --auto-rotate        turn pictures upright by their EXIF orientation (the default)
      --no-auto-rotate     use pictures as stored, whatever their EXIF orientation says
      --fast-decode        decode a large JPEG at 1/2, 1/4 or 1/8 of its size when that
                           still leaves twice the thumbnail's size (several times faster;
                           thumbnails differ slightly from those of a whole decode)

Pages:
      --title TEXT         title above the thumbnail table
      --meta TEXT          one extra line in the head of every page
      --background NAME    background image of the pages (a file in the target folder)
      --header-file FILE   its lines go at the top of every page body
      --footer-file FILE   its lines go near the end of every page
      --protect[=TEXT]     picture pages carry the right-click protection script, with
                           TEXT as its message
      --no-protect         no protection script
      --open-in-window     thumbnails open the picture in a new window by script
      --no-open-in-window  thumbnails link to the picture pages
      --page-word TEXT     caption word for a catalog page (default "Page")
      --prev-word TEXT     caption word for "previous"
      --next-word TEXT     caption word for "next"
      --catalog-word TEXT  caption word for the way back to the catalog
      --background-color C page background colour
      --link-color C       link colour
      --alink-color C      active link colour
      --vlink-color C      visited link colour
                           A colour C is a name (clWhite, clNavy, ...), $00BBGGRR or #RRGGBB.

Interrupts: Ctrl-C, SIGTERM and SIGHUP count alike. The first finishes the copy or the
pictures already begun and writes no catalog page; the second stops at once, dropping the copy
being made; the third ends the program on the spot, also while it waits on a read that does
not return (a temporary file left then is removed by the next build into the folder).

Exit status: 0 built, 1 the build failed (the message names the file), 2 bad usage,
128 + the signal when interrupted: 130 Ctrl-C, 143 SIGTERM, 129 SIGHUP.
)";

namespace {

enum class Arg { None, Required, Optional };

enum class Opt {
  Target,
  Settings,
  NoSettings,
  PrintSettings,
  SaveSettings,
  Jobs,
  Force,
  Shard,
  PagesOnly,
  NoWait,
  Rows,
  Cols,
  Border,
  Cellpadding,
  Cellspacing,
  Align,
  ThumbHeight,
  ThumbWidth,
  Quality,
  Progressive,
  NoProgressive,
  AutoRotate,
  NoAutoRotate,
  FastDecode,
  Filter,
  Title,
  Meta,
  Background,
  HeaderFile,
  FooterFile,
  Protect,
  NoProtect,
  OpenInWindow,
  NoOpenInWindow,
  PageWord,
  PrevWord,
  NextWord,
  CatalogWord,
  BackgroundColor,
  LinkColor,
  ALinkColor,
  VLinkColor,
  Open,
  Quiet,
  Help,
  Version,
  BashCompletion,
};

// What an option's value is, for the shell completion the program prints.
enum class Val { Text, Dir, File, Filter, Align, Color };

struct OptSpec {
  // An option without Values takes text (or none); a hidden option is left out of the
  // completion and matches only when spelled out.
  constexpr OptSpec(std::string_view l, char s, Arg k, Opt id, Val v = Val::Text, bool h = false)
      : Long(l), Short(s), Kind(k), Id(id), Values(v), Hidden(h) {}
  std::string_view Long;
  char Short;
  Arg Kind;
  Opt Id;
  Val Values;
  bool Hidden;
};

constexpr OptSpec kOptions[] = {
    {"target", 'o', Arg::Required, Opt::Target, Val::Dir},
    {"settings", 's', Arg::Required, Opt::Settings, Val::File},
    {"no-settings", 0, Arg::None, Opt::NoSettings},
    {"print-settings", 0, Arg::None, Opt::PrintSettings},
    {"save-settings", 0, Arg::Required, Opt::SaveSettings, Val::File},
    {"jobs", 'j', Arg::Required, Opt::Jobs},
    {"force", 0, Arg::None, Opt::Force},
    {"shard", 0, Arg::Required, Opt::Shard},
    {"pages-only", 0, Arg::None, Opt::PagesOnly},
    {"no-wait", 0, Arg::None, Opt::NoWait},
    {"rows", 0, Arg::Required, Opt::Rows},
    {"cols", 0, Arg::Required, Opt::Cols},
    {"border", 0, Arg::Required, Opt::Border},
    {"cellpadding", 0, Arg::Required, Opt::Cellpadding},
    {"cellspacing", 0, Arg::Required, Opt::Cellspacing},
    {"align", 0, Arg::Required, Opt::Align, Val::Align},
    {"thumb-height", 0, Arg::Required, Opt::ThumbHeight},
    {"thumb-width", 0, Arg::Required, Opt::ThumbWidth},
    {"quality", 0, Arg::Required, Opt::Quality},
    {"progressive", 0, Arg::None, Opt::Progressive},
    {"no-progressive", 0, Arg::None, Opt::NoProgressive},
    {"auto-rotate", 0, Arg::None, Opt::AutoRotate},
    {"no-auto-rotate", 0, Arg::None, Opt::NoAutoRotate},
    {"filter", 0, Arg::Required, Opt::Filter, Val::Filter},
    {"fast-decode", 0, Arg::None, Opt::FastDecode},
    {"title", 0, Arg::Required, Opt::Title},
    {"meta", 0, Arg::Required, Opt::Meta},
    {"background", 0, Arg::Required, Opt::Background, Val::File},
    {"header-file", 0, Arg::Required, Opt::HeaderFile, Val::File},
    {"footer-file", 0, Arg::Required, Opt::FooterFile, Val::File},
    {"protect", 0, Arg::Optional, Opt::Protect},
    {"no-protect", 0, Arg::None, Opt::NoProtect},
    {"open-in-window", 0, Arg::None, Opt::OpenInWindow},
    {"no-open-in-window", 0, Arg::None, Opt::NoOpenInWindow},
    {"page-word", 0, Arg::Required, Opt::PageWord},
    {"prev-word", 0, Arg::Required, Opt::PrevWord},
    {"next-word", 0, Arg::Required, Opt::NextWord},
    {"catalog-word", 0, Arg::Required, Opt::CatalogWord},
    {"background-color", 0, Arg::Required, Opt::BackgroundColor, Val::Color},
    {"link-color", 0, Arg::Required, Opt::LinkColor, Val::Color},
    {"alink-color", 0, Arg::Required, Opt::ALinkColor, Val::Color},
    {"vlink-color", 0, Arg::Required, Opt::VLinkColor, Val::Color},
    {"open", 0, Arg::None, Opt::Open},
    {"quiet", 'q', Arg::None, Opt::Quiet},
    {"help", 'h', Arg::None, Opt::Help},
    {"version", 'V', Arg::None, Opt::Version},
    {"bash-completion", 0, Arg::None, Opt::BashCompletion, Val::Text, true},
};

// An exact long name, else the one long name it abbreviates; nullptr with why in error.
const OptSpec* FindLong(std::string_view name, std::string& error) {
  const OptSpec* found = nullptr;
  int matches = 0;
  for (const OptSpec& spec : kOptions) {
    if (spec.Long == name) return &spec;
    if (!spec.Hidden && spec.Long.substr(0, name.size()) == name) {
      found = &spec;
      ++matches;
    }
  }
  if (matches == 1) return found;
  error = matches == 0 ? "unknown option '--" + std::string(name) + "'"
                       : "ambiguous option '--" + std::string(name) + "'";
  return nullptr;
}

constexpr std::string_view kFilterNames[] = {"none",    "triangle", "hermite", "bell",
                                             "bspline", "lanczos3", "mitchell"};
constexpr std::string_view kAlignWords[] = {"left", "center", "right", "default"};

const OptSpec* FindShort(char c) {
  for (const OptSpec& spec : kOptions) {
    if (spec.Short == c) return &spec;
  }
  return nullptr;
}

constexpr int kMaxShares = 1000000;

// A whole number from digits only, within lo..hi.
std::optional<int> ParseNumber(const std::string& text, int lo, int hi) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < lo || value > hi) return std::nullopt;
  return value;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Applies one option with its argument; false with error set when the argument is bad.
bool Apply(const OptSpec& spec, const std::optional<std::string>& value, CliParse& parse) {
  CliOptions& o = parse.Options;
  const std::string arg = value.value_or(std::string());
  const std::string name = "--" + std::string(spec.Long);
  auto number = [&](std::optional<int>& field, int lo, int hi) {
    field = ParseNumber(arg, lo, hi);
    if (!field) {
      parse.Error = "invalid value '" + arg + "' for " + name + " (a whole number from " +
                    std::to_string(lo) + " to " + std::to_string(hi) + ")";
    }
    return field.has_value();
  };
  auto colour = [&](int slot) {
    o.Colors[slot] = ParseColorArg(arg);
    if (!o.Colors[slot]) {
      parse.Error = "invalid colour '" + arg + "' for " + name +
                    " (a colour name such as clNavy, $00BBGGRR or #RRGGBB)";
    }
    return o.Colors[slot].has_value();
  };
  switch (spec.Id) {
    case Opt::Target:
      o.Target = arg;
      break;
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
      std::optional<int> jobs;
      if (!number(jobs, 1, 1024)) return false;
      o.Jobs = *jobs;
      break;
    }
    case Opt::Force:
      o.Force = true;
      break;
    case Opt::Shard: {
      // auto is resolved from the environment when the build starts; the rest is checked now.
      const std::string numbers = arg == "auto"              ? "1/1"
                                  : arg.starts_with("auto/") ? "1" + arg.substr(4)
                                                             : arg;
      int share = 0, count = 0;
      std::string error;
      const auto none = [](const char*) -> const char* { return nullptr; };
      if (!ResolveShard(numbers, none, share, count, error)) {
        parse.Error =
            "invalid value '" + arg + "' for --shard (I/N with 1 <= I <= N, auto or auto/N)";
        return false;
      }
      o.Shard = arg;
      break;
    }
    case Opt::PagesOnly:
      o.PagesOnly = true;
      break;
    case Opt::NoWait:
      o.NoWait = true;
      break;
    case Opt::Rows:
      return number(o.Rows, OptionLimits::kMinRows, OptionLimits::kMaxRows);
    case Opt::Cols:
      return number(o.Cols, OptionLimits::kMinCols, OptionLimits::kMaxCols);
    case Opt::Border:
      return number(o.Border, OptionLimits::kMinBorder, OptionLimits::kMaxBorder);
    case Opt::Cellpadding:
      return number(o.Cellpadding, OptionLimits::kMinCellpadding, OptionLimits::kMaxCellpadding);
    case Opt::Cellspacing:
      return number(o.Cellspacing, OptionLimits::kMinCellspacing, OptionLimits::kMaxCellspacing);
    case Opt::Align: {
      const std::string where = Lower(arg);
      if (std::find(std::begin(kAlignWords), std::end(kAlignWords), where) ==
          std::end(kAlignWords)) {
        parse.Error = "invalid value '" + arg + "' for --align (left, center, right or default)";
        return false;
      }
      o.Align = where == "default" ? std::string() : where;
      break;
    }
    case Opt::ThumbHeight:
      o.Mode = TThumbMode::tmFixedHeight;
      return number(o.ThumbHeight, OptionLimits::kMinThumb, OptionLimits::kMaxThumb);
    case Opt::ThumbWidth:
      o.Mode = TThumbMode::tmFixedWidth;
      return number(o.ThumbWidth, OptionLimits::kMinThumb, OptionLimits::kMaxThumb);
    case Opt::Quality:
      return number(o.Quality, OptionLimits::kMinQuality, OptionLimits::kMaxQuality);
    case Opt::Progressive:
      o.Progressive = true;
      break;
    case Opt::NoProgressive:
      o.Progressive = false;
      break;
    case Opt::AutoRotate:
      o.AutoRotate = true;
      break;
    case Opt::NoAutoRotate:
      o.AutoRotate = false;
      break;
    case Opt::Filter:
      o.Filter = ParseFilterName(arg);
      if (!o.Filter) {
        parse.Error = "invalid value '" + arg +
                      "' for --filter (none, triangle, hermite, bell, bspline, lanczos3 or "
                      "mitchell)";
        return false;
      }
      break;
    case Opt::FastDecode:
      o.FastDecode = true;
      break;
    case Opt::Title:
      o.Title = arg;
      break;
    case Opt::Meta:
      o.Meta = arg;
      break;
    case Opt::Background:
      o.Background = arg;
      break;
    case Opt::HeaderFile:
      o.HeaderFile = arg;
      break;
    case Opt::FooterFile:
      o.FooterFile = arg;
      break;
    case Opt::Protect:
      o.Protect = true;
      if (value) o.ProtectText = arg;
      break;
    case Opt::NoProtect:
      o.Protect = false;
      break;
    case Opt::OpenInWindow:
      o.OpenInWindow = true;
      break;
    case Opt::NoOpenInWindow:
      o.OpenInWindow = false;
      break;
    case Opt::PageWord:
      o.PageWord = arg;
      break;
    case Opt::PrevWord:
      o.PrevWord = arg;
      break;
    case Opt::NextWord:
      o.NextWord = arg;
      break;
    case Opt::CatalogWord:
      o.CatalogWord = arg;
      break;
    case Opt::BackgroundColor:
      return colour(0);
    case Opt::LinkColor:
      return colour(1);
    case Opt::ALinkColor:
      return colour(2);
    case Opt::VLinkColor:
      return colour(3);
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

}  // namespace

std::optional<TColor> ParseColorArg(const std::string& text) {
  if (text.size() == 7 && text[0] == '#') {
    TColor rgb = 0;
    for (std::size_t i = 1; i < 7; ++i) {
      const char c = text[i];
      if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
      rgb = rgb * 16 + static_cast<TColor>(std::isdigit(static_cast<unsigned char>(c))
                                               ? c - '0'
                                               : std::tolower(c) - 'a' + 10);
    }
    // #RRGGBB to the 0x00BBGGRR layout.
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
  }
  return TryStringToColor(text);
}

namespace {

using EnvLookup = std::function<const char*(const char*)>;

std::optional<int> Whole(const char* text, int lo, int hi) {
  return text ? ParseNumber(text, lo, hi) : std::nullopt;
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

std::optional<int> ParseFilterName(const std::string& text) {
  const std::string name = Lower(text);
  for (std::size_t i = 0; i < std::size(kFilterNames); ++i) {
    if (name == kFilterNames[i]) return static_cast<int>(i);
  }
  return std::nullopt;
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
  std::map<Val, std::string> patterns;  // "-o|--target" for each kind of value
  for (const OptSpec& spec : kOptions) {
    if (spec.Hidden) continue;
    std::string spelled = "--" + std::string(spec.Long);
    if (spec.Short) spelled = std::string("-") + spec.Short + "|" + spelled;
    if (spec.Short) options.push_back(std::string("-") + spec.Short);
    options.push_back("--" + std::string(spec.Long));
    if (spec.Kind != Arg::Required) continue;
    std::string& pattern = patterns[spec.Values];
    pattern += (pattern.empty() ? "" : "|") + spelled;
  }
  const std::pair<Val, std::string> actions[] = {
      {Val::Filter, offer(join(kFilterNames))},
      {Val::Align, offer(join(kAlignWords))},
      {Val::Color, offer(join(colors))},
      {Val::Dir, "_folivant_build_paths -d"},
      {Val::File, "_folivant_build_paths -f"},
      {Val::Text, ":"},  // a number or a text: nothing to offer
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
