#include "sound/SoundRing.h"

#include "common/Format.h"
#include "sound/WaveFrequency.h"

#include <algorithm>
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
        RecordFrame.store(0, std::memory_order_relaxed);
        AnalysisFrame.store(0, std::memory_order_relaxed);
    }
}

void SoundRingState::ResetPositions()
{
    RecordFrame.store(0, std::memory_order_relaxed);
    AnalysisFrame.store(0, std::memory_order_relaxed);
    PreviousSample = 0.0f;
    LastCrossing = 0.0f;
}

void SoundRingState::SetWindowLength(float windowSeconds)
{
    WindowSeconds = windowSeconds;
    const double accuracy = Accuracy.load(std::memory_order_relaxed);
    const double ratio = accuracy > 0.0 ? std::trunc(double(windowSeconds) / accuracy) : 0.0;
    const std::int32_t length =
        ratio > 0.0 ? static_cast<std::int32_t>(std::min(ratio, double(MaxFreqRingLength))) : 0;
    if (length != FreqRingLength.load(std::memory_order_relaxed)) {
        for (std::int32_t i = 0; i < length; ++i)
            FreqRing[i].store(0.0f, std::memory_order_relaxed);
        FreqRingIndex.store(0, std::memory_order_relaxed);
        FreqRingLength.store(length, std::memory_order_release);
    }
}

void SoundRingState::SetAccuracy(double seconds)
{
    Accuracy.store(seconds, std::memory_order_relaxed);
    SetWindowLength(WindowSeconds);
}

void SoundRingState::AdvanceRecordFrame(std::int32_t frames)
{
    if (RingFrames <= 0)
        return;
    const std::int64_t next =
        (std::int64_t{RecordFrame.load(std::memory_order_relaxed)} + frames) % std::int64_t{RingFrames};
    PublishRecordFrame(static_cast<std::int32_t>(next < 0 ? next + RingFrames : next));
}

std::int32_t SoundRingState::FramesPerValue() const
{
    const double frames = double(SampleRate) * Accuracy.load(std::memory_order_relaxed);
    if (!(frames < 2.0e9))
        return 0;
    return static_cast<std::int32_t>(roundHalfEven(frames));
}

int AnalyseSoundBlock(SoundRingState& ring, int channel)
{
    const std::int32_t length = ring.FreqRingLength.load(std::memory_order_acquire);
    std::int32_t index = ring.FreqRingIndex.load(std::memory_order_relaxed);
    if (index >= length)
        index = 0;

    const std::int32_t ringFrames = ring.RingFrames;
    const std::int32_t record = ring.RecordFrame.load(std::memory_order_acquire);
    std::int32_t frame = ring.AnalysisFrame.load(std::memory_order_relaxed);
    const std::uint32_t frameSize = ring.FrameSize();
    if (ringFrames <= 0 || frameSize == 0 || frame == record)
        return 0;
    std::int32_t n = record - frame;
    if (n < 0)
        n += ringFrames;
    const double dt = 1.0 / double(ring.SampleRate);
    const std::int32_t w = ring.FramesPerValue();
    // An accuracy below one frame gives no interval to measure.
    if (w < 1 || n < w)
        return 0;

    const int bits = ring.BitsPerSample;
    const std::uint32_t offset =
        (channel >= 0 && channel < ring.Channels ? std::uint32_t(channel) : 0u) * (bits / 8u);
    if (frame >= ringFrames || frame < 0)
        frame = 0;
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
    std::int32_t crossings = 1;
    std::int32_t j = 0;
    int stored = 0;
    for (std::int32_t k = 0; k < consumed; ++k) {
        const double s = sampleAt(frame);
        if (++frame == ringFrames)
            frame = 0;
        if ((previous > m && s < m) || (previous < m && s > m)) {
            t = (double(k) - (s - m) / (s - previous)) * dt;
            ++crossings;
        } else if (previous == m) {
            t = double(k - 1) * dt; // the previous sample, lying on the mean, is the crossing
            ++crossings;
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
                ring.FreqRingIndex.store(index, std::memory_order_release);
            }
            ++stored;
            last = t;
            crossings = 1;
        }
    }
    ring.AnalysisFrame.store(frame, std::memory_order_relaxed);
    ring.PreviousSample = static_cast<float>(previous);
    // The next run measures from the frame where it starts.
    ring.LastCrossing = static_cast<float>(last - double(consumed) * dt);
    return stored;
}

} // namespace selva
