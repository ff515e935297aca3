#pragma once

#include <cstdint>
#include <vector>

namespace selva {

struct SoundRingState;
class TWave;

// Appends what arrives in SoundRing to a recording: from a chosen monotonic frame (the start of a manual
// recording, or the start of a firing less its pre-roll) up to the latest arrived frame, each time it is
// run. It runs on a thread of its own (the recording writer) or the UI thread, never on the device
// thread, so a slow disk never stalls capture; it only reads the ring.
//
// A writer that falls more than the ring behind cannot have the frames it missed: they are written as
// silence (the mid level), so the recording keeps its time base, and counted in LostFrames.
class RingDrain {
public:
    // The next frame to append is `fromFrame` (monotonic, see SoundRingState). Frames before it are never
    // written; a start older than what the ring holds begins with silence for the missing part.
    void Start(std::int64_t fromFrame);
    // Appends every frame that has arrived since the last run. False when the file refused bytes (the
    // recording is then incomplete; later runs go on trying).
    bool Drain(const SoundRingState& ring, TWave& wave);

    std::int64_t Position() const { return position_; }
    std::int64_t LostFrames() const { return lost_; }

private:
    bool append(TWave& wave, const unsigned char* bytes, std::size_t count);

    std::int64_t position_ = 0;
    std::int64_t lost_ = 0;
    std::vector<unsigned char> scratch_;
};

} // namespace selva
