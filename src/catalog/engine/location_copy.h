// The copy step's part of location removal: what a picture's file says about where it was
// taken, and the bytes its copy gets when the build removes that (--strip-location).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog_options.h"

namespace folivant {

class TBuildOutputs;

// The copy's key in the build record: how the copy was made from its picture. A copy made
// with another key is made again.
inline constexpr const char* kStripLocationKey = "strip-location";

struct TSourceFacts {
  std::uint64_t Hash = 0;  // of the picture's bytes
  bool Located = false;    // they carry a location
  std::string Bytes;       // what the copy gets: the picture, or it without its location
  std::uint64_t CopyHash = 0;
  bool Streamed = false;  // not read whole: the copy comes from the file itself
};

// Reads the picture at path whole. strip: Bytes lose their location. A clip, or a file too
// large to hold that need not be edited, is only hashed (Streamed): where a clip was taken is
// not looked for. Throws ETargetFileError
// naming the file when it cannot be read, or when strip meets a location it cannot remove
// safely (then nothing is copied: the build never publishes a location it was asked to
// remove).
TSourceFacts ReadSourceFacts(const std::string& path, bool strip, bool clip);

// The copy step of a picture in one pass where it can be: a JPEG's head (its segments before
// the picture data, where a location is kept) is read and edited whole, and the rest copied
// block by block into a temporary file in dir, hashed and searched on the way; facts are then
// those ReadSourceFacts gives, less Bytes. nullptr for another file, whose facts come from
// ReadSourceFacts. Throws as ReadSourceFacts and BytesToTemp do.
class TTempFile;
std::unique_ptr<TTempFile> CopySourceToTemp(const std::string& path, bool strip, bool clip,
                                            const std::string& dir,
                                            const std::function<bool()>& stop,
                                            const std::function<void(std::uint64_t)>& progress,
                                            TSourceFacts& facts);

// Bytes to a temporary file in dir, which the caller commits as name. Throws, asks stop and
// tells progress as CopyToTemp does.
std::unique_ptr<TTempFile> BytesToTemp(const std::string& bytes, const std::string& dir,
                                       const std::string& name, const std::string& source,
                                       const std::function<bool()>& stop,
                                       const std::function<void(std::uint64_t)>& progress);

// The pictures (each name once) of order whose copy step found a location.
int CountLocated(TBuildOutputs& outputs, const std::vector<CatalogItem>& items,
                 const std::vector<int>& order);

// "12 pictures carry a location (GPS); --strip-location removes it from the published
// copies", or "" for none.
std::string LocatedPicturesText(int count);

}  // namespace folivant
