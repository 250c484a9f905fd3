// The plan of a build, worked out before anything is written: every picture's names and the
// clashes between them, the share each picture goes to, and the words for what is wrong. Pure
// functions of the list and the options, apart from reading each picture's first bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "catalog/catalog_options.h"
#include "catalog/engine/build_engine.h"
#include "catalog/record/build_record.h"

namespace folivant {

// A system message as the middle of a sentence: "permission denied".
std::string MidSentence(std::string why);

// True when a build before took the picture's source as it is now (same path and stamp): its
// first bytes need no second look.
using TSourceVouched = std::function<bool(const CatalogItem&, const TFileStamp&)>;

// Fills items from the request and checks it as a whole: the share, every name, and that
// every picture is a file the reader its name picks can read (by its first bytes). stamps gets
// each picture's stamp at its first listing (Size -1 for a listing again). Throws
// ECatalogError naming what is wrong.
void CheckRequest(const TBuildRequest& request, std::vector<CatalogItem>& items,
                  std::vector<TFileStamp>& stamps, const TSourceVouched& vouched = {});

// The 0-based share of each picture when the list is spread over count shares: its index
// modulo count, except that pictures writing a file of the same name all go with the first of
// them, so one machine writes that file and in list order.
std::vector<int> ShareOfPictures(const std::vector<CatalogItem>& items, int count);

// What stands where the target folder or one of its parents should be ("a file of that name
// is in the way"), or empty.
std::string InTheWay(const std::string& dir);
// Makes the target folder (with its parents); empty when it is there now, else why not.
std::string MakeTargetFolder(const std::string& dir, bool parents);

// The options in which two image keys ("name=value ...") differ: "built with quality=80, now
// quality=90".
std::string KeyDifference(const std::string& was, const std::string& now);

}  // namespace folivant
