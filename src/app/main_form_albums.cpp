// The window's albums: folders added as trees, the list showing each picture's album, and the
// list handed to the engine as a tree.
#include <QCheckBox>
#include <QComboBox>

#include "app/dialogs.h"
#include "app/form_util.h"
#include "app/main_form.h"
#include "app/tabs.h"
#include "catalog/albums/album_tree.h"
#include "catalog/picture_folder.h"

namespace folivant {

void TForm1::AddFolderButtonClick() {
  if (RefuseWhileBuilding()) return;
  const QString dir = dialogs_.Folder(this, QStringLiteral("Add Folder"), pictureDir_);
  if (!dir.isEmpty()) DropFiles({dir});
}

void TForm1::AddFolder(const std::string& path, std::vector<std::string>& pictures,
                       QStringList& problems) {
  std::string error;
  const auto* videosBox = findChild<QCheckBox*>(QStringLiteral("VideosCheck"));
  const bool videos = !videosBox || videosBox->isChecked();
  if (!filesTab_->AlbumsCheck->isChecked()) {
    for (const std::string& name : FolderPictureNames(path, error, videos)) {
      pictures.push_back(path == "/" ? "/" + name : path + "/" + name);
      albumOf_.erase(pictures.back());
    }
    if (!error.empty()) problems << Q(error);
    return;
  }
  const auto sort = static_cast<TAlbumSort>(filesTab_->SortCombo->currentIndex() == 1);
  TAlbumTree tree;
  if (!ScanAlbumTree({path}, S(ResolvedTarget()), sort, tree, error, {}, videos)) {
    problems << Q(error);
    return;
  }
  for (const std::string& warning : tree.Warnings) problems << Q(warning);
  // Top album first, then the albums by name: the order a reader walks them.
  std::vector<const TAlbum*> albums;
  for (const TAlbum& album : tree.Albums) albums.push_back(&album);
  std::stable_sort(albums.begin(), albums.end(),
                   [](const TAlbum* a, const TAlbum* b) { return a->Rel < b->Rel; });
  for (const TAlbum* album : albums) {
    for (const TPictureEntry& p : album->Pictures) {
      pictures.push_back(p.Path);
      albumOf_[p.Path] = album->Rel;
    }
  }
}

QString TForm1::ListText(std::size_t i) const {
  const auto it = albumOf_.find(files_.Paths()[i]);
  const QString name = Q(files_.Names()[i]);
  return it == albumOf_.end() || it->second.empty() ? name : Q(it->second) + " / " + name;
}

std::shared_ptr<const TAlbumTree> TForm1::ListTree() const {
  std::vector<TListedPicture> listed;
  bool albums = false;
  for (std::size_t i = 0; i < files_.Count(); ++i) {
    const auto it = albumOf_.find(files_.Paths()[i]);
    albums = albums || it != albumOf_.end();
    listed.push_back({{files_.Names()[i], files_.Paths()[i]},
                      it == albumOf_.end() ? std::string() : it->second});
  }
  if (!albums) return nullptr;
  return std::make_shared<const TAlbumTree>(AlbumTreeOfList(listed));
}

}  // namespace folivant
