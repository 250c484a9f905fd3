// The clip reader on a whole file in memory: the facts alone, then the poster frame.
#include "fuzz_reader_common.h"
#include "video/clip.h"

using namespace folivant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::SetUpCodecs();
  fuzz::HeaderThenPicture(data, size, ReadClipStream);
  return 0;
}
