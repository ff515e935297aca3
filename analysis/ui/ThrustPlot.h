#pragma once

// The thrust chart itself, without a view: the frequency or thrust series against time with the start
// and end markers, the rest line, the error band and the mean line, the text annotations over the plot,
// the axes with their navigation, and the painting of all of it into any QPainter. The window shows one
// through ThrustChart; pictures, printed pages and the command-line tool's render draw a copy of it laid
// out at their own size, so that what is saved is what is seen.
//
// The series it is given are kept at full resolution here; Qt Charts is handed at most about two points
// per pixel column of the visible time range (min/max per column), recomputed whenever the range or the
// plot size changes. Extremes, automatic ranges and values under the pointer use the full data.
//
// The chart does not animate. Qt Charts' axis animation keeps the label layout it started with, and the
// tick spacing here follows the range (so the number of labels changes on every zoom): an animation
// running while a range or the plot size changes updated labels that no longer existed and crashed.
// The chart is redrawn at once after every edit anyway, so nothing is lost without it.
//
// Everything here runs on the UI thread.

#include "analysis/ui/ChartMath.h"

#include <QChart>
#include <QColor>
#include <QLineSeries>
#include <QObject>
#include <QStringList>
#include <QValueAxis>

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

class QGraphicsScene;
class QPainter;

namespace selva {

// How the chart looks; the window fills it from the chart appearance block of the settings. The
// defaults are the chart's design look.
struct ChartLook {
    QColor dataColor{255, 255, 0};
    Qt::PenStyle dataStyle = Qt::SolidLine;
    int dataWidth = 1;
    bool dotsVisible = false;
    QColor dotColor{0, 128, 0};
    int dotStyle = 5; // Rectangle, Circle, Triangle, DownTriangle, Cross, DiagCross, Star, Diamond
    int dotWidth = 3;
    int dotHeight = 3;
    QColor deltaColor{255, 255, 255};
    Qt::PenStyle deltaStyle = Qt::SolidLine;
    int deltaWidth = 1;
    QColor baseColor{255, 0, 0};
    Qt::PenStyle baseStyle = Qt::SolidLine;
    int baseWidth = 1;
    QColor axisColor{255, 255, 255};
    QColor backColor{0, 0, 0};
    QColor textColor{255, 255, 255};
    QColor gridColor{192, 192, 192};
    QColor minorGridColor{128, 128, 128};
    bool valueGrid = true; // horizontal lines
    bool timeGrid = true;  // vertical lines
    bool valueMinorGrid = false;
    bool timeMinorGrid = false;
};

// Texts drawn over the plot. Empty texts and lists draw nothing.
struct ChartAnnotations {
    bool newtons = false; // unit caption of the value axis
    QString date;         // "Дата: ..." line, already cut
    QStringList results;  // the result lines, already cut
    QStringList notes;    // project notes; a line wider than the plot wraps inside it
    QString author;       // the data author's mark, bottom left; empty: none
};

// A curve of another test drawn over the analysis for comparison, in the analysis's time and units.
struct ChartOverlay {
    QString name;
    QList<QPointF> points;
};

class ThrustPlot : public QObject {
    Q_OBJECT
public:
    // Series in the chart's order.
    enum SeriesId { Data = 0, StartThrust, EndThrust, ZeroLine, DeltaUp, DeltaDown, Middle, SeriesCount };

    explicit ThrustPlot(QObject* parent = nullptr);
    ~ThrustPlot() override;

    // The Qt chart. It is owned here until a view takes it over (releaseChart); ThrustChart holds the
    // plot and the view that owns its chart, and destroys the plot first.
    QChart* chart() const { return chart_; }

    // Series 1: values[k] is the point of index first + k, at time (first + k) * step.
    void setData(double step, std::size_t first, std::vector<double> values);
    // The error band over the same indices as the data; vectors of another length clear it.
    void setDelta(std::vector<double> up, std::vector<double> down);
    void clearData();
    // Start, end, rest or mean line.
    void setMarker(SeriesId which, const QList<QPointF>& points);
    // The compared tests' curves, each in a colour of its own; an empty list removes them.
    void setOverlays(const std::vector<ChartOverlay>& overlays);
    const std::vector<ChartOverlay>& overlays() const { return overlays_; }

    bool hasData() const { return !values_.empty(); }
    std::size_t dataCount() const { return values_.size(); }
    double dataStep() const { return step_; }
    // Time of the first and last data point, lowest and highest data value (all 0 without data).
    double firstTime() const;
    double lastTime() const;
    double lowestValue() const { return lowest_; }
    double highestValue() const { return highest_; }
    // Full-resolution points of a series (the data series and the error band are rebuilt from their
    // values; the markers are returned as given).
    QList<QPointF> fullPoints(SeriesId which) const;

    // The series as handed to Qt Charts (decimated for the data and the error band).
    QLineSeries* series(SeriesId which) const { return series_[which]; }
    QValueAxis* timeAxis() const { return timeAxis_; }
    QValueAxis* valueAxis() const { return valueAxis_; }

    void setInverted(bool inverted);
    bool inverted() const;

    AxisSpan timeRange() const;
    AxisSpan valueRange() const;
    bool timeAutomatic() const { return timeAuto_; }
    bool valueAutomatic() const { return valueAuto_; }
    // A range set by hand turns automatic scaling of that axis off. A time range is kept inside the
    // data (see limitTimeRange); a range that is not finite is ignored.
    void setTimeRange(AxisSpan range);
    void setValueRange(AxisSpan range);
    void setTimeAutomatic();
    void setValueAutomatic();
    void navigate(TimeNav button);
    void navigate(ValueNav button);
    // Wheel turn: both axes zoom around the value under `anchor` (plot coordinates of the chart);
    // a turn away from the user (positive delta) zooms in. Without an anchor, around the centre.
    void wheelTurn(int delta);
    void wheelTurn(int delta, QPointF anchorValue);
    // Both axes to the values of a rectangle of the chart (a rubber band); tiny rectangles are ignored.
    void zoomToRect(const QRectF& chartRect);

    void applyLook(const ChartLook& look);
    const ChartLook& look() const { return look_; }
    void setAnnotations(const ChartAnnotations& annotations);
    const ChartAnnotations& annotations() const { return annotations_; }

    // Lays the chart out at a size (in the view this follows the view; elsewhere it is the picture's).
    void setSize(const QSizeF& size);
    // Time and value under a point of the chart, and the chart point of a time and value.
    QPointF valueAt(const QPointF& chartPos) const;
    QRectF plotArea() const { return chart_->plotArea(); }

    // Paints the chart as it is now, laid out anew at the target's size (ticks, decimation and
    // annotations as the chart would show them at that size), into `target` of the painter. The chart
    // on screen is not disturbed. Works on any paint device: images, printers, SVG, metafiles.
    void render(QPainter& painter, const QRectF& target) const;

signals:
    void changed();

private:
    friend class AnnotationItem;
    void copyStateFrom(const ThrustPlot& other);
    void refreshVisible();
    void refreshAutomaticRanges();
    void setAxisRange(QValueAxis* axis, AxisSpan range);
    void updateTicks(QValueAxis* axis);
    int tickCountFor(QValueAxis* axis) const;
    void updateMargins();
    void paintAnnotations(QPainter& painter) const;

    QChart* chart_ = nullptr;
    std::unique_ptr<QChart> ownedChart_; // until a view takes the chart
    class AnnotationItem* annotationItem_ = nullptr;
    std::array<QLineSeries*, SeriesCount> series_{};
    QValueAxis* timeAxis_ = nullptr;
    QValueAxis* valueAxis_ = nullptr;

    double step_ = 0;
    std::size_t first_ = 0;
    std::vector<double> values_;
    std::vector<double> up_;
    std::vector<double> down_;
    double lowest_ = 0;
    double highest_ = 0;
    std::array<QList<QPointF>, SeriesCount> markers_;
    std::vector<ChartOverlay> overlays_;
    std::vector<QLineSeries*> overlaySeries_;

    bool timeAuto_ = true;
    bool valueAuto_ = true;
    bool refreshing_ = false;
    int decimatedColumns_ = 0;
    ChartLook look_;
    ChartAnnotations annotations_;

public:
    // Called by the view that takes the chart over: from then on the view owns the QChart.
    QChart* releaseChart() { return ownedChart_.release(); }
};

} // namespace selva
