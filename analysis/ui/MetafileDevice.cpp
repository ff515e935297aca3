#include "analysis/ui/MetafileDevice.h"

#include "analysis/ui/MetafileRecorder.h"

#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTextItem>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace selva {

void LeBytes::f32(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    u32(bits);
}

QByteArray dibHeader(const QImage& image)
{
    LeBytes h;
    const int stride = (image.width() * 3 + 3) / 4 * 4;
    h.u32(40);
    h.i32(image.width());
    h.i32(image.height()); // positive: bottom row first
    h.u16(1);
    h.u16(24);
    h.u32(0); // uncompressed
    h.u32(static_cast<std::uint32_t>(stride * image.height()));
    h.i32(0);
    h.i32(0);
    h.u32(0);
    h.u32(0);
    return h.bytes();
}

QByteArray dibBits(const QImage& image)
{
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    {
        QPainter p(&flat);
        p.drawImage(0, 0, image);
    }
    const int stride = (image.width() * 3 + 3) / 4 * 4;
    QByteArray bits(static_cast<qsizetype>(stride) * image.height(), '\0');
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(flat.constScanLine(image.height() - 1 - y));
        char* out = bits.data() + static_cast<qsizetype>(y) * stride;
        for (int x = 0; x < image.width(); ++x) {
            out[3 * x] = static_cast<char>(qBlue(line[x]));
            out[3 * x + 1] = static_cast<char>(qGreen(line[x]));
            out[3 * x + 2] = static_cast<char>(qRed(line[x]));
        }
    }
    return bits;
}

namespace {

// Both formats keep points as 16-bit numbers: everything is clipped to this square first.
const QRectF CoordinateLimit(-30000, -30000, 60000, 60000);
// Points a polyline or polygon record carries at most (the 16-bit count of the WMF records).
constexpr qsizetype MaxPoints = 8000;

// The parts of a polyline inside `clip` (Liang and Barsky's clipping of each segment), as runs of
// connected points.
std::vector<QPolygonF> clipPolyline(const QPolygonF& line, const QRectF& clip)
{
    std::vector<QPolygonF> runs;
    QPolygonF run;
    auto flush = [&] {
        if (run.size() >= 2)
            runs.push_back(run);
        run.clear();
    };
    if (line.size() == 1) {
        if (clip.contains(line[0]))
            runs.push_back(QPolygonF{line[0], line[0]});
        return runs;
    }
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        const QPointF a = line[i], b = line[i + 1];
        const double dx = b.x() - a.x(), dy = b.y() - a.y();
        double t0 = 0, t1 = 1;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {a.x() - clip.left(), clip.right() - a.x(), a.y() - clip.top(),
                             clip.bottom() - a.y()};
        bool inside = true;
        for (int k = 0; k < 4 && inside; ++k) {
            if (p[k] == 0) {
                inside = q[k] >= 0;
            } else {
                const double t = q[k] / p[k];
                if (p[k] < 0)
                    t0 = std::max(t0, t);
                else
                    t1 = std::min(t1, t);
                inside = t0 <= t1;
            }
        }
        if (!inside) {
            flush();
            continue;
        }
        const QPointF from = a + QPointF(dx, dy) * t0, to = a + QPointF(dx, dy) * t1;
        if (t0 > 0)
            flush(); // the line comes back into the clip here
        if (run.isEmpty())
            run << from;
        run << to;
        if (t1 < 1)
            flush();
    }
    flush();
    return runs;
}

// A polygon cut to `clip` (Sutherland and Hodgman); empty when nothing of it is inside.
QPolygonF clipPolygon(const QPolygonF& polygon, const QRectF& clip)
{
    QPolygonF out = polygon;
    if (out.size() > 1 && out.first() == out.last())
        out.removeLast();
    for (int edge = 0; edge < 4 && !out.isEmpty(); ++edge) {
        auto inside = [&](const QPointF& p) {
            switch (edge) {
            case 0:
                return p.x() >= clip.left();
            case 1:
                return p.x() <= clip.right();
            case 2:
                return p.y() >= clip.top();
            default:
                return p.y() <= clip.bottom();
            }
        };
        auto cross = [&](const QPointF& a, const QPointF& b) {
            const double t = edge < 2 ? ((edge == 0 ? clip.left() : clip.right()) - a.x()) / (b.x() - a.x())
                                      : ((edge == 2 ? clip.top() : clip.bottom()) - a.y()) / (b.y() - a.y());
            return a + (b - a) * t;
        };
        const QPolygonF in = out;
        out.clear();
        for (qsizetype i = 0; i < in.size(); ++i) {
            const QPointF cur = in[i], prev = in[(i + in.size() - 1) % in.size()];
            if (inside(cur)) {
                if (!inside(prev))
                    out << cross(prev, cur);
                out << cur;
            } else if (inside(prev)) {
                out << cross(prev, cur);
            }
        }
    }
    return out.size() >= 3 ? out : QPolygonF();
}

// Device points rounded to pixels, repeated points dropped.
QPolygon toPixels(const QPolygonF& in)
{
    QPolygon out;
    out.reserve(in.size());
    for (const QPointF& p : in) {
        const QPoint q(qRound(p.x()), qRound(p.y()));
        if (out.isEmpty() || out.last() != q)
            out << q;
    }
    if (out.size() == 1)
        out << out.first();
    return out;
}

int penStyle(Qt::PenStyle s)
{
    switch (s) {
    case Qt::NoPen:
        return gdi::PS_NULL;
    case Qt::DashLine:
        return gdi::PS_DASH;
    case Qt::DotLine:
        return gdi::PS_DOT;
    case Qt::DashDotLine:
        return gdi::PS_DASHDOT;
    case Qt::DashDotDotLine:
        return gdi::PS_DASHDOTDOT;
    default:
        return gdi::PS_SOLID;
    }
}

// The colour a brush fills with, if it fills at all.
std::optional<QColor> brushColor(const QBrush& b)
{
    QColor c;
    if (const QGradient* g = b.gradient()) {
        if (g->stops().isEmpty())
            return std::nullopt;
        c = g->stops().first().second;
    } else if (b.style() == Qt::NoBrush || b.style() == Qt::TexturePattern) {
        return std::nullopt;
    } else {
        c = b.color();
    }
    if (c.alpha() == 0)
        return std::nullopt;
    return c;
}

int hatchOf(Qt::BrushStyle s)
{
    switch (s) {
    case Qt::HorPattern:
        return gdi::HS_HORIZONTAL;
    case Qt::VerPattern:
        return gdi::HS_VERTICAL;
    case Qt::FDiagPattern:
        return gdi::HS_FDIAGONAL;
    case Qt::BDiagPattern:
        return gdi::HS_BDIAGONAL;
    case Qt::CrossPattern:
        return gdi::HS_CROSS;
    case Qt::DiagCrossPattern:
        return gdi::HS_DIAGCROSS;
    default:
        return -1;
    }
}

} // namespace

// Turns the painter's calls into metafile records: keeps the pen, brush, font, transformation and clip
// of the painter, creates and selects the matching objects only when they change, transforms and clips
// every shape to device pixels.
class MetafileEngine : public QPaintEngine {
public:
    MetafileEngine(MetafileFormat format, QSize size, int dpi)
        : QPaintEngine(AllFeatures), format_(format), size_(size), dpi_(dpi)
    {
    }

    QByteArray data;

    bool begin(QPaintDevice*) override
    {
        recorder_ =
            format_ == MetafileFormat::Wmf ? makeWmfRecorder(size_, dpi_) : makeEmfRecorder(size_, dpi_);
        slots_.clear();
        maxSlots_ = 0;
        penSlot_ = brushSlot_ = fontSlot_ = -1;
        textColor_.reset();
        fillMode_ = -1;
        pending_.clear();
        pen_ = QPen();
        brush_ = QBrush();
        transform_ = QTransform();
        clipOn_ = false;
        opacity_ = 1;
        data.clear();
        return true;
    }

    bool end() override
    {
        data = out().finish(maxSlots_);
        recorder_.reset();
        return true;
    }

    Type type() const override { return Type(User + 7); }

    void updateState(const QPaintEngineState& s) override
    {
        const DirtyFlags f = s.state();
        if (f & DirtyPen)
            pen_ = s.pen();
        if (f & DirtyBrush)
            brush_ = s.brush();
        if (f & DirtyTransform)
            transform_ = s.transform();
        if (f & DirtyOpacity)
            opacity_ = s.opacity();
        if (f & (DirtyClipPath | DirtyClipRegion | DirtyClipEnabled)) {
            // The painter keeps the clip in its own coordinates; here it is kept in device pixels.
            const QPainter* p = painter();
            clipOn_ = p && p->hasClipping();
            if (clipOn_)
                clip_ = p->combinedTransform().mapRect(p->clipBoundingRect());
        }
    }

    void drawPath(const QPainterPath& path) override
    {
        if (opacity_ <= 0)
            return;
        if (brushColor(brush_)) {
            setFillMode(path.fillRule());
            for (const QPolygonF& poly : path.toFillPolygons(transform_))
                fill(poly);
        }
        if (penVisible())
            for (const QPolygonF& poly : path.toSubpathPolygons(transform_))
                stroke(poly);
    }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override
    {
        if (opacity_ <= 0 || count <= 0)
            return;
        QPolygonF poly = transform_.map(QPolygonF(QList<QPointF>(points, points + count)));
        if (mode == PolylineMode) {
            if (penVisible())
                stroke(poly);
            return;
        }
        setFillMode(mode == WindingMode ? Qt::WindingFill : Qt::OddEvenFill);
        const QRectF clip = clipRect();
        if (clip.contains(poly.boundingRect())) {
            // Whole: one record with outline and fill, as a drawing program would keep it.
            selectPen(penVisible() ? gdiPen() : nullPen());
            selectBrush(gdiBrush());
            const QPolygon px = toPixels(poly);
            if (px.size() >= 3)
                out().polygon(px.size() > MaxPoints ? QPolygon(px.mid(0, MaxPoints)) : px);
            return;
        }
        fill(poly);
        if (penVisible()) {
            poly << poly.first();
            stroke(poly);
        }
    }

    void drawRects(const QRectF* rects, int count) override
    {
        if (opacity_ <= 0)
            return;
        for (int i = 0; i < count; ++i) {
            const QRectF device = transform_.mapRect(rects[i]);
            if (transform_.type() <= QTransform::TxScale && clipRect().contains(device)) {
                selectPen(penVisible() ? gdiPen() : nullPen());
                selectBrush(gdiBrush());
                out().rectangle(device.toRect());
                continue;
            }
            QPainterPath path;
            path.addRect(rects[i]);
            drawPath(path);
        }
    }

    void drawLines(const QLineF* lines, int count) override
    {
        if (opacity_ <= 0 || !penVisible())
            return;
        for (int i = 0; i < count; ++i)
            stroke(QPolygonF{transform_.map(lines[i].p1()), transform_.map(lines[i].p2())});
    }

    void drawTextItem(const QPointF& p, const QTextItem& item) override
    {
        const QString text = item.text();
        if (opacity_ <= 0 || !penVisible())
            return;
        if (text.isEmpty()) {
            // Glyphs without their characters (a glyph run): drawn as their outlines rather than lost.
            QPaintEngine::drawTextItem(p, item);
            return;
        }
        const QPointF at = transform_.map(p);
        if (!clipRect().adjusted(-1, -1, 1, 1).contains(at))
            return;
        const QFont font = item.font();
        const double sx = std::hypot(transform_.m11(), transform_.m12());
        const double sy = std::hypot(transform_.m21(), transform_.m22());
        const double angle = std::atan2(transform_.m12(), transform_.m11()) * 180 / M_PI;
        const double px = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * dpi_ / 72.0;

        GdiFont f;
        f.height = -std::max(1, static_cast<int>(std::lround(px * sy)));
        f.escapement = static_cast<int>(std::lround(-angle * 10));
        f.weight = std::clamp(static_cast<int>(font.weight()), 100, 900);
        f.italic = font.italic();
        f.underline = font.underline();
        f.strikeOut = font.strikeOut();
        f.face = font.family();
        selectFont(f);
        const QRgb color = pen_.color().rgb();
        if (textColor_ != color) {
            out().setTextColor(color);
            textColor_ = color;
        }

        // Advances of Qt's own layout, so that a reader's font of other widths keeps the positions.
        const QFontMetricsF fm(font, paintDevice());
        std::vector<double> advance(static_cast<std::size_t>(text.size()));
        double total = 0;
        for (qsizetype i = 0; i < text.size(); ++i)
            total += advance[static_cast<std::size_t>(i)] = fm.horizontalAdvance(text[i]);
        const double fit = item.width() > 0 && total > 0 ? item.width() / total : 1.0;
        QList<int> dx;
        double pos = 0;
        int placed = 0;
        for (double a : advance) {
            pos += a * fit * sx;
            const int next = static_cast<int>(std::lround(pos));
            dx << next - placed;
            placed = next;
        }
        out().text(at.toPoint(), text, dx);
    }

    void drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr) override
    {
        drawImage(r, pm.toImage(), sr, Qt::AutoColor);
    }

    void drawImage(const QRectF& r, const QImage& image, const QRectF& sr, Qt::ImageConversionFlags) override
    {
        if (opacity_ <= 0 || image.isNull() || r.isEmpty() || sr.isEmpty())
            return;
        const QRectF target = transform_.mapRect(r);
        const QRectF shown = target.intersected(clipRect());
        if (shown.isEmpty())
            return;
        // The part of the source that lands inside the clip.
        const double kx = sr.width() / target.width(), ky = sr.height() / target.height();
        const QRectF source(sr.x() + (shown.x() - target.x()) * kx, sr.y() + (shown.y() - target.y()) * ky,
                            shown.width() * kx, shown.height() * ky);
        const QImage part = image.copy(source.toAlignedRect());
        if (!part.isNull())
            out().bitmap(shown.toAlignedRect(), part);
    }

private:
    bool penVisible() const { return pen_.style() != Qt::NoPen && pen_.color().alpha() > 0; }

    QRectF clipRect() const { return clipOn_ ? clip_.intersected(CoordinateLimit) : CoordinateLimit; }

    GdiPen gdiPen() const
    {
        double w = pen_.widthF();
        if (!pen_.isCosmetic())
            w *= std::sqrt(std::fabs(transform_.determinant()));
        return GdiPen{penStyle(pen_.style()), std::max(1, static_cast<int>(std::lround(w))),
                      pen_.color().rgb()};
    }
    static GdiPen nullPen() { return GdiPen{gdi::PS_NULL, 1, 0}; }

    GdiBrush gdiBrush() const
    {
        const std::optional<QColor> c = brushColor(brush_);
        if (!c)
            return GdiBrush{gdi::BS_NULL, 0, 0};
        const int hatch = hatchOf(brush_.style());
        return hatch >= 0 ? GdiBrush{gdi::BS_HATCHED, c->rgb(), hatch} : GdiBrush{gdi::BS_SOLID, c->rgb(), 0};
    }

    // Outline of a polyline, cut to the clip, in records of at most MaxPoints points.
    void stroke(const QPolygonF& line)
    {
        selectPen(gdiPen());
        for (const QPolygonF& run : clipPolyline(line, clipRect())) {
            const QPolygon px = toPixels(run);
            // A line drawn on from where the last one ended, with the same pen, continues its record:
            // Qt Charts draws a series segment by segment.
            qsizetype from = 0;
            if (!pending_.isEmpty() && pending_.last() == px.first() && pending_.size() < MaxPoints)
                from = 1;
            else
                flushLine();
            for (qsizetype i = from; i < px.size(); ++i) {
                if (pending_.size() == MaxPoints) {
                    const QPoint last = pending_.last();
                    flushLine();
                    pending_ << last;
                }
                pending_ << px[i];
            }
        }
    }

    void flushLine()
    {
        if (pending_.size() >= 2)
            recorder_->polyline(pending_);
        pending_.clear();
    }

    // The recorder, for any record but a polyline's points: a polyline still being collected is
    // written first, so that the records keep the order of the drawing.
    MetafileRecorder& out()
    {
        flushLine();
        return *recorder_;
    }

    // Inside of a polygon without its outline.
    void fill(const QPolygonF& polygon)
    {
        const QPolygon px = toPixels(clipPolygon(polygon, clipRect()));
        if (px.size() < 3)
            return;
        selectPen(nullPen());
        selectBrush(gdiBrush());
        out().polygon(px.size() > MaxPoints ? QPolygon(px.mid(0, MaxPoints)) : px);
    }

    void setFillMode(Qt::FillRule rule)
    {
        const int mode = rule == Qt::WindingFill ? gdi::WINDING : gdi::ALTERNATE;
        if (mode != fillMode_)
            out().setPolyFillMode(fillMode_ = mode);
    }

    // A new object takes the lowest free slot, as the WMF object table hands them out; the object it
    // replaces is deleted after the new one is selected.
    template <class T, class Create>
    void select(int& slot, std::optional<T>& current, const T& wanted, Create create)
    {
        if (slot >= 0 && current == wanted)
            return;
        auto free = std::find(slots_.begin(), slots_.end(), false);
        const int fresh = static_cast<int>(free - slots_.begin());
        if (free == slots_.end())
            slots_.push_back(true);
        else
            *free = true;
        maxSlots_ = std::max(maxSlots_, static_cast<int>(slots_.size()));
        create(fresh, wanted);
        out().selectObject(fresh);
        if (slot >= 0) {
            out().deleteObject(slot);
            slots_[static_cast<std::size_t>(slot)] = false;
        }
        slot = fresh;
        current = wanted;
    }
    void selectPen(const GdiPen& p)
    {
        select(penSlot_, penObj_, p, [this](int s, const GdiPen& v) { out().createPen(s, v); });
    }
    void selectBrush(const GdiBrush& b)
    {
        select(brushSlot_, brushObj_, b, [this](int s, const GdiBrush& v) { out().createBrush(s, v); });
    }
    void selectFont(const GdiFont& f)
    {
        select(fontSlot_, fontObj_, f, [this](int s, const GdiFont& v) { out().createFont(s, v); });
    }

    MetafileFormat format_;
    QSize size_;
    int dpi_;
    std::unique_ptr<MetafileRecorder> recorder_;

    std::vector<bool> slots_;
    int maxSlots_ = 0;
    int penSlot_ = -1, brushSlot_ = -1, fontSlot_ = -1;
    std::optional<GdiPen> penObj_;
    std::optional<GdiBrush> brushObj_;
    std::optional<GdiFont> fontObj_;
    std::optional<QRgb> textColor_;
    int fillMode_ = -1;
    QPolygon pending_; // polyline collected from connected lines, drawn with the selected pen

    QPen pen_;
    QBrush brush_;
    QTransform transform_;
    bool clipOn_ = false;
    QRectF clip_;
    double opacity_ = 1;
};

MetafileDevice::MetafileDevice(MetafileFormat format, QSize size, int dpi)
    : format_(format), size_(size.expandedTo(QSize(1, 1)).boundedTo(QSize(30000, 30000))), dpi_(dpi),
      engine_(std::make_unique<MetafileEngine>(format, size_, dpi))
{
}

MetafileDevice::~MetafileDevice() = default;

QPaintEngine* MetafileDevice::paintEngine() const
{
    return engine_.get();
}

QByteArray MetafileDevice::data() const
{
    return engine_->data;
}

int MetafileDevice::metric(PaintDeviceMetric m) const
{
    switch (m) {
    case PdmWidth:
        return size_.width();
    case PdmHeight:
        return size_.height();
    case PdmWidthMM:
        return static_cast<int>(std::lround(size_.width() * 25.4 / dpi_));
    case PdmHeightMM:
        return static_cast<int>(std::lround(size_.height() * 25.4 / dpi_));
    case PdmNumColors:
        return std::numeric_limits<int>::max();
    case PdmDepth:
        return 24;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return dpi_;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
    }
    return 0;
}

} // namespace selva
