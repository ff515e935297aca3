#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace selva {

// The capture rings of the sound subsystem: SoundRing holds the latest raw audio frames (interleaved as
// the device delivers them, or as read from a file during playback), FreqRing the latest live frequency
// values, one per accuracy interval.
//
// Threads:
// - UI thread, while no device owns the ring (DeviceOwned false): SetFormat, SetWaveLen, ResetPositions,
//   and the direct use of SetWindowLength and SetAccuracy.
// - UI thread at any time: SetWindowLength and SetAccuracy. While a device owns the ring they only post
//   the new display window or accuracy; the device thread applies it at the start of its next analysis
//   run (ApplyPendingSettings), so that the device thread is the only writer of FreqRingIndex and
//   FreqRingLength then. FreqRing never moves in memory (room for MaxFreqRingLength values).
// - Device thread (the audio callback): stores frames into SoundRing with StoreBytes, then publishes
//   them with AdvanceRecordFrame (release); runs AnalyseSoundBlock, which owns the analysis frame, the
//   previous sample and the last crossing, and publishes FreqRing values and the analysis mark.
// - Any other thread (the window's timers, the recording writer): reads ArrivedFrames and RecordFrame
//   (acquire), the frames before them through ReadRingBytes / ReadLatestSamples, which detect frames
//   overwritten during the read, FreqRingIndex (acquire), FreqRing values and the analysis mark.
//
// Frame counts that grow without wrapping (ArrivedFrames, AnalysedFrames, the values count of the
// mark) start at 0 when the positions are reset; the ring position of monotonic frame m is
// m mod RingFrames, so RecordFrame == ArrivedFrames mod RingFrames at every publication.
struct SoundRingState {
    static constexpr std::int32_t MaxFreqRingLength = 1 << 18;

    SoundRingState();

    // Format of the frames in SoundRing.
    std::uint16_t Channels = 1;
    std::uint32_t SampleRate = 44100;
    std::uint16_t BitsPerSample = 16;
    std::uint32_t FrameSize() const { return (std::uint32_t{Channels} * BitsPerSample) / 8; }

    // Raw frames: RingFrames * FrameSize() bytes. Bytes that another thread may read at the same time are
    // stored with StoreBytes.
    std::vector<unsigned char> SoundRing;
    std::int32_t RingFrames = 0;
    // Frame after the last frame that has arrived in SoundRing (written by the device thread).
    std::atomic<std::int32_t> RecordFrame{0};
    // Next frame AnalyseSoundBlock reads (device thread only).
    std::atomic<std::int32_t> AnalysisFrame{0};
    // Frames that have arrived since the positions were reset (device thread writes, release).
    std::atomic<std::int64_t> ArrivedFrames{0};
    // Frames AnalyseSoundBlock has consumed since the reset (device thread only).
    std::int64_t AnalysedFrames = 0;
    // How far past the record frame the device may be writing while nobody is told: one buffer while
    // capturing, the queued buffers during playback. Set by the UI thread before a device starts.
    std::int32_t WriteAheadFrames = 0;
    // Last sample value analysed, kept between runs; none yet after a reset.
    float PreviousSample = 0.0f;
    bool HavePreviousSample = false;
    // Time in seconds of the last crossing taken into a value, measured from the first frame of the
    // next run (normally negative or zero).
    float LastCrossing = 0.0f;
    // Whether LastCrossing is a crossing at all: not after the positions were reset, when the first
    // value measures from its own first crossing rather than from the first frame.
    bool HaveLastCrossing = false;

    // Latest frequency values; Hz, 1.0 for an interval with fewer than two crossings.
    std::unique_ptr<std::atomic<float>[]> FreqRing;
    std::atomic<std::int32_t> FreqRingLength{0};
    std::atomic<std::int32_t> FreqRingIndex{0};
    // Display window (edtWindow) and accuracy (edtAccur) in force, seconds.
    float WindowSeconds = 0.0f;
    std::atomic<double> Accuracy{0.1};

    // Set by the UI thread while a device thread writes into the rings (from before the device starts
    // until after it has stopped).
    std::atomic<bool> DeviceOwned{false};

    // Sets the frame format; resizes the ring for the current wave length when the byte size changes.
    void SetFormat(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample);
    // RingFrames = trunc(SampleRate * seconds); when the ring's byte size changes it is reallocated,
    // zero-filled and every position set to 0.
    void SetWaveLen(double seconds);
    // Record frame, analysis frame, the monotonic counts, previous sample and last crossing to 0 (start
    // of capture or playback).
    void ResetPositions();
    // FreqRing length = trunc(window / accuracy), at most MaxFreqRingLength; when it changes the values
    // are zeroed and the index set to 0. Posted while a device owns the ring (see above).
    void SetWindowLength(float windowSeconds);
    // Stores the accuracy and re-sizes FreqRing for the stored window; posted like SetWindowLength.
    void SetAccuracy(double seconds);
    // Device thread at a block boundary (and the UI thread when the device has stopped): puts a posted
    // window or accuracy into force.
    void ApplyPendingSettings();

    // Device thread: copies bytes into SoundRing at `offset` (the caller keeps within the ring).
    void StoreBytes(std::size_t offset, const unsigned char* bytes, std::size_t count);
    // Any thread: copies bytes out of SoundRing, whatever the device does meanwhile (a torn copy is for
    // the caller to detect by the arrived frames before and after).
    void LoadBytes(std::size_t offset, unsigned char* bytes, std::size_t count) const;

    // Device thread: the frames up to `frame` (exclusive, wrapped to the ring) have arrived; less than
    // a whole ring since the previous publication.
    void PublishRecordFrame(std::int32_t frame);
    // Device thread: advances the record frame by `frames`, wrapping at RingFrames.
    void AdvanceRecordFrame(std::int32_t frames);

    // Frames per live value: nearest(SampleRate * Accuracy), halves to even.
    std::int32_t FramesPerValue() const;

    // Frames behind the latest arrived frame that a reader may take while the device goes on writing.
    std::int32_t ReadableFrames() const
    {
        return RingFrames > WriteAheadFrames ? RingFrames - WriteAheadFrames : 0;
    }

    // Where the live analysis stands, read consistently by another thread: `values` counts the values
    // stored since the reset, the latest of them lies at FreqRing[index - 1] (wrapping at `length`),
    // and it ended at monotonic frame `frames`. FreqRing was last cleared (resized) when `firstValue`
    // values had been stored: the values before that are gone.
    struct AnalysisMark {
        std::int64_t values = 0;
        std::int64_t frames = 0;
        std::int32_t index = 0;
        std::int32_t length = 0;
        std::int64_t firstValue = 0;
    };
    AnalysisMark ReadAnalysisMark() const;
    // Device thread (or UI thread with no device): publishes the mark.
    void PublishAnalysisMark(std::int64_t values, std::int64_t frames, std::int32_t index,
                             std::int32_t length);

    // Values stored by AnalyseSoundBlock since the reset (device thread only).
    std::int64_t ValuesStored = 0;

private:
    void applyWindow(float windowSeconds, double accuracy);

    std::atomic<float> pendingWindow_{0.0f};
    std::atomic<double> pendingAccuracy_{0.1};
    std::atomic<std::uint32_t> pendingGeneration_{0};
    std::uint32_t appliedGeneration_ = 0;

    // The analysis mark behind a sequence count (odd while it is being written).
    std::atomic<std::uint32_t> markSeq_{0};
    std::atomic<std::int64_t> markValues_{0};
    std::atomic<std::int64_t> markFrames_{0};
    std::atomic<std::int32_t> markIndex_{0};
    std::atomic<std::int32_t> markLength_{0};
    std::atomic<std::int64_t> markFirstValue_{0};
    std::int64_t firstValue_ = 0;
};

// The live frequency analysis, run by the device thread after each audio buffer: measures the frames
// that arrived since its last run in whole accuracy intervals and appends one value per interval to
// FreqRing. `channel` 0 is the right channel ("Правый"), 1 the left. 8-bit samples are read as signed
// bytes here. Allocates nothing and takes no lock. Returns the number of values stored.
//
// Frames are consumed in whole intervals only: frames that do not fill an interval stay waiting for the
// next run, so the time base of the next run (the last crossing is shifted by the frames consumed)
// matches where it starts reading. Before the first crossing of a run, the time of the last crossing
// known is the stored last crossing; after a reset there is none, and the first value measures from its
// own first crossing (the first frame is no crossing). When more than a ring of frames waits (the
// analysis was off), the oldest are gone: the run starts a ring behind the latest frame afresh.
int AnalyseSoundBlock(SoundRingState& ring, int channel);

// Copies the bytes of the monotonic frames [first, first + count) out of the ring into `out`. False when
// any of them is not in the ring (not arrived yet, or older than ReadableFrames behind the latest) before
// or after the copy: the device may have overwritten them meanwhile, and `out` must not be used.
bool ReadRingFrames(const SoundRingState& ring, std::int64_t first, std::int32_t count, unsigned char* out);

// Samples of `channel` of the `n` frames that end `back` frames before the latest arrived frame (a
// negative `back` reaches past it), as numbers (8-bit samples unsigned unless `centre8`, which subtracts
// 128). Frames that are not in the ring (never arrived, not arrived yet, or beyond what the ring holds)
// read as 0. A read that the device overtook is tried again; false when three tries failed (the caller
// drops that drawing). `out` holds n values.
bool ReadLatestSamples(const SoundRingState& ring, int channel, std::int64_t back, int n, float* out,
                       bool centre8 = false);

} // namespace selva
