// The TIFF reader on a whole file: header only, then the picture.
#include "fuzz_reader_common.h"

using namespace folivant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::SetUpCodecs();
  fuzz::HeaderThenPicture(data, size, ReadTiffStream);
  return 0;
}
