#pragma once

#include <QRect>

namespace vantrel {

// Whether a frame overlaps the available area of a screen there is now. A position saved
// on a screen that has gone since would put a window out of the operator's reach.
bool IsOnSomeScreen(const QRect& frame);

}  // namespace vantrel
