#include <mutex>
#include <utility>

#include "codecs/codecs.h"
#include "imaging/codec_hooks.h"
#include "imaging/picture_formats.h"
#include "video/clip.h"

namespace folivant {

void InstallCodecs() {
  static std::once_flag once;
  std::call_once(once, [] {
    Codecs().WriteJpeg = WriteJpegStream;
    DefGifLzwDecompress = DecodeGifLzw;
    DefGifLzwCompress = EncodeGifLzw;
    // One reader per kind of the registry (AVIF is read by the HEIF reader).
    SetPictureReader(TPictureKind::pkJpeg, ReadJpegStream);
    SetPictureReader(TPictureKind::pkGif, ReadGifPicture);
    SetPictureReader(TPictureKind::pkPng, ReadPngStream);
    SetPictureReader(TPictureKind::pkWebp, ReadWebpStream);
    SetPictureReader(TPictureKind::pkHeif, ReadHeifStream);
    SetPictureReader(TPictureKind::pkTiff, ReadTiffStream);
    InstallClipReader();
  });
}

}  // namespace folivant
