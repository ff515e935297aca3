#pragma once

#include <cstdint>

namespace selva {

// How audio moves through SoundRing in buffers of a fifth of a second: the sizes a capture or a playback
// sets up from its format and the wave length (the ring's length in seconds, edtWaveLen).
//
// At any time QueuedBuffers() buffers are with the device; the ring holds HeaderCount buffers' worth of
// seconds, so the analysis and the drawing read finished buffers while the device fills the others.
struct CaptureLayout {
    static constexpr double BufferSeconds = 0.2;
    static constexpr int MaxHeaders = 255;

    std::uint16_t Channels = 0;
    std::uint32_t SampleRate = 0;
    std::uint16_t BitsPerSample = 0;
    std::int32_t BufferFrames = 0; // trunc(rate * 0.2)
    std::int32_t BufferBytes = 0;  // (bits div 8) * channels * buffer frames
    int HeaderCount = 0;           // trunc(wave length / 0.2), at most 255
    std::int32_t RingFrames = 0;   // trunc(rate * wave length)
    std::int64_t RingBytes = 0;

    static CaptureLayout For(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
                             double waveLenSeconds);

    std::uint32_t FrameSize() const { return (std::uint32_t{Channels} * BitsPerSample) / 8; }
    std::uint32_t BytesPerSecond() const { return SampleRate * FrameSize(); }
    // Header count - 2: the buffers with the device at any time (none below three headers).
    int QueuedBuffers() const { return HeaderCount > 2 ? HeaderCount - 2 : 0; }
    // Size of the buffer that starts at ring byte `offset`: a whole buffer, or the rest of the ring when
    // less remains (the last, shorter buffer of a wave length that is not a multiple of 0.2 s).
    std::int32_t ChunkBytesAt(std::int64_t offset) const;
};

// Headers for a wave length: trunc(seconds / 0.2) (a wave length typed as 0.6 counts as three fifths,
// not 2.9999...), at most 255.
int HeaderCountFor(double waveLenSeconds);

// The wave lengths the window accepts: 0.6 s (three headers, one of them queued) to 51 s (255 headers).
inline constexpr double MinWaveLen = 0.6;
inline constexpr double MaxWaveLen = 51.0;
bool WaveLenAcceptable(double seconds);

// FFT lengths the spectrum accepts: the powers of two from 2 to 32768.
bool SpectrumLengthAcceptable(std::int64_t n);

} // namespace selva
