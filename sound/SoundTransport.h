#pragma once

#include "sound/CaptureLayout.h"
#include "sound/SoundRing.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace selva {

class TWave;

// The buffers of a capture or a playback moving through SoundRing, whatever device delivers or takes the
// bytes: the header count, the queued buffers, the ring byte offset and the record frame, and the work
// done when a buffer is finished (advance the record frame, queue the next buffer, run the live analysis).
// The audio backends call CaptureArrived or PlaybackPull from their device thread with the bytes as the
// platform hands them over; a buffer is finished when its last byte has arrived (capture) or has been
// handed to the device (playback).
//
// Threads:
// - UI thread, while no device runs: PrepareCapture, PreparePlayback, Layout.
// - Device thread: CaptureArrived and PlaybackPull, the callbacks: they allocate nothing and take no
//   lock. A playback buffer that has gone to the device is refilled from the file by PlaybackRefill, which
//   the backend runs on the same thread a few times a second outside the callback (file reads take the
//   stream's lock); with header count - 2 buffers queued ahead a late refill is never heard.
// - UI thread at any time: the flags below (atomics); the device thread reads them.
// - Device thread writes, UI thread reads: EndOfFile, Drained.
// Files are never written here: a recording is appended by a writer of its own (RingDrain), so a slow
// disk never stalls capture.
class SoundTransport {
public:
    explicit SoundTransport(SoundRingState& ring);

    // Sets the ring for the format and wave length (reallocated and zero-filled when its size changes,
    // emptied in any case), resets every position and queues header count - 2 buffers.
    void PrepareCapture(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample,
                        double waveLenSeconds);
    // The same for playback of an open recording: the format is the file's, and the queued buffers are
    // filled from the start of its data. False when the recording cannot be rewound (nothing is queued).
    // The file must stay open, and be touched by nobody else, until the device has stopped.
    bool PreparePlayback(TWave& wave, double waveLenSeconds);

    const CaptureLayout& Layout() const { return layout_; }
    SoundRingState& Ring() { return ring_; }

    // Device thread: bytes captured, in device order; any count, not necessarily whole frames.
    void CaptureArrived(const unsigned char* bytes, std::size_t count);
    // Device thread: up to `max` bytes to play. Fewer (or none) once the buffers queued after the end of the
    // file are reached; Drained() is then true.
    std::size_t PlaybackPull(unsigned char* out, std::size_t max);
    // Device thread, outside the callback: reads the next pieces of the file into the buffers that have
    // gone to the device, and queues them (an empty one after the end of the file).
    void PlaybackRefill();

    // Set while a device is being stopped: the callbacks return at once.
    std::atomic<bool> ClosingInput{false};
    std::atomic<bool> ClosingOutput{false};
    // "Показать" is checked, or an automatic recording is in a state other than off: the finished buffers
    // are analysed.
    std::atomic<bool> Live{false};
    std::atomic<bool> AutoActive{false};
    // 0 right ("Правый"), 1 left ("Левый").
    std::atomic<int> Channel{0};

    // Playback has read the last bytes of the file.
    bool EndOfFile() const { return endOfFile_.load(std::memory_order_acquire); }
    // Playback has handed every byte of the file to the device: the empty buffer queued after the end
    // has come back.
    bool Drained() const { return drained_.load(std::memory_order_acquire); }
    // Device thread (the backend, once the device has played what it was handed after Drained): the end
    // of playback, for the window's thread to take with TakePlaybackEnded.
    void MarkPlaybackEnded() { playbackEnded_.store(true, std::memory_order_release); }
    // UI thread: true once after the end of playback was marked.
    bool TakePlaybackEnded() { return playbackEnded_.exchange(false, std::memory_order_acq_rel); }
    // Bytes handed to the device since the playback started.
    std::int64_t PlayedBytes() const { return playedBytes_.load(std::memory_order_acquire); }

    // The header used last (the one the next queued buffer goes after).
    int HeaderIndex() const { return headerIndex_; }
    std::int64_t RingByteOffset() const { return ringByteOffset_; }
    int QueuedCount() const { return queued_; }
    // Buffers finished since the start (device thread; for tests once the device has stopped).
    std::int64_t FinishedBuffers() const { return finished_; }

    struct Header {
        std::int64_t offset = 0; // where its bytes lie in SoundRing
        std::int32_t length = 0; // bytes in it
        std::int32_t done = 0;   // bytes recorded into it, or handed to the device
    };
    // The queued buffer at position `i` (0 the oldest).
    const Header& Queued(int i) const { return headers_[std::size_t((oldest_ + i) % slotCount())]; }

private:
    void resetState();
    int slotCount() const { return layout_.HeaderCount > 0 ? layout_.HeaderCount : 1; }
    // Queues a buffer of `length` bytes at the ring byte offset (in the slot after the header index) and
    // advances the offset.
    void queue(std::int32_t length);
    void captureBufferDone();
    void playbackBufferDone();
    // Reads the next piece of the file into the ring at the ring byte offset and queues it.
    void readAndQueue();
    void analyse();

    SoundRingState& ring_;
    CaptureLayout layout_;
    std::array<Header, CaptureLayout::MaxHeaders> headers_{};
    int headerIndex_ = 0;
    int oldest_ = 0;
    int queued_ = 0;
    std::int64_t ringByteOffset_ = 0;
    std::int64_t finished_ = 0;
    int refillsDue_ = 0;

    TWave* wave_ = nullptr;
    std::vector<unsigned char> scratch_;
    std::atomic<bool> endOfFile_{false};
    std::atomic<bool> drained_{false};
    std::atomic<bool> playbackEnded_{false};
    std::atomic<std::int64_t> playedBytes_{0};
};

} // namespace selva
