#pragma once

// The chart of the analysis window: a view of a ThrustPlot (the series, markers, annotations, axes and
// their navigation) with what the mouse does over it: the wheel zooms about the pointer, a rectangle
// dragged with the left button zooms to it, a double click in the axis area shows everything, a double
// click in the plot reads the values out, a right-button double click asks for the series options.
//
// Everything here runs on the UI thread.

#include "analysis/ui/ThrustPlot.h"

#include <QChartView>

#include <memory>

class QRubberBand;

namespace selva {

class ThrustChart : public QChartView {
    Q_OBJECT
public:
    using SeriesId = ThrustPlot::SeriesId;
    static constexpr SeriesId Data = ThrustPlot::Data;
    static constexpr SeriesId StartThrust = ThrustPlot::StartThrust;
    static constexpr SeriesId EndThrust = ThrustPlot::EndThrust;
    static constexpr SeriesId ZeroLine = ThrustPlot::ZeroLine;
    static constexpr SeriesId DeltaUp = ThrustPlot::DeltaUp;
    static constexpr SeriesId DeltaDown = ThrustPlot::DeltaDown;
    static constexpr SeriesId Middle = ThrustPlot::Middle;
    static constexpr int SeriesCount = ThrustPlot::SeriesCount;

    explicit ThrustChart(QWidget* parent = nullptr);
    ~ThrustChart() override;

    ThrustPlot& plot() { return *plot_; }
    const ThrustPlot& plot() const { return *plot_; }

    // The plot's interface, for the window.
    void setData(double step, std::size_t first, std::vector<double> values)
    {
        plot_->setData(step, first, std::move(values));
    }
    void setDelta(std::vector<double> up, std::vector<double> down)
    {
        plot_->setDelta(std::move(up), std::move(down));
    }
    void clearData() { plot_->clearData(); }
    void setMarker(SeriesId which, const QList<QPointF>& points) { plot_->setMarker(which, points); }
    void setOverlays(const std::vector<ChartOverlay>& overlays) { plot_->setOverlays(overlays); }
    bool hasData() const { return plot_->hasData(); }
    std::size_t dataCount() const { return plot_->dataCount(); }
    double firstTime() const { return plot_->firstTime(); }
    double lastTime() const { return plot_->lastTime(); }
    double lowestValue() const { return plot_->lowestValue(); }
    double highestValue() const { return plot_->highestValue(); }
    QList<QPointF> fullPoints(SeriesId which) const { return plot_->fullPoints(which); }
    QLineSeries* series(SeriesId which) const { return plot_->series(which); }
    QValueAxis* timeAxis() const { return plot_->timeAxis(); }
    QValueAxis* valueAxis() const { return plot_->valueAxis(); }
    void setInverted(bool inverted) { plot_->setInverted(inverted); }
    bool inverted() const { return plot_->inverted(); }
    AxisSpan timeRange() const { return plot_->timeRange(); }
    AxisSpan valueRange() const { return plot_->valueRange(); }
    bool timeAutomatic() const { return plot_->timeAutomatic(); }
    bool valueAutomatic() const { return plot_->valueAutomatic(); }
    void setTimeRange(AxisSpan range) { plot_->setTimeRange(range); }
    void setValueRange(AxisSpan range) { plot_->setValueRange(range); }
    void setTimeAutomatic() { plot_->setTimeAutomatic(); }
    void setValueAutomatic() { plot_->setValueAutomatic(); }
    void navigate(TimeNav button) { plot_->navigate(button); }
    void navigate(ValueNav button) { plot_->navigate(button); }
    // A wheel turn over the window but not over the chart: zoom about the centre of the plot.
    void wheelTurn(int delta) { plot_->wheelTurn(delta); }
    void applyLook(const ChartLook& look);
    const ChartLook& look() const { return plot_->look(); }
    void setAnnotations(const ChartAnnotations& annotations) { plot_->setAnnotations(annotations); }
    const ChartAnnotations& annotations() const { return plot_->annotations(); }
    // Paints the chart as shown, laid out at the target's size (pictures, pages).
    void paintChart(QPainter& painter, const QRectF& target) const { plot_->render(painter, target); }

    // Time and value under a point of the view.
    QPointF valueAt(const QPoint& viewPos) const;

signals:
    void pointerMoved(double time, double value);
    void doubleClicked(double time, double value);
    // Right button released during a double click.
    void rightDoubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointF chartPos(const QPoint& viewPos) const;
    bool inPlot(const QPoint& viewPos) const;

    std::unique_ptr<ThrustPlot> plot_;
    QRubberBand* band_ = nullptr;
    QPoint bandOrigin_;
    bool pressed_ = false;
    bool rightDouble_ = false;
};

} // namespace selva
