// The thrust chart: decimation, the plot with its axes, markers and annotations, pictures of it, and the
// chart widget.

#include "analysis/ui/ChartMath.h"
#include "analysis/ui/ThrustChart.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

using namespace selva;

namespace {

bool near(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

std::vector<double> ramp(std::size_t n)
{
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = std::sin(static_cast<double>(i) * 0.001) * 100;
    return v;
}

} // namespace

class ChartTest : public QObject {
    Q_OBJECT
private slots:
    void zoomReachesOneSecondOfAnHour();
    void decimationKeepsPeaksAndShortRanges();
    void chartHandsDecimatedSeriesAndKeepsFullData();
    void automaticAndManualAxes();
    void markersAndEmptyData();
    void annotationsArePainted();
    void rightDoubleClickSignals();
    void renderDrawsTheChartAtAnySize();
};

// A one-second burn inside an hour's recording is a few notches of the wheel away, about the pointer (the
// buttons' arithmetic is the core's).
void ChartTest::zoomReachesOneSecondOfAnHour()
{
    ThrustPlot plot;
    plot.setSize({1000, 600});
    plot.setData(0.01, 0, std::vector<double>(360001, 1.0));
    int notches = 0;
    while (plot.timeRange().span() > 1.0 && notches < 200) {
        plot.wheelTurn(120, QPointF(1800.5, 1));
        ++notches;
    }
    QVERIFY2(notches <= 24, qPrintable(QString::number(notches)));
    const AxisSpan t = plot.timeRange();
    QVERIFY(t.min <= 1800.5 && t.max >= 1800.5);
}

void ChartTest::decimationKeepsPeaksAndShortRanges()
{
    std::vector<double> v(100000, 1.0);
    v[31415] = 900; // a single-point spike must survive
    v[77777] = -900;
    QList<QPointF> out;
    decimateMinMax(v, 0, 0, v.size() - 1, 0.01, 500, out);
    QVERIFY(out.size() <= 1000);
    bool high = false, low = false;
    for (int k = 0; k < out.size(); ++k) {
        high |= out[k].y() == 900 && near(out[k].x(), 314.15);
        low |= out[k].y() == -900 && near(out[k].x(), 777.77);
        if (k > 0)
            QVERIFY(out[k].x() > out[k - 1].x());
    }
    QVERIFY(high && low);
    QVERIFY(near(out.front().x(), 0) && near(out.back().x(), 999.99));

    // A range shorter than the width is taken whole.
    const std::vector<double> w = {5, 6, 7, 8};
    decimateMinMax(w, 10, 11, 12, 0.5, 800, out); // values[0] is index 10
    QCOMPARE(out, (QList<QPointF>{{5.5, 6}, {6.0, 7}}));
    decimateMinMax(w, 10, 9, 12, 0.5, 800, out); // index before the base: nothing, no crash
    QVERIFY(out.isEmpty());
    decimateMinMax(w, 10, 12, 20, 0.5, 800, out); // index beyond the data
    QVERIFY(out.isEmpty());
}

void ChartTest::chartHandsDecimatedSeriesAndKeepsFullData()
{
    ThrustChart chart;
    chart.resize(1000, 600);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    const std::size_t n = 400001;
    chart.setData(0.01, 0, ramp(n));
    const int width = static_cast<int>(chart.chart()->plotArea().width());
    QVERIFY(width > 100);
    QVERIFY(chart.series(ThrustChart::Data)->count() <= 2 * width + 2);
    QCOMPARE(chart.fullPoints(ThrustChart::Data).size(), qsizetype(n));
    QVERIFY(near(chart.lastTime(), 4000.0));
    QVERIFY(near(chart.highestValue(), 100.0) || chart.highestValue() > 99.99);

    // Zoomed in on one second, every point is handed over.
    chart.setTimeRange({100, 101});
    const QList<QPointF> pts = chart.series(ThrustChart::Data)->points();
    QCOMPARE(pts.size(), 103);
    QVERIFY(near(pts.front().x(), 99.99) && near(pts.back().x(), 101.01));
}

void ChartTest::automaticAndManualAxes()
{
    ThrustChart chart;
    chart.resize(800, 500);
    std::vector<double> v = {10, 30, 20, 40, 0};
    chart.setData(0.5, 2, v); // times 1.0 .. 3.0
    QVERIFY(chart.timeAutomatic() && chart.valueAutomatic());
    QCOMPARE(chart.timeRange(), (AxisSpan{1.0, 3.0}));
    QCOMPARE(chart.valueRange(), (AxisSpan{0, 40}));
    chart.setMarker(ThrustChart::ZeroLine, {{0.0, -5}, {4.0, -5}});
    QCOMPARE(chart.valueRange(), (AxisSpan{-5, 40}));

    chart.navigate(TimeNav::In); // 0..4 (the rest line's extent) halved
    QVERIFY(!chart.timeAutomatic());
    QCOMPARE(chart.timeRange(), (AxisSpan{1.0, 3.0}));
    chart.navigate(TimeNav::In);
    QCOMPARE(chart.timeRange(), (AxisSpan{1.5, 2.5}));
    chart.navigate(TimeNav::RightPage); // stops at the last point
    QCOMPARE(chart.timeRange(), (AxisSpan{2.0, 3.0}));
    chart.navigate(TimeNav::Start); // first data time, same span
    QCOMPARE(chart.timeRange(), (AxisSpan{1.0, 2.0}));
    chart.wheelTurn(-240); // towards the user: twice the span about the centre
    QVERIFY(!chart.valueAutomatic());
    QCOMPARE(chart.valueRange(), (AxisSpan{-27.5, 62.5}));
    QCOMPARE(chart.timeRange(), (AxisSpan{1.0, 3.0}));

    // New data keep a hand-set range, inside the new data; automatic fits again.
    chart.setData(0.5, 0, {1, 2, 3, 4, 5, 6, 7});
    QCOMPARE(chart.timeRange(), (AxisSpan{1.0, 3.0}));
    chart.setTimeAutomatic();
    chart.setValueAutomatic();
    QCOMPARE(chart.timeRange(), (AxisSpan{0, 4.0}));
    QCOMPARE(chart.valueRange(), (AxisSpan{-5, 7}));

    // An inverted value axis turns the buttons with the data: "top" shows the highest values.
    chart.setValueRange({0, 2});
    chart.setInverted(true);
    QVERIFY(chart.valueAxis()->isReverse());
    chart.navigate(ValueNav::Top);
    QCOMPARE(chart.valueRange(), (AxisSpan{5, 7}));
}

void ChartTest::markersAndEmptyData()
{
    ThrustChart chart;
    chart.setMarker(ThrustChart::StartThrust, {{1, 0}, {1, 10}});
    QCOMPARE(chart.series(ThrustChart::StartThrust)->count(), 2);
    chart.setMarker(ThrustChart::Data, {{1, 1}}); // the data series is not a marker
    QCOMPARE(chart.series(ThrustChart::Data)->count(), 0);
    chart.setData(0.01, 0, {});
    QVERIFY(!chart.hasData());
    QCOMPARE(chart.firstTime(), 0.0);
    chart.setData(0.01, 0, {1, 2, 3});
    chart.setDelta({2, 3}, {0, 1}); // wrong length: no band rather than a misaligned one
    QVERIFY(chart.fullPoints(ThrustChart::DeltaUp).isEmpty());
    chart.setDelta({2, 3, 4}, {0, 1, 2});
    QCOMPARE(chart.fullPoints(ThrustChart::DeltaDown).size(), 3);
    chart.navigate(TimeNav::In);
    chart.clearData();
    QCOMPARE(chart.series(ThrustChart::Data)->count(), 0);
    QCOMPARE(chart.series(ThrustChart::DeltaUp)->count(), 0);
}

void ChartTest::annotationsArePainted()
{
    ThrustChart chart;
    chart.resize(700, 400);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setData(0.01, 0, ramp(1000));
    ChartLook look;
    look.textColor = QColor(255, 0, 255); // a colour nothing else uses
    chart.applyLook(look);
    auto magentaPixels = [&] {
        const QImage img = chart.grab().toImage();
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor p = img.pixelColor(x, y); // text is antialiased: count magenta-ish pixels
                n += p.red() > 120 && p.blue() > 120 && p.green() < 60;
            }
        return n;
    };
    const int unitsOnly = magentaPixels();
    QVERIFY(unitsOnly > 0); // " f(Hz)" and "T(sec)" are always drawn
    ChartAnnotations a;
    a.results = {"Iсум = 1 Н·с", "Iуд = 2 сек", "Tтг = 3 сек", "Fmax = 4 Н", "Favg = 5 Н"};
    a.notes = {"Пояснение"};
    a.date = "Дата: 01.02.2024";
    chart.setAnnotations(a);
    QVERIFY(magentaPixels() > unitsOnly * 3);
}

void ChartTest::rightDoubleClickSignals()
{
    ThrustChart chart;
    chart.resize(600, 400);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setData(0.1, 0, {1, 2, 3, 4, 5});
    QSignalSpy right(&chart, &ThrustChart::rightDoubleClicked);
    QSignalSpy left(&chart, &ThrustChart::doubleClicked);
    const QPoint p = chart.chart()->plotArea().center().toPoint();
    QTest::mouseDClick(chart.viewport(), Qt::RightButton, Qt::NoModifier, p);
    QTest::mouseRelease(chart.viewport(), Qt::RightButton, Qt::NoModifier, p);
    QCOMPARE(right.count(), 1);
    QCOMPARE(left.count(), 0);
    QTest::mouseDClick(chart.viewport(), Qt::LeftButton, Qt::NoModifier, p);
    QCOMPARE(left.count(), 1);
    const double t = left.at(0).at(0).toDouble();
    QVERIFY(t > 0.1 && t < 0.3); // the middle of 0 .. 0.4
}

// Pictures and pages are drawn by the chart itself, laid out anew at their size, in proportion at any
// resolution, without disturbing the chart on screen.
void ChartTest::renderDrawsTheChartAtAnySize()
{
    ThrustChart chart;
    chart.resize(600, 400);
    chart.setData(0.01, 0, ramp(2000));
    chart.setTimeRange({5, 10});
    ChartAnnotations a;
    a.notes = {"Пояснение к испытанию"};
    a.author = "Автор";
    chart.setAnnotations(a);
    auto count = [](const QImage& img, auto pred) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += pred(img.pixelColor(x, y));
        return n;
    };
    auto yellow = [](const QColor& c) { return c.red() > 200 && c.green() > 200 && c.blue() < 80; };
    auto white = [](const QColor& c) { return c.red() > 200 && c.green() > 200 && c.blue() > 200; };
    for (const int dpi : {96, 600}) {
        const int w = 800 * dpi / 96, h = 500 * dpi / 96;
        QImage img(w, h, QImage::Format_RGB32);
        img.setDotsPerMeterX(qRound(dpi / 0.0254));
        img.setDotsPerMeterY(qRound(dpi / 0.0254));
        img.fill(Qt::gray);
        QPainter p(&img);
        chart.paintChart(p, QRectF(0, 0, w, h));
        p.end();
        const double scale = double(dpi) / 96;
        QVERIFY2(count(img, yellow) > 300 * scale, qPrintable(QString::number(dpi)));
        // Text and axes are in the same proportion to the picture at both resolutions.
        const double whiteShare = double(count(img, white)) / (w * h);
        QVERIFY2(whiteShare > 0.002 && whiteShare < 0.05, qPrintable(QString::number(whiteShare)));
        QCOMPARE(img.pixelColor(w / 2, h / 2 + 3).alpha(), 255);
    }
    QCOMPARE(chart.timeRange(), (AxisSpan{5, 10}));
}

QTEST_MAIN(ChartTest)
#include "ChartTest.moc"
