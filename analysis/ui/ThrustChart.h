#pragma once

// The chart of the analysis window: the frequency or thrust series against time with the start and end
// markers, the rest line, the error band and the mean line, the text annotations over the plot, the
// navigation of both axes, the wheel and the pointer read-out.
//
// The series it is given are kept at full resolution here; Qt Charts is handed at most about two points
// per pixel column of the visible time range (min/max per column), recomputed whenever the range or the
// plot size changes. Extremes, automatic ranges and values under the pointer use the full data.
//
// Everything here runs on the UI thread.

#include "analysis/ui/ChartMath.h"

#include <QChartView>
#include <QColor>
#include <QLineSeries>
#include <QStringList>
#include <QValueAxis>

#include <array>
#include <cstddef>
#include <vector>

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

// Texts drawn over the plot after each paint. Empty texts and lists draw nothing.
struct ChartAnnotations {
    bool newtons = false; // unit caption of the value axis
    QString date;         // "Дата: ..." line, already cut
    QStringList results;  // the five result lines, already cut
    QStringList notes;    // project notes
};

class ThrustChart : public QChartView {
    Q_OBJECT
public:
    // Series in the chart's order.
    enum SeriesId { Data = 0, StartThrust, EndThrust, ZeroLine, DeltaUp, DeltaDown, Middle, SeriesCount };

    explicit ThrustChart(QWidget* parent = nullptr);

    // Series 1: values[k] is the point of index first + k, at time (first + k) * step.
    void setData(double step, std::size_t first, std::vector<double> values);
    // The error band over the same indices as the data; empty vectors clear it.
    void setDelta(std::vector<double> up, std::vector<double> down);
    void clearData();
    // Start, end, rest or mean line.
    void setMarker(SeriesId which, const QList<QPointF>& points);

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
    // A range set by hand turns automatic scaling of that axis off.
    void setTimeRange(AxisSpan range);
    void setValueRange(AxisSpan range);
    void setTimeAutomatic();
    void setValueAutomatic();
    void navigate(TimeNav button);
    void navigate(ValueNav button);
    // Wheel turn over the chart or the window: value axis first, then time axis.
    void wheelTurn(int delta);

    void applyLook(const ChartLook& look);
    const ChartLook& look() const { return look_; }
    void setAnnotations(const ChartAnnotations& annotations);
    const ChartAnnotations& annotations() const { return annotations_; }

    // Time and value under a point of the view.
    QPointF valueAt(const QPoint& viewPos) const;

signals:
    void pointerMoved(double time, double value);
    void doubleClicked(double time, double value);
    // Right button released during a double click.
    void rightDoubleClicked();

protected:
    void drawForeground(QPainter* painter, const QRectF& rect) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refreshVisible();
    void refreshAutomaticRanges();
    void setAxisRange(QValueAxis* axis, AxisSpan range);
    void updateTicks(QValueAxis* axis);
    int tickCountFor(QValueAxis* axis) const;
    void updateMargins();

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

    bool timeAuto_ = true;
    bool valueAuto_ = true;
    bool refreshing_ = false;
    bool rightDouble_ = false;
    int decimatedColumns_ = 0;
    ChartLook look_;
    ChartAnnotations annotations_;
};

} // namespace selva
