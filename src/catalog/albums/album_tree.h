// A picture folder tree as albums: which folders are albums, their pictures in order, and
// their text. No Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "catalog/engine/build_engine.h"

namespace folivant {

enum class TAlbumSort { Name, Date };

// The album text file of a folder: first line the title, the rest the description.
inline constexpr const char* kAlbumTextFile = "album.txt";

struct TAlbum {
  std::string Rel;   // below the target, "/" between names; "" for the top album
  std::string Name;  // the folder's name on disk; "" for the top album
  std::vector<TPictureEntry> Pictures;
  int Parent = -1;
  std::vector<int> Children;  // by name
  int Total = 0;              // pictures here and below
  std::string Title, Description;
};

// The albums, each after its sub-albums (so a parent is built with its covers known); the
// top album last.
struct TAlbumTree {
  std::vector<TAlbum> Albums;
  std::vector<std::string> Warnings;  // folders reached twice, album texts not read
};

// Reads the tree of every folder given (pictures given alone join the top album, as do the
// pictures of each folder given; their sub-folders become its sub-albums). Skipped: hidden
// folders, the target folder (when it is not the top folder itself), folders without pictures
// at any depth. A link to a folder is followed once; a link back to a folder above it is a loop
// and refused. False with error naming the folder when the tree cannot be read.
bool ScanAlbumTree(const std::vector<std::string>& inputs, const std::string& target,
                   TAlbumSort sort, TAlbumTree& tree, std::string& error,
                   const std::function<void(const std::string&)>& reading = {}, bool videos = true);

// A picture of a list (the window's) with the album it was found in ("" for the top album).
struct TListedPicture {
  TPictureEntry Picture;
  std::string Album;
};
// The tree of the albums a list names, each album's pictures in list order; the albums above
// them are made too. An album's text is read from the folder of its first picture.
TAlbumTree AlbumTreeOfList(const std::vector<TListedPicture>& pictures);

// The date a picture was taken, for --sort date: EXIF DateTimeOriginal (with its
// OffsetTimeOriginal where given) of a JPEG, PNG, HEIF or AVIF picture, else the file's
// modification time; nanoseconds since the epoch.
std::int64_t PictureDate(const std::string& path);

}  // namespace folivant
