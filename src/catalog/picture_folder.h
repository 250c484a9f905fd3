// Which files are pictures, and the pictures of a folder: the rule the command line applies to
// a folder argument and the window to a dropped folder.
#pragma once

#include <string>
#include <vector>

namespace folivant {

// A picture by its name: one of the format registry's listed extensions (*.jpg, *.jpeg, *.gif,
// *.png, *.webp, *.heic, *.heif, *.avif, *.tif, *.tiff and the video clips' *.mp4, *.m4v,
// *.mov, *.webm, *.mkv, *.avi, *.3gp), any letter case.
bool IsPictureName(const std::string& name);

// The order of names in a folder: without regard to case, then byte for byte.
bool NameOrderBefore(const std::string& a, const std::string& b);

// The names of a folder's pictures, sorted by name without regard to case (ties by bytes),
// leaving out hidden files (the build's temporary files among them), anything that is not a
// regular file, and what a build into the folder made of its other pictures: thumbnails
// (tnNAME.jpg) and web copies (NAME.heic.jpg beside NAME.heic, NAME.mov.jpg and NAME.mov.mp4
// beside NAME.mov). Without videos, clips are left out too. error is set when the folder
// cannot be read. folders, when given, gets the names of the sub-folders (links to folders
// too; hidden ones left out), unsorted, from the same reading of the folder.
std::vector<std::string> FolderPictureNames(const std::string& folder, std::string& error,
                                            bool videos = true,
                                            std::vector<std::string>* folders = nullptr);

}  // namespace folivant
