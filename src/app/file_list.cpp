#include "app/file_list.h"

#include <algorithm>
#include <numeric>

namespace folivant {

namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

}  // namespace

std::string TFileList::NameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TFileList::FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::size_t TFileList::Add(const std::string& path) {
  std::string name = NameOf(path);
  std::size_t at = names_.size();
  if (keepSorted_) {
    // Before the first greater name, so equal names keep their arrival order. A linear scan
    // stays well defined after Move up/down has broken the order.
    at = static_cast<std::size_t>(
        std::find_if(names_.begin(), names_.end(),
                     [&name](const std::string& n) { return LessNoCase(name, n); }) -
        names_.begin());
  }
  names_.insert(names_.begin() + static_cast<std::ptrdiff_t>(at), std::move(name));
  paths_.insert(paths_.begin() + static_cast<std::ptrdiff_t>(at), path);
  return at;
}

void TFileList::Clear() {
  names_.clear();
  paths_.clear();
}

bool TFileList::MoveUp(std::size_t i) {
  if (i == 0 || i >= names_.size()) return false;
  std::swap(names_[i], names_[i - 1]);
  std::swap(paths_[i], paths_[i - 1]);
  return true;
}

bool TFileList::MoveDown(std::size_t i) {
  if (i + 1 >= names_.size()) return false;
  std::swap(names_[i], names_[i + 1]);
  std::swap(paths_[i], paths_[i + 1]);
  return true;
}

bool TFileList::Remove(std::size_t i) {
  if (i >= names_.size()) return false;
  names_.erase(names_.begin() + static_cast<std::ptrdiff_t>(i));
  paths_.erase(paths_.begin() + static_cast<std::ptrdiff_t>(i));
  return true;
}

void TFileList::Sort() {
  keepSorted_ = true;
  std::vector<std::size_t> order(names_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
    return LessNoCase(names_[a], names_[b]);
  });
  std::vector<std::string> names, paths;
  names.reserve(order.size());
  paths.reserve(order.size());
  for (std::size_t k : order) {
    names.push_back(std::move(names_[k]));
    paths.push_back(std::move(paths_[k]));
  }
  names_ = std::move(names);
  paths_ = std::move(paths);
}

}  // namespace folivant
