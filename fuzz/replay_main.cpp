// Stand-in for libFuzzer's driver: runs LLVMFuzzerTestOneInput once on every file named on
// the command line, and on every file below each folder named there. Lets ctest replay the
// seed corpora and the known bad inputs with the ordinary compiler.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

namespace {

bool RunFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  // A block of exactly the input's size, so that a read past the end is caught by the
  // sanitizers as it would be under libFuzzer.
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  LLVMFuzzerTestOneInput(exact.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  int files = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg(argv[i]);
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
      std::vector<fs::path> found;
      for (const auto& e : fs::recursive_directory_iterator(arg, ec)) {
        if (e.is_regular_file()) found.push_back(e.path());
      }
      std::sort(found.begin(), found.end());
      for (const auto& f : found) {
        ok = RunFile(f) && ok;
        ++files;
      }
    } else if (fs::exists(arg, ec)) {
      ok = RunFile(arg) && ok;
      ++files;
    } else {
      std::printf("%s: not there, skipped\n", argv[i]);
    }
  }
  std::printf("replayed %d inputs\n", files);
  return ok ? 0 : 1;
}
