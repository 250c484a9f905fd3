// The JPEG frame-size reader, which the build runs on a JPEG before choosing its decode scale:
// whatever the bytes, it stops within the stream, and a size it gives fits a frame header.
#include "fuzz_common.h"
#include "imaging/stream.h"

using namespace folivant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMemoryStream stream(data, size);
  int width = 0, height = 0;
  if (!ReadJpegFrameSize(stream, width, height)) return 0;
  FUZZ_CHECK(width > 0 && height > 0 && width <= 65535 && height <= 65535);
  FUZZ_CHECK(stream.Position() <= static_cast<std::int64_t>(size));
  return 0;
}
