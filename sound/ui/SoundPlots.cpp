#include "sound/ui/SoundPlots.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace selva {

SoundPlot::SoundPlot(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setMinimumSize(120, 80);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SoundPlot::clear(const QColor& background)
{
    if (image_.size() != size())
        image_ = QImage(size(), QImage::Format_RGB32);
    image_.fill(background);
}

void SoundPlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (image_.isNull())
        p.fillRect(rect(), palette().color(QPalette::Window));
    else
        p.drawImage(0, 0, image_);
}

void SoundPlot::resizeEvent(QResizeEvent*)
{
    if (onResized)
        onResized();
}

void SoundPlot::mouseMoveEvent(QMouseEvent* e)
{
    if (onMouseMove)
        onMouseMove(e->position().toPoint());
}

void SoundPlot::leaveEvent(QEvent*)
{
    if (onMouseLeave)
        onMouseLeave();
}

namespace {

QString label(double v)
{
    return QString::fromStdString(FormatReadout(v, QLocale().decimalPoint().at(0).toLatin1()));
}

} // namespace

PlotRect DrawAxes(QImage& image, int hDiv, int vDiv, double h0, double h1, double v0, double v1,
                  const PlotColors& colors)
{
    QPainter p(&image);
    const QFontMetrics fm(p.font());
    const int labelWidth = std::max(fm.horizontalAdvance(label(v1)), fm.horizontalAdvance(label(v0))) + 6;
    PlotRect plot{labelWidth, fm.height() / 2 + 2, image.width() - 8, image.height() - fm.height() - 4};
    if (plot.width() < 10 || plot.height() < 10)
        return plot;
    hDiv = std::max(hDiv, 1);
    vDiv = std::max(vDiv, 1);
    p.setPen(colors.grid);
    for (int i = 0; i <= hDiv; ++i) {
        const int x = plot.left + int(std::lround(double(i) * plot.width() / hDiv));
        p.drawLine(x, plot.top, x, plot.bottom);
    }
    for (int i = 0; i <= vDiv; ++i) {
        const int y = plot.bottom - int(std::lround(double(i) * plot.height() / vDiv));
        p.drawLine(plot.left, y, plot.right, y);
    }
    p.setPen(colors.text);
    p.drawRect(plot.left, plot.top, plot.width(), plot.height());
    for (int i = 0; i <= vDiv; ++i) {
        const int y = plot.bottom - int(std::lround(double(i) * plot.height() / vDiv));
        const QString t = label(v0 + (v1 - v0) * i / vDiv);
        p.drawText(QRect(0, y - fm.height() / 2, plot.left - 3, fm.height()), Qt::AlignRight | Qt::AlignVCenter, t);
    }
    for (int i = 0; i <= hDiv; ++i) {
        const int x = plot.left + int(std::lround(double(i) * plot.width() / hDiv));
        const QString t = label(h0 + (h1 - h0) * i / hDiv);
        const int w = fm.horizontalAdvance(t);
        p.drawText(std::clamp(x - w / 2, 0, image.width() - w), plot.bottom + fm.ascent() + 2, t);
    }
    return plot;
}

void DrawFreqGraph(QImage& image, const std::vector<PlotPoint>& points, const PlotRect& plot, const PlotColors& colors)
{
    QPainter p(&image);
    p.setClipRect(QRect(plot.left, plot.top, plot.width() + 1, plot.height() + 1));
    p.setPen(colors.line);
    if (points.size() == 1)
        p.drawPoint(points[0].x, points[0].y);
    for (std::size_t i = 1; i < points.size(); ++i)
        p.drawLine(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
}

void DrawSignal(QImage& image, const std::vector<float>& samples, double multiplier, double offset, double low,
                double high, const PlotColors& colors)
{
    image.fill(colors.background);
    QPainter p(&image);
    const PlotRect plot{4, 4, image.width() - 4, image.height() - 4};
    if (plot.width() <= 0 || plot.height() <= 0)
        return;
    p.setClipRect(QRect(plot.left, plot.top, plot.width(), plot.height()));
    p.setPen(colors.line);
    const std::size_t n = samples.size();
    if (n > 0 && high > low) {
        const int columns = plot.width();
        if (n <= std::size_t(columns)) {
            for (std::size_t i = 1; i < n; ++i) {
                const int x0 = plot.left + int((i - 1) * columns / std::max<std::size_t>(n - 1, 1));
                const int x1 = plot.left + int(i * columns / std::max<std::size_t>(n - 1, 1));
                p.drawLine(x0, SignalY(samples[i - 1], multiplier, offset, low, high, plot), x1,
                           SignalY(samples[i], multiplier, offset, low, high, plot));
            }
        } else {
            for (int c = 0; c < columns; ++c) {
                const std::size_t a = n * std::size_t(c) / std::size_t(columns);
                const std::size_t b = std::max(a + 1, n * std::size_t(c + 1) / std::size_t(columns));
                const auto [mn, mx] = std::minmax_element(samples.begin() + std::ptrdiff_t(a), samples.begin() + std::ptrdiff_t(b));
                p.drawLine(plot.left + c, SignalY(*mn, multiplier, offset, low, high, plot), plot.left + c,
                           SignalY(*mx, multiplier, offset, low, high, plot));
            }
        }
    }
    p.setClipping(false);
    p.setPen(colors.grid);
    for (int i = 0; i <= 10; ++i) {
        const int x = plot.left + i * plot.width() / 10;
        p.drawLine(x, plot.top, x, plot.bottom);
    }
    for (int i = 0; i <= 8; ++i) {
        const int y = plot.top + i * plot.height() / 8;
        p.drawLine(plot.left, y, plot.right, y);
    }
}

void DrawSpectrumBins(QImage& image, const std::vector<float>& realOut, const SpectrumBinRange& range, int n,
                      const PlotRect& plot, const PlotColors& colors)
{
    if (range.empty() || realOut.empty())
        return;
    QPainter p(&image);
    p.setClipRect(QRect(plot.left, plot.top, plot.width() + 1, plot.height() + 1));
    p.setPen(colors.line);
    for (int bin = range.lo; bin <= range.hi && bin < int(realOut.size()); ++bin)
        p.drawPoint(plot.left + SpectrumBinX(bin, range, plot.width()),
                    plot.top + SpectrumBinY(realOut[std::size_t(bin)], n, plot.height()));
}

} // namespace selva
