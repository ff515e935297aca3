#include "analysis/ui/StoredLook.h"

#include <algorithm>

namespace selva {

ChartLook chartLookFrom(const TChartAppearance& c, const TGridFlags& grid)
{
    auto colour = [](TColor stored, QColor fallback) {
        const QColor q = colorFromStored(stored);
        return q.isValid() ? q : fallback;
    };
    ChartLook look;
    look.dataColor = colour(c.dataLineColor, look.dataColor);
    look.dataStyle = penStyleFromStored(c.dataLineStyle);
    look.dataWidth = std::clamp<int>(c.dataLineWidth, 1, 10);
    look.dotsVisible = c.dataDotsVisible;
    look.dotColor = colour(c.dataDotColor, look.dotColor);
    look.dotStyle = dotStyleIndex(c.dataDotStyle);
    look.dotWidth = std::clamp<int>(c.dataDotWidth, 1, 10);
    look.dotHeight = std::clamp<int>(c.dataDotHeight, 1, 10);
    look.deltaColor = colour(c.deltaLineColor, look.deltaColor);
    look.deltaStyle = penStyleFromStored(c.deltaLineStyle);
    look.deltaWidth = std::clamp<int>(c.deltaLineWidth, 1, 10);
    look.baseColor = colour(c.baseLineColor, look.baseColor);
    look.baseStyle = penStyleFromStored(c.baseLineStyle);
    look.baseWidth = std::clamp<int>(c.baseLineWidth, 1, 10);
    look.axisColor = colour(c.axisColor, look.axisColor);
    look.backColor = colour(c.backColor, look.backColor);
    look.textColor = colour(c.textColor, look.textColor);
    look.gridColor = colour(c.gridColor, look.gridColor);
    look.minorGridColor = colour(c.minorGridColor, look.minorGridColor);
    look.valueGrid = grid.horizontal;
    look.timeGrid = grid.vertical;
    look.valueMinorGrid = grid.horizontalMinor;
    look.timeMinorGrid = grid.verticalMinor;
    return look;
}

} // namespace selva
