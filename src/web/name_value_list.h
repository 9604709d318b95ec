#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Lines of the form name "=" value, kept in order, looked up by name ignoring case: the
// request parameters, the request cookies and a web session's content. A value may itself
// hold "="; the name ends at the first one. Not locked: its owner decides who may touch it.
class NameValueList {
 public:
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Clear() { lines_.clear(); }
  bool Empty() const { return lines_.empty(); }
  std::size_t Count() const { return lines_.size(); }
  const std::vector<std::string>& Lines() const { return lines_; }

  // The value of the first line with that name; empty when there is none.
  std::string Value(std::string_view name) const;
  // Overwrites the first line with that name, or adds one.
  void SetValue(std::string_view name, std::string_view value);

  static std::string_view NameOf(std::string_view line);
  static std::string_view ValueOf(std::string_view line);

 private:
  std::vector<std::string> lines_;
};

}  // namespace vantrel
