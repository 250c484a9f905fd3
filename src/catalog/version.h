// The program's version text and its maker's home page, shared by the pages, the window and the
// command line.
#pragma once

#include <string_view>

namespace folivant {

inline constexpr std::string_view kVersionText = "v1.7";
inline constexpr std::string_view kHomePageUrl = "https://folivant.example.org/";

}  // namespace folivant
