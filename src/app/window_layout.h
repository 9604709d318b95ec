#pragma once

// The main window's layout as mainftpsettings.lst keeps it: position, size, the selected
// tab and the column widths of the four lists, all in section "mainsettings".

#include <array>
#include <string>

namespace vantrel {

struct WindowLayout {
  static constexpr const char* kFileName = "mainftpsettings.lst";
  static constexpr const char* kSection = "mainsettings";

  int top = 0;
  int left = 0;
  int width = 0;
  int height = 0;
  int tabindex = 0;
  std::array<int, 6> members{};    // "s10w".."s15w"
  std::array<int, 5> clients{};    // "s30w".."s34w"
  std::array<int, 4> monitored{};  // "s20w".."s23w"
  std::array<int, 5> transfers{};  // "s40w".."s44w"

  // Reads every key that the file holds over the values held now (the window's current
  // layout is the default of each key). False, nothing changed, when there is no file.
  bool Read(const std::string& path);
  // Writes every key, creating the file when needed. Throws Error when it cannot.
  void Write(const std::string& path) const;
};

}  // namespace vantrel
