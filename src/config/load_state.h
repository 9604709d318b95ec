#pragma once

// Whether a unit's state file could be read when the unit last loaded it. A file that
// exists but could not be read (permissions, an I/O error, a directory in its place) may
// hold the operator's only copy of state this run never saw, and the cause may be mended
// before the run ends: so until the next load, no save of the unit may replace it, even
// when the file has become readable meanwhile.

#include <string>

namespace vantrel {

class ListFile;

// Owned by the unit that owns the file (settings, accounts, monitored files) and used
// under that unit's lock only.
class LoadState {
 public:
  // Takes the outcome of the load that just read `file`.
  void Record(const ListFile& file);
  // The system's reason why the last load could not read the file; empty when it could,
  // or when there was no file.
  const std::string& failure() const { return failure_; }
  // Throws Error("Unable to write to <path> (it could not be read at start-up)") while
  // the last load failed.
  void CheckSave(const std::string& path) const;

 private:
  std::string failure_;
};

}  // namespace vantrel
