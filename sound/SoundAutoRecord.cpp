#include "sound/SoundAutoRecord.h"

#include "common/Format.h"
#include "sound/SoundRing.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace selva {

void SoundAutoRecord::Start()
{
    state_ = Rest;
    restStarted_ = false;
    restStart_ = 0;
}

void SoundAutoRecord::Stop()
{
    state_ = Off;
}

bool SoundAutoRecord::held(std::int64_t q) const
{
    return q >= validFrom_ && q < markValues_ && markValues_ - q <= markLength_;
}

float SoundAutoRecord::valueAt(const SoundRingState& ring, std::int64_t q) const
{
    const std::int64_t back = markValues_ - q; // 1 for the latest value
    const auto index =
        static_cast<std::int32_t>(((markIndex_ - back) % markLength_ + markLength_) % markLength_);
    return ring.FreqRing[std::size_t(index)].load(std::memory_order_relaxed);
}

SoundAutoRecord::Event SoundAutoRecord::Tick(double now, const SoundRingState& ring,
                                             const TAutoRecordBlock& t)
{
    Event event;
    if (state_ == Off)
        return event;
    const SoundRingState::AnalysisMark mark = ring.ReadAnalysisMark();
    markValues_ = mark.values;
    markIndex_ = mark.index;
    markLength_ = mark.length;
    validFrom_ = mark.firstValue;
    if (markLength_ <= 0)
        return event;
    const double accuracy = ring.Accuracy.load(std::memory_order_relaxed);

    switch (state_) {
    case Rest: {
        if (!restStarted_) {
            restStarted_ = true;
            restStart_ = now;
            return event;
        }
        if (now - restStart_ < double(t.deadTime))
            return event;
        // The latest values of the rest time; fewer when the ring holds fewer (a display window shorter
        // than the rest time, or a capture started just now). None yet: wait for them.
        const double wanted = accuracy > 0 ? double(roundHalfEven(widenSingle(t.deadTime) / accuracy)) : 0.0;
        const std::int64_t available = std::min<std::int64_t>(mark.values - validFrom_, markLength_);
        const auto count =
            static_cast<std::int64_t>(std::min<double>(std::max(wanted, 1.0), double(available)));
        if (count <= 0)
            return event;
        double sum = 0;
        for (std::int64_t q = mark.values - count; q < mark.values; ++q)
            sum += valueAt(ring, q);
        restLine_ = sum / double(count);
        state_ = Waiting;
        scan_ = mark.values;
        event.kind = Event::RestLineMeasured;
        event.restLine = restLine_;
        return event;
    }
    case Waiting: {
        const std::int64_t from = std::max({scan_, mark.values - markLength_, validFrom_});
        scan_ = mark.values;
        std::int64_t found = -1;
        for (std::int64_t q = from; q < mark.values; ++q) {
            if (restLine_ - valueAt(ring, q) >= double(t.freqUp)) {
                found = q;
                break;
            }
        }
        if (found < 0)
            return event;
        // Back to the nearest value that is not below the rest line (the oldest held value when every one
        // before the fall is below it).
        std::int64_t start = found;
        while (held(start - 1) && valueAt(ring, start) < restLine_)
            --start;

        // The value `start` covers the W frames that end (mark.values - start - 1) values before the
        // analysis frame; the recording begins where it begins.
        const std::int64_t valuesBack = mark.values - start;
        const std::int64_t w = ring.FramesPerValue();
        const std::int64_t arrived = ring.ArrivedFrames.load(std::memory_order_acquire);
        const std::int64_t margin = static_cast<std::int64_t>(WriterMargin * ring.SampleRate);
        const std::int64_t oldest = std::max<std::int64_t>(0, arrived - ring.ReadableFrames() + margin);
        const std::int64_t startFrame = std::max(mark.frames - valuesBack * w, oldest);
        // Pre-roll: at most the guard interval, and never more than the ring still holds before the start.
        const std::int64_t guard = roundHalfEven(widenSingle(t.bufLen) * ring.SampleRate);
        const std::int64_t preRoll =
            std::clamp<std::int64_t>(startFrame - oldest, 0, std::max<std::int64_t>(guard, 0));
        state_ = Recording;
        scan_ = found;
        event.kind = Event::StartOfThrust;
        event.restLine = restLine_;
        event.startFrame = startFrame;
        event.writeFrame = startFrame - preRoll;
        return event;
    }
    case Recording: {
        const std::int64_t from = std::max({scan_, mark.values - markLength_, validFrom_});
        if (from >= mark.values)
            return event;
        scan_ = mark.values;
        for (std::int64_t q = from; q < mark.values; ++q)
            if (restLine_ - valueAt(ring, q) >= double(t.freqEnd))
                return event; // still burning
        event.kind = Event::EndOfThrust;
        event.restLine = restLine_;
        return event;
    }
    case Off:
        break;
    }
    return event;
}

} // namespace selva
