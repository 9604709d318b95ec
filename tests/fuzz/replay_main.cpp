// Replays a fuzz target's corpus in the normal build (no libFuzzer): every file under the
// directories given, in name order, goes through LLVMFuzzerTestOneInput once. The
// sanitizers of the build report what goes wrong; a target checks its own properties and
// aborts when one fails. Inputs that once crashed stay in the corpus, so this is how a fix
// stays fixed.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc < 2) {
    std::cerr << "usage: " << argv[0] << " <corpus file or directory>...\n";
    return 2;
  }
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path root(argv[i]);
    if (fs::is_directory(root)) {
      for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
          inputs.push_back(entry.path());
      }
    } else if (fs::is_regular_file(root)) {
      inputs.push_back(root);
    } else {
      std::cerr << "no such corpus: " << root << "\n";
      return 2;
    }
  }
  if (inputs.empty()) {
    std::cerr << "the corpus is empty\n";
    return 2;
  }
  std::sort(inputs.begin(), inputs.end());
  for (const auto& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A failing property aborts inside the call; the last name printed is the culprit.
    std::cout << path.filename().string() << std::endl;
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::cout << inputs.size() << " inputs replayed\n";
  return 0;
}
