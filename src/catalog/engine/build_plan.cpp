#include "catalog/engine/build_plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "catalog/catalog_rules.h"
#include "catalog/clip_page.h"
#include "catalog/engine/target_files.h"
#include "catalog/modern/modern_files.h"
#include "imaging/image_box.h"
#include "imaging/stream.h"

namespace folivant {

// A system message as the middle of a sentence: "permission denied".
std::string MidSentence(std::string why) {
  if (!why.empty()) why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
  return why;
}

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The file's stamp when it is a regular file, looked at before it is opened: opening a device
// or a named pipe may block or act. False with why otherwise. The pictures of a list mostly
// share a folder: it is looked up once for all of them.
bool StampOfRegular(const std::string& path, std::unique_ptr<TFolderFiles>& folder,
                    TFileStamp& stamp, std::string& why) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  if (!folder || folder->Dir() != dir) folder = std::make_unique<TFolderFiles>(dir);
  struct stat st {};
  if (const int err = folder->Stat(path.substr(dir.size()), st); err != 0)
    return why = std::strerror(err), false;
  if (!S_ISREG(st.st_mode)) return why = "Not a regular file", false;
  stamp = StampOfStat(st);
  return true;
}

// The first bytes of a regular file, in as few calls as a build of many small pictures can
// afford; stamp gets the open file's. False with why on failure.
bool ReadHead(const std::string& path, char (&head)[64], std::size_t& got, TFileStamp& stamp,
              std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return why = std::strerror(errno), false;
  struct stat st {};
  int err = ::fstat(fd, &st) != 0 ? errno : 0;
  if (err == 0 && !S_ISREG(st.st_mode)) why = "Not a regular file";  // swapped meanwhile
  while (err == 0 && why.empty() && got < sizeof head) {
    const ssize_t n = ::read(fd, head + got, sizeof head - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : 0;
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (err != 0) why = std::strerror(err);
  stamp = StampOfStat(st);
  return why.empty();
}

// What a file that is no picture holds, from its first bytes.
std::string WhatItHolds(std::string_view head, TPictureKind kind) {
  if (kind != TPictureKind::pkNone)
    return std::string("it holds a ") + PictureKindName(kind) + " picture; rename it to end in " +
           PictureKindExtension(kind);
  if (head.empty()) return "it is empty";
  const bool text = std::all_of(head.begin(), head.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x80 || (u >= 0x20 && u != 0x7F) || u == '\t' || u == '\n' || u == '\r';
  });
  return text ? "it holds text" : "it holds data of no kind the build reads";
}

// Empty when the picture's source is a file the reader its name picks can read (by its first
// bytes), else why not; stamp gets the file's stamp.
std::string PictureProblem(const CatalogItem& item, const TSourceVouched& vouched,
                           std::unique_ptr<TFolderFiles>& folder, TFileStamp& stamp) {
  char head[64];
  std::size_t got = 0;
  std::string why;
  if (!StampOfRegular(item.SourcePath, folder, stamp, why)) {
    return "Cannot read picture " + item.PictureName + " (" + item.SourcePath +
           "): " + MidSentence(why);
  }
  if (vouched && vouched(item, stamp)) return {};  // as a build before found it
  if (!ReadHead(item.SourcePath, head, got, stamp, why)) {
    return "Cannot read picture " + item.PictureName + " (" + item.SourcePath +
           "): " + MidSentence(why);
  }
  const std::string_view bytes(head, got);
  const TPictureKind named = PictureKindOfName(item.PictureName);
  const TPictureKind found = PictureKindOfBytes(bytes);
  if (ReadsAs(named, found)) return {};
  const std::string notA =
      "Cannot read picture " + item.PictureName + ": " + item.SourcePath + " is not a ";
  if (named == TPictureKind::pkNone) {
    return notA + "picture: its name does not end in " + ListedExtensionsText() + ", and " +
           WhatItHolds(bytes, found);
  }
  return notA + PictureKindName(named) + " picture: " + WhatItHolds(bytes, found);
}

// Empty when the share asked for is one of the shares, else what is wrong.
std::string ShareProblem(const TBuildRequest& r) {
  if (r.Shares < 0)
    return "The number of shares must be 1 or more, not " + std::to_string(r.Shares);
  if (r.Shares == 0) return {};
  if (r.PagesOnly)
    return "A share writes no catalog pages: write them alone once every share has finished";
  if (r.Share >= 1 && r.Share <= r.Shares) return {};
  return "There is no share " + std::to_string(r.Share) + " of " + std::to_string(r.Shares) +
         ": shares are numbered 1 to " + std::to_string(r.Shares);
}

}  // namespace

// The request as a whole, before anything is written: the share, every name, and every
// picture's kind. Throws naming the first thing that is wrong.
void CheckRequest(const TBuildRequest& request, std::vector<CatalogItem>& items,
                  std::vector<TFileStamp>& stamps, const TSourceVouched& vouched) {
  const int n = static_cast<int>(request.Pictures.size());
  items.resize(n);
  if (const std::string share = ShareProblem(request); !share.empty()) throw ECatalogError(share);
  for (int i = 0; i < n; ++i) {
    CatalogItem& item = items[i];
    item.PictureName = request.Pictures[i].Name;
    item.SourcePath = request.Pictures[i].Path;
    CheckBareFileName(item.PictureName);
    item.TnFileName = TnFileName(item.PictureName);
    item.PageFileName = PageFileName(item.PictureName);
    if (NeedsWebCopy(item.PictureName)) item.WebCopyName = WebCopyFileName(item.PictureName);
    item.Clip = IsClipName(item.PictureName);
  }
  std::unordered_map<std::string_view, const CatalogItem*> byName;  // into items
  for (const CatalogItem& item : items) {
    const auto [it, added] = byName.emplace(item.PictureName, &item);
    const std::string& other = it->second->SourcePath;
    if (!added && !SameFile(other, item.SourcePath)) {
      throw ECatalogError("Two different pictures have the name " + item.PictureName + ": " +
                          other + " and " + item.SourcePath +
                          " (the catalog keeps one file of each name)");
    }
  }
  // Pictures of different names may not share a thumbnail (photo.jpg and photo.png) or a
  // page either: one picture's entry would show the other's.
  std::unordered_map<std::string_view, const CatalogItem*> madeBy;
  for (const CatalogItem& item : items) {
    for (const std::string* made : {&item.TnFileName, &item.PageFileName}) {
      if (byName.count(*made) != 0) {
        throw ECatalogError("The catalog file " + *made + " made for " + item.PictureName +
                            " would replace the picture " + *made);
      }
      const auto [it, added] = madeBy.emplace(*made, &item);
      if (!added && it->second->PictureName != item.PictureName) {
        throw ECatalogError("The pictures " + it->second->SourcePath + " and " + item.SourcePath +
                            " would share the " +
                            (made == &item.TnFileName ? "thumbnail " : "page ") + *made +
                            ": rename or remove one of them");
      }
    }
  }
  // A web copy takes no picture's name, and no other thumbnail's or page's either.
  for (const CatalogItem& item : items) {
    if (item.WebCopyName.empty()) continue;
    const bool picture = byName.count(item.WebCopyName) != 0;
    if (picture || madeBy.count(item.WebCopyName) != 0) {
      throw ECatalogError("The web copy " + item.WebCopyName + " made for " + item.PictureName +
                          " would replace the " + (picture ? "picture " : "catalog file ") +
                          item.WebCopyName);
    }
    // A clip's H.264 copy is known to be needed only once the clip is read: its name is kept.
    const std::string clipCopy = item.Clip ? ClipCopyFileName(item.PictureName) : std::string();
    if (!clipCopy.empty() && byName.count(clipCopy) != 0) {
      throw ECatalogError("The web copy " + clipCopy + " made for " + item.PictureName +
                          " would replace the picture " + clipCopy);
    }
  }
  if (IsModern(request.Options)) CheckModernNames(items);
  // Every picture is one its reader can read, before the target is touched: a file named by
  // mistake (a text file, a picture under another kind's name) is never copied into it.
  stamps.assign(n, TFileStamp());
  std::unique_ptr<TFolderFiles> folder;
  for (int i = 0; i < n; ++i) {
    if (byName.at(items[i].PictureName) != &items[i]) continue;  // listed again
    if (std::string problem = PictureProblem(items[i], vouched, folder, stamps[i]);
        !problem.empty())
      throw ECatalogError(problem);
  }
}

std::vector<int> ShareOfPictures(const std::vector<CatalogItem>& items, int count) {
  // Pictures joined by a shared file name; each group's root is its first picture.
  std::vector<int> root(items.size());
  std::iota(root.begin(), root.end(), 0);
  auto find = [&](int i) {
    while (root[i] != i) i = root[i] = root[root[i]];
    return i;
  };
  std::unordered_map<std::string, int> writer;
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    for (const std::string* name :
         {&items[i].PictureName, &items[i].TnFileName, &items[i].PageFileName}) {
      const auto [it, added] = writer.emplace(*name, i);
      if (added) continue;
      const int a = find(i), b = find(it->second);
      root[std::max(a, b)] = std::min(a, b);
    }
  }
  std::vector<int> share(items.size());
  for (int i = 0; i < static_cast<int>(items.size()); ++i) share[i] = find(i) % count;
  return share;
}

// What stands where the target folder or one of its parents should be, or empty.
std::string InTheWay(const std::string& dir) {
  namespace fs = std::filesystem;
  const fs::path target = fs::path(dir).lexically_normal();
  for (fs::path p = target; !p.empty(); p = p.parent_path()) {
    std::error_code ec;
    const fs::file_status own = fs::symlink_status(p, ec);
    if (!ec && fs::exists(own)) {
      const fs::file_status to = fs::status(p, ec);
      if (fs::is_directory(to)) return {};
      const std::string kind = fs::exists(to) ? "a file" : "a link to nothing";
      return p == target ? kind + " of that name is in the way"
                         : p.string() + " is " + kind + ", not a folder";
    }
    if (p == p.parent_path()) break;
  }
  return {};
}

// Makes the target folder; empty when it is there now, else the reason for the user.
std::string MakeTargetFolder(const std::string& dir, bool parents) {
  namespace fs = std::filesystem;
  std::error_code ec;
  parents ? fs::create_directories(dir, ec) : fs::create_directory(dir, ec);
  if (IsDirectory(dir)) return {};
  if (std::string in = InTheWay(dir); !in.empty()) return in;
  if (ec == std::errc::no_such_file_or_directory && !parents)
    return "the folder it goes in, " + fs::path(dir).parent_path().string() + ", does not exist";
  return ec ? MidSentence(ec.message()) : "it is not a folder after making it";
}

// The options in which two image keys ("name=value ...") differ: "quality=80 filter=2" and
// "quality=90 filter=5" give "built with quality=80 filter=2, now quality=90 filter=5".
std::string KeyDifference(const std::string& was, const std::string& now) {
  auto pairs = [](const std::string& key) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from < key.size()) {
      std::size_t end = key.find(' ', from);
      if (end == std::string::npos) end = key.size();
      if (key.find('=', from) < end || out.empty()) {
        out.push_back(key.substr(from, end - from));
      } else {
        out.back() += key.substr(from - 1, end - from + 1);  // a value with a blank
      }
      from = end + 1;
    }
    return out;
  };
  const std::vector<std::string> a = pairs(was), b = pairs(now);
  auto missing = [](const std::vector<std::string>& from, const std::vector<std::string>& in) {
    std::string text;
    for (const std::string& p : from) {
      if (std::find(in.begin(), in.end(), p) == in.end()) text += (text.empty() ? "" : " ") + p;
    }
    return text;
  };
  const std::string before = missing(a, b), after = missing(b, a);
  return "built with " + (before.empty() ? "no such option" : before) + ", now " +
         (after.empty() ? "without it" : after);
}

}  // namespace folivant
