#include "analysis/ui/ThrustPlot.h"

#include "analysis/ui/AuthorMark.h"

#include <QGraphicsItem>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace selva {

namespace {

const char* const kTitles[ThrustPlot::SeriesCount] = {"Data",    "StartThrust", "EndThrust", "ZeroLine",
                                                      "DeltaUp", "DeltaDown",   "Middle"};

// Fonts of the chart are sized in pixels of the chart's own layout (8 points on a 96 dpi screen), so
// that a picture or a printed page, which lays the chart out in those units and scales the drawing to
// its resolution, shows text in the same proportion to the plot as the screen does.
constexpr int kFontPixels = 11;
constexpr double kLayoutDpi = 96;

QFont chartFont()
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(kFontPixels);
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
    const QPointF top(c.x(), r.top()), bottom(c.x(), r.bottom()), left(r.left(), c.y()), right(r.right(), c.y());
    switch (style) {
    case 1:
        p.drawEllipse(r);
        break;
    case 2:
        p.drawPolygon(QPolygonF{{top, r.bottomLeft(), r.bottomRight()}});
        break;
    case 3:
        p.drawPolygon(QPolygonF{{r.topLeft(), r.topRight(), bottom}});
        break;
    case 4:
        p.drawLine(top, bottom);
        p.drawLine(left, right);
        break;
    case 5:
        p.drawLine(r.topLeft(), r.bottomRight());
        p.drawLine(r.bottomLeft(), r.topRight());
        break;
    case 6:
        p.drawLine(top, bottom);
        p.drawLine(left, right);
        p.drawLine(r.topLeft(), r.bottomRight());
        p.drawLine(r.bottomLeft(), r.topRight());
        break;
    case 7:
        p.drawPolygon(QPolygonF{{top, right, bottom, left}});
        break;
    default:
        p.drawRect(r);
        break;
    }
    return image;
}

// Lines of a note broken at word boundaries (or anywhere in a word too long for a line) to `width`.
QStringList wrapped(const QString& text, const QFont& font, double width)
{
    QStringList out;
    if (text.isEmpty() || width < 20) {
        out.append(text);
        return out;
    }
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        out.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return out;
}

} // namespace

// Draws the annotations above everything else of the chart, so that a picture or a page rendered from
// the scene carries them too.
class AnnotationItem : public QGraphicsItem {
public:
    AnnotationItem(const ThrustPlot& plot, QGraphicsItem* parent) : QGraphicsItem(parent), plot_(plot)
    {
        setZValue(10000);
        setAcceptedMouseButtons(Qt::NoButton);
        setAcceptHoverEvents(false);
    }
    QRectF boundingRect() const override { return plot_.chart_->rect(); }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override
    {
        plot_.paintAnnotations(*painter);
    }
    void refresh()
    {
        prepareGeometryChange();
        update();
    }

private:
    const ThrustPlot& plot_;
};

ThrustPlot::ThrustPlot(QObject* parent) : QObject(parent), ownedChart_(std::make_unique<QChart>())
{
    chart_ = ownedChart_.get();
    QChart* c = chart_;
    c->legend()->hide();
    c->setBackgroundRoundness(0);
    c->layout()->setContentsMargins(0, 0, 0, 0);
    c->setAnimationOptions(QChart::NoAnimation);
    c->setLocalizeNumbers(true);
    QLocale numbers; // the user's decimal separator, no group separators on the axes
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    c->setLocale(numbers);

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
    annotationItem_ = new AnnotationItem(*this, c);

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
        annotationItem_->refresh();
    });
    applyLook(look_);
    updateMargins();
}

ThrustPlot::~ThrustPlot() = default;

double ThrustPlot::firstTime() const
{
    return values_.empty() ? 0 : static_cast<double>(first_) * step_;
}

double ThrustPlot::lastTime() const
{
    return values_.empty() ? 0 : static_cast<double>(first_ + values_.size() - 1) * step_;
}

void ThrustPlot::setData(double step, std::size_t first, std::vector<double> values)
{
    step_ = step > 0 && std::isfinite(step) ? step : 0;
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
    // A range set by hand stays, but never outside the new data.
    if (!timeAuto_ && !values_.empty())
        setAxisRange(timeAxis_, limitTimeRange(timeRange(), firstTime(), lastTime(), step_));
    refreshAutomaticRanges();
    refreshVisible();
}

void ThrustPlot::setDelta(std::vector<double> up, std::vector<double> down)
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

void ThrustPlot::clearData()
{
    setData(0, 0, {});
}

void ThrustPlot::setMarker(SeriesId which, const QList<QPointF>& points)
{
    if (which == Data || which == DeltaUp || which == DeltaDown)
        return;
    markers_[which] = points;
    series_[which]->replace(points);
    refreshAutomaticRanges();
}

void ThrustPlot::setOverlays(const std::vector<ChartOverlay>& overlays)
{
    static const QColor colours[] = {QColor(0, 255, 255),  QColor(255, 0, 255),   QColor(0, 255, 0),
                                     QColor(255, 160, 0),  QColor(255, 128, 192), QColor(128, 160, 255)};
    for (QLineSeries* series : overlaySeries_) {
        chart_->removeSeries(series);
        delete series;
    }
    overlaySeries_.clear();
    overlays_ = overlays;
    for (std::size_t i = 0; i < overlays_.size(); ++i) {
        auto* series = new QLineSeries(chart_);
        series->setName(overlays_[i].name);
        series->setPen(QPen(colours[i % std::size(colours)], 1));
        chart_->addSeries(series);
        series->attachAxis(timeAxis_);
        series->attachAxis(valueAxis_);
        // A comparison curve is a motor's burn: a few thousand points at most are kept for the chart.
        const QList<QPointF>& all = overlays_[i].points;
        const qsizetype stride = std::max<qsizetype>(1, all.size() / 4000);
        QList<QPointF> shown;
        for (qsizetype k = 0; k < all.size(); k += stride)
            shown.append(all[k]);
        if (!all.isEmpty() && shown.last() != all.last())
            shown.append(all.last());
        series->replace(shown);
        overlaySeries_.push_back(series);
    }
    refreshAutomaticRanges();
}

QList<QPointF> ThrustPlot::fullPoints(SeriesId which) const
{
    const std::vector<double>* v = which == Data        ? &values_
                                   : which == DeltaUp   ? &up_
                                   : which == DeltaDown ? &down_
                                                        : nullptr;
    if (!v)
        return markers_[which];
    QList<QPointF> out;
    out.reserve(static_cast<qsizetype>(v->size()));
    for (std::size_t k = 0; k < v->size(); ++k)
        out.append(QPointF(static_cast<double>(first_ + k) * step_, (*v)[k]));
    return out;
}

void ThrustPlot::setInverted(bool inverted)
{
    valueAxis_->setReverse(inverted);
}

bool ThrustPlot::inverted() const
{
    return valueAxis_->isReverse();
}

AxisSpan ThrustPlot::timeRange() const
{
    return {timeAxis_->min(), timeAxis_->max()};
}

AxisSpan ThrustPlot::valueRange() const
{
    return {valueAxis_->min(), valueAxis_->max()};
}

void ThrustPlot::setTimeRange(AxisSpan range)
{
    if (!std::isfinite(range.min) || !std::isfinite(range.max))
        return;
    timeAuto_ = false;
    if (!values_.empty())
        range = limitTimeRange(range, firstTime(), lastTime(), step_);
    setAxisRange(timeAxis_, range);
}

void ThrustPlot::setValueRange(AxisSpan range)
{
    if (!std::isfinite(range.min) || !std::isfinite(range.max))
        return;
    valueAuto_ = false;
    setAxisRange(valueAxis_, limitValueRange(range));
}

void ThrustPlot::setTimeAutomatic()
{
    timeAuto_ = true;
    refreshAutomaticRanges();
}

void ThrustPlot::setValueAutomatic()
{
    valueAuto_ = true;
    refreshAutomaticRanges();
}

void ThrustPlot::navigate(TimeNav button)
{
    setTimeRange(navigateTime(button, timeRange(), firstTime(), lastTime()));
}

void ThrustPlot::navigate(ValueNav button)
{
    setValueRange(navigateValue(button, inverted(), valueRange(), lowest_, highest_));
}

void ThrustPlot::wheelTurn(int delta)
{
    const AxisSpan t = timeRange(), v = valueRange();
    wheelTurn(delta, QPointF((t.min + t.max) / 2, (v.min + v.max) / 2));
}

void ThrustPlot::wheelTurn(int delta, QPointF anchor)
{
    const double factor = wheelZoomFactor(delta);
    const AxisSpan v = valueRange();
    if (v.span() > 0)
        setValueRange(zoomAround(v, anchor.y(), factor));
    const AxisSpan t = timeRange();
    if (t.span() > 0)
        setTimeRange(zoomAround(t, anchor.x(), factor));
}

void ThrustPlot::zoomToRect(const QRectF& chartRect)
{
    const QRectF r = chartRect.normalized().intersected(plotArea());
    if (r.width() < 4 || r.height() < 4)
        return;
    const QPointF a = valueAt(r.topLeft()), b = valueAt(r.bottomRight());
    setTimeRange({std::min(a.x(), b.x()), std::max(a.x(), b.x())});
    setValueRange({std::min(a.y(), b.y()), std::max(a.y(), b.y())});
}

void ThrustPlot::setAxisRange(QValueAxis* axis, AxisSpan range)
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

int ThrustPlot::tickCountFor(QValueAxis* axis) const
{
    const QRectF area = chart_->plotArea();
    const double pixels = axis == timeAxis_ ? area.width() : area.height();
    return std::clamp(static_cast<int>(pixels / (axis == timeAxis_ ? 80 : 40)), 2, 20);
}

// Automatic axes span every point of every series.
void ThrustPlot::refreshAutomaticRanges()
{
    if (!timeAuto_ && !valueAuto_)
        return;
    double tMin = 0, tMax = 0, vMin = 0, vMax = 0;
    bool any = false;
    auto take = [&](double t, double v) {
        if (!std::isfinite(t) || !std::isfinite(v))
            return;
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
        for (const std::vector<double>* band : {&up_, &down_})
            if (!band->empty()) {
                const auto [lo, hi] = std::minmax_element(band->begin(), band->end());
                take(firstTime(), *lo);
                take(firstTime(), *hi);
            }
    }
    for (int i = StartThrust; i < SeriesCount; ++i)
        for (const QPointF& p : markers_[i])
            take(p.x(), p.y());
    for (const ChartOverlay& overlay : overlays_)
        for (const QPointF& p : overlay.points)
            take(p.x(), p.y());
    if (!any)
        tMax = vMax = 1;
    if (timeAuto_)
        setAxisRange(timeAxis_, {tMin, tMax});
    if (valueAuto_)
        setAxisRange(valueAxis_, {vMin, vMax});
}

void ThrustPlot::refreshVisible()
{
    if (refreshing_)
        return;
    refreshing_ = true;
    const int columns = std::max(1, static_cast<int>(chart_->plotArea().width()));
    decimatedColumns_ = static_cast<int>(chart_->plotArea().width());
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

void ThrustPlot::updateTicks(QValueAxis* axis)
{
    const double interval = niceTickInterval(axis->max() - axis->min(), tickCountFor(axis));
    const int decimals =
        interval >= 1 ? 0 : std::min(6, static_cast<int>(std::ceil(-std::log10(interval) - 1e-9)));
    if (interval != axis->tickInterval())
        axis->setTickInterval(interval);
    const QString format = QStringLiteral("%.%1f").arg(decimals);
    if (axis->labelFormat() != format)
        axis->setLabelFormat(format);
}

void ThrustPlot::updateMargins()
{
    const int h = QFontMetrics(chartFont()).height();
    chart_->setMargins(QMargins(4, h + 4, 14, h + 2));
}

void ThrustPlot::applyLook(const ChartLook& look)
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

    chart_->setBackgroundBrush(look.backColor);
    chart_->setBackgroundPen(Qt::NoPen);
    chart_->setPlotAreaBackgroundVisible(false);

    const QFont labels = chartFont();
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
    annotationItem_->refresh();
}

void ThrustPlot::setAnnotations(const ChartAnnotations& annotations)
{
    annotations_ = annotations;
    annotationItem_->refresh();
}

void ThrustPlot::setSize(const QSizeF& size)
{
    chart_->resize(size);
    chart_->layout()->activate();
}

QPointF ThrustPlot::valueAt(const QPointF& chartPos) const
{
    return chart_->mapToValue(chartPos, series_[Data]);
}

// Texts sit on the chart's background colour, so that grid lines and curves never strike through them.
void ThrustPlot::paintAnnotations(QPainter& painter) const
{
    painter.save();
    const QFont font = chartFont();
    painter.setFont(font);
    const QFontMetricsF fm(font);
    const double h = fm.height();
    const QRectF r = chart_->rect();
    const QRectF p = chart_->plotArea();
    const double m = chart_->margins().right();
    auto textAt = [&](double x, double y, const QString& text) {
        const QRectF box(x - 1, y, fm.horizontalAdvance(text) + 2, h);
        painter.fillRect(box, look_.backColor);
        painter.setPen(look_.textColor);
        painter.drawText(QPointF(x, y + fm.ascent()), text);
    };
    auto rightAligned = [&](double y, const QString& text) {
        textAt(p.right() - m - fm.horizontalAdvance(text), y, text);
    };

    textAt(r.left(), r.top(), annotations_.newtons ? QStringLiteral(" F(N)") : QStringLiteral(" f(Hz)"));
    const QString timeUnit = QStringLiteral("T(sec)");
    textAt(r.right() - 3 - fm.horizontalAdvance(timeUnit), r.bottom() - h - 2, timeUnit);
    if (const QString mark = authorMarkText(annotations_.author); !mark.isEmpty())
        textAt(r.left() + 3, r.bottom() - h - 2, mark);
    if (!annotations_.date.isEmpty())
        rightAligned(p.top() + 4, annotations_.date);
    for (int k = 0; k < annotations_.results.size(); ++k)
        rightAligned(p.top() + 4 + (k + 1) * (h + 2), annotations_.results[k]);
    int line = 0;
    const double noteWidth = p.width() - 8;
    for (const QString& note : annotations_.notes)
        for (const QString& piece : wrapped(note, font, noteWidth)) {
            const double y = p.top() + 4 + line++ * (h + 2);
            if (y + h > p.bottom())
                break;
            textAt(p.left() + 4, y, piece);
        }
    painter.restore();
}

void ThrustPlot::copyStateFrom(const ThrustPlot& o)
{
    applyLook(o.look_);
    setInverted(o.inverted());
    step_ = o.step_;
    first_ = o.first_;
    values_ = o.values_;
    up_ = o.up_;
    down_ = o.down_;
    lowest_ = o.lowest_;
    highest_ = o.highest_;
    for (int i = StartThrust; i < SeriesCount; ++i)
        if (i != DeltaUp && i != DeltaDown)
            setMarker(static_cast<SeriesId>(i), o.markers_[i]);
    annotations_ = o.annotations_;
    setOverlays(o.overlays_);
    timeAuto_ = o.timeAuto_;
    valueAuto_ = o.valueAuto_;
    if (!timeAuto_)
        setAxisRange(timeAxis_, o.timeRange());
    if (!valueAuto_)
        setAxisRange(valueAxis_, o.valueRange());
    refreshAutomaticRanges();
}

void ThrustPlot::render(QPainter& painter, const QRectF& target) const
{
    if (target.width() < 1 || target.height() < 1)
        return;
    // Laid out in the chart's own units (see chartFont) and scaled to the device's resolution.
    const QPaintDevice* device = painter.device();
    const double dpi = device && device->logicalDpiX() > 0 ? device->logicalDpiX() : kLayoutDpi;
    const double scale = std::max(dpi / kLayoutDpi, 1e-3);
    const QSizeF logical = target.size() / scale;
    ThrustPlot copy;
    QGraphicsScene scene;
    scene.addItem(copy.chart_);
    copy.setSize(logical);
    copy.copyStateFrom(*this);
    // The axes' labels are known only now: lay the chart out again for their widths, then the ticks and
    // the decimation for the plot area that leaves.
    for (int pass = 0; pass < 2; ++pass) {
        copy.chart_->layout()->invalidate();
        copy.chart_->layout()->activate();
        copy.updateTicks(copy.timeAxis_);
        copy.updateTicks(copy.valueAxis_);
    }
    copy.refreshVisible();
    scene.setSceneRect(QRectF(QPointF(0, 0), logical));
    scene.render(&painter, target, scene.sceneRect(), Qt::IgnoreAspectRatio);
    // The copy owns its chart; the scene must not delete it.
    scene.removeItem(copy.chart_);
}

} // namespace selva
