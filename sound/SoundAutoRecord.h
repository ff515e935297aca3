#pragma once

#include "store/Records.h"

#include <cstdint>

namespace selva {

struct SoundRingState;

// The automatic recording of a firing from sound, driven once a second by the sound window's tmrSave (or
// the command-line tool's loop): it measures the rest line of the live frequency, waits until the
// frequency falls below it by the excess of the settings, and then tells its driver from which frame the
// sound is to be written (the last value still at or above the rest line, less a pre-roll); it ends when
// a second of values has come back near the rest line. It reads FreqRing and the positions of the rings
// that the device thread writes, through SoundRingState's consistent analysis mark; it writes nothing
// but its own fields. UI thread (or the tool's main thread) only.
//
// Values are counted without wrapping (the mark's `values`), so a tick that sees more than a ring of new
// values, or none, is never mistaken for the other.
class SoundAutoRecord {
public:
    // The states as the window pictures them (imgAS): 0 off, 1 measuring the rest line, 2 waiting for the
    // start, 4 recording until the end.
    enum State : std::uint8_t { Off = 0, Rest = 1, Waiting = 2, Recording = 4 };

    struct Event {
        enum Kind { None, RestLineMeasured, StartOfThrust, EndOfThrust } kind = None;
        double restLine = 0;
        // StartOfThrust: the frame the recording begins with (pre-roll included) and the frame of the
        // detected start, both monotonic frames of the ring.
        std::int64_t writeFrame = 0;
        std::int64_t startFrame = 0;
    };

    // Enters state 1 (the rest measurement starts at the next tick).
    void Start();
    // Enters state 0.
    void Stop();
    // One tick at `now` (seconds of a steady clock).
    Event Tick(double now, const SoundRingState& ring, const TAutoRecordBlock& thresholds);

    State state() const { return state_; }
    double restLine() const { return restLine_; }

    // How far behind the latest frame the pre-roll may reach, besides what the device is writing: the
    // recording writer needs a moment to copy it out. Seconds.
    static constexpr double WriterMargin = 0.4;

private:
    // Value number `q` (counted like the mark's values) as the ring holds it.
    float valueAt(const SoundRingState& ring, std::int64_t q) const;
    bool held(std::int64_t q) const;

    State state_ = Off;
    bool restStarted_ = false;
    double restStart_ = 0;
    double restLine_ = 0;
    // Next value to examine.
    std::int64_t scan_ = 0;
    // The mark of the current tick; values before validFrom_ went with a resize of FreqRing.
    std::int64_t validFrom_ = 0;
    std::int64_t markValues_ = 0;
    std::int32_t markIndex_ = 0;
    std::int32_t markLength_ = 0;
};

} // namespace selva
