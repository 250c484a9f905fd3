#include "catalog/modern/modern_files.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <unordered_set>

#include "catalog/catalog_rules.h"

namespace folivant {

bool IsModern(const CatalogOptions& options) {
  return options.Style == TPageStyle::psModern;
}

std::string Tn2xFileName(std::string_view pictureName) {
  std::string tn = TnFileName(pictureName);
  return tn.insert(tn.size() - 4, "@2x");
}

std::string DisplayCopyName(std::string_view pictureName, int side) {
  return std::string(pictureName) + "." + std::to_string(side) + ".jpg";
}

std::vector<TDisplayCopy> DisplayCopies(std::string_view pictureName, int w, int h) {
  std::vector<TDisplayCopy> out;
  const std::int64_t longSide = std::max(w, h);
  for (const int side : kDisplaySides) {
    if (w <= 0 || h <= 0 || longSide <= side) break;
    const auto other = [&](int v) {
      return static_cast<int>(
          std::max<std::int64_t>(1, (v * std::int64_t{side} + longSide / 2) / longSide));
    };
    TDisplayCopy copy{DisplayCopyName(pictureName, side), w >= h ? side : other(w),
                      w >= h ? other(h) : side};
    out.push_back(copy);
  }
  return out;
}

std::vector<std::string> ModernNamesOf(const CatalogItem& item) {
  std::vector<std::string> names{Tn2xFileName(item.PictureName)};
  for (const int side : kDisplaySides) names.push_back(DisplayCopyName(item.PictureName, side));
  return names;
}

void CheckModernNames(const std::vector<CatalogItem>& items) {
  std::unordered_set<std::string> taken;
  for (const CatalogItem& item : items) {
    taken.insert({item.PictureName, item.TnFileName, item.PageFileName});
    if (!item.WebCopyName.empty()) taken.insert(item.WebCopyName);
  }
  for (const CatalogItem& item : items) {
    for (const std::string& name : ModernNamesOf(item)) {
      if (taken.count(name) != 0) {
        throw ECatalogError("The catalog file " + name + " made for " + item.PictureName +
                            " would replace the file " + name + " of another picture");
      }
    }
  }
}

bool IsLanguageTag(std::string_view tag) {
  if (tag.empty() || tag.size() > 35) return false;
  std::size_t start = 0;
  for (int part = 0; start <= tag.size(); ++part) {
    std::size_t end = tag.find('-', start);
    if (end == std::string_view::npos) end = tag.size();
    const std::string_view p = tag.substr(start, end - start);
    if (p.empty() || p.size() > 8) return false;
    for (const char c : p) {
      if (!std::isalnum(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) > 127)
        return false;
    }
    if (part == 0) {
      const bool letters = std::all_of(p.begin(), p.end(), [](char c) {
        return std::isalpha(static_cast<unsigned char>(c)) != 0;
      });
      if (!letters || (p.size() == 1 && p != "i" && p != "x") || p.size() > 3) return false;
    }
    start = end + 1;
  }
  return true;
}

std::string PageLanguage(const CatalogOptions& options) {
  if (IsLanguageTag(options.Lang)) return options.Lang;
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(var);
    if (!value || !*value) continue;
    std::string locale(value);
    locale = locale.substr(0, locale.find_first_of(".@"));  // "de_CH.UTF-8@euro"
    for (char& c : locale) {
      if (c == '_') c = '-';
    }
    if (locale == "C" || locale == "POSIX") break;
    if (IsLanguageTag(locale)) return locale;
    break;
  }
  return "en";
}

}  // namespace folivant
