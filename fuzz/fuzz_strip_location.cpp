// Location removal on any bytes: never a crash, and what it returns keeps the length and
// shows no location any more. A JPEG's head decides as the whole file does, given whether
// location text shows in the rest: the copy step reads no more than the head at once.
#include <string>
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
  const std::size_t length = JpegHeadLength(file);
  if (length == 0) return 0;
  FUZZ_CHECK(length <= size);
  // As the copy does it: the head edited, then location text looked for from there on.
  std::string head(file.substr(0, length)), why;
  TLocationState state = RemoveLocationInPlace(head, why);
  if (ShowsLocation(head + std::string(file.substr(length)))) {
    head = file.substr(0, length);
    state = RemoveLocationInPlace(head, why, true);
  }
  FUZZ_CHECK(state == edit.State);
  if (state == TLocationState::lsRemoved) FUZZ_CHECK(edit.Bytes.substr(0, length) == head);
  return 0;
}
