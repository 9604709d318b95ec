#pragma once

// The monitored ("special") files: a download count, the last download time and the last
// downloader's address per bare file name. Owned by the service host; any thread may call,
// every operation runs under the one lock.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/date_time.h"
#include "config/load_state.h"

namespace vantrel {

struct SpecialFile {
  std::string file_name;
  int count = 0;
  DateTime last_time = 0;
  std::string last_ip;
};

// Name, count, last time, last address; a time or address not yet known shows as "-".
std::vector<std::string> SpecialFileCells(const SpecialFile& file);
// Stable, so ties keep the order the rows had: column 0 name and 3 address ascending by
// byte value, 1 count highest first, 2 last time most recent first. False, rows
// untouched, for any other column.
bool SortSpecialFiles(std::vector<SpecialFile>& files, int column);

class SpecialFiles {
 public:
  static constexpr const char* kFileName = "httpspecialfiles.lst";

  void Clear();
  // Replaces the list with the file's records, or empties it when there is no file yet.
  // False (and no change) when the file exists but cannot be read; LoadFailure says why.
  bool Load(const std::string& data_directory);
  std::string LoadFailure() const;
  // Throws Error("Unable to write to ...") and leaves the previous file intact; refuses
  // so while the last load could not read the file.
  void Save(const std::string& data_directory) const;

  bool Add(std::string_view file_name);
  bool Remove(std::string_view file_name);
  bool Reset(std::string_view file_name);
  // A copy of the list, in its order.
  std::vector<SpecialFile> Records() const;

 private:
  int Find(std::string_view file_name) const;

  mutable std::mutex mutex_;
  std::vector<SpecialFile> files_;  // guarded by mutex_
  LoadState load_state_;            // guarded by mutex_
};

}  // namespace vantrel
