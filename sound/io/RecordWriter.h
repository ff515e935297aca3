#pragma once

#include "sound/RingDrain.h"

#include <atomic>
#include <cstdint>
#include <thread>

namespace selva {

struct SoundRingState;
class TWave;

// The recording writer: a thread that appends what arrives in SoundRing to the recording's file a few
// times a second (RingDrain), so that neither a slow disk nor a busy window stalls capture.
//
// Threads: Start and Stop on the UI thread; the recording's TWave belongs to the writer thread from Start
// until Stop returns (the UI thread then closes it).
class RecordWriter {
public:
    ~RecordWriter();

    // Appends from monotonic frame `fromFrame` on.
    void Start(const SoundRingState& ring, TWave& wave, std::int64_t fromFrame);
    struct Result {
        bool ok = true;              // every byte reached the file
        std::int64_t lostFrames = 0; // frames the ring no longer held, written as silence
    };
    // Appends what has arrived up to now and ends the thread.
    Result Stop();
    bool Running() const { return thread_.joinable(); }
    // Frames appended so far (for a display).
    std::int64_t Position() const { return position_.load(std::memory_order_relaxed); }

private:
    void run(const SoundRingState& ring, TWave& wave);

    RingDrain drain_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> position_{0};
    bool ok_ = true;
};

} // namespace selva
