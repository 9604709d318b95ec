#include "config/list_file.h"

#include <limits>

#include "common/error.h"
#include "common/text.h"
#include "platform/file_system.h"

namespace vantrel {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

std::string SingleLine(std::string_view value) {
  std::string line(value);
  for (char& c : line) {
    if (c == '\r' || c == '\n')
      c = ' ';
  }
  return line;
}

}  // namespace

ListFile::ListFile(std::string path) : path_(std::move(path)) {
  sections_.push_back(Section{});
  try {
    if (auto content = platform::ReadFileIfExists(path_)) {
      found_ = true;
      Parse(*content);
    }
  } catch (const platform::FileError& failure) {
    read_failure_ = failure.what();
  }
}

void ListFile::Parse(std::string_view content) {
  // Editors that add a byte-order mark would otherwise hide the first section behind it.
  if (content.starts_with(kUtf8ByteOrderMark))
    content.remove_prefix(kUtf8ByteOrderMark.size());
  while (!content.empty()) {
    const auto end = content.find('\n');
    std::string_view raw = content.substr(0, end);
    content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    // Every CR before the line end goes: one kept at the end of a line written back with
    // a bare LF would read as that line's end next time, and each save would shift it.
    while (!raw.empty() && raw.back() == '\r')
      raw.remove_suffix(1);

    const std::string_view text = Trim(raw);
    const auto close = text.find(']');
    if (text.starts_with('[') && close != std::string_view::npos) {
      sections_.push_back(Section{std::string(Trim(text.substr(1, close - 1))), {}});
      continue;
    }
    const auto equals = text.find('=');
    const bool is_key = equals != std::string_view::npos && !text.starts_with(';') &&
                        !Trim(text.substr(0, equals)).empty();
    if (is_key) {
      sections_.back().lines.push_back(Line{std::string(Trim(text.substr(0, equals))),
                                            std::string(Trim(text.substr(equals + 1)))});
    } else {
      sections_.back().lines.push_back(Line{{}, std::string(raw)});
    }
  }
}

const std::string* ListFile::Find(std::string_view section, std::string_view key) const {
  for (const auto& s : sections_) {
    if (s.name.empty() || !EqualsIgnoreCase(s.name, section))
      continue;
    for (const auto& line : s.lines) {
      if (!line.key.empty() && EqualsIgnoreCase(line.key, key))
        return &line.value;
    }
    return nullptr;  // the first section of that name is the one that counts
  }
  return nullptr;
}

ListFile::Section& ListFile::SectionFor(std::string_view name) {
  for (auto& s : sections_) {
    if (!s.name.empty() && EqualsIgnoreCase(s.name, name))
      return s;
  }
  sections_.push_back(Section{std::string(name), {}});
  return sections_.back();
}

std::string ListFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view fallback) const {
  const std::string* value = Find(section, key);
  return value ? *value : std::string(fallback);
}

int ListFile::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
  const std::string* value = Find(section, key);
  if (!value)
    return fallback;
  const auto number = ParseInteger(*value);
  if (!number || *number < std::numeric_limits<int>::min() ||
      *number > std::numeric_limits<int>::max()) {
    return fallback;
  }
  return static_cast<int>(*number);
}

bool ListFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

DateTime ListFile::ReadDateTime(std::string_view section, std::string_view key,
                                DateTime fallback) const {
  const std::string* value = Find(section, key);
  if (!value)
    return fallback;
  return ParseDateTimeValue(*value).value_or(fallback);
}

void ListFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Section& target = SectionFor(section);
  for (auto& line : target.lines) {
    if (!line.key.empty() && EqualsIgnoreCase(line.key, key)) {
      line.value = SingleLine(value);
      return;
    }
  }
  target.lines.push_back(Line{SingleLine(Trim(key)), SingleLine(value)});
}

void ListFile::WriteInteger(std::string_view section, std::string_view key, std::int64_t value) {
  WriteString(section, key, std::to_string(value));
}

void ListFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void ListFile::WriteDateTime(std::string_view section, std::string_view key, DateTime value) {
  WriteString(section, key, FormatDateTimeValue(value));
}

void ListFile::Save() const {
  if (!read_failure_.empty())
    throw Error("Unable to write to " + path_ + " (" + read_failure_ + ")");
  std::string content;
  for (const auto& section : sections_) {
    // Only the lines before the first header have no header of their own. A section
    // named "[]" keeps its header too: without it, its keys would join the section above.
    if (&section != &sections_.front())
      content += "[" + section.name + "]\n";
    for (const auto& line : section.lines) {
      content += line.key.empty() ? line.value : line.key + "=" + line.value;
      content += '\n';
    }
  }
  try {
    platform::ReplaceFile(path_, content);
  } catch (const platform::FileError&) {
    throw Error("Unable to write to " + path_);
  }
}

std::string RecordSection(std::string_view record_type, int index) {
  return std::string(record_type) + std::to_string(index);
}

}  // namespace vantrel
