#pragma once

// The min/max decimation that keeps large series fluid in Qt Charts; the rest of the chart's arithmetic
// is analysis/ChartNavigation.h.

#include "analysis/ChartNavigation.h"

#include <QList>
#include <QPointF>

#include <cstddef>
#include <vector>

namespace selva {

// Points of values[first - base .. last - base] (point index i at time i * step) for a plot `columns`
// pixels wide. When there are more than two points a column, each column contributes its lowest and
// highest point in time order, so that every peak stays visible; otherwise every point is taken.
// `base` is the index of values[0].
void decimateMinMax(const std::vector<double>& values, std::size_t base, std::size_t first, std::size_t last,
                    double step, int columns, QList<QPointF>& out);

} // namespace selva
