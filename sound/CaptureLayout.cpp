#include "sound/CaptureLayout.h"

#include <algorithm>
#include <cmath>

namespace selva {

namespace {
// Wave lengths come from a single-precision edit: 0.6 / 0.2 must count as 3 although it is 2.9999999999999996
// in doubles. A millionth of a buffer is far below anything the edit can express.
constexpr double kSlack = 1e-6;
} // namespace

int HeaderCountFor(double waveLenSeconds)
{
    if (!(waveLenSeconds > 0))
        return 0;
    const double count = std::trunc(waveLenSeconds / CaptureLayout::BufferSeconds + kSlack);
    return static_cast<int>(std::min(count, double(CaptureLayout::MaxHeaders)));
}

CaptureLayout CaptureLayout::For(std::uint16_t channels, std::uint32_t sampleRate,
                                 std::uint16_t bitsPerSample, double waveLenSeconds)
{
    CaptureLayout l;
    l.Channels = channels;
    l.SampleRate = sampleRate;
    l.BitsPerSample = bitsPerSample;
    l.BufferFrames = static_cast<std::int32_t>(std::trunc(double(sampleRate) * BufferSeconds));
    l.BufferBytes = static_cast<std::int32_t>((bitsPerSample / 8) * channels) * l.BufferFrames;
    l.HeaderCount = HeaderCountFor(waveLenSeconds);
    const double frames = waveLenSeconds > 0 ? std::trunc(double(sampleRate) * waveLenSeconds) : 0.0;
    l.RingFrames = frames < 2.0e9 ? static_cast<std::int32_t>(frames) : 0;
    l.RingBytes = std::int64_t{l.RingFrames} * l.FrameSize();
    return l;
}

std::int32_t CaptureLayout::ChunkBytesAt(std::int64_t offset) const
{
    if (offset < 0 || offset >= RingBytes)
        return 0;
    return static_cast<std::int32_t>(std::min<std::int64_t>(BufferBytes, RingBytes - offset));
}

bool WaveLenAcceptable(double seconds)
{
    return seconds >= MinWaveLen - kSlack && seconds <= MaxWaveLen + kSlack;
}

bool SpectrumLengthAcceptable(std::int64_t n)
{
    return n >= 2 && n <= 32768 && (n & (n - 1)) == 0;
}

} // namespace selva
