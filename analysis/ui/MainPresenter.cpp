#include "analysis/ui/MainPresenter.h"

#include "analysis/ThrustAnalysis.h"
#include "common/Format.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace selva {

namespace {

char separatorOf(const QLocale& locale)
{
    const QString s = locale.decimalPoint();
    return s.isEmpty() ? '.' : s.at(0).toLatin1();
}

QString general(double x, int precision, char sep)
{
    return QString::fromStdString(formatGeneral(x, precision, sep));
}

QString cut(const QString& s, int n)
{
    return s.size() > n ? s.left(n) : s;
}

// Index of a time: nearest (halves to even) or truncated, never below 0.
std::size_t nearestIndex(double t, double step)
{
    const double x = t / step;
    if (!(x > 0))
        return 0;
    return static_cast<std::size_t>(roundHalfEven(x));
}

std::size_t truncIndex(double t, double step)
{
    const double x = t / step;
    if (!(x > 0))
        return 0;
    if (x >= 9.0e18)
        return static_cast<std::size_t>(-1);
    return static_cast<std::size_t>(x);
}

const std::vector<double> kEmpty;

} // namespace

const std::vector<double>& shownSeries(const AnalysisState& a, bool newtons)
{
    if (!newtons)
        return a.FreqData;
    return a.NetThrust ? a.ThrustNet : a.ThrustData;
}

const std::vector<double>& shownError(const AnalysisState& a, bool newtons)
{
    return newtons ? a.ThrustError : a.FreqError;
}

double middleLineValue(const AnalysisState& a, bool newtons)
{
    if (!newtons)
        return a.MeanFreq;
    return a.NetThrust ? a.MeanThrustNet : a.MeanThrust;
}

bool invertFor(const AnalysisState& a, bool newtons)
{
    return newtons ? !a.ThrustRising : !a.DetectRising;
}

double restNetAfter(const AnalysisState& a)
{
    return a.RestThrustAfter - (a.RestThrust - a.RestThrustNet);
}

RestPair restLevels(AnalysisState& a, bool newtons, double& netAfter)
{
    if (!newtons)
        return {&a.RestFreq, &a.RestFreqAfter};
    if (a.NetThrust) {
        netAfter = restNetAfter(a);
        return {&a.RestThrustNet, &netAfter};
    }
    return {&a.RestThrust, &a.RestThrustAfter};
}

ShownSeries buildShownSeries(const AnalysisState& a, bool newtons, bool withDelta, double viewFrom,
                             double viewSpan)
{
    ShownSeries s;
    s.step = a.AnalysisStep;
    const std::vector<double>& v = shownSeries(a, newtons);
    const std::size_t n = std::min<std::size_t>(a.PointCount, v.size());
    if (n == 0 || !(a.AnalysisStep > 0))
        return s;
    const std::size_t first = nearestIndex(viewFrom, a.AnalysisStep);
    const std::size_t last = std::min(truncIndex(viewSpan, a.AnalysisStep), n - 1);
    if (first > last)
        return s;
    s.first = first;
    s.values.assign(v.begin() + static_cast<std::ptrdiff_t>(first),
                    v.begin() + static_cast<std::ptrdiff_t>(last) + 1);
    const std::vector<double>& e = shownError(a, newtons);
    if (withDelta && e.size() > last) {
        s.up.resize(s.values.size());
        s.down.resize(s.values.size());
        for (std::size_t k = 0; k < s.values.size(); ++k) {
            s.up[k] = s.values[k] + e[first + k];
            s.down[k] = s.values[k] - e[first + k];
        }
    }
    return s;
}

QList<QPointF> startMarkerPoints(const AnalysisState& a, bool flag, double lowest, double highest)
{
    if (!flag || !(a.StartTime > 0) || a.ViewFrom > a.StartTime || a.StartTime > a.ViewTo)
        return {};
    return {QPointF(a.StartTime, lowest), QPointF(a.StartTime, highest)};
}

QList<QPointF> endMarkerPoints(const AnalysisState& a, bool flag, double lowest, double highest)
{
    if (!flag || !(a.EndTime > 0) || !(a.EndTime > a.StartTime) || a.ViewFrom > a.EndTime ||
        a.EndTime > a.ViewTo)
        return {};
    return {QPointF(a.EndTime, lowest), QPointF(a.EndTime, highest)};
}

QList<QPointF> restLinePoints(const AnalysisState& a, const MarkerFlags& flags, double before, double after,
                              double firstTime, double lastTime)
{
    if (!flags.rest)
        return {};
    // The levels are drawn at single precision, as they are kept in projects.
    const double b = static_cast<float>(before);
    const double f = static_cast<float>(after);
    if (a.Hysteresis && flags.restAfter && a.StartTime > 0 && a.EndTime > 0 && a.EndTime > a.StartTime)
        return {QPointF(firstTime, b), QPointF(a.StartTime, b), QPointF(a.EndTime, f), QPointF(lastTime, f)};
    return {QPointF(firstTime, b), QPointF(lastTime, b)};
}

QList<QPointF> middleLinePoints(const AnalysisState& a, bool flag, double value)
{
    if (!flag || value == 0)
        return {};
    return {QPointF(a.StartTime, value), QPointF(a.EndTime, value)};
}

ResultTexts resultTexts(const AnalysisState& a, bool showErrors, const QLocale& locale)
{
    const char sep = separatorOf(locale);
    auto withError = [&](float value, float error) {
        QString s = general(value, 5, sep);
        if (showErrors)
            s += QStringLiteral("+/-") + QString::fromStdString(formatFixed(error, 1, 0, sep));
        return s;
    };
    ResultTexts r;
    r.impSum = withError(a.TotalImpulse, a.TotalImpulseError);
    r.impUd = withError(a.SpecificImpulse, a.SpecificImpulseError);
    r.thrustMax = withError(a.MaxThrust, a.MaxThrustError);
    r.thrustTime = general(a.ThrustTime, 5, sep);
    r.weight = general(a.ChargeWeight, 5, sep);
    r.middleThrust = general(a.AverageThrust, 5, sep);
    return r;
}

QStringList annotationResults(const ResultTexts& r)
{
    return {cut(QStringLiteral("Iсум = ") + r.impSum + QStringLiteral(" Н·с"), 30),
            cut(QStringLiteral("Iуд = ") + r.impUd + QStringLiteral(" сек"), 30),
            cut(QStringLiteral("Tтг = ") + r.thrustTime + QStringLiteral(" сек"), 30),
            cut(QStringLiteral("Fmax = ") + r.thrustMax + QStringLiteral(" Н"), 30),
            cut(QStringLiteral("Favg = ") + r.middleThrust + QStringLiteral(" Н"), 30)};
}

QString annotationDate(const QDate& date, const QLocale& locale)
{
    return QStringLiteral("Дата: ") + cut(locale.toString(date, QLocale::ShortFormat), 30);
}

QString middleLineText(double value, int roundDigits, const QLocale& locale)
{
    return general(RoundToDigits(value, roundDigits), 6, separatorOf(locale));
}

QString stageName(int stage)
{
    switch (stage) {
    case 0:
        return QStringLiteral("Ничего");
    case 1:
        return QStringLiteral("Расчет частот");
    case 2:
        return QStringLiteral("Расчет тяги");
    case 3:
        return QStringLiteral("Определение начала/конца тяги");
    case 4:
        return QStringLiteral("Определние нулевой линии");
    case 5:
        return QStringLiteral("Расчет параметров двигателя");
    default:
        return QString();
    }
}

} // namespace selva
