#include "widgets/screen_check.h"

#include <QGuiApplication>
#include <QScreen>

namespace vantrel {

bool IsOnSomeScreen(const QRect& frame) {
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().intersects(frame))
      return true;
  }
  return false;
}

}  // namespace vantrel
