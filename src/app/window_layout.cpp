#include "app/window_layout.h"

#include "config/list_file.h"
#include "platform/file_system.h"

namespace vantrel {
namespace {

// Key of section `index` of the list numbered `list` in the file: "s" + list + index + "w".
std::string WidthKey(int list, std::size_t index) {
  return "s" + std::to_string(list) + std::to_string(index) + "w";
}

// Both directions walk the fields in the file's order, so Read and Write cannot drift
// apart.
template <typename Layout, typename Visit>
void ForEachKey(Layout& layout, Visit&& visit) {
  visit("top", layout.top);
  visit("left", layout.left);
  visit("width", layout.width);
  visit("height", layout.height);
  visit("tabindex", layout.tabindex);
  const auto widths = [&visit](int list, auto& sections) {
    for (std::size_t i = 0; i < sections.size(); ++i)
      visit(WidthKey(list, i), sections[i]);
  };
  widths(1, layout.members);
  widths(3, layout.clients);
  widths(2, layout.monitored);
  widths(4, layout.transfers);
}

}  // namespace

bool WindowLayout::Read(const std::string& path) {
  if (!platform::PathExists(path))
    return false;
  const ListFile file(path);
  ForEachKey(*this, [&file](const std::string& key, int& value) {
    value = file.ReadInteger(kSection, key, value);
  });
  return true;
}

void WindowLayout::Write(const std::string& path) const {
  ListFile file(path);
  ForEachKey(*this, [&file](const std::string& key, const int& value) {
    file.WriteInteger(kSection, key, value);
  });
  file.Save();
}

}  // namespace vantrel
