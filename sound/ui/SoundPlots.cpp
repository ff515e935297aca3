#include "sound/ui/SoundPlots.h"

#include "analysis/ui/StoredLook.h"
#include "common/Format.h"
#include "sound/SoundModule.h"
#include "store/Records.h"

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

PlotRect AxesPlotRect(const QImage& image, double v0, double v1)
{
    const QFontMetrics fm{QFont()};
    const int labelWidth = std::max(fm.horizontalAdvance(label(v1)), fm.horizontalAdvance(label(v0))) + 6;
    return {labelWidth, fm.height() / 2 + 2, image.width() - 8, image.height() - fm.height() - 4};
}

PlotRect DrawAxes(QImage& image, int hDiv, int vDiv, double h0, double h1, double v0, double v1,
                  const PlotColors& colors)
{
    QPainter p(&image);
    p.setFont(QFont());
    const QFontMetrics fm(p.font());
    const PlotRect plot = AxesPlotRect(image, v0, v1);
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
        p.drawText(QRect(0, y - fm.height() / 2, plot.left - 3, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, t);
    }
    for (int i = 0; i <= hDiv; ++i) {
        const int x = plot.left + int(std::lround(double(i) * plot.width() / hDiv));
        const QString t = label(h0 + (h1 - h0) * i / hDiv);
        const int w = fm.horizontalAdvance(t);
        p.drawText(std::clamp(x - w / 2, 0, image.width() - w), plot.bottom + fm.ascent() + 2, t);
    }
    return plot;
}

void DrawFreqGraph(QImage& image, const std::vector<PlotPoint>& points, const PlotRect& plot,
                   const PlotColors& colors)
{
    QPainter p(&image);
    p.setClipRect(QRect(plot.left, plot.top, plot.width() + 1, plot.height() + 1));
    p.setPen(colors.line);
    if (points.size() == 1)
        p.drawPoint(points[0].x, points[0].y);
    for (std::size_t i = 1; i < points.size(); ++i)
        p.drawLine(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
}

void DrawSignal(QImage& image, const std::vector<float>& samples, double multiplier, double offset,
                double low, double high, const PlotColors& colors)
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
                const auto [mn, mx] = std::minmax_element(samples.begin() + std::ptrdiff_t(a),
                                                          samples.begin() + std::ptrdiff_t(b));
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

PlotColors ColorsOf(const TChartAppearance& chart)
{
    PlotColors c{colorFromStored(chart.backColor), colorFromStored(chart.dataLineColor),
                 colorFromStored(chart.gridColor), colorFromStored(chart.textColor)};
    for (QColor* q : {&c.background, &c.line, &c.grid, &c.text})
        if (!q->isValid())
            *q = q == &c.background ? QColor(Qt::black) : QColor(Qt::white);
    return c;
}

void DrawSignalPage(SoundPlot& plot, const SoundModule& module, const TSoundSettings& settings,
                    bool autoBounds, const PlotColors& colors)
{
    const SoundRingState& ring = module.ring;
    const SignalView view = SignalFrames(module.sigDelay, module.sigWin, ring.SampleRate, ring.RingFrames);
    std::vector<float> samples(std::size_t(view.frames));
    if (!ReadLatestSamples(ring, settings.channelLeft ? 1 : 0, view.back, view.frames, samples.data(), true))
        return; // overtaken by the device: the next tick draws
    double low = -1000, high = 1000;
    if (autoBounds)
        AutoBounds(samples, module.sigAmp, low, high);
    plot.clear(colors.background);
    DrawSignal(plot.image(), samples, module.sigAmp, autoBounds ? 0 : module.sigOffset, low, high, colors);
    plot.update();
}

PlotRect DrawFreqPage(SoundPlot& plot, const SoundModule& module, const TSoundSettings& settings,
                      const PlotColors& colors)
{
    plot.clear(colors.background);
    const double window = widenSingle(settings.window), accuracy = widenSingle(settings.accur);
    const PlotRect rect = DrawAxes(plot.image(), module.hPoints, module.vPoints, 0, window, settings.freqDown,
                                   settings.freqUp, colors);
    const double perWindow = accuracy > 0 ? window / accuracy : 0;
    const auto values =
        LatestFreqValues(module.ring, int(std::min(perWindow, double(SoundRingState::MaxFreqRingLength))));
    DrawFreqGraph(plot.image(), FreqGraphPoints(values, rect, perWindow, settings.freqDown, settings.freqUp),
                  rect, colors);
    plot.update();
    return rect;
}

PlotRect DrawSpecPage(SoundPlot& plot, const SoundModule& module, const TSoundSettings& settings,
                      const PlotColors& colors)
{
    plot.clear(colors.background);
    const int n = NormalizeSpectrumLength(module.fftLen);
    // The vertical axis is in the units the points are drawn in: |real| / N, a pixel each.
    const int height = std::max(AxesPlotRect(plot.image(), 0, 1000).height(), 1);
    const PlotRect rect =
        DrawAxes(plot.image(), 10, 5, settings.specDown, settings.specUp, 0, height, colors);
    const SpectrumBins bins = RingSpectrum(module.ring, settings.channelLeft ? 1 : 0, n);
    const SpectrumBinRange range =
        SpectrumBinsToDraw(settings.specDown, settings.specUp, n, module.ring.SampleRate);
    DrawSpectrumBins(plot.image(), bins.realOut, range, n, rect, colors);
    plot.update();
    return rect;
}

QPixmap AutoStatePixmap(int index)
{
    static const QColor fills[4] = {Qt::yellow, Qt::gray, Qt::green, Qt::red};
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);
    p.setBrush(fills[std::clamp(index, 0, 3)]);
    p.drawEllipse(2, 2, 12, 12);
    return pm;
}

} // namespace selva
