#include "analysis/ui/ThrustChart.h"

#include <QChart>
#include <QGraphicsLayout>
#include <QImage>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace selva {

namespace {

const char* const kTitles[ThrustChart::SeriesCount] = {"Data",    "StartThrust", "EndThrust", "ZeroLine",
                                                       "DeltaUp", "DeltaDown",   "Middle"};

QFont annotationFont()
{
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(8);
    return f;
}

// A point mark of the data series in one of the eight dot styles, w x h pixels.
QImage dotImage(int style, int w, int h, const QColor& color)
{
    w = std::clamp(w, 1, 10) * 2 + 1;
    h = std::clamp(h, 1, 10) * 2 + 1;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 1));
    p.setBrush(color);
    const QRectF r(0.5, 0.5, w - 1.0, h - 1.0);
    const QPointF c = r.center();
    switch (style) {
    case 1:
        p.drawEllipse(r);
        break;
    case 2:
        p.drawPolygon(QPolygonF{{QPointF(c.x(), r.top()), r.bottomLeft(), r.bottomRight()}});
        break;
    case 3:
        p.drawPolygon(QPolygonF{{r.topLeft(), r.topRight(), QPointF(c.x(), r.bottom())}});
        break;
    case 4:
        p.drawLine(QPointF(c.x(), r.top()), QPointF(c.x(), r.bottom()));
        p.drawLine(QPointF(r.left(), c.y()), QPointF(r.right(), c.y()));
        break;
    case 5:
        p.drawLine(r.topLeft(), r.bottomRight());
        p.drawLine(r.bottomLeft(), r.topRight());
        break;
    case 6:
        p.drawLine(QPointF(c.x(), r.top()), QPointF(c.x(), r.bottom()));
        p.drawLine(QPointF(r.left(), c.y()), QPointF(r.right(), c.y()));
        p.drawLine(r.topLeft(), r.bottomRight());
        p.drawLine(r.bottomLeft(), r.topRight());
        break;
    case 7:
        p.drawPolygon(QPolygonF{{QPointF(c.x(), r.top()), QPointF(r.right(), c.y()),
                                 QPointF(c.x(), r.bottom()), QPointF(r.left(), c.y())}});
        break;
    default:
        p.drawRect(r);
        break;
    }
    return image;
}

} // namespace

ThrustChart::ThrustChart(QWidget* parent) : QChartView(new QChart, parent)
{
    QChart* c = chart();
    c->legend()->hide();
    c->setBackgroundRoundness(0);
    c->layout()->setContentsMargins(0, 0, 0, 0);
    c->setLocalizeNumbers(true);
    QLocale numbers; // the user's decimal separator, no group separators on the axes
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    c->setLocale(numbers);
    setRenderHint(QPainter::Antialiasing, false);
    setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);

    timeAxis_ = new QValueAxis(c);
    valueAxis_ = new QValueAxis(c);
    c->addAxis(timeAxis_, Qt::AlignBottom);
    c->addAxis(valueAxis_, Qt::AlignLeft);
    for (QValueAxis* axis : {timeAxis_, valueAxis_}) {
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
        axis->setRange(0, 1);
    }
    for (int i = 0; i < SeriesCount; ++i) {
        auto* s = new QLineSeries(c);
        s->setName(QString::fromLatin1(kTitles[i]));
        c->addSeries(s);
        s->attachAxis(timeAxis_);
        s->attachAxis(valueAxis_);
        series_[i] = s;
    }
    // The mean line keeps its design look whatever the appearance settings say.
    series_[Middle]->setPen(QPen(QColor(128, 255, 255), 2, Qt::DashLine));

    connect(timeAxis_, &QValueAxis::rangeChanged, this, [this] {
        updateTicks(timeAxis_);
        refreshVisible();
    });
    connect(valueAxis_, &QValueAxis::rangeChanged, this, [this] { updateTicks(valueAxis_); });
    connect(c, &QChart::plotAreaChanged, this, [this](const QRectF& area) {
        if (static_cast<int>(area.width()) != decimatedColumns_)
            refreshVisible();
        updateTicks(timeAxis_);
        updateTicks(valueAxis_);
    });
    applyLook(look_);
    updateMargins();
}

double ThrustChart::firstTime() const
{
    return values_.empty() ? 0 : static_cast<double>(first_) * step_;
}

double ThrustChart::lastTime() const
{
    return values_.empty() ? 0 : static_cast<double>(first_ + values_.size() - 1) * step_;
}

void ThrustChart::setData(double step, std::size_t first, std::vector<double> values)
{
    step_ = step > 0 ? step : 0;
    first_ = first;
    values_ = step_ > 0 ? std::move(values) : std::vector<double>{};
    up_.clear();
    down_.clear();
    lowest_ = highest_ = 0;
    if (!values_.empty()) {
        const auto [lo, hi] = std::minmax_element(values_.begin(), values_.end());
        lowest_ = *lo;
        highest_ = *hi;
    }
    refreshAutomaticRanges();
    refreshVisible();
}

void ThrustChart::setDelta(std::vector<double> up, std::vector<double> down)
{
    if (up.size() != values_.size() || down.size() != values_.size()) {
        up.clear();
        down.clear();
    }
    up_ = std::move(up);
    down_ = std::move(down);
    refreshAutomaticRanges();
    refreshVisible();
}

void ThrustChart::clearData()
{
    setData(0, 0, {});
}

void ThrustChart::setMarker(SeriesId which, const QList<QPointF>& points)
{
    if (which == Data || which == DeltaUp || which == DeltaDown)
        return;
    markers_[which] = points;
    series_[which]->replace(points);
    refreshAutomaticRanges();
}

QList<QPointF> ThrustChart::fullPoints(SeriesId which) const
{
    QList<QPointF> out;
    const std::vector<double>* v = which == Data        ? &values_
                                   : which == DeltaUp   ? &up_
                                   : which == DeltaDown ? &down_
                                                        : nullptr;
    if (!v)
        return markers_[which];
    out.reserve(static_cast<qsizetype>(v->size()));
    for (std::size_t k = 0; k < v->size(); ++k)
        out.append(QPointF(static_cast<double>(first_ + k) * step_, (*v)[k]));
    return out;
}

void ThrustChart::setInverted(bool inverted)
{
    valueAxis_->setReverse(inverted);
}

bool ThrustChart::inverted() const
{
    return valueAxis_->isReverse();
}

AxisSpan ThrustChart::timeRange() const
{
    return {timeAxis_->min(), timeAxis_->max()};
}

AxisSpan ThrustChart::valueRange() const
{
    return {valueAxis_->min(), valueAxis_->max()};
}

void ThrustChart::setTimeRange(AxisSpan range)
{
    timeAuto_ = false;
    setAxisRange(timeAxis_, range);
}

void ThrustChart::setValueRange(AxisSpan range)
{
    valueAuto_ = false;
    setAxisRange(valueAxis_, range);
}

void ThrustChart::setTimeAutomatic()
{
    timeAuto_ = true;
    refreshAutomaticRanges();
}

void ThrustChart::setValueAutomatic()
{
    valueAuto_ = true;
    refreshAutomaticRanges();
}

void ThrustChart::navigate(TimeNav button)
{
    setTimeRange(navigateTime(button, timeRange(), firstTime(), lastTime()));
}

void ThrustChart::navigate(ValueNav button)
{
    setValueRange(navigateValue(button, inverted(), valueRange(), lowest_, highest_));
}

void ThrustChart::wheelTurn(int delta)
{
    const AxisSpan v = valueRange();
    if (v.span() > 0)
        setValueRange(wheelZoom(v, delta));
    const AxisSpan t = timeRange();
    if (t.span() > 0)
        setTimeRange(wheelZoom(t, delta));
}

void ThrustChart::setAxisRange(QValueAxis* axis, AxisSpan range)
{
    if (!std::isfinite(range.min) || !std::isfinite(range.max))
        return;
    if (!(range.max > range.min)) {
        // Qt Charts needs a positive span; a flat range is opened around its value.
        const double pad = range.min != 0 ? std::fabs(range.min) * 0.01 : 1.0;
        range = {range.min - pad, range.max + pad};
    }
    // Qt Charts lays out every tick of the current interval at once: widen the interval before a wider
    // range arrives and narrow it only after a narrower one, so that no step has thousands of ticks.
    const double interval = niceTickInterval(range.span(), tickCountFor(axis));
    if (interval > axis->tickInterval())
        axis->setTickInterval(interval);
    axis->setRange(range.min, range.max);
    updateTicks(axis);
}

int ThrustChart::tickCountFor(QValueAxis* axis) const
{
    const QRectF area = chart()->plotArea();
    const double pixels = axis == timeAxis_ ? area.width() : area.height();
    return std::clamp(static_cast<int>(pixels / (axis == timeAxis_ ? 80 : 40)), 2, 20);
}

// Automatic axes span every point of every series.
void ThrustChart::refreshAutomaticRanges()
{
    if (!timeAuto_ && !valueAuto_)
        return;
    double tMin = 0, tMax = 0, vMin = 0, vMax = 0;
    bool any = false;
    auto take = [&](double t, double v) {
        if (!any) {
            tMin = tMax = t;
            vMin = vMax = v;
            any = true;
            return;
        }
        tMin = std::min(tMin, t);
        tMax = std::max(tMax, t);
        vMin = std::min(vMin, v);
        vMax = std::max(vMax, v);
    };
    if (!values_.empty()) {
        take(firstTime(), lowest_);
        take(lastTime(), highest_);
        if (!up_.empty()) {
            const auto [lo, hi] = std::minmax_element(up_.begin(), up_.end());
            take(firstTime(), *lo);
            take(firstTime(), *hi);
            const auto [lo2, hi2] = std::minmax_element(down_.begin(), down_.end());
            take(firstTime(), *lo2);
            take(firstTime(), *hi2);
        }
    }
    for (int i = StartThrust; i < SeriesCount; ++i)
        for (const QPointF& p : markers_[i])
            take(p.x(), p.y());
    if (!any) {
        tMax = vMax = 1;
    }
    if (timeAuto_)
        setAxisRange(timeAxis_, {tMin, tMax});
    if (valueAuto_)
        setAxisRange(valueAxis_, {vMin, vMax});
}

void ThrustChart::refreshVisible()
{
    if (refreshing_)
        return;
    refreshing_ = true;
    const int columns = std::max(1, static_cast<int>(chart()->plotArea().width()));
    decimatedColumns_ = static_cast<int>(chart()->plotArea().width());
    QList<QPointF> pts;
    std::size_t a = 0, b = 0;
    const bool any =
        !values_.empty() && visibleIndexRange(step_, first_, first_ + values_.size() - 1, timeRange(), a, b);
    if (any)
        decimateMinMax(values_, first_, a, b, step_, columns, pts);
    series_[Data]->replace(pts);
    pts.clear();
    if (any && !up_.empty())
        decimateMinMax(up_, first_, a, b, step_, columns, pts);
    series_[DeltaUp]->replace(pts);
    pts.clear();
    if (any && !down_.empty())
        decimateMinMax(down_, first_, a, b, step_, columns, pts);
    series_[DeltaDown]->replace(pts);
    refreshing_ = false;
}

void ThrustChart::updateTicks(QValueAxis* axis)
{
    const double interval = niceTickInterval(axis->max() - axis->min(), tickCountFor(axis));
    const int decimals =
        interval >= 1 ? 0 : std::min(6, static_cast<int>(std::ceil(-std::log10(interval) - 1e-9)));
    if (interval != axis->tickInterval())
        axis->setTickInterval(interval);
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
    if (look_.valueMinorGrid || look_.timeMinorGrid)
        axis->setMinorTickCount(4);
}

void ThrustChart::updateMargins()
{
    const int h = QFontMetrics(annotationFont()).height();
    chart()->setMargins(QMargins(4, h + 4, 14, h + 2));
}

void ThrustChart::applyLook(const ChartLook& look)
{
    look_ = look;
    series_[Data]->setPen(QPen(look.dataColor, std::max(1, look.dataWidth), look.dataStyle));
    series_[Data]->setPointsVisible(look.dotsVisible);
    if (look.dotsVisible) {
        series_[Data]->setLightMarker(dotImage(look.dotStyle, look.dotWidth, look.dotHeight, look.dotColor));
        series_[Data]->setMarkerSize(std::max(look.dotWidth, look.dotHeight) * 2 + 1);
    } else {
        series_[Data]->setLightMarker(QImage());
    }
    const QPen base(look.baseColor, std::max(1, look.baseWidth), look.baseStyle);
    for (int i : {StartThrust, EndThrust, ZeroLine})
        series_[i]->setPen(base);
    const QPen delta(look.deltaColor, std::max(1, look.deltaWidth), look.deltaStyle);
    series_[DeltaUp]->setPen(delta);
    series_[DeltaDown]->setPen(delta);

    chart()->setBackgroundBrush(look.backColor);
    chart()->setPlotAreaBackgroundVisible(false);
    setBackgroundBrush(look.backColor);

    QFont labels(QStringLiteral("Arial"));
    labels.setPointSize(8);
    auto styleAxis = [&](QValueAxis* axis, bool grid, bool minor) {
        axis->setLinePen(QPen(look.axisColor, 1));
        axis->setLabelsBrush(look.axisColor);
        axis->setLabelsFont(labels);
        axis->setGridLineVisible(grid);
        axis->setGridLinePen(QPen(look.gridColor, 1, Qt::DotLine));
        axis->setMinorGridLineVisible(minor);
        axis->setMinorGridLinePen(QPen(look.minorGridColor, 1, Qt::DotLine));
        axis->setMinorTickCount(minor ? 4 : 0);
    };
    styleAxis(valueAxis_, look.valueGrid, look.valueMinorGrid);
    styleAxis(timeAxis_, look.timeGrid, look.timeMinorGrid);
    viewport()->update();
}

void ThrustChart::setAnnotations(const ChartAnnotations& annotations)
{
    annotations_ = annotations;
    viewport()->update();
}

QPointF ThrustChart::valueAt(const QPoint& viewPos) const
{
    return chart()->mapToValue(mapToScene(viewPos), series_[Data]);
}

void ThrustChart::drawForeground(QPainter* painter, const QRectF& rect)
{
    QChartView::drawForeground(painter, rect);
    painter->save();
    const QFont font = annotationFont();
    painter->setFont(font);
    painter->setPen(look_.textColor);
    painter->setBackgroundMode(Qt::TransparentMode);
    const QFontMetrics fm(font);
    const int h = fm.height();
    const QRectF r = chart()->geometry();
    const QRectF p = chart()->plotArea();
    const double m = chart()->margins().right();
    auto textAt = [&](double x, double y, const QString& text) {
        painter->drawText(QPointF(x, y + fm.ascent()), text);
    };
    auto rightAligned = [&](double y, const QString& text) {
        textAt(p.right() - m - fm.horizontalAdvance(text), y, text);
    };

    textAt(r.left(), 0, annotations_.newtons ? QStringLiteral(" F(N)") : QStringLiteral(" f(Hz)"));
    const QString timeUnit = QStringLiteral("T(sec)");
    textAt(r.right() - 3 - fm.horizontalAdvance(timeUnit), r.bottom() - h - 2, timeUnit);
    if (!annotations_.date.isEmpty())
        rightAligned(p.top() + 4, annotations_.date);
    for (int k = 0; k < annotations_.results.size(); ++k)
        rightAligned(p.top() + 4 + (k + 1) * (h + 2), annotations_.results[k]);
    for (int k = 0; k < annotations_.notes.size(); ++k)
        textAt(p.left() + 4, p.top() + 4 + k * (h + 2), annotations_.notes[k]);
    painter->restore();
}

void ThrustChart::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF v = valueAt(event->position().toPoint());
    emit pointerMoved(v.x(), v.y());
    QChartView::mouseMoveEvent(event);
}

void ThrustChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        rightDouble_ = true;
    } else if (event->button() == Qt::LeftButton) {
        const QPointF v = valueAt(event->position().toPoint());
        emit doubleClicked(v.x(), v.y());
    }
    QChartView::mouseDoubleClickEvent(event);
}

void ThrustChart::mouseReleaseEvent(QMouseEvent* event)
{
    const bool fire = rightDouble_ && event->button() == Qt::RightButton;
    rightDouble_ = false;
    QChartView::mouseReleaseEvent(event);
    if (fire)
        emit rightDoubleClicked();
}

void ThrustChart::wheelEvent(QWheelEvent* event)
{
    wheelTurn(event->angleDelta().y());
    event->accept();
}

void ThrustChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    refreshVisible();
}

} // namespace selva
