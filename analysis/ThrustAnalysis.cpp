#include "analysis/ThrustAnalysis.h"

#include "analysis/FreqRecord.h"
#include "common/Error.h"
#include "common/Format.h"
#include "sensors/Calibration.h"
#include "sensors/SensorLibrary.h"
#include "sound/Wave.h"
#include "sound/WaveFrequency.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <new>

namespace selva {

namespace {

// How often the long loops look at the progress values and the cancel flag.
constexpr std::size_t kProgressEvery = 1 << 14;

std::int64_t quotientToIndex(double t, double step, bool nearest)
{
    if (!(step > 0) || !std::isfinite(step))
        return 0;
    const double q = t / step;
    if (std::isnan(q))
        return 0;
    // Far beyond any series; keeps the conversion below defined.
    constexpr double kLimit = 4.0e18;
    if (q >= kLimit)
        return static_cast<std::int64_t>(kLimit);
    if (q <= -kLimit)
        return -static_cast<std::int64_t>(kLimit);
    const double k = std::nearbyint(q);
    if (std::fabs(q - k) <= 1e-9 * std::max(1.0, std::fabs(q)))
        return static_cast<std::int64_t>(k);
    return nearest ? roundHalfEven(q) : static_cast<std::int64_t>(std::trunc(q));
}

// Sets the progress back to idle when a stage ends, however it ends.
struct StageEnd {
    Progress& progress;
    ~StageEnd() { progress.set(0, 0); }
};

// An index limited to 0 .. n - 1 (n > 0).
std::size_t limitIndex(std::int64_t i, std::size_t n)
{
    if (i < 0)
        return 0;
    if (static_cast<std::uint64_t>(i) >= n)
        return n - 1;
    return static_cast<std::size_t>(i);
}

// SensorThrust with a memory of recent frequencies. A record's readings are quantised (a logger counts
// whole periods, a file keeps three decimals), so the same frequency comes back again and again, above
// all on the rest lines; the calibration is a pure function of the frequency once its range is prepared,
// so a remembered thrust is exactly the one a new evaluation would give.
class ThrustMemo {
public:
    explicit ThrustMemo(TCalibration& calibration) : calibration_(calibration), slots_(kSlots) {}

    double operator()(double f)
    {
        if (std::isnan(f))
            return SensorThrust(calibration_, f);
        const auto bits = std::bit_cast<std::uint64_t>(f);
        Slot& slot = slots_[(bits * 0x9E3779B97F4A7C15ull) >> (64 - kBits)];
        if (slot.key != bits) {
            slot.key = bits;
            slot.thrust = SensorThrust(calibration_, f);
        }
        return slot.thrust;
    }

private:
    static constexpr int kBits = 12;
    static constexpr std::size_t kSlots = std::size_t{1} << kBits;
    // The key of an empty slot: the bits of a NaN, which never reaches the table.
    static constexpr std::uint64_t kEmpty = 0x7FF8DEADBEEF0000ull;
    struct Slot {
        std::uint64_t key = kEmpty;
        double thrust = 0;
    };
    TCalibration& calibration_;
    std::vector<Slot> slots_;
};

} // namespace

double RoundToDigits(double x, int digits)
{
    // Beyond 15 decimals a double has nothing left to round (and 10^d would overflow for large d).
    if (!std::isfinite(x) || digits > 15)
        return x;
    const double scale = std::pow(10.0, digits);
    const double r = std::trunc(std::fabs(x) * scale + 0.5) / scale;
    return x < 0 ? -r : r;
}

std::int64_t IndexNearest(double t, double step)
{
    return quotientToIndex(t, step, true);
}
std::int64_t IndexTruncate(double t, double step)
{
    return quotientToIndex(t, step, false);
}

StepCheck CheckAnalysisStep(double candidate, double minStep, double recordDuration)
{
    StepCheck check;
    if (!std::isfinite(candidate)) {
        check.reason = "Шаг должен быть конечным числом";
        return check;
    }
    if (candidate < minStep) {
        check.reason = "Шаг меньше допустимого (" + formatGeneral(minStep, 6) + " сек)";
        return check;
    }
    if (candidate > 0 && recordDuration > 0 && recordDuration / candidate > double(MaxAnalysisPoints)) {
        check.reason = TooManyPointsMessage(std::nearbyint(recordDuration / candidate), candidate);
        return check;
    }
    check.accepted = true;
    check.value = candidate;
    if (check.value <= 0) {
        check.value = 0.001;
        check.reason = "Шаг должен быть больше нуля";
    }
    // A record without a length gives no cap: the step would become 0.
    if (recordDuration > 0 && check.value > recordDuration / 10) {
        check.value = recordDuration / 10;
        check.reason = "Шаг ограничен десятой частью записи";
    }
    return check;
}

ThrustTimes CheckThrustTimes(double start, double end, double recordDuration)
{
    ThrustTimes t{start, end, {}};
    const auto say = [&t](const std::string& text) { t.note += (t.note.empty() ? "" : "; ") + text; };
    const auto seconds = [](double v) { return formatShortest(v) + " сек"; };
    if (!std::isfinite(start) || start < 0) {
        say("начало тяги " + seconds(start) + " не подходит и будет найдено заново");
        t.start = 0;
    } else if (start > 0 && start >= recordDuration) {
        say("начало тяги " + seconds(start) + " за концом записи (" + seconds(recordDuration) +
            ") и будет найдено заново");
        t.start = 0;
    }
    if (!std::isfinite(end) || end < 0) {
        if (!std::isnan(end) && end > 0) { // +inf: past any record
            say("конец тяги " + seconds(end) + " заменен концом записи (" + seconds(recordDuration) + ")");
            t.end = recordDuration;
        } else {
            say("конец тяги " + seconds(end) + " не подходит и будет найден заново");
            t.end = 0;
        }
    } else if (end > recordDuration) {
        say("конец тяги " + seconds(end) + " заменен концом записи (" + seconds(recordDuration) + ")");
        t.end = recordDuration;
    }
    if (t.start > 0 && t.end > 0 && !(t.end > t.start)) {
        say("конец тяги (" + seconds(t.end) + ") не позже начала (" + seconds(t.start) +
            "): оба будут найдены заново");
        t.start = t.end = 0;
    }
    return t;
}

ThrustAnalysis::ThrustAnalysis(AnalysisState& state, SensorLibrary& sensors, TFreq& freq, TWave& wave,
                               Progress& progress)
    : state_(state), sensors_(sensors), freq_(freq), wave_(wave), progress_(progress)
{
}

std::size_t ThrustAnalysis::pointCount(const std::vector<double>& series) const
{
    return std::min<std::size_t>(state_.PointCount, series.size());
}

bool ThrustAnalysis::checkCancel(std::size_t i)
{
    if (i % kProgressEvery != 0)
        return false;
    if (progress_.cancelled())
        cancelled_ = true;
    return cancelled_;
}

// ------------------------------------------------------------------------------------------ stages

bool ThrustAnalysis::Recalculate(Stages stages)
{
    const bool detectLevels = stages.has(Stage::DetectLevels);
    cancelled_ = false;
    struct Done {
        Progress& progress;
        ~Done()
        {
            progress.set(0, 0);
            progress.cancel.store(false);
        }
    } done{progress_};

    try {
        if (stages.has(Stage::Prepare)) {
            PrepareFrequency(stages.has(Stage::DetectTimes), detectLevels);
            if (cancelled_)
                return false;
        }
        if (stages.has(Stage::Compensate))
            CompensateZero();
        if (stages.has(Stage::Convert)) {
            ConvertToThrust(detectLevels);
            if (cancelled_)
                return false;
        }
        ComputeResults();
    } catch (const std::bad_alloc&) {
        // The limits above keep a series within what a desktop can hold; a machine with less memory still
        // gets words, and series that are all of one length (none).
        AnalysisState& s = state_;
        const double points = s.AnalysisStep > 0 ? std::nearbyint(s.RecordDuration / s.AnalysisStep) : 0;
        s.PointCount = 0;
        for (auto* series : {&s.FreqData, &s.FreqError, &s.ThrustData, &s.ThrustError, &s.ThrustNet})
            std::vector<double>().swap(*series);
        throw Error("Недостаточно памяти для " + formatGeneral(points, 12) +
                    " точек анализа: увеличьте шаг \"Точность\"");
    }
    return !cancelled_;
}

bool ThrustAnalysis::PrepareFrequency(bool detectTimes, bool detectLevels)
{
    cancelled_ = false;
    const StageEnd stageEnd{progress_};
    AnalysisState& s = state_;
    if (s.SourceKind == SourceWave) {
        s.FreqData.clear();
        s.FreqError.clear();
        if (wave_.IsLoaded() && s.AnalysisStep > 0 && std::isfinite(s.AnalysisStep)) {
            const int channel = s.UseLeftChannel && wave_.GetChannels() > 1 ? 1 : 0;
            const bool ok = CalcWaveFrequency(wave_, s.AnalysisStep, channel, s.NoiseLsb, s.FreqData,
                                              s.FreqError, &progress_);
            s.MinStep = 0.0001;
            if (!ok && progress_.cancelled())
                cancelled_ = true;
        }
        s.FreqError.resize(s.FreqData.size());
        s.PointCount = static_cast<std::uint32_t>(s.FreqData.size());
        if (cancelled_)
            return false;
    } else if (s.SourceKind == SourceFreq) {
        resampleRecord();
        if (cancelled_)
            return false;
    } else {
        s.PointCount = 0;
        s.FreqData.clear();
        s.FreqError.clear();
        return false;
    }

    if (s.FilterOn)
        MovingAverage(s.FreqData);
    const SeriesExtremes ext = SeriesMinMax(s.FreqData);
    s.FreqMax = ext.max;
    s.FreqMin = ext.min;

    if (detectTimes || detectLevels) {
        const ThrustDetection d = DetectThrust(s.FreqData);
        if (pointCount(s.FreqData) > 0)
            s.DetectRising = d.rising;
        if (d.found) {
            if (detectTimes) {
                s.StartTime = d.start;
                s.EndTime = d.end;
            }
            if (detectLevels) {
                s.RestFreq = RoundToDigits(d.level, s.RoundDigits);
                s.RestFreqAfter = RoundToDigits(d.levelAfter, s.RoundDigits);
            }
        }
    }

    // Mean frequency over the firing; the divisor is the number of points summed.
    double mean = 0;
    const std::size_t n = pointCount(s.FreqData);
    if (n > 0 && s.StartTime > 0 && s.EndTime < static_cast<double>(n) * s.AnalysisStep) {
        const std::int64_t first = std::max<std::int64_t>(0, IndexNearest(s.StartTime, s.AnalysisStep));
        const std::int64_t last = std::min<std::int64_t>(IndexTruncate(s.EndTime, s.AnalysisStep),
                                                         static_cast<std::int64_t>(n) - 1);
        if (last >= first) {
            double sum = 0;
            for (std::int64_t i = first; i <= last; ++i)
                sum += s.FreqData[static_cast<std::size_t>(i)];
            mean = sum / static_cast<double>(last - first + 1);
        }
    }
    s.MeanFreq = RoundToDigits(mean, s.RoundDigits);
    return true;
}

// Resamples the frequency record to the analysis step. A step equal to the record's (compared in single
// precision, the precision of the record's step) copies the readings. Otherwise every target interval
// averages the readings it covers, a reading split by an interval boundary counting in part on both
// sides. The working values are 32-bit floats as the file's readings are; expressions between them are
// evaluated in double and rounded when stored.
void ThrustAnalysis::resampleRecord()
{
    AnalysisState& s = state_;
    const double H = s.AnalysisStep;
    if (!freq_.Loaded || !(H > 0) || !std::isfinite(H)) {
        s.PointCount = 0;
        s.FreqData.clear();
        s.FreqError.clear();
        return;
    }
    const float h = freq_.SampleStep;
    const double hd = h;
    const bool copy = static_cast<float>(H) == h;
    const std::int64_t count =
        copy ? freq_.RecordCount : IndexTruncate(static_cast<double>(freq_.RecordCount) * hd, H);
    if (count > static_cast<std::int64_t>(MaxFrequencyPoints))
        throw Error(TooManyPointsMessage(static_cast<double>(count), H));
    const std::size_t n = static_cast<std::size_t>(std::max<std::int64_t>(count, 0));
    s.PointCount = static_cast<std::uint32_t>(n);
    s.FreqData.resize(n);
    s.FreqError.assign(n, 0.0);
    if (n == 0)
        return;

    s.FreqData[0] = freq_.First();
    std::size_t i = 0;
    if (copy) {
        while (!freq_.AtEnd() && i + 1 < n) {
            ++i;
            s.FreqData[i] = freq_.Next();
            if (checkCancel(i))
                return;
        }
        ++i;
    } else {
        float t = 0;    // end of the target interval
        float ts = 0;   // time of the current reading
        float w = 0;    // weight of the reading carried over from the previous interval
        float cv = 0;   // its value
        float last = 0; // reading before the current one
        do {
            if (freq_.AtEnd())
                break;
            const float tNext = static_cast<float>(static_cast<double>(t) + H);
            if (tNext == t)
                break; // time no longer advances in single precision: the rest is filled below
            t = tNext;
            float sum = 0;
            std::int64_t taken = 0;
            bool stalled = false;
            while (static_cast<double>(ts) < static_cast<double>(t) - hd) {
                last = freq_.CurrentValue;
                sum = static_cast<float>(static_cast<double>(sum) + last);
                freq_.Next();
                const float tsNext = static_cast<float>(static_cast<double>(ts) + hd);
                if (tsNext == ts) {
                    stalled = true;
                    break;
                }
                ts = tsNext;
                ++taken;
            }
            if (stalled)
                break;
            const float current = freq_.CurrentValue;
            const float frac = static_cast<float>((static_cast<double>(t) - ts) / hd);
            const float y = static_cast<float>(last + (static_cast<double>(current) - last) * frac);
            const double weight = static_cast<double>(taken) + w + frac;
            s.FreqData[i] = weight != 0
                                ? (static_cast<double>(cv) * w + sum + static_cast<double>(frac) * y) / weight
                                : (i > 0 ? s.FreqData[i - 1] : current);
            w = static_cast<float>((static_cast<double>(ts) + hd - t) / hd);
            cv = current;
            ts = static_cast<float>(static_cast<double>(ts) + hd);
            freq_.Next();
            ++i;
            if (checkCancel(i))
                return;
        } while (i < n);
    }
    // Points the pass did not reach (the record ended first, single-precision drift) repeat the last
    // value it computed rather than keep values of an earlier computation.
    const double fill = s.FreqData[i > 0 ? i - 1 : 0];
    for (std::size_t k = std::max<std::size_t>(i, 1); k < n; ++k)
        s.FreqData[k] = fill;
}

// Centred moving average: output k is the mean of the w source points k - (w - 1) div 2 ... k + w div 2,
// each index limited to the series, all read from the unsmoothed series (so the smoothed curve is not
// shifted in time and the detected start and end stay where they are). A window below 1, or at least as
// long as the series, leaves it unchanged.
void ThrustAnalysis::MovingAverage(std::vector<double>& series) const
{
    const std::size_t n = pointCount(series);
    const std::int64_t w = state_.FilterWindow;
    if (w < 1 || static_cast<std::uint64_t>(w) >= n)
        return;
    std::vector<double>& source = scratch_; // kept between calls: no fresh pages for every smoothing
    source.assign(series.begin(), series.begin() + static_cast<std::ptrdiff_t>(n));
    const std::int64_t below = (w - 1) / 2;
    const std::int64_t above = w / 2;
    const auto at = [&](std::int64_t i) { return source[limitIndex(i, n)]; };
    // A running sum in extended precision: 400 000 additions and subtractions stay far below the
    // resolution of the readings.
    long double sum = 0;
    for (std::int64_t i = -below; i <= above; ++i)
        sum += at(i);
    for (std::size_t k = 0; k < n; ++k) {
        const auto kk = static_cast<std::int64_t>(k);
        series[k] = static_cast<double>(sum / static_cast<long double>(w));
        sum += at(kk + above + 1);
        sum -= at(kk - below);
    }
}

SeriesExtremes ThrustAnalysis::SeriesMinMax(const std::vector<double>& series) const
{
    SeriesExtremes e;
    const std::size_t n = pointCount(series);
    if (n == 0)
        return e;
    const std::int64_t from = std::max<std::int64_t>(0, IndexNearest(state_.ViewFrom, state_.AnalysisStep));
    const std::int64_t to = std::min<std::int64_t>(IndexNearest(state_.ViewTo, state_.AnalysisStep),
                                                   static_cast<std::int64_t>(n) - 1);
    if (from > to)
        return e;
    e.max = e.min = series[static_cast<std::size_t>(from)];
    for (std::int64_t i = from + 1; i <= to; ++i) {
        const double v = series[static_cast<std::size_t>(i)];
        if (v > e.max)
            e.max = v;
        if (v < e.min)
            e.min = v;
    }
    return e;
}

bool ThrustAnalysis::StartsBelowMean(const std::vector<double>& series) const
{
    const std::size_t n = pointCount(series);
    if (n == 0)
        return true;
    double all = 0;
    for (std::size_t i = 0; i < n; ++i)
        all += series[i];
    const std::size_t head = std::min<std::size_t>(n, 3);
    double first = 0;
    for (std::size_t i = 0; i < head; ++i)
        first += series[i];
    return first / static_cast<double>(head) < all / static_cast<double>(n);
}

ThrustDetection ThrustAnalysis::DetectThrust(const std::vector<double>& series) const
{
    ThrustDetection d;
    const std::size_t n = pointCount(series);
    if (n == 0)
        return d;
    const SeriesExtremes ext = SeriesMinMax(series);
    const double mid = (ext.max + ext.min) / 2;

    const std::size_t head = std::min<std::size_t>(n, 3);
    double headSum = 0;
    for (std::size_t i = 0; i < head; ++i)
        headSum += series[i];
    const bool rising = headSum / static_cast<double>(head) < mid;
    d.rising = rising;

    // Beyond a level in the direction of thrust, and on the rest side of it (or on it).
    const auto beyond = [rising](double v, double level) { return rising ? v > level : v <= level; };
    const auto atOrRestSide = [rising](double v, double level) { return rising ? v <= level : v >= level; };

    std::size_t i0 = 0;
    while (i0 < n && !beyond(series[i0], mid))
        ++i0;
    if (i0 == n)
        return d;

    // Rest level: the mean of everything before the last point at or below the level, repeated while it
    // settles towards the rest side.
    prefix_.resize(i0 + 1);
    double running = 0;
    for (std::size_t i = 0; i < i0; ++i) {
        prefix_[i] = running;
        running += series[i];
    }
    prefix_[i0] = running; // prefix_[k] = sum of points 0 .. k - 1

    double level = mid;
    double prev = mid;
    std::size_t m = i0;
    for (;;) {
        prev = level;
        for (std::size_t j = m; j-- > 0;) {
            if (atOrRestSide(series[j], level)) {
                m = j;
                level = (prefix_[m] + series[m]) / static_cast<double>(m + 1);
                break;
            }
        }
        if (level == prev || (rising ? level > prev : level < prev) || m <= 2)
            break;
    }
    level = prev;

    // Start: the last point at or on the rest side of the level before the thrust crosses the middle.
    std::int64_t startIndex = static_cast<std::int64_t>(m) - 1;
    for (std::size_t j = i0 + 1; j-- > m;) {
        if (atOrRestSide(series[j], level)) {
            startIndex = static_cast<std::int64_t>(j);
            break;
        }
    }
    startIndex = std::max<std::int64_t>(startIndex, 0);

    // End: from the last point beyond the middle, forward to the first point back on the rest side, or
    // else to the point nearest the level.
    std::size_t k = i0;
    for (std::size_t j = n; j-- > i0;) {
        if (beyond(series[j], mid)) {
            k = j;
            break;
        }
    }
    double diff = series[k] - level;
    std::size_t endIndex = k;
    for (std::size_t j = k; j < n; ++j) {
        const double v = series[j];
        if (rising ? v < level : v >= level) {
            endIndex = j;
            break;
        }
        if (std::fabs(v - level) <= std::fabs(diff)) {
            diff = v - level;
            endIndex = j;
        }
    }

    const double step = state_.AnalysisStep;
    d.found = true;
    d.level = level;
    d.levelAfter = level + diff;
    d.start = static_cast<double>(startIndex) * step;
    d.end = static_cast<double>(endIndex) * step;
    return d;
}

void ThrustAnalysis::CompensateZero()
{
    const AnalysisState& s = state_;
    const double weight = (s.IncludeRigWeight ? static_cast<double>(s.RigWeight) : 0.0) +
                          (s.IncludeChargeWeight ? static_cast<double>(s.ChargeWeight) : 0.0);
    double offset = 0;
    if (s.MotorPosition == MotorNozzleUp)
        offset = FrequencyAt(GravityConstant * weight) - s.RestFreq;
    else if (s.MotorPosition == MotorNozzleDown && s.RigidMount)
        offset = FrequencyAt(-GravityConstant * weight) - s.RestFreq;
    else
        offset = sensors_.ZeroThrustFrequency - s.RestFreq;
    state_.ZeroOffset = offset;
}

double ThrustAnalysis::ThrustAt(double frequency)
{
    TCalibration* calibration = sensors_.ActiveCalibration();
    if (!calibration)
        return 0;
    return SensorThrust(*calibration, frequency + state_.ZeroOffset);
}

// The frequency at which the active sensor gives `thrust`. Beyond the thrusts of the calibrated range's
// end points it extends with the end slopes; inside, it interpolates between the table entry nearest in
// thrust and the nearest entry on the other side of the requested thrust.
double ThrustAnalysis::FrequencyAt(double thrust)
{
    TCalibration* calibration = sensors_.ActiveCalibration();
    if (!calibration)
        return 0;
    if ((calibration->lowIndex < 0 || calibration->highIndex < 0) && !PrepareSensorRange(*calibration))
        return 0;
    const auto& points = calibration->points;
    const auto low = static_cast<std::size_t>(calibration->lowIndex);
    const auto high = static_cast<std::size_t>(calibration->highIndex);
    if (low >= points.size() || high >= points.size())
        return 0;
    const double lowThrust = points[low].thrust;
    const double highThrust = points[high].thrust;
    const double rangeMin = std::min(lowThrust, highThrust);
    const double rangeMax = std::max(lowThrust, highThrust);
    if (thrust < rangeMin || thrust > rangeMax) {
        const bool pastLowEnd = lowThrust >= highThrust ? thrust > lowThrust : thrust < lowThrust;
        if (pastLowEnd)
            return calibration->lowSlope != 0
                       ? calibration->lowFrequency + (thrust - lowThrust) / calibration->lowSlope
                       : calibration->lowFrequency;
        return calibration->highSlope != 0
                   ? calibration->highFrequency + (thrust - highThrust) / calibration->highSlope
                   : calibration->highFrequency;
    }

    const auto& table = sensors_.ActiveCalibTable;
    if (table.empty())
        return 0;
    std::size_t nearest = 0;
    for (std::size_t i = 1; i < table.size(); ++i)
        if (std::fabs(table[i].thrust - thrust) < std::fabs(table[nearest].thrust - thrust))
            nearest = i;
    const TCalibTableEntry& a = table[nearest];
    if (a.thrust == thrust)
        return a.frequency;
    const bool wantAbove = a.thrust < thrust;
    const TCalibTableEntry* other = nullptr;
    for (const TCalibTableEntry& e : table) {
        const bool onOtherSide = wantAbove ? e.thrust > thrust : e.thrust < thrust;
        if (onOtherSide && (!other || std::fabs(e.thrust - thrust) < std::fabs(other->thrust - thrust)))
            other = &e;
    }
    if (!other)
        return a.frequency;
    return a.frequency + (thrust - a.thrust) * (other->frequency - a.frequency) / (other->thrust - a.thrust);
}

void ThrustAnalysis::ConvertToThrust(bool recalcRest)
{
    cancelled_ = false;
    const StageEnd stageEnd{progress_};
    AnalysisState& s = state_;
    if (recalcRest) {
        s.RestThrust = 0;
        s.RestThrustAfter = 0;
        if (s.RestFreq > 0) {
            s.RestThrust = RoundToDigits(ThrustAt(s.RestFreq), s.RoundDigits);
            s.RestThrustAfter = RoundToDigits(ThrustAt(s.RestFreqAfter), s.RoundDigits);
        }
    }

    const std::size_t n = std::min<std::size_t>({s.PointCount, s.FreqData.size()});
    s.ThrustData.resize(s.PointCount);
    s.ThrustNet.resize(s.PointCount);
    s.ThrustError.resize(s.PointCount);

    const double charge = s.IncludeChargeWeight ? static_cast<double>(s.ChargeWeight) : 0.0;
    const double rig = s.IncludeRigWeight ? static_cast<double>(s.RigWeight) : 0.0;
    const bool up = s.MotorPosition == MotorNozzleUp;
    const bool down = s.MotorPosition == MotorNozzleDown;
    const bool downRigid = down && s.RigidMount;
    const bool downFree = down && !s.RigidMount;

    TCalibration* calibration = sensors_.sensors.empty() ? nullptr : sensors_.ActiveCalibration();
    const bool haveRange = calibration && PrepareSensorRange(*calibration);
    if (!haveRange) {
        // No conversion possible: every thrust series is 0, the net one included, so that no result is
        // computed from values of an earlier sensor.
        std::fill(s.ThrustData.begin(), s.ThrustData.end(), 0.0);
        std::fill(s.ThrustError.begin(), s.ThrustError.end(), 0.0);
        std::fill(s.ThrustNet.begin(), s.ThrustNet.end(), 0.0);
        s.MeanThrust = 0;
        s.MeanThrustNet = 0;
        s.RestThrustNet = s.RestThrust;
    } else {
        const double off = s.ZeroCompensation ? s.ZeroOffset : 0.0;
        ThrustMemo memo(*calibration);
        progress_.set(2, 0);
        for (std::size_t i = 0; i < n; ++i) {
            if (i % kProgressEvery == 0) {
                progress_.ProgressFraction.store(static_cast<double>(i) / static_cast<double>(n),
                                                 std::memory_order_relaxed);
                if (checkCancel(i))
                    return;
            }
            const double f = s.FreqData[i];
            const double thrust = memo(f + off);
            s.ThrustData[i] = thrust;
            // With no frequency error the second evaluation would give the same thrust.
            const double error = i < s.FreqError.size() ? s.FreqError[i] : 0.0;
            s.ThrustError[i] = error == 0 ? 0.0 : std::fabs(thrust - memo(f + error + off));
        }
        for (std::size_t i = n; i < s.PointCount; ++i)
            s.ThrustData[i] = s.ThrustError[i] = 0;

        const std::size_t total = s.PointCount;
        const std::int64_t first = std::max<std::int64_t>(0, IndexNearest(s.StartTime, s.AnalysisStep));
        const std::int64_t last = total == 0
                                      ? -1
                                      : std::min<std::int64_t>(IndexTruncate(s.EndTime, s.AnalysisStep),
                                                               static_cast<std::int64_t>(total) - 1);
        const auto inBurn = [&](std::size_t i) {
            const auto ii = static_cast<std::int64_t>(i);
            return ii >= first && ii <= last;
        };

        double impulse = 0;
        for (std::int64_t i = first; i <= last; ++i)
            impulse += s.ThrustData[static_cast<std::size_t>(i)] - s.RestThrust;
        impulse *= s.AnalysisStep;
        if (downFree)
            impulse += GravityConstant * (rig + charge) * (s.EndTime - s.StartTime);

        // Kilograms of charge burnt per newton-second. Without impulse the charge does not burn down.
        const double burn = charge > 0 && impulse != 0 ? 1 / (impulse / charge) : 0.0;
        double remaining = charge;

        if (up)
            s.RestThrustNet = s.RestThrust - GravityConstant * (rig + charge);
        else if (downRigid)
            s.RestThrustNet = s.RestThrust + GravityConstant * (rig + charge);
        else
            s.RestThrustNet = s.RestThrust;

        for (std::size_t i = 0; i < total; ++i) {
            const double thrust = s.ThrustData[i];
            const bool burning = inBurn(i);
            if (burning && remaining > 0)
                remaining = std::max(0.0, remaining - (thrust - s.RestThrust) * burn * s.AnalysisStep);
            if (up)
                s.ThrustNet[i] = thrust - GravityConstant * (rig + remaining);
            else if (downRigid || (downFree && burning))
                s.ThrustNet[i] = thrust + GravityConstant * (rig + remaining);
            else
                s.ThrustNet[i] = thrust;
        }

        double sum = 0;
        double sumNet = 0;
        for (std::int64_t i = first; i <= last; ++i) {
            sum += s.ThrustData[static_cast<std::size_t>(i)];
            sumNet += s.ThrustNet[static_cast<std::size_t>(i)];
        }
        const double points = last >= first ? static_cast<double>(last - first + 1) : 0.0;
        s.MeanThrust = points > 0 ? sum / points : 0.0;
        s.MeanThrustNet = points > 0 ? sumNet / points : 0.0;
    }

    const SeriesExtremes ext = SeriesMinMax(s.ThrustData);
    s.ThrustMax = ext.max;
    s.ThrustMin = ext.min;
    s.ThrustRising = StartsBelowMean(s.ThrustData);
}

void ThrustAnalysis::ComputeResults()
{
    AnalysisState& s = state_;
    progress_.set(5, 0);
    const StageEnd stageEnd{progress_};
    s.ThrustTime = s.TotalImpulse = s.TotalImpulseError = 0;
    s.SpecificImpulse = s.SpecificImpulseError = 0;
    s.MaxThrust = s.MaxThrustError = s.AverageThrust = 0;
    if (s.PointCount == 0 || !(s.StartTime > 0) || !(s.EndTime - s.StartTime > 0))
        return;
    s.ThrustTime = static_cast<float>(s.EndTime - s.StartTime);
    if (sensors_.ActiveSensorIndex == 0)
        return;

    const std::vector<double>& series = s.NetThrust ? s.ThrustNet : s.ThrustData;
    const double zero = s.NetThrust ? s.RestThrustNet : s.RestThrust;
    const std::size_t n =
        std::min({static_cast<std::size_t>(s.PointCount), series.size(), s.ThrustError.size()});
    if (n == 0)
        return;
    const std::int64_t first = std::max<std::int64_t>(0, IndexNearest(s.StartTime, s.AnalysisStep));
    const std::int64_t last =
        std::min<std::int64_t>(IndexNearest(s.EndTime, s.AnalysisStep), static_cast<std::int64_t>(n) - 1);

    double impulse = 0;
    double impulseError = 0;
    double maxThrust = 0;
    double maxError = 0;
    for (std::int64_t i = first; i <= last; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (i == first || series[k] > maxThrust) {
            maxThrust = series[k];
            maxError = s.ThrustError[k];
        }
        impulse += series[k] - zero;
        impulseError += s.ThrustError[k];
    }
    s.MaxThrust = static_cast<float>(maxThrust);
    s.MaxThrustError = static_cast<float>(maxError);
    s.TotalImpulse = static_cast<float>(s.AnalysisStep * impulse);
    s.TotalImpulseError = static_cast<float>(s.AnalysisStep * impulseError);
    if (s.ChargeWeight > 0) {
        const double divisor = GravityConstant * static_cast<double>(s.ChargeWeight);
        s.SpecificImpulse = static_cast<float>(s.TotalImpulse / divisor);
        s.SpecificImpulseError = static_cast<float>(s.TotalImpulseError / divisor);
    }
    s.AverageThrust = static_cast<float>(s.TotalImpulse / (s.EndTime - s.StartTime));
}

} // namespace selva
