#include "sound/SoundRing.h"

#include "common/Format.h"
#include "sound/WaveFrequency.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace selva {

SoundRingState::SoundRingState() : FreqRing(new std::atomic<float>[MaxFreqRingLength])
{
    for (std::int32_t i = 0; i < MaxFreqRingLength; ++i)
        FreqRing[i].store(0.0f, std::memory_order_relaxed);
}

void SoundRingState::SetFormat(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample)
{
    const double seconds = SampleRate ? double(RingFrames) / double(SampleRate) : 0.0;
    Channels = channels;
    SampleRate = sampleRate;
    BitsPerSample = bitsPerSample;
    SetWaveLen(seconds);
}

void SoundRingState::SetWaveLen(double seconds)
{
    const double frames = std::trunc(double(SampleRate) * seconds);
    const std::int32_t ringFrames = frames > 0.0 && frames < 2.0e9 ? static_cast<std::int32_t>(frames) : 0;
    const std::size_t bytes = static_cast<std::size_t>(ringFrames) * FrameSize();
    RingFrames = ringFrames;
    if (bytes != SoundRing.size()) {
        SoundRing.assign(bytes, 0);
        ResetPositions();
    }
}

void SoundRingState::ResetPositions()
{
    // No device runs: relaxed stores; the device thread that starts next is started after them.
    RecordFrame.store(0, std::memory_order_relaxed);
    AnalysisFrame.store(0, std::memory_order_relaxed);
    ArrivedFrames.store(0, std::memory_order_relaxed);
    AnalysedFrames = 0;
    firstValue_ = 0;
    PreviousSample = 0.0f;
    HavePreviousSample = false;
    LastCrossing = 0.0f;
    HaveLastCrossing = false;
    PublishAnalysisMark(ValuesStored = 0, 0, FreqRingIndex.load(std::memory_order_relaxed),
                        FreqRingLength.load(std::memory_order_relaxed));
}

void SoundRingState::applyWindow(float windowSeconds, double accuracy)
{
    WindowSeconds = windowSeconds;
    Accuracy.store(accuracy, std::memory_order_relaxed);
    const double ratio = accuracy > 0.0 ? std::trunc(double(windowSeconds) / accuracy) : 0.0;
    const std::int32_t length =
        ratio > 0.0 ? static_cast<std::int32_t>(std::min(ratio, double(MaxFreqRingLength))) : 0;
    if (length != FreqRingLength.load(std::memory_order_relaxed)) {
        // Values are atomics: a drawing that reads one while it is cleared sees either value.
        for (std::int32_t i = 0; i < length; ++i)
            FreqRing[i].store(0.0f, std::memory_order_relaxed);
        FreqRingIndex.store(0, std::memory_order_release);
        // Release: a reader that sees the new length also sees the cleared values and index.
        FreqRingLength.store(length, std::memory_order_release);
        firstValue_ = ValuesStored;
        PublishAnalysisMark(ValuesStored, AnalysedFrames, 0, length);
    }
}

void SoundRingState::SetWindowLength(float windowSeconds)
{
    // Only this thread writes the wanted values; the device thread takes both when it sees the new
    // generation (release here, acquire there).
    pendingWindow_.store(windowSeconds, std::memory_order_relaxed);
    pendingGeneration_.fetch_add(1, std::memory_order_release);
    if (!DeviceOwned.load(std::memory_order_relaxed))
        ApplyPendingSettings();
}

void SoundRingState::SetAccuracy(double seconds)
{
    pendingAccuracy_.store(seconds, std::memory_order_relaxed);
    pendingGeneration_.fetch_add(1, std::memory_order_release);
    if (!DeviceOwned.load(std::memory_order_relaxed))
        ApplyPendingSettings();
}

void SoundRingState::ApplyPendingSettings()
{
    const std::uint32_t generation = pendingGeneration_.load(std::memory_order_acquire);
    if (generation == appliedGeneration_)
        return;
    appliedGeneration_ = generation;
    applyWindow(pendingWindow_.load(std::memory_order_relaxed),
                pendingAccuracy_.load(std::memory_order_relaxed));
}

void SoundRingState::StoreBytes(std::size_t offset, const unsigned char* bytes, std::size_t count)
{
    // Release stores: a reader whose acquire load sees one of these bytes also sees the arrived count
    // published before it, so ReadRingFrames notices that its frames were being replaced.
    unsigned char* p = SoundRing.data() + offset;
    for (std::size_t i = 0; i < count; ++i)
        std::atomic_ref<unsigned char>(p[i]).store(bytes[i], std::memory_order_release);
}

void SoundRingState::LoadBytes(std::size_t offset, unsigned char* bytes, std::size_t count) const
{
    // Acquire loads (see StoreBytes); the arrived count read after them is ordered after them too.
    auto* p = const_cast<unsigned char*>(SoundRing.data()) + offset;
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = std::atomic_ref<unsigned char>(p[i]).load(std::memory_order_acquire);
}

void SoundRingState::PublishRecordFrame(std::int32_t frame)
{
    if (RingFrames <= 0)
        return;
    std::int64_t delta = std::int64_t{frame} - RecordFrame.load(std::memory_order_relaxed);
    if (delta < 0)
        delta += RingFrames;
    // The arrived count first: a reader that sees the new record frame sees it too.
    ArrivedFrames.store(ArrivedFrames.load(std::memory_order_relaxed) + delta, std::memory_order_release);
    RecordFrame.store(frame, std::memory_order_release);
}

void SoundRingState::AdvanceRecordFrame(std::int32_t frames)
{
    if (RingFrames <= 0 || frames <= 0)
        return;
    const std::int64_t next =
        (std::int64_t{RecordFrame.load(std::memory_order_relaxed)} + frames) % std::int64_t{RingFrames};
    ArrivedFrames.store(ArrivedFrames.load(std::memory_order_relaxed) + frames, std::memory_order_release);
    RecordFrame.store(static_cast<std::int32_t>(next), std::memory_order_release);
}

std::int32_t SoundRingState::FramesPerValue() const
{
    const double frames = double(SampleRate) * Accuracy.load(std::memory_order_relaxed);
    if (!(frames < 2.0e9))
        return 0;
    return static_cast<std::int32_t>(roundHalfEven(frames));
}

void SoundRingState::PublishAnalysisMark(std::int64_t values, std::int64_t frames, std::int32_t index,
                                         std::int32_t length)
{
    // A sequence count, odd while the fields change. The fields are stored with release so that none of
    // them is seen before the odd count; the final even count is a release too. A reader that sees any new
    // field therefore sees a count other than the one it started with.
    const std::uint32_t seq = markSeq_.load(std::memory_order_relaxed);
    markSeq_.store(seq + 1, std::memory_order_relaxed);
    markValues_.store(values, std::memory_order_release);
    markFrames_.store(frames, std::memory_order_release);
    markIndex_.store(index, std::memory_order_release);
    markLength_.store(length, std::memory_order_release);
    markFirstValue_.store(firstValue_, std::memory_order_release);
    markSeq_.store(seq + 2, std::memory_order_release);
}

SoundRingState::AnalysisMark SoundRingState::ReadAnalysisMark() const
{
    AnalysisMark mark;
    for (;;) {
        const std::uint32_t before = markSeq_.load(std::memory_order_acquire);
        // Acquire loads keep the second count load after them.
        mark.values = markValues_.load(std::memory_order_acquire);
        mark.frames = markFrames_.load(std::memory_order_acquire);
        mark.index = markIndex_.load(std::memory_order_acquire);
        mark.length = markLength_.load(std::memory_order_acquire);
        mark.firstValue = markFirstValue_.load(std::memory_order_acquire);
        const std::uint32_t after = markSeq_.load(std::memory_order_relaxed);
        if (before == after && (before & 1u) == 0)
            return mark;
    }
}

int AnalyseSoundBlock(SoundRingState& ring, int channel)
{
    // A block boundary: a display window or accuracy posted by the window takes effect here.
    ring.ApplyPendingSettings();
    const std::int32_t length = ring.FreqRingLength.load(std::memory_order_relaxed);
    std::int32_t index = ring.FreqRingIndex.load(std::memory_order_relaxed);
    if (index >= length)
        index = 0;

    const std::int32_t ringFrames = ring.RingFrames;
    const std::uint32_t frameSize = ring.FrameSize();
    // Acquire: the frames counted here have been stored.
    const std::int64_t arrived = ring.ArrivedFrames.load(std::memory_order_acquire);
    std::int64_t waiting = arrived - ring.AnalysedFrames;
    if (ringFrames <= 0 || frameSize == 0 || waiting <= 0)
        return 0;
    if (waiting > ringFrames) {
        // The analysis was off for more than a ring: what it has not read is partly gone.
        ring.AnalysedFrames = arrived - ringFrames;
        ring.AnalysisFrame.store(static_cast<std::int32_t>(ring.AnalysedFrames % ringFrames),
                                 std::memory_order_relaxed);
        ring.LastCrossing = 0.0f;
        ring.HaveLastCrossing = false;
        ring.HavePreviousSample = false;
        waiting = ringFrames;
    }
    const auto n = static_cast<std::int32_t>(waiting);
    const double dt = 1.0 / double(ring.SampleRate);
    const std::int32_t w = ring.FramesPerValue();
    // An accuracy below one frame gives no interval to measure.
    if (w < 1 || n < w)
        return 0;

    const int bits = ring.BitsPerSample;
    const std::uint32_t offset =
        (channel >= 0 && channel < ring.Channels ? std::uint32_t(channel) : 0u) * (bits / 8u);
    std::int32_t frame = static_cast<std::int32_t>(ring.AnalysedFrames % ringFrames);
    // This thread is the ring's only writer: plain reads race with nothing.
    const unsigned char* bytes = ring.SoundRing.data();
    // 8-bit samples are signed bytes here; 24-bit samples are read as in files; other widths read as
    // nothing.
    const bool readable = SampleWidthReadable(bits);
    const auto sampleAt = [&](std::int32_t f) {
        return readable ? ReadSample(bytes + std::size_t(f) * frameSize + offset, bits, true) : 0;
    };

    // Mean of the waiting samples.
    double sum = 0.0;
    for (std::int32_t k = 0, f = frame; k < n; ++k) {
        sum += sampleAt(f);
        if (++f == ringFrames)
            f = 0;
    }
    const double m = sum / double(n);

    // Whole intervals only; the frames of an unfinished interval wait for the next run.
    const std::int32_t consumed = (n / w) * w;
    double previous = ring.PreviousSample;
    double last = ring.LastCrossing;
    double t = last;
    bool haveLast = ring.HaveLastCrossing;
    std::int32_t crossings = 1;
    std::int32_t j = 0;
    int stored = 0;
    for (std::int32_t k = 0; k < consumed; ++k) {
        const double s = sampleAt(frame);
        if (++frame == ringFrames)
            frame = 0;
        bool crossed = false;
        if (!ring.HavePreviousSample) {
            ring.HavePreviousSample = true; // the first sample since the start has nothing to cross from
        } else if ((previous > m && s < m) || (previous < m && s > m)) {
            t = (double(k) - (s - m) / (s - previous)) * dt;
            crossed = true;
        } else if (previous == m) {
            t = double(k - 1) * dt; // the previous sample, lying on the mean, is the crossing
            crossed = true;
        }
        if (crossed) {
            if (haveLast) {
                ++crossings;
            } else {
                // The first crossing since the start: the values measure from here.
                last = t;
                haveLast = true;
            }
        }
        previous = static_cast<float>(s);
        if (++j == w) {
            j = 0;
            const double value =
                crossings > 2 && t != last ? 1.0 / (2.0 * (t - last) / double(crossings - 1)) : 1.0;
            if (length > 0) {
                ring.FreqRing[index].store(static_cast<float>(value), std::memory_order_relaxed);
                if (++index >= length)
                    index = 0;
                // Release: a reader that sees the new index sees the value before it.
                ring.FreqRingIndex.store(index, std::memory_order_release);
            }
            ++stored;
            last = t;
            crossings = 1;
        }
    }
    ring.AnalysisFrame.store(frame, std::memory_order_relaxed);
    ring.AnalysedFrames += consumed;
    ring.ValuesStored += length > 0 ? stored : 0;
    ring.PreviousSample = static_cast<float>(previous);
    ring.HaveLastCrossing = haveLast;
    // The next run measures from the frame where it starts.
    ring.LastCrossing = static_cast<float>(last - double(consumed) * dt);
    ring.PublishAnalysisMark(ring.ValuesStored, ring.AnalysedFrames, index, length);
    return stored;
}

bool ReadRingFrames(const SoundRingState& ring, std::int64_t first, std::int32_t count, unsigned char* out)
{
    const std::int32_t ringFrames = ring.RingFrames;
    const std::uint32_t frameSize = ring.FrameSize();
    if (count <= 0)
        return true;
    if (ringFrames <= 0 || frameSize == 0 || first < 0)
        return false;
    const auto inRing = [&](std::int64_t arrived) {
        return first + count <= arrived && first >= arrived - ring.ReadableFrames();
    };
    if (!inRing(ring.ArrivedFrames.load(std::memory_order_acquire)))
        return false;
    std::int64_t at = first % ringFrames;
    std::int64_t left = count;
    unsigned char* dst = out;
    while (left > 0) {
        const std::int64_t run = std::min<std::int64_t>(left, ringFrames - at);
        ring.LoadBytes(std::size_t(at) * frameSize, dst, std::size_t(run) * frameSize);
        dst += std::size_t(run) * frameSize;
        left -= run;
        at = 0;
    }
    // After the acquire loads of the bytes: the device's progress during the copy.
    return inRing(ring.ArrivedFrames.load(std::memory_order_relaxed));
}

bool ReadLatestSamples(const SoundRingState& ring, int channel, std::int64_t back, int n, float* out,
                       bool centre8)
{
    if (n <= 0)
        return true;
    std::fill(out, out + n, 0.0f);
    const std::int32_t ringFrames = ring.RingFrames;
    const std::uint32_t frameSize = ring.FrameSize();
    const int bits = ring.BitsPerSample;
    if (ringFrames < 1 || frameSize == 0 || ring.SoundRing.size() < std::size_t(ringFrames) * frameSize ||
        !SampleWidthReadable(bits))
        return true;
    const std::uint32_t width = std::uint32_t(bits) / 8u;
    const std::uint32_t offset =
        (channel >= 0 && channel < ring.Channels ? std::uint32_t(channel) : 0u) * width;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::int64_t arrived = ring.ArrivedFrames.load(std::memory_order_acquire);
        // Bound the frames to those the ring holds now: never before frame 0, never older than
        // ReadableFrames behind the latest, never after it.
        const std::int64_t end = arrived - back;
        const std::int64_t begin = end - n;
        const std::int64_t lo = std::max<std::int64_t>({begin, 0, arrived - ring.ReadableFrames()});
        const std::int64_t hi = std::min(end, arrived);
        for (std::int64_t m = lo; m < hi; ++m) {
            unsigned char sample[4] = {};
            ring.LoadBytes(std::size_t(m % ringFrames) * frameSize + offset, sample, width);
            const double v = ReadSample(sample, bits);
            out[m - begin] = static_cast<float>(bits == 8 && centre8 ? v - 128.0 : v);
        }
        const std::int64_t after = ring.ArrivedFrames.load(std::memory_order_relaxed);
        if (lo >= hi || lo >= after - ring.ReadableFrames())
            return true;
        std::fill(out, out + n, 0.0f);
    }
    return false;
}

} // namespace selva
