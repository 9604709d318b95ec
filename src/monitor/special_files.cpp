#include "monitor/special_files.h"

#include <algorithm>

#include "common/text.h"
#include "config/list_file.h"

namespace vantrel {
namespace {

constexpr const char* kListName = "specialfiles";
constexpr const char* kRecordType = "specialfile";
constexpr int kMaxFiles = 100000;

std::string OrDash(std::string text) {
  return text.empty() ? "-" : text;
}

template <typename Order>
bool StableSort(std::vector<SpecialFile>& files, Order order) {
  std::stable_sort(files.begin(), files.end(), order);
  return true;
}

}  // namespace

std::vector<std::string> SpecialFileCells(const SpecialFile& file) {
  return {file.file_name, std::to_string(file.count),
          file.last_time > 0 ? FormatLocalDateTime(file.last_time) : "-", OrDash(file.last_ip)};
}

bool SortSpecialFiles(std::vector<SpecialFile>& files, int column) {
  using F = const SpecialFile&;
  switch (column) {
    case 0:
      return StableSort(files, [](F a, F b) { return a.file_name < b.file_name; });
    case 1:
      return StableSort(files, [](F a, F b) { return a.count > b.count; });
    case 2:
      return StableSort(files, [](F a, F b) { return a.last_time > b.last_time; });
    case 3:
      return StableSort(files, [](F a, F b) { return a.last_ip < b.last_ip; });
    default:
      return false;
  }
}

void SpecialFiles::Clear() {
  std::lock_guard lock(mutex_);
  files_.clear();
}

bool SpecialFiles::Load(const std::string& data_directory) {
  const ListFile file(data_directory + kFileName);
  int count = file.ReadInteger(kListName, kListName, 0);
  // An impossible count is a malformed number, and malformed numbers read as 0; taken as
  // it stands, it would make loading allocate without bound.
  if (count < 0 || count > kMaxFiles)
    count = 0;
  std::vector<SpecialFile> loaded(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const std::string section = RecordSection(kRecordType, i);
    SpecialFile& record = loaded[static_cast<std::size_t>(i)];
    record.file_name = file.ReadString(section, "filename", "readfailed");
    record.count = file.ReadInteger(section, "count", 0);
    record.last_time = file.ReadDateTime(section, "lasttime", 0);
    record.last_ip = file.ReadString(section, "lastip", "readfailed");
  }
  std::lock_guard lock(mutex_);
  load_state_.Record(file);
  if (!file.read_failure().empty())
    return false;
  files_ = std::move(loaded);
  return true;
}

std::string SpecialFiles::LoadFailure() const {
  std::lock_guard lock(mutex_);
  return load_state_.failure();
}

void SpecialFiles::Save(const std::string& data_directory) const {
  const std::string path = data_directory + kFileName;
  std::lock_guard lock(mutex_);
  load_state_.CheckSave(path);
  ListFile file(path);
  file.WriteInteger(kListName, kListName, static_cast<std::int64_t>(files_.size()));
  for (std::size_t i = 0; i < files_.size(); ++i) {
    const std::string section = RecordSection(kRecordType, static_cast<int>(i));
    file.WriteString(section, "filename", files_[i].file_name);
    file.WriteInteger(section, "count", files_[i].count);
    file.WriteDateTime(section, "lasttime", files_[i].last_time);
    file.WriteString(section, "lastip", files_[i].last_ip);
  }
  file.Save();
}

int SpecialFiles::Find(std::string_view file_name) const {
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (EqualsIgnoreCase(files_[i].file_name, file_name))
      return static_cast<int>(i);
  }
  return -1;
}

bool SpecialFiles::Add(std::string_view file_name) {
  std::lock_guard lock(mutex_);
  if (Find(file_name) >= 0)
    return false;
  files_.push_back(SpecialFile{std::string(file_name), 0, 0, {}});
  return true;
}

bool SpecialFiles::Remove(std::string_view file_name) {
  std::lock_guard lock(mutex_);
  const int index = Find(file_name);
  if (index < 0)
    return false;
  files_.erase(files_.begin() + index);
  return true;
}

bool SpecialFiles::Reset(std::string_view file_name) {
  std::lock_guard lock(mutex_);
  const int index = Find(file_name);
  if (index < 0)
    return false;
  SpecialFile& record = files_[static_cast<std::size_t>(index)];
  record.count = 0;
  record.last_time = 0;
  record.last_ip.clear();
  return true;
}

std::vector<SpecialFile> SpecialFiles::Records() const {
  std::lock_guard lock(mutex_);
  return files_;
}

}  // namespace vantrel
