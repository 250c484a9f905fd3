#include <mutex>
#include <utility>

#include "codecs/codecs.h"
#include "imaging/codec_hooks.h"
#include "imaging/image_box.h"

namespace folivant {

void InstallCodecs() {
  static std::once_flag once;
  std::call_once(once, [] {
    TCodecTable& t = Codecs();
    t.ReadJpeg = ReadJpegStream;
    t.WriteJpeg = WriteJpegStream;
    t.ReadPng = ReadPngStream;
    t.ReadGifFile = ReadGifFile;
    t.ReadGifStream = ReadGifStream;
    t.ReadTiff = ReadTiffStream;
    DefGifLzwDecompress = DecodeGifLzw;
    DefGifLzwCompress = EncodeGifLzw;
    StartHeifLibrary();
    const struct {
      int code;
      const char* desc;
      const char* ext;
      bool (*test)(TStream&);
      void (*read)(TStream&, TBitmap&, TIOParamsVals&, bool, TProgressRec&);
    } added[] = {
        {kFileTypeWebp, "WebP Image", "WEBP", IsWebpStream, ReadWebpStream},
        {kFileTypeHeif, "HEIF Image", "HEIC;HEIF", IsHeifStream, ReadHeifStream},
        {kFileTypeAvif, "AV1 Image", "AVIF", IsHeifStream, ReadHeifStream},
    };
    for (const auto& f : added) {
      TFileFormatInfo info;
      info.FileType = f.code;
      info.Description = f.desc;
      info.Extensions = f.ext;
      info.ReadFunction = f.read;
      info.TestFunction = f.test;
      FileFormatRegistry().Add(std::move(info));
    }
  });
}

}  // namespace folivant
