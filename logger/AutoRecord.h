#pragma once

#include "store/Records.h"

#include <cstdint>
#include <vector>

namespace selva {

// The latest readings, as many as the display window shows (window width / time step). Positions are
// absolute: the n-th reading ever pushed has position n - 1, so distances between positions need no
// wrapping and a position that has left the window is recognisably gone.
class ReadingWindow {
public:
    explicit ReadingWindow(std::int32_t length = 500);

    // A new length keeps the latest readings that fit (none are invented when it grows).
    void setLength(std::int32_t length);
    std::int32_t length() const { return static_cast<std::int32_t>(slots_.size()); }

    void push(float reading);
    // Readings pushed so far: the position the next one gets.
    std::int64_t count() const { return count_; }
    // First position still held (count() when none is).
    std::int64_t oldest() const { return count_ - held_; }
    // `position` must lie in [oldest(), count()).
    float at(std::int64_t position) const { return slots_[static_cast<std::size_t>(position % length())]; }
    void clear();

private:
    std::vector<float> slots_;
    std::int64_t count_ = 0;
    std::int64_t held_ = 0;
};

// The thresholds of automatic recording as reading counts: durations divided by the time step and rounded
// to the nearest integer, halves to even.
struct AutoRecordCounts {
    double excess = 5;         // E: distance from the rest line that marks the start
    double band = 5;           // R: distance within which the readings count as back at rest
    std::int64_t rest = 200;   // Td / h: readings averaged for the rest line
    std::int64_t end = 100;    // Tc / h: readings that must stay within R
    std::int64_t guard = 200;  // Tg / h: kept before the start, and recorded after the end
    std::int64_t refresh = 30; // display refresh period / h

    static AutoRecordCounts from(const TAutoRecordBlock& block, double step, double refresh);
};

// The six states of automatic recording.
enum class AutoState : std::uint8_t {
    Idle = 0,
    RestLine = 1,  // measuring the rest line
    WaitStart = 2, // waiting for the readings to leave it
    Started = 3,   // start found; recording for at least Tc
    WaitEnd = 4,   // waiting for Tc readings back within R
    Guard = 5,     // the guard interval after the end
};
// The state's text as the window shows it ("" for idle) and its picture number.
const char* autoStateText(AutoState state);
int autoStateImage(AutoState state);

// Automatic recording of a firing over the reading window, advanced once a display tick. The machine only
// decides; writing the readings is its owner's (LoggerRecorder).
class AutoRecordMachine {
public:
    // What a tick asks of the owner.
    struct Step {
        bool startRecording = false; // write the readings [writeFrom, last) now, then keep recording
        std::int64_t writeFrom = 0;
        bool finished = false; // the guard interval has passed: stop recording and write the file
    };

    AutoState state() const { return state_; }
    // Idle to measuring the rest line, counting from the newest reading of `window`.
    void start(const ReadingWindow& window);
    void reset() { state_ = AutoState::Idle; }

    // One display tick; `last` is the newest reading's position (readings before it have been seen by the
    // owner's recording step).
    Step tick(const ReadingWindow& window, std::int64_t last, const AutoRecordCounts& counts);

    float restLine() const { return restLine_; }
    std::int64_t startIndex() const { return start_; }
    std::int64_t triggerIndex() const { return trigger_; }
    std::int64_t endReference() const { return endReference_; }

private:
    void findEnd(const ReadingWindow& window, std::int64_t last, std::int64_t n,
                 const AutoRecordCounts& counts);

    AutoState state_ = AutoState::Idle;
    std::int64_t restStart_ = 0;
    std::int64_t scan_ = 0;
    std::int64_t lastWritten_ = 0;
    std::int64_t start_ = 0;
    std::int64_t trigger_ = 0;
    std::int64_t endReference_ = 0;
    std::int64_t guardLeft_ = 0;
    float restLine_ = 0;
};

} // namespace selva
