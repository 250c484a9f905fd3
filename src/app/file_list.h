// The picture list: names as shown and full paths, kept in step entry by entry.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace folivant {

class TFileList {
 public:
  std::size_t Count() const { return names_.size(); }
  const std::vector<std::string>& Names() const { return names_; }
  const std::vector<std::string>& Paths() const { return paths_; }
  bool KeepSorted() const { return keepSorted_; }

  // Appends (or, once sorted, inserts at its place) one picture; returns its index.
  std::size_t Add(const std::string& path);
  void Clear();
  // Swaps entry i with its neighbour; false when there is none.
  bool MoveUp(std::size_t i);
  bool MoveDown(std::size_t i);
  bool Remove(std::size_t i);
  // Sorts by name without regard to case and keeps the list sorted from now on.
  void Sort();

  // The part after the last "/" (a picture's displayed name).
  static std::string NameOf(const std::string& path);
  // The path without its last component; "/" stays for a file in the root.
  static std::string FolderOf(const std::string& path);

 private:
  std::vector<std::string> names_;
  std::vector<std::string> paths_;
  bool keepSorted_ = false;
};

}  // namespace folivant
