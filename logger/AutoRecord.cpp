#include "logger/AutoRecord.h"

#include "common/Format.h"

#include <algorithm>
#include <cmath>

namespace selva {

ReadingWindow::ReadingWindow(std::int32_t length)
{
    setLength(length);
}

void ReadingWindow::setLength(std::int32_t length)
{
    length = std::max<std::int32_t>(length, 1);
    if (length == this->length())
        return;
    const std::int64_t keep = std::min<std::int64_t>(held_, length);
    std::vector<float> slots(static_cast<std::size_t>(length), 0.0f);
    for (std::int64_t p = count_ - keep; p < count_; ++p)
        slots[static_cast<std::size_t>(p % length)] = at(p);
    slots_ = std::move(slots);
    held_ = keep;
}

void ReadingWindow::push(float reading)
{
    slots_[static_cast<std::size_t>(count_ % length())] = reading;
    ++count_;
    held_ = std::min<std::int64_t>(held_ + 1, length());
}

void ReadingWindow::clear()
{
    std::fill(slots_.begin(), slots_.end(), 0.0f);
    count_ = 0;
    held_ = 0;
}

AutoRecordCounts AutoRecordCounts::from(const TAutoRecordBlock& block, double step, double refresh)
{
    // Singles from the records come in as the decimals a person typed (2 / 0.01 is 200, not 199.99...).
    AutoRecordCounts c;
    const auto count = [step](float seconds) {
        return std::max<std::int64_t>(0, roundHalfEven(widenSingle(seconds) / step));
    };
    c.excess = block.freqUp;
    c.band = block.freqEnd;
    c.rest = count(block.deadTime);
    c.end = count(block.endTime);
    c.guard = count(block.bufLen);
    c.refresh = std::max<std::int64_t>(0, roundHalfEven(refresh / step));
    return c;
}

const char* autoStateText(AutoState state)
{
    switch (state) {
    case AutoState::RestLine:
        return "Замер линии покоя";
    case AutoState::WaitStart:
        return "Ожидание старта";
    case AutoState::Started:
        return "Старт зафиксирован";
    case AutoState::WaitEnd:
        return "Ожидание окончание тяги";
    case AutoState::Guard:
        return "Защитный интервал";
    case AutoState::Idle:
        break;
    }
    return "";
}

int autoStateImage(AutoState state)
{
    static constexpr int kImages[] = {1, 0, 2, 3, 3, 2};
    return kImages[static_cast<int>(state)];
}

void AutoRecordMachine::start(const ReadingWindow& window)
{
    restStart_ = window.count() - 1;
    state_ = AutoState::RestLine;
}

AutoRecordMachine::Step AutoRecordMachine::tick(const ReadingWindow& window, std::int64_t last,
                                                const AutoRecordCounts& c)
{
    Step step;
    if (last < 0)
        return step;
    const std::int64_t oldest = window.oldest();
    const double mean = restLine_;
    switch (state_) {
    case AutoState::Idle:
        break;

    case AutoState::RestLine: {
        if (last - restStart_ < c.rest)
            break;
        // The rest line averages the readings ending at `last`, as many as Td holds (at least one, at most
        // what the window keeps).
        const std::int64_t n = std::clamp<std::int64_t>(c.rest, 1, last - oldest + 1);
        double sum = 0;
        for (std::int64_t p = last - n + 1; p <= last; ++p)
            sum += window.at(p);
        restLine_ = static_cast<float>(sum / static_cast<double>(n));
        state_ = AutoState::WaitStart;
        scan_ = last;
        break;
    }

    case AutoState::WaitStart: {
        std::int64_t trigger = -1;
        for (std::int64_t p = std::max(scan_, oldest); p < last; ++p) {
            if (std::fabs(window.at(p) - mean) > c.excess) {
                trigger = p;
                break;
            }
        }
        scan_ = last;
        if (trigger < 0)
            break;
        // The start is the last reading before the trigger that was still on the rest line or on its other
        // side; the walk goes back at most one window length.
        const bool high = window.at(trigger) > mean;
        const std::int64_t limit = std::max(oldest, trigger - window.length());
        std::int64_t start = trigger;
        for (std::int64_t p = trigger - 1; p >= limit; --p) {
            start = p;
            const double v = window.at(p);
            if (high ? v <= mean : v >= mean)
                break;
        }
        trigger_ = trigger;
        start_ = start;
        step.startRecording = true;
        step.writeFrom = std::max(start - c.guard, oldest);
        lastWritten_ = last;
        state_ = AutoState::Started;
        break;
    }

    case AutoState::Started:
        if (last - lastWritten_ >= c.end)
            state_ = AutoState::WaitEnd;
        break;

    case AutoState::WaitEnd: {
        const std::int64_t n = std::min<std::int64_t>({c.end, window.length(), last - oldest});
        bool away = false;
        for (std::int64_t p = last - n; p < last && !away; ++p)
            away = std::fabs(window.at(p) - mean) > c.band;
        if (away) {
            lastWritten_ = last;
            break;
        }
        findEnd(window, last, n, c);
        state_ = AutoState::Guard;
        break;
    }

    case AutoState::Guard:
        guardLeft_ -= last - scan_;
        scan_ = last;
        if (guardLeft_ < 1) {
            state_ = AutoState::Idle;
            step.finished = true;
        }
        break;
    }
    return step;
}

// The end of thrust: over the readings of the last Tc plus one refresh period, the extreme reading on the
// side farther from the rest line. The guard interval is counted from it, and the readings between it and
// `last` are already part of that count: the next ticks count only what arrives after `last`, so the
// recording always holds the whole guard interval after the end.
void AutoRecordMachine::findEnd(const ReadingWindow& window, std::int64_t last, std::int64_t n,
                                const AutoRecordCounts& c)
{
    const double mean = restLine_;
    const std::int64_t m =
        std::min<std::int64_t>({n + c.refresh, window.length(), last - window.oldest() + 1});
    double high = mean, low = mean;
    std::int64_t highAt = -1, lowAt = -1;
    // Newest first: on a tie the earlier reading, examined later, wins.
    for (std::int64_t p = last; p > last - m; --p) {
        const double v = window.at(p);
        if (v > mean && v >= high) {
            high = v;
            highAt = p;
        }
        if (v <= low) {
            low = v;
            lowAt = p;
        }
    }
    std::int64_t end = high - mean <= mean - low ? lowAt : highAt;
    if (end < 0)
        end = last;
    endReference_ = end;
    guardLeft_ = std::max<std::int64_t>(0, c.guard - (last - end));
    scan_ = last;
    lastWritten_ = last;
}

} // namespace selva
