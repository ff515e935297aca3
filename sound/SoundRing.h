#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace selva {

// The capture rings of the sound subsystem: SoundRing holds the latest raw audio frames (interleaved as
// the device delivers them, or as read from a file during playback), FreqRing the latest live frequency
// values, one per accuracy interval.
//
// Threads:
// - UI thread, while capture and playback are stopped: SetFormat, SetWaveLen, ResetPositions.
// - UI thread at any time: SetWindowLength, SetAccuracy (FreqRing never moves in memory, see below).
// - Device thread (the audio callback): writes frames into SoundRing after the record frame, then
//   publishes the new record frame with PublishRecordFrame (release); runs AnalyseSoundBlock, which owns
//   the analysis frame, the previous sample and the last crossing, and publishes FreqRing values.
// - UI thread (drawing timer): reads RecordFrame (acquire), the frames before it, FreqRingIndex
//   (acquire) and FreqRing values. A drawing may show a value that is being replaced, as intended.
//
// FreqRing is allocated once with room for MaxFreqRingLength values; its length is a number within
// that, so changing the display window or the accuracy never reallocates under the device thread.
struct SoundRingState {
    static constexpr std::int32_t MaxFreqRingLength = 1 << 18;

    SoundRingState();

    // Format of the frames in SoundRing.
    std::uint16_t Channels = 1;
    std::uint32_t SampleRate = 44100;
    std::uint16_t BitsPerSample = 16;
    std::uint32_t FrameSize() const { return (std::uint32_t{Channels} * BitsPerSample) / 8; }

    // Raw frames: RingFrames * FrameSize() bytes.
    std::vector<unsigned char> SoundRing;
    std::int32_t RingFrames = 0;
    // Frame after the last frame that has arrived in SoundRing (written by the device thread).
    std::atomic<std::int32_t> RecordFrame{0};
    // Next frame AnalyseSoundBlock reads (device thread only).
    std::atomic<std::int32_t> AnalysisFrame{0};
    // Last sample value analysed, kept between runs.
    float PreviousSample = 0.0f;
    // Time in seconds of the last crossing taken into a value, measured from the first frame of the
    // next run (normally negative or zero).
    float LastCrossing = 0.0f;

    // Latest frequency values; Hz, 1.0 for an interval with fewer than two crossings.
    std::unique_ptr<std::atomic<float>[]> FreqRing;
    std::atomic<std::int32_t> FreqRingLength{0};
    std::atomic<std::int32_t> FreqRingIndex{0};
    // Display window (edtWindow) and accuracy (edtAccur), seconds.
    float WindowSeconds = 0.0f;
    std::atomic<double> Accuracy{0.1};

    // Sets the frame format; resizes the ring for the current wave length when the byte size changes.
    void SetFormat(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample);
    // RingFrames = trunc(SampleRate * seconds); when the ring's byte size changes it is reallocated,
    // zero-filled and every position set to 0.
    void SetWaveLen(double seconds);
    // Record frame, analysis frame, previous sample and last crossing to 0 (start of capture/playback).
    void ResetPositions();
    // FreqRing length = trunc(window / accuracy), at most MaxFreqRingLength; when it changes the values
    // are zeroed and the index set to 0.
    void SetWindowLength(float windowSeconds);
    // Stores the accuracy and re-sizes FreqRing for the stored window.
    void SetAccuracy(double seconds);

    // Device thread: the frames up to `frame` (exclusive, wrapped to the ring) have arrived.
    void PublishRecordFrame(std::int32_t frame) { RecordFrame.store(frame, std::memory_order_release); }
    // Device thread: advances the record frame by `frames`, wrapping at RingFrames.
    void AdvanceRecordFrame(std::int32_t frames);

    // Frames per live value: nearest(SampleRate * Accuracy), halves to even.
    std::int32_t FramesPerValue() const;
};

// The live frequency analysis, run by the device thread after each audio buffer: measures the frames
// that arrived since its last run in whole accuracy intervals and appends one value per interval to
// FreqRing. `channel` 0 is the right channel ("Правый"), 1 the left. 8-bit samples are read as signed
// bytes here. Allocates nothing and takes no lock. Returns the number of values stored.
//
// Frames are consumed in whole intervals only: frames that do not fill an interval stay waiting for the
// next run, so the time base of the next run (the last crossing is shifted by the frames consumed)
// matches where it starts reading. Before the first crossing of a run, the time of the last crossing
// known is the stored last crossing.
int AnalyseSoundBlock(SoundRingState& ring, int channel);

} // namespace selva
