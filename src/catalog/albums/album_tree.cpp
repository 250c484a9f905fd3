#include "catalog/albums/album_tree.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <utility>

#include "catalog/catalog_rules.h"
#include "catalog/picture_folder.h"

namespace folivant {
namespace fs = std::filesystem;

namespace {

constexpr int kMaxDepth = 64;                      // deeper trees are refused, not recursed into
constexpr std::uintmax_t kMaxAlbumText = 1 << 16;  // album.txt larger than this is not read

using TFolderId = std::pair<std::uint64_t, std::uint64_t>;  // device, inode

struct TNode {
  std::string Name;
  std::vector<TPictureEntry> Pictures;
  std::vector<TNode> Children;
  int Total = 0;
  std::string Title, Description;
};

bool NameBefore(const std::string& a, const std::string& b) {
  return NameOrderBefore(a, b);
}

// A sub-album's folder may not take a name the album writes itself.
std::string NameClash(const TNode& node) {
  if (node.Children.empty()) return {};
  std::set<std::string> names = {kRecordFolder};
  for (const TPictureEntry& p : node.Pictures) {
    names.insert({p.Name, PageFileName(p.Name), TnFileName(p.Name)});
    if (NeedsWebCopy(p.Name)) names.insert(WebCopyFileName(p.Name));
  }
  for (const TNode& child : node.Children) {
    const std::string& n = child.Name;
    const bool page = n.starts_with("page") && n.ends_with(".html");
    if (names.count(n) != 0 || page) return n;
  }
  return {};
}

void ReadAlbumText(const std::string& dir, TNode& node, std::vector<std::string>& warnings) {
  const std::string path = (fs::path(dir) / kAlbumTextFile).string();
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;
  if (!S_ISREG(st.st_mode) || static_cast<std::uintmax_t>(st.st_size) > kMaxAlbumText) {
    warnings.push_back("The album text " + path + " is not used: not a file of at most 64 KB");
    return;
  }
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  const std::size_t end = text.find('\n');
  node.Title = text.substr(0, end);
  if (!node.Title.empty() && node.Title.back() == '\r') node.Title.pop_back();
  if (end != std::string::npos) node.Description = text.substr(end + 1);
  while (!node.Description.empty() &&
         (node.Description.back() == '\n' || node.Description.back() == '\r')) {
    node.Description.pop_back();
  }
}

class TScan {
 public:
  TScan(TAlbumSort sort, const std::string& target,
        const std::function<void(const std::string&)>& reading, bool videos)
      : sort_(sort), reading_(reading), videos_(videos) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) target_ = {st.st_dev, st.st_ino};
  }

  // The folder dir into node (its name set by the caller). False with error_ set.
  bool Folder(const std::string& dir, int depth, bool top, TNode& node);
  // The pictures of a folder in the chosen order.
  bool Pictures(const std::string& dir, std::vector<TPictureEntry>& pictures,
                std::vector<std::string>& subs);

  std::string error_;
  std::vector<std::string> warnings_;

 private:
  TAlbumSort sort_;
  const std::function<void(const std::string&)>& reading_;
  bool videos_;
  std::optional<TFolderId> target_;
  std::vector<std::pair<TFolderId, std::string>> chain_;  // the folders above, for loops
  std::set<TFolderId> seen_;
};

bool TScan::Pictures(const std::string& dir, std::vector<TPictureEntry>& pictures,
                     std::vector<std::string>& subs) {
  if (reading_) reading_(dir);
  const std::vector<std::string> names = FolderPictureNames(dir, error_, videos_, &subs);
  if (!error_.empty()) return false;
  for (const std::string& name : names) pictures.push_back({name, (fs::path(dir) / name).string()});
  if (sort_ == TAlbumSort::Date) {
    std::vector<std::pair<std::int64_t, TPictureEntry>> dated;
    for (TPictureEntry& p : pictures) dated.emplace_back(PictureDate(p.Path), std::move(p));
    std::stable_sort(dated.begin(), dated.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < dated.size(); ++i) pictures[i] = std::move(dated[i].second);
  }
  return true;
}

bool TScan::Folder(const std::string& dir, int depth, bool top, TNode& node) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0) {
    error_ = "cannot read folder " + dir + ": " + std::generic_category().message(errno);
    return false;
  }
  const TFolderId id{st.st_dev, st.st_ino};
  for (const auto& [above, name] : chain_) {
    if (above == id) {
      error_ = "the folder " + dir + " leads back to " + name +
               " (a loop of links); remove the link or leave it out";
      return false;
    }
  }
  if (depth > kMaxDepth) {
    error_ = "the folder " + dir + " lies more than 64 folders deep";
    return false;
  }
  if (!seen_.insert(id).second) {
    warnings_.push_back("The folder " + dir + " was reached before (through a link): left out");
    return true;
  }
  if (!top && target_ == id) return true;  // the catalog being built is no album of itself
  std::vector<std::string> subs;
  if (!Pictures(dir, node.Pictures, subs)) return false;
  chain_.emplace_back(id, dir);
  std::sort(subs.begin(), subs.end(), NameBefore);
  node.Total = static_cast<int>(node.Pictures.size());
  for (const std::string& name : subs) {
    TNode child;
    child.Name = name;
    if (!Folder((fs::path(dir) / name).string(), depth + 1, false, child)) return false;
    if (child.Total == 0) continue;
    node.Total += child.Total;
    node.Children.push_back(std::move(child));
  }
  chain_.pop_back();
  if (const std::string clash = NameClash(node); !clash.empty()) {
    error_ = "the folder " + (fs::path(dir) / clash).string() +
             " has the name of a file its album writes; rename it";
    return false;
  }
  ReadAlbumText(dir, node, warnings_);
  return true;
}

// The albums after their sub-albums; returns the node's index.
int Flatten(TNode& node, const std::string& rel, std::vector<TAlbum>& albums) {
  std::vector<int> children;
  for (TNode& child : node.Children) {
    children.push_back(Flatten(child, rel.empty() ? child.Name : rel + "/" + child.Name, albums));
  }
  TAlbum album;
  album.Rel = rel;
  album.Name = node.Name;
  album.Pictures = std::move(node.Pictures);
  album.Children = children;
  album.Total = node.Total;
  album.Title = std::move(node.Title);
  album.Description = std::move(node.Description);
  albums.push_back(std::move(album));
  const int index = static_cast<int>(albums.size()) - 1;
  for (int c : children) albums[c].Parent = index;
  return index;
}

// Totals, sub-albums by name, and texts of a tree made from a list.
void Settle(TNode& node, std::vector<std::string>& warnings) {
  std::sort(node.Children.begin(), node.Children.end(),
            [](const TNode& a, const TNode& b) { return NameBefore(a.Name, b.Name); });
  node.Total = static_cast<int>(node.Pictures.size());
  for (TNode& child : node.Children) {
    Settle(child, warnings);
    node.Total += child.Total;
  }
  if (!node.Pictures.empty()) {
    ReadAlbumText(fs::path(node.Pictures.front().Path).parent_path().string(), node, warnings);
  }
}

}  // namespace

TAlbumTree AlbumTreeOfList(const std::vector<TListedPicture>& pictures) {
  TNode top;
  for (const TListedPicture& listed : pictures) {
    TNode* node = &top;
    for (const auto& part : fs::path(listed.Album)) {
      const std::string name = part.string();
      auto it = std::find_if(node->Children.begin(), node->Children.end(),
                             [&](const TNode& c) { return c.Name == name; });
      if (it == node->Children.end()) {
        node->Children.emplace_back().Name = name;
        it = node->Children.end() - 1;
      }
      node = &*it;
    }
    node->Pictures.push_back(listed.Picture);
  }
  TAlbumTree tree;
  Settle(top, tree.Warnings);
  Flatten(top, "", tree.Albums);
  return tree;
}

bool ScanAlbumTree(const std::vector<std::string>& inputs, const std::string& target,
                   TAlbumSort sort, TAlbumTree& tree, std::string& error,
                   const std::function<void(const std::string&)>& reading, bool videos) {
  TScan scan(sort, target, reading, videos);
  TNode top;
  for (const std::string& input : inputs) {
    std::error_code ec;
    const fs::file_status st = fs::status(input, ec);
    if (fs::is_regular_file(st)) {
      top.Pictures.push_back({fs::path(input).filename().string(), input});
      ++top.Total;
      continue;
    }
    TNode folder;
    if (!fs::is_directory(st)) {
      scan.error_ = "cannot find picture or folder '" + input + "'";
    } else if (scan.Folder(input, 0, true, folder)) {
      for (TPictureEntry& p : folder.Pictures) top.Pictures.push_back(std::move(p));
      for (TNode& child : folder.Children) top.Children.push_back(std::move(child));
      top.Total += folder.Total;
      if (top.Title.empty()) top.Title = folder.Title, top.Description = folder.Description;
    }
    if (!scan.error_.empty()) {
      error = scan.error_;
      return false;
    }
  }
  std::stable_sort(top.Children.begin(), top.Children.end(),
                   [](const TNode& a, const TNode& b) { return NameBefore(a.Name, b.Name); });
  for (std::size_t i = 1; i < top.Children.size(); ++i) {
    if (top.Children[i].Name == top.Children[i - 1].Name) {
      error = "two folders given have a sub-folder " + top.Children[i].Name +
              "; their albums would share a folder of the target";
      return false;
    }
  }
  if (const std::string clash = NameClash(top); !clash.empty()) {
    error = "the sub-folder " + clash + " has the name of a file the top album writes; rename it";
    return false;
  }
  tree = TAlbumTree();
  Flatten(top, "", tree.Albums);
  tree.Warnings = std::move(scan.warnings_);
  return true;
}

}  // namespace folivant
