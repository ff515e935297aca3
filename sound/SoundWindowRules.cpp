#include "sound/SoundWindowRules.h"

#include "common/Format.h"
#include "sound/SoundRing.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace selva {

int FreqBand::trackMax() const
{
    return std::max(BandTop - width(), 0);
}

int FreqBand::trackPosition() const
{
    return trackMax() - lower;
}

void FreqBand::onTrack(int position, int trackMaximum)
{
    const std::int32_t w = width();
    lower = trackMaximum - position;
    upper = lower + w;
}

void SpecBand::onTrack(int position)
{
    const std::int32_t w = upper - lower;
    if (position + w > BandTop)
        position = BandTop - w;
    trackPosition = position;
    lower = position;
    upper = position + w;
}

void SpecBand::commitUpper()
{
    upper = std::min(upper, BandTop);
    if (upper <= lower)
        lower = 0;
    trackPosition = lower;
}

void SpecBand::commitLower()
{
    if (lower >= BandTop)
        lower = trackPosition;
    else
        trackPosition = lower;
    if (lower > upper)
        upper = BandTop;
}

std::string FormatReadout(double value, char decimalSeparator)
{
    if (value == 0 || !std::isfinite(value))
        return value == 0 ? "0" : formatGeneral(value, 15, decimalSeparator);
    const double a = std::fabs(value);
    const int decimals = a >= 10 ? 0 : a > 1 ? 1 : a > 0.1 ? 2 : a > 0.01 ? 3 : 4;
    std::string text = formatFixed(value, decimals, 0, decimalSeparator);
    text.erase(0, text.find_first_not_of(' '));
    if (text.size() > 1 && text[1] == decimalSeparator) {
        const auto end = text.find_last_not_of("0 ");
        text.erase(end + 1);
        if (!text.empty() && text.back() == decimalSeparator)
            text.pop_back();
    }
    return text;
}

int LiveMeanCount(double refresh, double accuracy, int ringLength)
{
    double n = accuracy > 0 ? double(roundHalfEven(std::min(refresh / accuracy, 1e9))) : 1.0;
    n = std::clamp(n, 1.0, 65535.0);
    return static_cast<int>(std::min(n, double(std::max(ringLength, 1))));
}

std::vector<float> LatestFreqValues(const SoundRingState& ring, int count)
{
    // Acquire: the values before the index have been stored; the length read first bounds the index.
    const std::int32_t length = ring.FreqRingLength.load(std::memory_order_acquire);
    std::int32_t index = ring.FreqRingIndex.load(std::memory_order_acquire);
    std::vector<float> values;
    if (length <= 0)
        return values;
    if (index > length || index < 0)
        index = 0;
    count = std::clamp(count, 0, length);
    values.resize(std::size_t(count));
    for (int k = 0; k < count; ++k) {
        const std::int32_t i = ((index - count + k) % length + length) % length;
        values[std::size_t(k)] = ring.FreqRing[std::size_t(i)].load(std::memory_order_relaxed);
    }
    return values;
}

double LiveMean(const SoundRingState& ring, int count)
{
    const std::vector<float> values = LatestFreqValues(ring, count);
    if (values.empty())
        return 0;
    double sum = 0;
    for (float v : values)
        sum += v;
    return double(roundHalfEven(sum / double(values.size()) * 10.0)) / 10.0;
}

std::vector<PlotPoint> FreqGraphPoints(const std::vector<float>& values, const PlotRect& plot,
                                       double perWindow, double lower, double upper)
{
    std::vector<PlotPoint> points;
    if (!(upper > lower) || !(perWindow > 0) || plot.width() <= 0 || plot.height() <= 0)
        return points;
    const double step = double(plot.width() - 1) / perWindow;
    const double scale = double(plot.height()) / (upper - lower);
    points.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        // Far outside the plot is as good as just outside it, and keeps the numbers in range.
        const double y = std::clamp((double(values[i]) - lower) * scale, -1e6, 1e6);
        points.push_back(
            {plot.left + int(roundHalfEven(double(i) * step)), plot.bottom - int(roundHalfEven(y))});
    }
    return points;
}

bool MouseFrequency(int y, const PlotRect& plot, double lower, double upper, double& frequency)
{
    if (y < plot.top || y > plot.bottom || plot.height() <= 0)
        return false;
    frequency = lower + double(plot.bottom - y) * (upper - lower) / double(plot.height());
    return true;
}

SignalView SignalFrames(double delayMs, double windowMs, std::uint32_t sampleRate, std::int32_t ringFrames)
{
    SignalView v;
    v.back = roundHalfEven(delayMs / 1000.0 * sampleRate);
    const double frames = std::clamp(windowMs / 1000.0 * sampleRate, 1.0, double(std::max(ringFrames, 1)));
    v.frames = static_cast<int>(roundHalfEven(frames));
    return v;
}

void AutoBounds(const std::vector<float>& samples, double multiplier, double& low, double& high)
{
    if (samples.empty()) {
        low = -1000, high = 1000;
        return;
    }
    const auto [mn, mx] = std::minmax_element(samples.begin(), samples.end());
    low = std::min(*mn * multiplier, *mx * multiplier);
    high = std::max(*mn * multiplier, *mx * multiplier);
    if (high - low < 1e-9)
        low -= 1, high += 1;
}

int SignalY(double sample, double multiplier, double offset, double low, double high, const PlotRect& plot)
{
    const double v = sample * multiplier + offset;
    const double y = double(plot.bottom) - (v - low) * double(plot.height()) / (high - low);
    return static_cast<int>(roundHalfEven(std::clamp(y, -1e6, 1e6)));
}

bool RefreshAcceptable(double seconds)
{
    return seconds >= 0.01 && seconds <= 3600;
}

bool AccuracyAcceptable(double seconds)
{
    return seconds > 0 && seconds <= 10;
}

bool WindowAcceptable(double seconds)
{
    return seconds > 0 && seconds <= 1e6;
}

bool DivisionsAcceptable(std::int64_t n)
{
    return n >= 1 && n <= 100;
}

int AutoStatePicture(int state)
{
    switch (state) {
    case 1:
        return 0;
    case 2:
        return 2;
    case 4:
        return 3;
    default:
        return 1;
    }
}

} // namespace selva
