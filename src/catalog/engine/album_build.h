// A folder tree built as albums: each album is a flat build into its own sub-folder of the
// target, two albums at a time at most (never more than the jobs), each with the workers, so
// memory is that of the two largest albums. Each album keeps its own build record in its folder;
// the list of albums the target holds (.folivant/albums.list) lets a later build remove the albums
// whose folders went.
#pragma once

#include <string>
#include <vector>

#include "catalog/albums/album_tree.h"
#include "catalog/engine/build_engine.h"

namespace folivant {

inline constexpr const char* kAlbumListFile = "albums.list";

// Every picture of the tree in the order the albums are built (for progress by index).
std::vector<TPictureEntry> AlbumTreePictures(const TAlbumTree& tree);

// Builds the tree with the options, jobs and share of base (its Pictures unused) into
// base.Options.TargetDir. The result adds up the albums'; a failure names the album. A whole
// build that ends with every album done removes what it made of albums no longer there.
TBuildResult RunAlbumTree(TBuildEngine& engine, const TBuildRequest& base, const TAlbumTree& tree,
                          IBuildObserver& observer);

}  // namespace folivant
