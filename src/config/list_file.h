#pragma once

// The INI-layout ".lst" files that hold all persistent state. One ListFile object serves
// one load or one save: it reads the whole file on construction, answers reads from
// memory, applies writes in memory (replacing a key in place, appending a new key to its
// section and a new section to the file), and Save() replaces the file in one step.
//
// Writing through the platform's key-by-key profile calls was rejected: every key would
// rewrite the file, and a failure half-way left a half-written file behind.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/date_time.h"

namespace vantrel {

class ListFile {
 public:
  // A missing file reads as all defaults. So does one that exists but cannot be read;
  // read_failure() then says why, and Save refuses: this object knows too little of that
  // file to replace it.
  explicit ListFile(std::string path);

  const std::string& path() const { return path_; }
  // True when the file existed and was read.
  bool found() const { return found_; }
  // The system's reason when the file exists but could not be read; empty otherwise.
  const std::string& read_failure() const { return read_failure_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
  DateTime ReadDateTime(std::string_view section, std::string_view key, DateTime fallback) const;

  // CR and LF inside a value are written as blanks: no value can add a line to the file.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int64_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  void WriteDateTime(std::string_view section, std::string_view key, DateTime value);

  // Throws Error("Unable to write to <path>") and leaves the previous file intact; also
  // (with the read failure in brackets) when the file could not be read.
  void Save() const;

 private:
  struct Line {
    std::string key;    // empty for lines kept verbatim (comments, blanks)
    std::string value;  // or the verbatim text
  };
  struct Section {
    std::string name;  // empty for the lines before the first section
    std::vector<Line> lines;
  };

  void Parse(std::string_view content);
  const std::string* Find(std::string_view section, std::string_view key) const;
  Section& SectionFor(std::string_view name);

  std::string path_;
  bool found_ = false;
  std::string read_failure_;
  std::vector<Section> sections_;
};

// Name of the section of record `index` in a list of records ("ftpmember" 3 -> "ftpmember3").
std::string RecordSection(std::string_view record_type, int index);

}  // namespace vantrel
