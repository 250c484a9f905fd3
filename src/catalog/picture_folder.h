// Which files are pictures, and the pictures of a folder: the rule the command line applies to
// a folder argument and the window to a dropped folder.
#pragma once

#include <string>
#include <vector>

namespace folivant {

// A picture by its name: *.jpg, *.jpeg, *.gif, *.png, *.webp, *.heic, *.heif, *.avif, *.tif or
// *.tiff, any letter case.
bool IsPictureName(const std::string& name);

// The names of a folder's pictures, sorted by name without regard to case (ties by bytes),
// leaving out hidden files, anything that is not a regular file, and the thumbnails (tnNAME.jpg)
// of the folder's other pictures. error is set when the folder cannot be read.
std::vector<std::string> FolderPictureNames(const std::string& folder, std::string& error);

}  // namespace folivant
