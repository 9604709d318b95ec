#pragma once

#include <string>

namespace vantrel {

// A fresh directory under the system temp directory, removed with everything in it when
// the object goes out of scope. Each test owns its own, so tests can run in parallel.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory, without a trailing "/".
  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace vantrel
