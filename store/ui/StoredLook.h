#pragma once

// The stored appearance values (colours in the 0x00BBGGRR / system colour form, font records, line
// styles of the settings record) turned into what Qt draws with.

#include "store/Records.h"

#include <QColor>
#include <QFont>

namespace selva {

// 0x00BBGGRR as RGB; 0xFF0000nn as system colour nn, taken from the application palette where it has
// one (window, text, button, highlight, ...). The desktop colour (1) is black, as the chart's design
// background. clNone and unknown values give an invalid QColor.
QColor colorFromStored(TColor color);

// The window font of a font record. An empty face keeps the application's default family; the size is
// the record's point size (the pixel height when no size is stored).
QFont fontFromRecord(const TFontRecord& font);

// A stored line style ("Solid", "Dash", "Dot", "DashDot", "DashDotDot"; others read as the first).
Qt::PenStyle penStyleFromStored(std::uint8_t stored);

} // namespace selva
