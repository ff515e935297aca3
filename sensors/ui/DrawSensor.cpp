#include "sensors/ui/DrawSensor.h"

#include "store/ui/StoredLook.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace selva {

namespace {

char decimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point.at(0).unicode() < 0x80 ? static_cast<char>(point.at(0).unicode()) : '.';
}

QColor storedOr(TColor stored, const QColor& fallback)
{
    const QColor c = colorFromStored(stored);
    return c.isValid() ? c : fallback;
}

std::uint32_t rgbOf(const QColor& c)
{
    return static_cast<std::uint32_t>(c.red()) | static_cast<std::uint32_t>(c.green()) << 8 |
           static_cast<std::uint32_t>(c.blue()) << 16;
}

// A font whose character cell (ascent and descent together) is `height` pixels tall, as a font height
// means in the formula line's measures.
QFont fontOfCellHeight(QFont font, int height)
{
    height = std::max(height, 1);
    font.setPixelSize(height);
    const int cell = QFontMetrics(font).height();
    if (cell > height)
        font.setPixelSize(std::max(1, height * height / cell));
    return font;
}

// The axes, their ticks, captions and labels.
void drawAxes(QPainter& canvas, const CurveLayout& l, const CurveLook& look)
{
    canvas.setPen(QPen(look.axis, 1, Qt::SolidLine));
    canvas.drawLine(l.mx, l.bottom, l.right(), l.bottom);
    canvas.drawLine(l.mx, l.bottom, l.mx, l.top());
    for (int i = 1; i <= 9; ++i) {
        canvas.drawLine(l.tickX(i), l.bottom + 2, l.tickX(i), l.bottom - 2);
        canvas.drawLine(l.mx - 2, l.tickY(i), l.mx + 2, l.tickY(i));
    }

    const QFontMetrics fm(canvas.font());
    canvas.setPen(look.text);
    const QString fCaption = QStringLiteral("f Гц");
    const int fWidth = fm.horizontalAdvance(fCaption);
    canvas.drawText(QRect(l.width - 1 - fWidth, l.bottom - 1 - fm.height(), fWidth, fm.height()),
                    Qt::AlignLeft | Qt::AlignBottom, fCaption);
    canvas.drawText(QPoint(l.mx + 1, 1 + fm.ascent()), QStringLiteral("N"));

    const char sep = decimalSeparator();
    if (fm.height() < l.my) {
        for (int i = 0; i <= 10; ++i) {
            const QString text = QString::fromStdString(l.frequencyLabel(i, sep));
            const int w = fm.horizontalAdvance(text) + 2;
            canvas.drawText(QRect(l.tickX(i) - w / 2, l.bottom, w, l.my), Qt::AlignCenter, text);
        }
    }
    QString thrustLabels[11];
    int widest = 0;
    for (int i = 0; i <= 10; ++i) {
        thrustLabels[i] = QString::fromStdString(l.thrustLabel(i, sep));
        if (i >= 1)
            widest = std::max(widest, fm.horizontalAdvance(thrustLabels[i]));
    }
    if (widest < l.mx) {
        for (int i = 0; i <= 10; ++i)
            canvas.drawText(QRect(0, l.tickY(i) - fm.height() / 2, l.mx, fm.height()), Qt::AlignCenter,
                            thrustLabels[i]);
    }
}

// The curve, column by column, with the vertical runs that close steps of more than a pixel.
void drawCurve(QPainter& canvas, const CurveLayout& l, const CurveLook& look, const SensorCurveCache& cache)
{
    const auto& columns = cache.columns();
    const double perPixel = l.thrustPerPixel();
    bool havePrevious = false;
    double previousThrust = 0;
    int previousY = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const double t = columns[i].thrust;
        if (!std::isfinite(t)) {
            havePrevious = false;
            continue;
        }
        const QColor stored = colorFromStored(columns[i].colour);
        const QColor colour =
            columns[i].colour == TSegmentFormula::NoColour || !stored.isValid() ? look.dataLine : stored;
        canvas.setPen(colour);
        const int x = l.mx + static_cast<int>(i);
        const int y = l.thrustY(t);
        canvas.drawPoint(x, y);
        if (havePrevious && std::fabs(t - previousThrust) > perPixel) {
            // Pixels strictly between the two values: the half nearer the previous value in this
            // column, the rest in the next. Only rows on the canvas are visited.
            const int count = std::abs(y - previousY);
            const int step = y > previousY ? 1 : -1;
            const int from = std::max(1, step > 0 ? -previousY : previousY - l.height + 1);
            const int to = std::min(count - 1, step > 0 ? l.height - 1 - previousY : previousY);
            for (int k = from; k <= to; ++k)
                canvas.drawPoint(k <= count / 2 ? x : x + 1, previousY + k * step);
        }
        havePrevious = true;
        previousThrust = t;
        previousY = y;
    }
}

} // namespace

CurveLook CurveLook::from(const TChartAppearance& chart)
{
    CurveLook look;
    look.background = storedOr(chart.backColor, Qt::black);
    look.axis = storedOr(chart.axisColor, Qt::white);
    look.text = storedOr(chart.textColor, Qt::white);
    look.dataLine = storedOr(chart.dataLineColor, Qt::yellow);
    look.dataLineRgb = rgbOf(look.dataLine);
    return look;
}

SensorCurveCache& SharedCurveCache()
{
    static SensorCurveCache cache;
    return cache;
}

void DrawSensorCurve(QPainter& canvas, int width, int height, TCalibration& calibration, bool showPoints,
                     int selected, const CurveLook& look, SensorCurveCache& cache)
{
    const std::optional<CurveLayout> l =
        LayoutSensorCurve(calibration, width, height, cache, look.dataLineRgb);
    if (!l)
        return;
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setBrush(Qt::NoBrush);
    canvas.fillRect(0, 0, width, height, look.background);
    drawAxes(canvas, *l, look);
    drawCurve(canvas, *l, look, cache);

    if (showPoints) {
        canvas.setPen(QPen(look.axis, 1));
        const int r = 3 * std::max(1, canvas.pen().width());
        const auto& points = calibration.points;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const int x = l->frequencyX(points[i].frequency);
            const int y = l->thrustY(points[i].thrust);
            if (static_cast<int>(i) == selected) {
                canvas.drawEllipse(QPoint(x, y), r, r);
            } else {
                canvas.drawLine(x - r, y, x + r, y);
                canvas.drawLine(x, y - r, x, y + r);
            }
        }
    }
    canvas.restore();
}

void DrawFormula(QPainter& canvas, const QRect& rect, const TSegmentFormula& formula, bool symbolic)
{
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.fillRect(rect, canvas.brush().color());
    const TFormulaType type = NormalizedFormulaType(formula.type);
    if (type == TFormulaType::none || type == TFormulaType::previos) {
        for (const SymbolLine& line : FormulaSymbol(type, rect.left(), rect.top(), rect.height()))
            canvas.drawLine(line.x1, line.y1, line.x2, line.y2);
        canvas.restore();
        return;
    }

    const FormulaMetrics m = FormulaMetricsFor(rect.top(), rect.height());
    int x = rect.left() + m.left;
    for (const FormulaRun& run : FormulaRuns(formula, symbolic, decimalSeparator())) {
        const bool small = run.level != RunLevel::baseline;
        QFont font = fontOfCellHeight(canvas.font(), small ? m.smallHeight : m.mainHeight);
        font.setBold(run.bold);
        canvas.setFont(font);
        const int top = run.level == RunLevel::subscript     ? m.subTop
                        : run.level == RunLevel::superscript ? m.superTop
                                                             : m.textTop;
        const QString text = QString::fromStdString(run.text);
        const QFontMetrics fm(font);
        const int w = fm.horizontalAdvance(text);
        canvas.drawText(QRect(x, top, w + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop, text);
        x += w;
    }
    canvas.restore();
}

void applySettingsLook(QWidget* window, const TSettingsRecord& settings)
{
    QPalette palette = window->palette();
    const QColor back = colorFromStored(settings.formColor);
    if (back.isValid())
        palette.setColor(QPalette::Window, back);
    window->setPalette(palette);
    window->setFont(fontFromRecord(settings.formFont));
}

} // namespace selva
