#pragma once

#include "store/Records.h"

class QWidget;

namespace selva {

// A stored window placement is the window's outer top-left corner (its frame) and the size of its
// inside, both as Qt sets them with move() and resize(), so that what is stored when a window closes is
// exactly what the next opening restores (storing the inside's corner made a window creep down by its
// title bar at every run). A maximised window stores where it goes back to.
TWindowPlacement capturePlacement(const QWidget& window);
// All four zero leave the window where it is; a width or height of 0 keeps that size. A placement where
// no screen is now (a monitor unplugged, a smaller desktop) brings the window back on the primary screen,
// its title bar reachable.
void restorePlacement(QWidget& window, const TWindowPlacement& placement);

} // namespace selva
