#pragma once

// The chart's look from the chart appearance block and the grid flags of the settings record.

#include "analysis/ui/ThrustPlot.h"
#include "store/ui/StoredLook.h"

namespace selva {

// Chart look from the chart appearance block and the four grid flags.
ChartLook chartLookFrom(const TChartAppearance& chart, const TGridFlags& grid);

} // namespace selva
