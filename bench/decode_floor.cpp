// The decoding alone of the JPEGs given, one after another on this one thread, at the scale a
// --fast-decode build of 96-pixel thumbnails reads 4000 x 3000 photos (1/8) or whole: no
// copies, no resampling, no pages. Its CPU time over the workers is the floor under any build
// of those thumbnails on this machine with these bytes out of libjpeg.
//
//   decode_floor [--whole] FILE.jpg...
#include <cstdio>
#include <cstring>
#include <string>

#include "codecs/codecs.h"
#include "imaging/image_box.h"

int main(int argc, char** argv) {
  using namespace folivant;
  InstallCodecs();
  int first = 1;
  std::uint8_t scale = 4;  // libjpeg's 1/8
  if (argc > 1 && std::strcmp(argv[1], "--whole") == 0) scale = 1, first = 2;
  if (first >= argc) {
    std::fprintf(stderr, "usage: decode_floor [--whole] FILE.jpg...\n");
    return 2;
  }
  for (int i = first; i < argc; ++i) {
    TImageBox box;
    box.SetAutoUndo(false);
    box.IOParams().JpegScale = scale;
    box.LoadFromFile(argv[i]);
    if (box.Aborting() || box.Bitmap().Width() <= 0) {
      std::fprintf(stderr, "decode_floor: cannot read %s\n", argv[i]);
      return 1;
    }
  }
  return 0;
}
