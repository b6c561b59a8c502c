// Runs a fuzz target without libFuzzer, on stored inputs: each file named on
// the command line, and each file of each directory named there, in name
// order.  A finding aborts the run as it aborts the fuzzer; the input named
// last on standard output is the one at fault.
//
//   fuzz_fixedint_replay fuzz/corpus/fuzz_fixedint [crash-...]
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size);

namespace {

namespace fs = std::filesystem;

// The inputs a command-line argument names.
std::vector<fs::path> inputsof(const fs::path& path) {
  if (!fs::is_directory(path)) {
    return {path};
  }
  std::vector<fs::path> out;
  for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
    if (entry.is_regular_file()) {
      out.push_back(entry.path());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool replay(const fs::path& input) {
  std::ifstream in(input, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
    return false;
  }
  const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
  std::printf("%s (%zu bytes)\n", input.string().c_str(), bytes.size());
  std::fflush(stdout);
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

} // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int arg = 1; arg < argc; ++arg) {
    for (const fs::path& input : inputsof(argv[arg])) {
      if (!replay(input)) {
        return 1;
      }
      ++count;
    }
  }
  if (count == 0) {
    std::fprintf(stderr, "usage: %s <input or directory>...: no inputs\n",
                 argv[0]);
    return 1;
  }
  std::printf("%zu inputs replayed, no finding\n", count);
  return 0;
}
