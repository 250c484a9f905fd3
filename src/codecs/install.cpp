#include <mutex>

#include "codecs/codecs.h"
#include "imaging/codec_hooks.h"

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
    DefGifLzwDecompress = DecodeGifLzw;
    DefGifLzwCompress = EncodeGifLzw;
  });
}

}  // namespace folivant
