#include "catalog/picture_folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
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
                                            bool videos, std::vector<std::string>* folders) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) {
    error = "cannot read folder " + folder + ": " + std::strerror(errno);
    return {};
  }
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (!entry) break;
    const char* name = entry->d_name;
    if (name[0] == '.') continue;
    // The entry's own type where the folder tells it: a folder of thousands is read, not
    // looked up file by file. Links and untyped entries are followed.
    unsigned char type = entry->d_type;
    if (type == DT_LNK || type == DT_UNKNOWN) {
      struct stat st {};
      type = ::fstatat(::dirfd(dir), name, &st, 0) != 0 ? DT_UNKNOWN
             : S_ISREG(st.st_mode)                      ? DT_REG
             : S_ISDIR(st.st_mode)                      ? DT_DIR
                                                        : DT_UNKNOWN;
    }
    if (type == DT_DIR && folders) folders->emplace_back(name);
    if (type == DT_REG && IsPictureName(name)) names.emplace_back(name);
  }
  const int err = errno;
  ::closedir(dir);
  if (err != 0) {
    error = "cannot read folder " + folder + ": " + std::strerror(err);
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
