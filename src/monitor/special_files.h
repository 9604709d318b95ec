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

class SpecialFiles {
 public:
  static constexpr const char* kFileName = "httpspecialfiles.lst";

  enum class SortColumn { kFileName = 0, kCount = 1, kDate = 2, kLastIp = 3 };

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
  // Display lines: name||count||last time||last ip||
  std::vector<std::string> RenderLines() const;
  void Sort(SortColumn column);
  std::vector<SpecialFile> Records() const;

 private:
  int Find(std::string_view file_name) const;

  mutable std::mutex mutex_;
  std::vector<SpecialFile> files_;  // guarded by mutex_
  LoadState load_state_;            // guarded by mutex_
};

}  // namespace vantrel
