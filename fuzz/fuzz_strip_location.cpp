// Location removal on any bytes: never a crash, and what it returns keeps the length and
// shows no location any more.
#include <string_view>

#include "fuzz_common.h"
#include "metadata/location.h"

using namespace folivant;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const TLocationEdit edit = RemoveLocation(file);
  if (edit.State == TLocationState::lsRemoved) {
    FUZZ_CHECK(edit.Bytes.size() == size);
    FUZZ_CHECK(RemoveLocation(edit.Bytes).State == TLocationState::lsNone);
  } else {
    FUZZ_CHECK(edit.Bytes.empty());
  }
  return 0;
}
