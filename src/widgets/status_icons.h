#pragma once

// The tray's four status pictures and the About tab's logo are drawn rather than shipped
// as image files, so the program is one file with nothing to install beside it.

#include <QIcon>
#include <QPixmap>

namespace vantrel {

// Indexes as the refresh tick uses them: 0 and 1 alternate while the server waits.
enum StatusIcon {
  kIconIdleOn = 0,
  kIconIdleOff = 1,
  kIconStopped = 2,
  kIconClients = 3,
};
inline constexpr int kStatusIconCount = 4;

// Any thread that may paint (the main thread); an index outside 0..3 draws the stopped
// picture.
QIcon DrawStatusIcon(int index);
QPixmap DrawLogo(int size);

}  // namespace vantrel
