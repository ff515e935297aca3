#pragma once

class QWidget;

namespace selva {

// Gives a window the background colour and the font of another one: every window but the analysis window
// looks like the analysis window it was opened from. Qt does not pass these on from a parent to a separate
// window, so each window calls this when it is created. A null source leaves the window as it is.
void takeLookFrom(QWidget* window, const QWidget* source);

} // namespace selva
