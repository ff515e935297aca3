#pragma once

#include "analysis/AnalysisState.h"
#include "common/AnalysisLimits.h"
#include "common/Progress.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace selva {

class SensorLibrary;
class TFreq;
class TWave;

// Extremes of a series over the chart's time window.
struct SeriesExtremes {
    double max = 0;
    double min = 0;
};

// What DetectThrust found on a frequency series.
struct ThrustDetection {
    bool rising = false; // the frequency moves up during the firing
    bool found = false;  // start, end and the levels below were produced
    double level = 0;    // rest line before the firing
    double levelAfter = 0;
    double start = 0; // seconds
    double end = 0;
};

// Rounding to `digits` decimals, symmetric about zero: sign(x) * trunc(|x| * 10^d + 0.5) / 10^d.
double RoundToDigits(double x, int digits);

// Time to series index. `IndexNearest` rounds halves to even, `IndexTruncate` goes toward zero; when
// t / step lies within 1e-9 (relative) of an integer, both give that integer, so a time typed as 1.23 at a
// 0.01 step is point 123 whatever the binary representation. Not limited to a series (callers limit);
// steps that are not positive and NaN quotients give 0, infinite ones a huge index of their sign.
std::int64_t IndexNearest(double t, double step);
std::int64_t IndexTruncate(double t, double step);

// The step edit's commit rule ("Точность"): a candidate that is not a finite number, one below `minStep`,
// and one that would make more than MaxAnalysisPoints points over the record are refused with the
// reason; an accepted candidate of 0 or less becomes 0.001 and one above a tenth of the record becomes
// exactly a tenth.
struct StepCheck {
    bool accepted = false;
    double value = 0;   // the step to store when accepted
    std::string reason; // why it was refused or changed, empty when stored as typed
};
StepCheck CheckAnalysisStep(double candidate, double minStep, double recordDuration);

// Start and end of thrust taken from outside the window's edits (a project, a command line), by the
// edits' rules: a time that is not a finite number or lies before the record is not set (0, so that it is
// detected again); an end past the record is the record's end; a start at or past the record's end is not
// set; and when both are set and the end is not after the start, neither is (both are detected again).
// `note` says what was changed, in the program's words ("" when nothing was).
struct ThrustTimes {
    double start = 0;
    double end = 0;
    std::string note;
};
ThrustTimes CheckThrustTimes(double start, double end, double recordDuration);

// The stages of the thrust computation, in the order Recalculate runs them. A change names the stages it
// needs, e.g. Stages::All for "Пересчитать" or Stage::Prepare | Stage::DetectLevels | Stage::Convert for
// a new step.
enum class Stage : unsigned {
    Prepare = 1,      // the frequency series from the source at the step, smoothed, with its extremes
    DetectTimes = 2,  // start and end of thrust (with Prepare)
    DetectLevels = 4, // the rest lines (with Prepare); with Convert, the rest thrusts from them
    Compensate = 8,   // the zero offset of the mounting
    Convert = 16,     // thrust and net thrust from the frequencies
};

class Stages {
public:
    constexpr Stages() = default;
    constexpr Stages(Stage s) : bits_(static_cast<unsigned>(s)) {}
    constexpr bool has(Stage s) const { return (bits_ & static_cast<unsigned>(s)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr Stages operator|(Stages o) const { return Stages(bits_ | o.bits_); }
    constexpr bool operator==(const Stages&) const = default;
    static const Stages All;

private:
    constexpr explicit Stages(unsigned bits) : bits_(bits) {}
    unsigned bits_ = 0;
};
constexpr Stages operator|(Stage a, Stage b)
{
    return Stages(a) | Stages(b);
}
inline constexpr Stages Stages::All =
    Stage::Prepare | Stage::DetectTimes | Stage::DetectLevels | Stage::Compensate | Stage::Convert;

// The thrust computation over the analysis state: builds the frequency series from the current source,
// smooths it, finds start, end and rest lines, converts to thrust through the active sensor, corrects
// for the weights and computes the results. It holds references only; opening sources and projects is
// the workspace's (workspace/Workspace.h).
//
// Threads: the stages may run on a worker thread; while they run nobody else touches the state, the
// sensor library, the record or the WAV buffer. The only shared values are in `progress`: the stage and
// fraction the window's timer polls, and `cancel`, which a stage checks between chunks of work. A stage
// that stops on `cancel` leaves the state partly updated and says so (Recalculate returns false): a
// caller that must keep the previous analysis computes on a copy of the state and swaps it in on success.
//
// Every index derived from a time is limited to the series; no stage reads outside a series whatever the
// times, steps or point counts in the state.
class ThrustAnalysis {
public:
    ThrustAnalysis(AnalysisState& state, SensorLibrary& sensors, TFreq& freq, TWave& wave,
                   Progress& progress);

    // Longest analysis series built from a frequency record; a step that would make more points is
    // refused with selva::Error ("Слишком много точек анализа ...") before anything is allocated.
    static constexpr std::uint32_t MaxFrequencyPoints = static_cast<std::uint32_t>(MaxAnalysisPoints);

    // Runs the stages a change needs, then ComputeResults. False when the computation was cancelled
    // through `progress.cancel` (a cancel set before the call cancels it at once; the flag is cleared at
    // the end, so whoever starts a computation clears a stale one first). Stage and fraction are
    // 0 afterwards. selva::Error from the source propagates; so does a lack of memory, as selva::Error in
    // words rather than std::bad_alloc.
    bool Recalculate(Stages stages);

    // The single stages report their stage number through `progress` while they run and set it back to 0
    // when they end.
    //
    // Builds FreqData/FreqError from the source at AnalysisStep, filters, finds the extremes and, as asked,
    // the times and the rest lines, and the mean frequency. False with an empty series when there is no
    // source, and when cancelled (see cancelled()).
    bool PrepareFrequency(bool detectTimes, bool detectLevels);
    void CompensateZero();
    void ConvertToThrust(bool recalcRest);
    void ComputeResults();

    // Thrust of the active sensor at frequency + ZeroOffset, and the inverse through ActiveCalibTable.
    double ThrustAt(double frequency);
    double FrequencyAt(double thrust);

    // Centred moving average over FilterWindow points in place (see the .cpp for the window's extent).
    void MovingAverage(std::vector<double>& series) const;
    // Extremes over the chart's time window (ViewFrom..ViewTo); both 0 for an empty series or window.
    SeriesExtremes SeriesMinMax(const std::vector<double>& series) const;
    // The mean of the first min(n, 3) points is below the mean of all; true for an empty series.
    bool StartsBelowMean(const std::vector<double>& series) const;
    // Start, end and rest lines of a firing on a frequency series, at AnalysisStep.
    ThrustDetection DetectThrust(const std::vector<double>& series) const;

    // The last stage stopped because `progress.cancel` was set.
    bool cancelled() const { return cancelled_; }

private:
    void resampleRecord();
    bool checkCancel(std::size_t i);
    std::size_t pointCount(const std::vector<double>& series) const;

    AnalysisState& state_;
    SensorLibrary& sensors_;
    TFreq& freq_;
    TWave& wave_;
    Progress& progress_;
    bool cancelled_ = false;
    mutable std::vector<double> prefix_;  // running sums for DetectThrust's rest-level search
    mutable std::vector<double> scratch_; // the unsmoothed series while MovingAverage runs
};

} // namespace selva
