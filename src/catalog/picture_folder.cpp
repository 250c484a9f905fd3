#include "catalog/picture_folder.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

#include "catalog/catalog_rules.h"
#include "catalog/clip_page.h"
#include "imaging/picture_formats.h"

namespace folivant {
namespace fs = std::filesystem;

bool NameOrderBefore(const std::string& a, const std::string& b) {
  // Compared in place: a folder of thousands is sorted with many comparisons.
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb;
  }
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

bool IsPictureName(const std::string& name) {
  return IsListedPictureName(name);
}

std::vector<std::string> FolderPictureNames(const std::string& folder, std::string& error,
                                            bool videos) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code fec;
    // The entry's own type where the folder tells it: a folder of thousands is read, not
    // looked up file by file.
    if (name.empty() || name[0] == '.' || !IsPictureName(name) || !it->is_regular_file(fec)) {
      continue;
    }
    names.push_back(name);
  }
  if (ec) {
    error = "cannot read folder " + folder + ": " + ec.message();
    return {};
  }
  // A thumbnail or web copy of one of the folder's pictures, left by an earlier build into the
  // folder itself, is not a picture of the catalog. A user's own x.heic.jpg goes too, but only
  // beside x.heic, whose web copy would replace it anyway.
  std::set<std::string> made;
  for (const std::string& name : names) {
    made.insert(TnFileName(name));
    if (NeedsWebCopy(name)) made.insert(WebCopyFileName(name));
    if (IsClipName(name)) made.insert(ClipCopyFileName(name));
  }
  // Clips left out only now: the posters of those a build made stay out too.
  std::erase_if(names, [&](const std::string& name) {
    return made.count(name) > 0 || (!videos && IsClipName(name));
  });
  std::sort(names.begin(), names.end(), NameOrderBefore);
  return names;
}

}  // namespace folivant
