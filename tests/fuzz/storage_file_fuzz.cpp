// The storage-container reader over any file content (settings imports and the branding
// file come from outside). The promises checked: a damaged container raises the reader's
// error and nothing else; every listed entry has a size, and extracting it yields exactly
// that many bytes, to a stream and to a file; extraction writes only the one file it
// names, inside the directory it was given; and the extracted entries packed again into a
// new container list and extract the same.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/text.h"
#include "config/storage_file.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using vantrel::StorageFile;

constexpr std::size_t kMostEntries = 8;

[[noreturn]] void Fail(const std::string& what) {
  std::cerr << "property violated: " << what << std::endl;
  std::abort();
}

std::size_t CountEntries(const fs::path& directory) {
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(directory)) {
    (void)entry;
    ++count;
  }
  return count;
}

std::string Extracted(StorageFile& container, const std::string& name) {
  std::stringstream out;
  if (!container.ExtractToStream(name, out))
    Fail("a listed entry does not extract: " + name);
  return out.str();
}

// Names an extraction can put into a directory and a new container can hold again; the
// first entry of each name (ASCII case ignored) is the one every lookup finds.
std::vector<std::string> FirstPlainNames(const std::vector<std::string>& names) {
  std::vector<std::string> plain;
  std::set<std::string> seen;
  for (const auto& name : names) {
    if (!seen.insert(vantrel::ToLowerAscii(name)).second)
      continue;
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string("/\0", 2)) != std::string::npos)
      continue;
    plain.push_back(name);
  }
  return plain;
}

void CheckRepacked(const fs::path& work, const std::vector<std::string>& names,
                   StorageFile& original) {
  std::vector<std::string> paths;
  for (const auto& name : names)
    paths.push_back((work / "out" / name).string());
  StorageFile repacked((work / "again.ftpdata").string());
  if (!repacked.SaveFiles(paths))
    Fail("the extracted entries could not be packed again");
  if (repacked.ListEntries() != names)
    Fail("the packed-again container lists other names");
  for (const auto& name : names) {
    if (Extracted(repacked, name) != Extracted(original, name))
      Fail("an entry packed again holds other bytes: " + name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vantrel::TempDir dir;
  const fs::path work(dir.path());
  fs::remove_all(work / "out");
  fs::create_directories(work / "out");
  const std::string path = (work / "fuzz.ftpdata").string();
  vantrel::platform::ReplaceFile(path, std::string_view(reinterpret_cast<const char*>(data), size));

  StorageFile container(path);
  std::vector<std::string> names;
  try {
    names = container.ListEntries();
  } catch (const vantrel::Error&) {
    return 0;  // a damaged header or size field, reported as such
  }
  if (names.size() > kMostEntries)
    names.resize(kMostEntries);
  const std::size_t beside = CountEntries(work);
  std::vector<std::string> plain = FirstPlainNames(names);
  for (const auto& name : names) {
    const std::int64_t stored = container.EntrySize(name);
    if (stored < 0)
      Fail("a listed entry has no size: " + name);
    if (static_cast<std::int64_t>(Extracted(container, name).size()) != stored)
      Fail("an entry extracts to another size than it declares: " + name);
  }
  for (const auto& name : plain) {
    if (!container.ExtractToFile(name, (work / "out").string()))
      Fail("a plain entry does not extract to a file: " + name);
    const auto content = vantrel::platform::ReadWholeFile((work / "out" / name).string());
    if (!content || *content != Extracted(container, name))
      Fail("an entry extracted to a file holds other bytes: " + name);
  }
  if (CountEntries(work / "out") != plain.size() || CountEntries(work) != beside)
    Fail("extraction wrote beside the files it named");
  if (!plain.empty())
    CheckRepacked(work, plain, container);
  return 0;
}
