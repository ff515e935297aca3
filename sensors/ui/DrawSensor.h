#pragma once

// Painting of calibration curves and formula lines (the arithmetic is in sensors/SensorCurve.h), and the
// look the sensor windows take from the settings record. User-interface thread only.

#include "sensors/SensorCurve.h"
#include "store/Records.h"

#include <QColor>

#include <cstdint>

class QPainter;
class QRect;
class QWidget;

namespace selva {

// The chart colours of the settings record as curve drawings use them.
struct CurveLook {
    QColor background;
    QColor axis;
    QColor text;
    QColor dataLine;
    // The data line colour as 0x00BBGGRR, which the colour blend of the curve works on.
    std::uint32_t dataLineRgb = 0x0000FFFF;

    static CurveLook from(const TChartAppearance& chart);
};

// The column cache shared by every curve drawing of the program.
SensorCurveCache& SharedCurveCache();

// Draws the calibration curve of `calibration` on `canvas` (a picture of width × height): background,
// axes with ticks, captions and the labels that fit in the margins (in the canvas's font), the curve in
// its segment colours, and with `showPoints` the points as plus signs, the point `selected` (−1 none)
// as a circle. A calibration without a range draws nothing: the picture keeps what it showed.
void DrawSensorCurve(QPainter& canvas, int width, int height, TCalibration& calibration, bool showPoints,
                     int selected, const CurveLook& look, SensorCurveCache& cache = SharedCurveCache());

// Draws a formula line into `rect`: filled with the canvas's brush colour, then "Y = " and the runs of
// FormulaRuns in the canvas's font family and pen colour, coefficients bold, sub- and superscripts small;
// `none` and `previos` show a cross and an upward arrow in the canvas pen instead.
void DrawFormula(QPainter& canvas, const QRect& rect, const TSegmentFormula& formula, bool symbolic);

// The window background colour and font of the settings record, given to a window when it is created.
void applySettingsLook(QWidget* window, const TSettingsRecord& settings);

} // namespace selva
