#include "analysis/ui/ChartMath.h"

#include <algorithm>
#include <cmath>

namespace selva {

void decimateMinMax(const std::vector<double>& values, std::size_t base, std::size_t first, std::size_t last,
                    double step, int columns, QList<QPointF>& out)
{
    out.clear();
    if (values.empty() || first < base || last < first || last - base >= values.size())
        return;
    const std::size_t count = last - first + 1;
    columns = std::max(columns, 1);
    if (count <= 2 * static_cast<std::size_t>(columns)) {
        out.reserve(static_cast<qsizetype>(count));
        for (std::size_t i = first; i <= last; ++i)
            out.append(QPointF(static_cast<double>(i) * step, values[i - base]));
        return;
    }
    out.reserve(2 * columns + 2);
    const double perColumn = static_cast<double>(count) / columns;
    std::size_t begin = first;
    for (int c = 0; c < columns && begin <= last; ++c) {
        std::size_t end = first + static_cast<std::size_t>(std::llround((c + 1) * perColumn)) - 1;
        if (c == columns - 1 || end > last)
            end = last;
        if (end < begin)
            continue;
        std::size_t iMin = begin;
        std::size_t iMax = begin;
        for (std::size_t i = begin + 1; i <= end; ++i) {
            const double v = values[i - base];
            if (v < values[iMin - base])
                iMin = i;
            if (v > values[iMax - base])
                iMax = i;
        }
        // The first and last point of the range always belong, so that the line reaches both ends.
        if (c == 0) {
            if (iMin != begin && iMax != begin)
                out.append(QPointF(static_cast<double>(begin) * step, values[begin - base]));
        }
        const std::size_t a = std::min(iMin, iMax);
        const std::size_t b = std::max(iMin, iMax);
        out.append(QPointF(static_cast<double>(a) * step, values[a - base]));
        if (b != a)
            out.append(QPointF(static_cast<double>(b) * step, values[b - base]));
        if (end == last && b != last)
            out.append(QPointF(static_cast<double>(last) * step, values[last - base]));
        begin = end + 1;
    }
}

} // namespace selva
