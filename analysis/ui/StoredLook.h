#pragma once

// The stored appearance values (colours in the 0x00BBGGRR / system colour form, font records, the chart
// appearance block and grid flags of the settings record) turned into what Qt draws with.

#include "analysis/ui/ThrustChart.h"
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

// Chart look from the chart appearance block and the four grid flags.
ChartLook chartLookFrom(const TChartAppearance& chart, const TGridFlags& grid);

} // namespace selva
