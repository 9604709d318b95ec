#include "config/storage_file.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <optional>

#include "common/error.h"
#include "common/text.h"
#include "platform/file_system.h"

namespace vantrel {
namespace {

constexpr std::size_t kHeaderBlock = 256;
constexpr std::size_t kNameBlock = 256;
constexpr std::size_t kNumberBlock = 16;
constexpr std::size_t kChunk = 8001;
constexpr std::string_view kSignature = "SFH1";
constexpr std::int64_t kMaxStoredSize = 999'999'999'999'999;  // 15 digits

std::string ShortTextBlock(std::string_view text, std::size_t block_size) {
  const std::size_t length = std::min(text.size(), block_size - 1);
  std::string block(block_size, '\0');
  block[0] = static_cast<char>(length);
  text.copy(block.data() + 1, length);
  return block;
}

// A length byte larger than the block is damage, not a reason to read past the block.
std::string TextOfBlock(std::string_view block) {
  const std::size_t length =
      std::min<std::size_t>(static_cast<unsigned char>(block[0]), block.size() - 1);
  return std::string(block.substr(1, length));
}

std::optional<std::int64_t> ParseStoredSize(std::string_view text) {
  if (text.empty() || text.size() > kNumberBlock - 1)
    return std::nullopt;
  std::int64_t size = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return std::nullopt;
    size = size * 10 + (c - '0');
  }
  return size;
}

// Stored signed, but the unsigned spelling of the same bits costs nothing to accept.
DosDateTime ParseStoredDate(std::string_view text) {
  const auto number = ParseInteger(text);
  if (!number || *number < INT32_MIN || *number > UINT32_MAX)
    return 0;
  return static_cast<DosDateTime>(static_cast<std::uint32_t>(*number));
}

DosDateTime FileDate(const std::string& path) {
  const auto moment = platform::ModificationTime(path);
  if (!moment)
    return 0;
  return PackDosDateTime(platform::ToLocalCivil(*moment)).value_or(0);
}

std::string BaseName(std::string_view path) {
  const auto slash = path.find_last_of('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

struct EntryInfo {
  std::string name;
  DosDateTime date = 0;
  std::int64_t size = 0;
  std::int64_t content_offset = 0;
};

// Walks a container front to back. Knows the file's length up front, so a cut-short
// entry is recognised before any of its content is copied.
class ContainerReader {
 public:
  explicit ContainerReader(const std::string& path) : in_(path, std::ios::binary) {
    if (!in_)
      return;
    in_.seekg(0, std::ios::end);
    length_ = static_cast<std::int64_t>(in_.tellg());
    in_.seekg(0);
  }

  bool is_open() const { return static_cast<bool>(in_) && length_ >= 0; }

  void CheckHeader() {
    std::string block;
    if (!ReadBlock(kHeaderBlock, block) || TextOfBlock(block) != kSignature) {
      throw Error(StorageFile::kHeaderCheckFailed);
    }
  }

  // The next entry whose header and content lie wholly inside the file; nothing at the
  // end or at a cut-short entry. Leaves the read position at the entry's content.
  std::optional<EntryInfo> NextEntry() {
    std::string name;
    std::string date;
    std::string size;
    if (!ReadBlock(kNameBlock, name) || !ReadBlock(kNumberBlock, date) ||
        !ReadBlock(kNumberBlock, size)) {
      return std::nullopt;
    }
    const std::string size_text = TextOfBlock(size);
    const auto content_size = ParseStoredSize(size_text);
    if (!content_size)
      throw Error("File size read failed (\"" + size_text + "\").");
    EntryInfo entry{TextOfBlock(name), ParseStoredDate(TextOfBlock(date)), *content_size,
                    static_cast<std::int64_t>(in_.tellg())};
    if (entry.size > length_ - entry.content_offset)
      return std::nullopt;
    return entry;
  }

  void SkipContent(const EntryInfo& entry) { in_.seekg(entry.content_offset + entry.size); }

  // False when the file ends early after all (it shrank since it was opened).
  bool CopyContent(const EntryInfo& entry, const std::function<void(std::string_view)>& sink) {
    std::string chunk(kChunk, '\0');
    for (std::int64_t left = entry.size; left > 0;) {
      const auto want = static_cast<std::streamsize>(std::min<std::int64_t>(left, kChunk));
      if (!in_.read(chunk.data(), want))
        return false;
      sink(std::string_view(chunk.data(), static_cast<std::size_t>(want)));
      left -= want;
    }
    return true;
  }

 private:
  bool ReadBlock(std::size_t size, std::string& block) {
    block.assign(size, '\0');
    return static_cast<bool>(in_.read(block.data(), static_cast<std::streamsize>(size)));
  }

  std::ifstream in_;
  std::int64_t length_ = -1;
};

// Opens a container for reading; nothing when it does not exist. A container that
// exists but cannot be read, or whose header is wrong, raises Error.
std::optional<ContainerReader> OpenContainer(const std::string& path) {
  if (path.empty() || !platform::PathExists(path))
    return std::nullopt;
  std::optional<ContainerReader> reader(std::in_place, path);
  if (!reader->is_open())
    throw Error("Cannot read storage file \"" + path + "\".");
  reader->CheckHeader();
  return reader;
}

// The first complete entry named `name` (ASCII case ignored).
std::optional<EntryInfo> FindEntry(ContainerReader& reader, std::string_view name) {
  while (auto entry = reader.NextEntry()) {
    if (EqualsIgnoreCase(entry->name, name))
      return entry;
    reader.SkipContent(*entry);
  }
  return std::nullopt;
}

// One file about to be stored, opened before the container is created so that a missing
// file cannot cost the operator the container they are overwriting.
struct Source {
  std::string path;
  std::ifstream in;
  std::int64_t size = 0;
  DosDateTime date = 0;
};

Source OpenSource(const std::string& path) {
  Source source{path, std::ifstream(path, std::ios::binary), 0, FileDate(path)};
  if (platform::IsDirectory(path) || !source.in) {
    throw Error("Cannot read file \"" + path + "\".");
  }
  source.in.seekg(0, std::ios::end);
  source.size = static_cast<std::int64_t>(source.in.tellg());
  source.in.seekg(0);
  if (source.size < 0 || source.size > kMaxStoredSize) {
    throw Error("Cannot store file \"" + path + "\": it is too large.");
  }
  return source;
}

void WriteEntry(platform::FileWriter& out, Source& source) {
  out.Write(ShortTextBlock(BaseName(source.path), kNameBlock));
  out.Write(ShortTextBlock(std::to_string(source.date), kNumberBlock));
  out.Write(ShortTextBlock(std::to_string(source.size), kNumberBlock));
  std::string chunk(kChunk, '\0');
  for (std::int64_t left = source.size; left > 0;) {
    const auto want = static_cast<std::streamsize>(std::min<std::int64_t>(left, kChunk));
    if (!source.in.read(chunk.data(), want)) {
      throw Error("File \"" + source.path + "\" changed while it was being stored.");
    }
    out.Write(std::string_view(chunk.data(), static_cast<std::size_t>(want)));
    left -= want;
  }
}

}  // namespace

StorageFile::StorageFile(std::string filename) : filename_(std::move(filename)) {}

std::string StorageFile::Filename() const {
  std::lock_guard lock(mutex_);
  return filename_;
}

void StorageFile::SetFilename(std::string filename) {
  std::lock_guard lock(mutex_);
  filename_ = std::move(filename);
}

bool StorageFile::SaveFiles(const std::vector<std::string>& paths) {
  std::lock_guard lock(mutex_);
  if (filename_.empty() || paths.empty())
    return false;
  std::vector<Source> sources;
  sources.reserve(paths.size());
  for (const auto& path : paths)
    sources.push_back(OpenSource(path));

  std::optional<platform::FileWriter> out;
  try {
    out.emplace(filename_);
  } catch (const platform::FileError& e) {
    throw Error(e.what());
  }
  try {
    out->Write(ShortTextBlock(kSignature, kHeaderBlock));
    for (auto& source : sources)
      WriteEntry(*out, source);
    out->Close();
  } catch (const std::exception& e) {
    out.reset();
    platform::RemoveFile(filename_);
    throw Error(e.what());
  }
  return true;
}

std::vector<std::string> StorageFile::ListEntries() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  auto reader = OpenContainer(filename_);
  if (!reader)
    return names;
  while (auto entry = reader->NextEntry()) {
    names.push_back(entry->name);
    reader->SkipContent(*entry);
  }
  return names;
}

std::int64_t StorageFile::EntrySize(std::string_view name) const {
  std::lock_guard lock(mutex_);
  auto reader = OpenContainer(filename_);
  if (!reader)
    return -1;
  const auto entry = FindEntry(*reader, name);
  return entry ? entry->size : -1;
}

bool StorageFile::HasEntry(std::string_view name) const {
  return EntrySize(name) >= 0;
}

std::optional<DosDateTime> StorageFile::CopyEntry(
    std::string_view name, const std::function<void(std::string_view)>& sink) const {
  std::lock_guard lock(mutex_);
  auto reader = OpenContainer(filename_);
  if (!reader)
    return std::nullopt;
  const auto entry = FindEntry(*reader, name);
  if (!entry || !reader->CopyContent(*entry, sink))
    return std::nullopt;
  return entry->date;
}

bool StorageFile::ExtractToStream(std::string_view name, std::ostream& target,
                                  DosDateTime* file_date) {
  const auto date = CopyEntry(name, [&](std::string_view chunk) {
    target.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  });
  if (!date || !target)
    return false;
  if (file_date)
    *file_date = *date;
  target.seekp(0);
  return static_cast<bool>(target);
}

bool StorageFile::ExtractToFile(std::string_view name, std::string_view directory) {
  if (!IsPlainFileName(name)) {
    throw Error("\"" + std::string(name) + "\" is not a plain file name.");
  }
  const std::string path = WithTrailingSlash(std::string(directory)) + std::string(name);
  std::string content;
  const auto date = CopyEntry(name, [&](std::string_view chunk) { content += chunk; });
  if (!date)
    return false;
  try {
    platform::ReplaceFile(path, content);
  } catch (const platform::FileError& e) {
    throw Error(e.what());
  }
  const auto civil = UnpackDosDateTime(*date);
  if (!civil)
    return true;
  return platform::SetModificationTime(path, platform::FromLocalCivil(*civil));
}

}  // namespace vantrel
