#pragma once

// A storage container packs several named files, with their dates, into one binary file:
// settings exports and the branding file are containers. Layout: a 256-byte header block
// holding "SFH1", then entries to the end of the file, each a 256-byte name block, a
// 16-byte block with the file's DOS date-time in decimal, a 16-byte block with the
// content length in decimal, and the content. A block is one length byte, the text, and
// zero bytes to its end. There is no index, so every lookup walks the entries.
//
// A container cut short inside an entry is damaged: that entry counts as absent (not
// listed, no size, not extracted) and nothing of it is copied out, so a caller never
// mistakes half a settings file for a whole one. The entries before it stay readable.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/dos_date_time.h"

namespace vantrel {

// Owned by whoever imports or exports (the settings dialog, start-up); any thread may
// call it, one operation at a time. A damaged header or size field raises Error with the
// text the operator is shown; so do files that cannot be read or written.
class StorageFile {
 public:
  static constexpr const char* kHeaderCheckFailed = "Storage file header check failed.";

  explicit StorageFile(std::string filename = {});

  std::string Filename() const;
  void SetFilename(std::string filename);

  // Writes a new container holding the files in list order. False, writing nothing, when
  // Filename or the list is empty. Every listed file is opened before the container is
  // touched, and a container that fails half-way is removed rather than left damaged.
  bool SaveFiles(const std::vector<std::string>& paths);

  // Entry names in file order; empty when the container does not exist.
  std::vector<std::string> ListEntries() const;
  // Content length of the first entry of that name (ASCII case ignored), or -1.
  std::int64_t EntrySize(std::string_view name) const;
  bool HasEntry(std::string_view name) const;

  // Copies the entry's content into `target` and rewinds it to position 0. False when the
  // container or the entry is missing or `target` fails. `file_date` receives the stored
  // date (0 when the stored text is no number).
  bool ExtractToStream(std::string_view name, std::ostream& target,
                       DosDateTime* file_date = nullptr);

  // Writes the entry to directory + "/" + name in one step (an existing file is replaced
  // whole or not at all) and gives it the stored date. `name` is the caller's, so the
  // file gets the case the caller asked for; it must be a plain file name. An entry whose
  // stored date names no real moment keeps the time of extraction.
  bool ExtractToFile(std::string_view name, std::string_view directory);

 private:
  // Hands the entry's content to `sink` piece by piece and returns its stored date;
  // nothing when the container or the entry is missing or the entry is damaged.
  std::optional<DosDateTime> CopyEntry(std::string_view name,
                                       const std::function<void(std::string_view)>& sink) const;

  mutable std::mutex mutex_;
  std::string filename_;  // guarded by mutex_
};

}  // namespace vantrel
