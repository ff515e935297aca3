// Pixel tests of the calibration curve and formula drawings, on pictures of the sizes the windows use.
#include "sensors/ui/DrawSensor.h"

#include "support/Calibrations.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTest>

using namespace selva;

namespace {

const QColor Yellow(255, 255, 0);
const QColor Black(0, 0, 0);

using test::calibration;
using test::formula;

QFont pixelFont(int pixels)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixels);
    return f;
}

// The curve of `cal` drawn with the default chart colours (black background, white axes, yellow line).
QImage curve(TCalibration cal, int width, int height, const QFont& font, bool points = false,
             int selected = -1)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QPainter painter(&image);
    painter.setFont(font);
    SensorCurveCache cache;
    DrawSensorCurve(painter, width, height, cal, points, selected, CurveLook::from(TChartAppearance{}),
                    cache);
    return image;
}

// Rows of column x where the curve colour is.
QList<int> curveRows(const QImage& image, int x)
{
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y)
        if (image.pixelColor(x, y) == Yellow)
            rows.append(y);
    return rows;
}

bool rowIsPlain(const QImage& image, int y, const QColor& colour)
{
    for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, y) != colour)
            return false;
    return true;
}

} // namespace

class DrawSensorTest : public QObject {
    Q_OBJECT
private slots:
    void defaultCalibrationFallsAcrossThePlot()
    {
        const QImage image = curve(calibration({{8460, 80, {}}, {8700, 0, {}}}), 337, 249, pixelFont(10));
        // Margins 17 and 12: the plot runs from x 17 to 320 and from y 12 to the axis at 237.
        QCOMPARE(curveRows(image, 17).first(), 12);
        QCOMPARE(curveRows(image, 319).last(), 237);
        int previous = 0;
        for (int x = 17; x <= 319; ++x) {
            const QList<int> rows = curveRows(image, x);
            QVERIFY2(!rows.isEmpty(), qPrintable(QString::number(x)));
            QVERIFY2(rows.first() >= previous, qPrintable(QString::number(x)));
            previous = rows.first();
        }
        QVERIFY(curveRows(image, 16).isEmpty());
        QVERIFY(curveRows(image, 321).isEmpty());
        QCOMPARE(image.pixelColor(100, 237), QColor(Qt::white)); // the frequency axis
        QCOMPARE(image.pixelColor(300, 40), Black);

        // The thrust range spans the plot's height whichever way the curve runs.
        const QImage rising = curve(calibration({{8700, 100, {}}, {8460, 50, {}}}), 337, 249, pixelFont(10));
        QCOMPARE(curveRows(rising, 17).last(), 237);
        QCOMPARE(curveRows(rising, 319).first(), 12);
    }

    void previewLeavesOutFrequencyLabelsThatDoNotFit()
    {
        // The preview's bottom margin is 8 pixels; below the ticks (two pixels under the axis at 153) only
        // labels can be drawn.
        const TCalibration cal = calibration({{8460, 80, {}}, {8700, 0, {}}});
        for (int pixels : {8, 9, 12}) {
            const QImage image = curve(cal, 209, 161, pixelFont(pixels));
            for (int y = 156; y < 161; ++y)
                QVERIFY2(rowIsPlain(image, y, Black),
                         qPrintable(QStringLiteral("%1 px, row %2").arg(pixels).arg(y)));
        }
        const QFont small = pixelFont(5);
        QVERIFY(QFontMetrics(small).height() < 8);
        const QImage image = curve(cal, 209, 161, small);
        bool labels = false;
        for (int y = 156; y < 161; ++y)
            labels = labels || !rowIsPlain(image, y, Black);
        QVERIFY(labels);
    }

    void withoutARangeThePictureKeepsItsContent()
    {
        const QImage image = curve(calibration({{8460, 80, {}}}), 209, 161, pixelFont(8));
        QVERIFY(rowIsPlain(image, 0, Qt::gray));
        QVERIFY(rowIsPlain(image, 80, Qt::gray));
    }

    void formulaHeightsAndSymbols()
    {
        // The rows a formula line covers in a 649 × 25 picture: text 4..19 (16 px), superscripts from 0,
        // subscripts down to 23.
        auto rowsOf = [](const TSegmentFormula& formula, bool symbolic) {
            QImage image(649, 25, QImage::Format_RGB32);
            QPainter painter(&image);
            painter.setFont(QFont(QStringLiteral("DejaVu Sans")));
            painter.setBrush(Qt::white);
            painter.setPen(Qt::black);
            DrawFormula(painter, image.rect(), formula, symbolic);
            painter.end();
            int first = -1, last = -1;
            for (int y = 0; y < image.height(); ++y) {
                if (!rowIsPlain(image, y, Qt::white)) {
                    if (first < 0)
                        first = y;
                    last = y;
                }
            }
            return std::make_pair(first, last);
        };
        const auto plain = rowsOf(formula(TFormulaType::linear, {80, -0.25f}), false);
        QVERIFY2(plain.first >= 4 && plain.second < 20,
                 qPrintable(QStringLiteral("%1..%2").arg(plain.first).arg(plain.second)));

        QVERIFY2(rowsOf(formula(TFormulaType::powered, {1, 2, 1.5f}), false).first < 4,
                 "the exponent is raised");
        QVERIFY2(rowsOf(formula(TFormulaType::polynom), true).second >= 20, "the indices are lowered");

        // The none cross and the previos arrow: s = 15, o = 5 in a 25 pixel line.
        QImage image(100, 25, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.setBrush(Qt::white);
        painter.setPen(Qt::black);
        DrawFormula(painter, QRect(0, 0, 50, 25), TSegmentFormula{}, false);
        DrawFormula(painter, QRect(50, 0, 50, 25), formula(TFormulaType::previos), false);
        painter.end();
        for (int k = 0; k <= 15; ++k) {
            QCOMPARE(image.pixelColor(5 + k, 5 + k), QColor(Qt::black));
            QCOMPARE(image.pixelColor(20 - k, 5 + k), QColor(Qt::black));
            QCOMPARE(image.pixelColor(50 + 12, 5 + k), QColor(Qt::black));
        }
        QCOMPARE(image.pixelColor(50 + 8, 9), QColor(Qt::black));
        QCOMPARE(image.pixelColor(50 + 16, 9), QColor(Qt::black));
        QCOMPARE(image.pixelColor(30, 12), QColor(Qt::white));
    }
};

QTEST_MAIN(DrawSensorTest)
#include "DrawSensorTest.moc"
