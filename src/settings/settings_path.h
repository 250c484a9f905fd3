// Where the program finds the files that live beside it: the default settings file and the
// help file. The current directory plays no part.
#pragma once

#include <string>
#include <string_view>

namespace folivant {

inline constexpr const char* kSettingsFileName = "folivant.ini";
inline constexpr const char* kHelpFileName = "readme.txt";

// The folder of the running program file (from /proc/self/exe), without a trailing "/"
// except for the root itself; empty when it cannot be found.
std::string ProgramDir();

// The full path of a file beside the program ("readme.txt"); just name when the program's
// folder is unknown.
std::string FileBesideProgram(std::string_view name);

// The default settings file: "folivant.ini" beside the program, or, when that folder cannot
// be written, in the user's configuration folder ($XDG_CONFIG_HOME/folivant, else
// ~/.config/folivant), which is then created if missing. Worked out afresh at each call.
std::string DefaultSettingsPath();

// The rule of DefaultSettingsPath without looking at the system (env values may be null).
std::string ChooseSettingsPath(const std::string& program_dir, bool program_dir_writable,
                               const char* xdg_config_home, const char* home);

}  // namespace folivant
