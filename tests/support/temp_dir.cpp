#include "support/temp_dir.h"

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace vantrel {

TempDir::TempDir() {
  const auto base = std::filesystem::temp_directory_path();
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate = base / ("vantrel-test-" + std::to_string(random()));
    // create_directory is false when the name is taken, so two tests never share one.
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory under " + base.string());
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const {
  return path_ + "/" + name;
}

}  // namespace vantrel
