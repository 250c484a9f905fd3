// The program's version text and its maker's home page, shared by the pages, the window and the
// command line. The build reads FOLIVANT_VERSION_TEXT for the project and package version, so the
// version is written here and nowhere else.
#pragma once

#include <string_view>

#define FOLIVANT_VERSION_TEXT "v1.7"

namespace folivant {

inline constexpr std::string_view kVersionText = FOLIVANT_VERSION_TEXT;
inline constexpr std::string_view kHomePageUrl = "https://folivant.example.org/";

}  // namespace folivant
