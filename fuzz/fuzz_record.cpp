// The build record's lines from a hostile target folder. Properties: no line is read beyond
// the text; every name a line gives a file in the target is a bare name.
#include <string>

#include "catalog/record/record_lines.h"
#include "fuzz_common.h"

using namespace folivant;

namespace {

bool Bare(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text.reserve(size + RecordLinePadding());
  TBuildRecord record;
  int bad = 0;
  if (!ApplyRecordLines(text, "folivant-build-record", 1, record, bad)) return 0;
  for (const auto& [name, p] : record.Pictures) {
    FUZZ_CHECK(name == p.Name && Bare(name) && Bare(p.Copy.Name));
    for (const TFileRecord* f : p.Made()) FUZZ_CHECK(Bare(f->Name));
  }
  for (const auto& [name, page] : record.CatalogPages) FUZZ_CHECK(Bare(name));
  for (const TIntent& intent : record.Intents) FUZZ_CHECK(Bare(intent.File.Name));
  return 0;
}
