// The list-file reader and writer over any file content. The promises checked: saving a
// file changes no value any reader sees (every section and key name found in the input is
// probed before and after a save and reload), a written value reads back as written
// (line breaks turned into blanks, outer blanks trimmed), a second save writes the same
// bytes as the first, and the typed readers take any text without failing.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "config/list_file.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace {

using vantrel::ListFile;

constexpr std::size_t kMostNames = 12;

[[noreturn]] void Fail(const std::string& what) {
  std::cerr << "property violated: " << what << std::endl;
  std::abort();
}

// Section and key names as a reader might ask for them, gathered loosely from the text.
struct Names {
  std::set<std::string> sections;
  std::set<std::string> keys;
};

Names GatherNames(std::string_view content) {
  Names names{{"ftpsettings"}, {"serverport"}};
  while (!content.empty()) {
    const auto end = content.find('\n');
    const std::string_view line = vantrel::Trim(content.substr(0, end));
    content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    const auto close = line.find(']');
    if (line.starts_with('[') && close != std::string_view::npos) {
      if (names.sections.size() < kMostNames)
        names.sections.insert(std::string(vantrel::Trim(line.substr(1, close - 1))));
    } else if (const auto equals = line.find('='); equals != std::string_view::npos) {
      if (names.keys.size() < kMostNames)
        names.keys.insert(std::string(vantrel::Trim(line.substr(0, equals))));
    }
  }
  return names;
}

std::vector<std::string> Probe(const ListFile& file, const Names& names) {
  std::vector<std::string> values;
  for (const auto& section : names.sections) {
    for (const auto& key : names.keys) {
      values.push_back(file.ReadString(section, key, "\x01missing"));
      file.ReadInteger(section, key, -7);
      file.ReadBool(section, key, true);
      file.ReadDateTime(section, key, 1.5);
    }
  }
  return values;
}

std::string Expected(std::string_view written) {
  std::string line(written);
  for (char& c : line) {
    if (c == '\r' || c == '\n')
      c = ' ';
  }
  return std::string(vantrel::Trim(line));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vantrel::TempDir dir;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string path = dir.File("fuzz.lst");
  vantrel::platform::ReplaceFile(path, input);

  const Names names = GatherNames(input);
  ListFile original(path);
  const std::vector<std::string> before = Probe(original, names);
  original.Save();
  const std::string first_save = *vantrel::platform::ReadWholeFile(path);
  ListFile reloaded(path);
  if (Probe(reloaded, names) != before)
    Fail("a save changed what a reader sees");
  reloaded.Save();
  if (*vantrel::platform::ReadWholeFile(path) != first_save)
    Fail("a second save wrote other bytes");

  // A value taken from the input, written under a name the input may also use.
  const std::string_view value = input.substr(0, 200);
  const std::string section = names.sections.empty() ? "s" : *names.sections.rbegin();
  const std::string key = names.keys.empty() ? "k" : *names.keys.rbegin();
  if (section.empty() || key.empty() || key.find_first_of("=[;\r") != std::string::npos ||
      section.find_first_of("]\r") != std::string::npos ||
      (vantrel::EqualsIgnoreCase(section, "count") && vantrel::EqualsIgnoreCase(key, "n")))
    return 0;  // names no reader could ask for again, or the count's own
  reloaded.WriteInteger("count", "n", static_cast<std::int64_t>(size));
  reloaded.WriteString(section, key, value);
  reloaded.Save();
  const ListFile written(path);
  if (written.ReadString(section, key, "\x01missing") != Expected(value))
    Fail("a written value did not read back: [" + section + "] " + key);
  if (written.ReadInteger("count", "n", -1) != static_cast<int>(size))
    Fail("a written count did not read back");
  return 0;
}
