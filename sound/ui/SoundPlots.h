#pragma once

// The three pictures of the sound window: a widget that shows an image and reports the mouse, and the
// drawings (axes and grid shared by the pages, the waveform, the frequency graph, the spectrum). The
// numbers come from SoundWindowRules; here they only become pixels.

#include "sound/SoundWindowRules.h"
#include "sound/Spectrum.h"

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <functional>
#include <vector>

namespace selva {

struct SoundModule;
struct TChartAppearance;
struct TSoundSettings;

// An image that fills the widget and is drawn into by the window (imgSig, imgFreq, imgSpec).
class SoundPlot : public QWidget {
    Q_OBJECT
public:
    explicit SoundPlot(QWidget* parent = nullptr);
    QImage& image() { return image_; }
    // The image at the widget's size, filled with `background`.
    void clear(const QColor& background);

    std::function<void(QPoint)> onMouseMove;
    std::function<void()> onMouseLeave;
    std::function<void()> onResized;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    QImage image_;
};

struct PlotColors {
    QColor background, line, grid, text;
};

// The plot rectangle DrawAxes leaves inside its labels for the vertical range v0..v1 (its height does not
// depend on the range).
PlotRect AxesPlotRect(const QImage& image, double v0, double v1);

// Frame, grid of hDiv by vDiv divisions and scale labels (FormatReadout) for the horizontal range
// h0..h1 and the vertical range v0..v1; returns the plot rectangle inside the axes.
PlotRect DrawAxes(QImage& image, int hDiv, int vDiv, double h0, double h1, double v0, double v1,
                  const PlotColors& colors);

// The frequency graph: the values as a line, a single value as a point.
void DrawFreqGraph(QImage& image, const std::vector<PlotPoint>& points, const PlotRect& plot,
                   const PlotColors& colors);

// The waveform over the image less 4 pixels on each side with a 10 by 8 grid: samples as a line (min and
// max of each pixel column when there are more samples than columns).
void DrawSignal(QImage& image, const std::vector<float>& samples, double multiplier, double offset,
                double low, double high, const PlotColors& colors);

// The spectrum bins lo..hi as points across one plot width, |real| / N pixels above the bottom.
void DrawSpectrumBins(QImage& image, const std::vector<float>& realOut, const SpectrumBinRange& range, int n,
                      const PlotRect& plot, const PlotColors& colors);

// The chart appearance block's colours (background, data line, grid, text).
PlotColors ColorsOf(const TChartAppearance& chart);

// The three pages drawn from the rings as they stand: the waveform of the selected channel from the delay
// to the delay plus the window before the record frame (left as it is when the device overtook the read),
// the live frequencies of the display window over the frequency band, the spectrum of the latest N samples
// over the spectrum band. The frequency and spectrum pages return their plot rectangles.
void DrawSignalPage(SoundPlot& plot, const SoundModule& module, const TSoundSettings& settings,
                    bool autoBounds, const PlotColors& colors);
PlotRect DrawFreqPage(SoundPlot& plot, const SoundModule& module, const TSoundSettings& settings,
                      const PlotColors& colors);
PlotRect DrawSpecPage(SoundPlot& plot, const SoundModule& module, const TSoundSettings& settings,
                      const PlotColors& colors);

// The picture of imgAS number `index` (AutoStatePicture): yellow while the rest line is measured, grey when
// off, green while waiting for the start, red while recording.
QPixmap AutoStatePixmap(int index);

} // namespace selva
