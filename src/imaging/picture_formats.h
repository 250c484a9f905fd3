// The kinds of picture Folivant reads, each named once: its extensions, its first bytes, its
// reader and what a build does with it. Loads, the build's checks, folder scans and the
// window's file dialog and drops all ask here. A new kind is one row in picture_formats.cpp
// plus its reader (installed by InstallCodecs).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/stream.h"

namespace folivant {

enum class TPictureKind { pkNone, pkJpeg, pkGif, pkPng, pkWebp, pkHeif, pkAvif, pkTiff, pkClip };

// Reads a picture (or with paramsOnly only its header into params). Bad data sets
// *progress.Aborting; only the size limit and file errors throw.
using TPictureReader = void (*)(TStream& s, TBitmap& bmp, TIOParamsVals& params, bool paramsOnly,
                                TProgressRec& progress);

// The component's background after a load: kept, or the colour the file asks for.
enum class TBackgroundAfterLoad { baKeep, baPngBackground, baGifColour };

struct TPictureFormat {
  TPictureKind Kind = TPictureKind::pkNone;
  const char* Name = "";  // in messages: "not a valid JPEG file"
  // Lower case with the dot, the usual one first. A folder scan, the file dialog and drops
  // take the first Listed of them; a name given explicitly may use any.
  std::vector<std::string> Extensions;
  std::size_t Listed = 0;
  const char* DialogGroup = "";  // "JPG Files": neighbours of one group share a filter line
  bool (*Magic)(std::string_view head) = nullptr;  // from the first 12 bytes
  TPictureKind ReadBy = TPictureKind::pkNone;      // the kind whose reader reads it
  int FileType = 0;                                // TIOParamsVals::FileType after a load
  bool WebCopy = false;  // browsers do not show it: its page shows a JPEG copy
  bool Clip = false;     // a video clip: its web copy is the poster, its page plays it
  // Transparent areas are possible: the reader blends them on the component's background.
  bool Transparency = false;
  TBackgroundAfterLoad BackgroundAfter = TBackgroundAfterLoad::baKeep;
  TPictureReader Read = nullptr;  // set for the kind named by ReadBy (InstallCodecs)
};

// Every kind, in the order the file dialog lists them.
const std::vector<TPictureFormat>& PictureFormats();
const TPictureFormat& PictureFormat(TPictureKind kind);
// The reader of a kind (its ReadBy's), or nullptr when none is installed.
TPictureReader PictureReader(TPictureKind kind);
// Installs the reader of a kind; only at program start, before any worker runs. Returns the
// one it replaces (tests put it back).
TPictureReader SetPictureReader(TPictureKind kind, TPictureReader read);

// The extension of a file name: from the last "." of its last path component, dot included,
// in lower case; empty when there is none.
std::string LowerExtension(const std::string& fileName);

// By a name's extension (any case; every extension of the kind) and by a file's first bytes.
TPictureKind PictureKindOfName(const std::string& fileName);
TPictureKind PictureKindOfBytes(std::string_view head);
// "JPEG", "GIF", ...; and the usual extension: ".jpg", ".gif", ...
const char* PictureKindName(TPictureKind kind);
const char* PictureKindExtension(TPictureKind kind);
// True when the reader for a name of kind named reads a file whose bytes are of kind found.
bool ReadsAs(TPictureKind named, TPictureKind found);

// A picture by its name as folder scans and drops take it: one of the listed extensions.
bool IsListedPictureName(const std::string& name);
// The listed extensions: ".jpg, .jpeg, ... or .tiff".
std::string ListedExtensionsText();
// The file dialog's filter, "Image Files|*.jpg; *.jpeg; ...|JPG Files|*.jpg; *.jpeg|...".
std::string PictureDialogFilter();

}  // namespace folivant
