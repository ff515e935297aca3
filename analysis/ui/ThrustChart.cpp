#include "analysis/ui/ThrustChart.h"

#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>

namespace selva {

ThrustChart::ThrustChart(QWidget* parent) : QChartView(parent), plot_(std::make_unique<ThrustPlot>())
{
    QChart* const standIn = chart(); // the view's own empty chart, released (not deleted) by setChart
    setChart(plot_->releaseChart()); // the view owns the chart from here on
    delete standIn;
    setRenderHint(QPainter::Antialiasing, false);
    setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    setRubberBand(QChartView::NoRubberBand);
    setBackgroundBrush(plot_->look().backColor);
}

// The plot goes before the view deletes the chart it describes; it never touches the chart on its way.
ThrustChart::~ThrustChart() = default;

void ThrustChart::applyLook(const ChartLook& look)
{
    plot_->applyLook(look);
    setBackgroundBrush(look.backColor);
    viewport()->update();
}

QPointF ThrustChart::chartPos(const QPoint& viewPos) const
{
    return chart()->mapFromScene(mapToScene(viewPos));
}

bool ThrustChart::inPlot(const QPoint& viewPos) const
{
    return plot_->plotArea().contains(chartPos(viewPos));
}

QPointF ThrustChart::valueAt(const QPoint& viewPos) const
{
    return plot_->valueAt(chartPos(viewPos));
}

void ThrustChart::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && inPlot(event->position().toPoint())) {
        pressed_ = true;
        bandOrigin_ = event->position().toPoint();
    }
    // Qt Charts 6.4 reads the item under a press without looking whether there is one, and crashed on a
    // press where the chart did not reach (a window being resized). Its own handling serves only its rubber
    // band, which this chart does not use: the graphics view gets the press directly.
    QGraphicsView::mousePressEvent(event);
}

void ThrustChart::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (pressed_ && (event->buttons() & Qt::LeftButton)) {
        if (!band_)
            band_ = new QRubberBand(QRubberBand::Rectangle, viewport());
        if (band_->isVisible() || (pos - bandOrigin_).manhattanLength() > 4) {
            band_->setGeometry(QRect(bandOrigin_, pos).normalized());
            band_->show();
        }
    }
    const QPointF v = valueAt(pos);
    emit pointerMoved(v.x(), v.y());
    QGraphicsView::mouseMoveEvent(event);
}

void ThrustChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        rightDouble_ = true;
    } else if (event->button() == Qt::LeftButton) {
        if (inPlot(pos)) {
            const QPointF v = valueAt(pos);
            emit doubleClicked(v.x(), v.y());
        } else {
            // The axis area: back to the whole chart.
            plot_->setTimeAutomatic();
            plot_->setValueAutomatic();
        }
    }
    QGraphicsView::mouseDoubleClickEvent(event);
}

void ThrustChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (band_ && band_->isVisible()) {
            const QRect r = band_->geometry();
            band_->hide();
            plot_->zoomToRect(QRectF(chartPos(r.topLeft()), chartPos(r.bottomRight())));
        }
        pressed_ = false;
    }
    const bool fire = rightDouble_ && event->button() == Qt::RightButton;
    rightDouble_ = false;
    QGraphicsView::mouseReleaseEvent(event);
    if (fire)
        emit rightDoubleClicked();
}

void ThrustChart::wheelEvent(QWheelEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const int delta = event->angleDelta().y();
    if (delta != 0) {
        if (inPlot(pos))
            plot_->wheelTurn(delta, valueAt(pos));
        else
            plot_->wheelTurn(delta);
    }
    event->accept();
}

void ThrustChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    if (band_)
        band_->hide();
}

} // namespace selva
