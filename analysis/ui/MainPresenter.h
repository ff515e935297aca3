#pragma once

// What the analysis window shows, computed from the analysis state without a screen: the series handed
// to the chart, the marker lines, the rest-line pair of the current units, the results texts and the
// annotation lines, the step check and the progress stage names. The window (TfrmMain) only moves
// these into its controls.

#include "analysis/AnalysisState.h"

#include <QDate>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <vector>

class QLocale;

namespace selva {

// The toggled captions of the analysis window ("Начало тяги", "Конец тяги", "Линия покоя",
// "Линия покоя после", "Средняя тяга").
struct MarkerFlags {
    bool start = false;
    bool end = false;
    bool rest = false;
    bool restAfter = false;
    bool middle = false;
};

// The shown series: frequency in hertz; in newtons the net thrust when NetThrust is set, else the thrust.
const std::vector<double>& shownSeries(const AnalysisState& a, bool newtons);
// Its error: FreqError in hertz, ThrustError in newtons.
const std::vector<double>& shownError(const AnalysisState& a, bool newtons);
// MeanFreq, MeanThrustNet or MeanThrust, following the same choice.
double middleLineValue(const AnalysisState& a, bool newtons);
// The value axis is inverted when the shown quantity falls during the firing.
bool invertFor(const AnalysisState& a, bool newtons);

// The rest-line pair (before, after) of the current units. `netAfter` stands for the net thrust's level
// after the firing, which no computation produces; see restNetAfter.
struct RestPair {
    double* before = nullptr;
    double* after = nullptr;
};
RestPair restLevels(AnalysisState& a, bool newtons, double& netAfter);
// The net level after the firing: the "after" thrust level moved by the same weight correction as the
// "before" level (RestThrust - RestThrustNet). Without it the hysteresis rest line of the net series
// would drop to 0 after the end of thrust.
double restNetAfter(const AnalysisState& a);

// Series 1 and the error band for the chart: indices from nearest(viewFrom / step) to
// truncate(viewSpan / step), limited to PointCount - 1, at full resolution.
struct ShownSeries {
    double step = 0;
    std::size_t first = 0;
    std::vector<double> values;
    std::vector<double> up; // value + error (only with the error band)
    std::vector<double> down;
};
ShownSeries buildShownSeries(const AnalysisState& a, bool newtons, bool withDelta, double viewFrom,
                             double viewSpan);

// Marker lines. lowest/highest are the extremes of series 1, firstTime/lastTime its time span.
QList<QPointF> startMarkerPoints(const AnalysisState& a, bool flag, double lowest, double highest);
QList<QPointF> endMarkerPoints(const AnalysisState& a, bool flag, double lowest, double highest);
QList<QPointF> restLinePoints(const AnalysisState& a, const MarkerFlags& flags, double before, double after,
                              double firstTime, double lastTime);
QList<QPointF> middleLinePoints(const AnalysisState& a, bool flag, double value);

// The results panel: general format with 5 significant digits; with `showErrors` the impulse, specific
// impulse and maximum thrust are followed by "+/-" and their error with 1 decimal.
struct ResultTexts {
    QString impSum, impUd, thrustTime, thrustMax, middleThrust, weight;
};
ResultTexts resultTexts(const AnalysisState& a, bool showErrors, const QLocale& locale);
// The five result lines of the chart, each cut to 30 characters.
QStringList annotationResults(const ResultTexts& r);
// "Дата: " + the date in the short format, cut to 30 characters.
QString annotationDate(const QDate& date, const QLocale& locale);
// The mean line's value as lblMiddleLine shows it.
QString middleLineText(double value, int roundDigits, const QLocale& locale);

// Name of a progress stage for the progress window.
QString stageName(int stage);

} // namespace selva
