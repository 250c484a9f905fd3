// Escaping of picture names for the pages, checked with the escaping test's own checker
// (tests/common/escape_check.h): every escape reads back as the name, and none lets markup,
// a quote or a script through.
#include <cstdio>
#include <string>

#include "../tests/common/escape_check.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  const std::string problem = folivant::test::CheckEscapes(name);
  if (!problem.empty()) std::fprintf(stderr, "%s\n", problem.c_str());
  FUZZ_CHECK(problem.empty());
  return 0;
}
