#include "imaging/codec_hooks.h"

namespace folivant {

TCodecTable& Codecs() {
  static TCodecTable table;
  return table;
}

}  // namespace folivant
