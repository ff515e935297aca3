#pragma once

#include "logger/LoggerProtocol.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace selva {

// Readings on their way from the serial reader thread to the window: a single-producer,
// single-consumer ring of fixed capacity. Nobody waits: a full ring drops the new reading and counts it.
//
// Threads: push and dropped() from the reader thread (the one producer); pop, available() and dropped()
// from the window's thread (the one consumer). reset() only while no reader thread runs.
class ReadingRing {
public:
    // `capacity` is rounded up to a power of two.
    explicit ReadingRing(std::size_t capacity = std::size_t{1} << 16);

    bool push(float reading);
    // Moves up to `max` readings into `out`, oldest first; returns how many.
    std::size_t pop(float* out, std::size_t max);
    std::size_t available() const;
    std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }
    std::size_t capacity() const { return mask_ + 1; }
    void reset();

private:
    std::unique_ptr<float[]> slots_;
    std::size_t mask_ = 0;
    // Positions count readings since the start and never wrap (64 bits); slot = position & mask_.
    std::atomic<std::uint64_t> head_{0}; // next position the producer writes
    std::atomic<std::uint64_t> tail_{0}; // next position the consumer reads
    std::atomic<std::uint64_t> dropped_{0};
};

// Everything that passes between the serial reader thread and the window (or the command-line tool):
// the readings, the status values the logger reports, the command byte for the logger, and how the
// reader ended. Every value has one writer.
//
// Threads:
// - reader thread: readings.push, apply(), takeCommand(), and the reader state (setRunning, fail,
//   finish);
// - window thread: readings.pop, the status loads, placeCommand(), pollCycle(), clearStatus() (only while
//   no reader runs), the reader state loads.
struct LoggerLink {
    enum class ReaderState : std::uint8_t {
        Idle,    // no reader thread
        Opening, // started, opening the port
        Running,
        Failed, // the port could not be opened, or was lost: see failure()
        Ended,  // stopped on request
    };

    ReadingRing readings;

    // Status flags (StatusBatteryConnected, ...), battery voltage and temperature as last reported.
    std::atomic<std::uint8_t> statusFlags{0};
    // Set on each battery line, cleared when the poll cycle asks for a new one.
    std::atomic<bool> batteryReported{false};
    std::atomic<float> batteryVoltage{0.0f}; // V
    std::atomic<float> temperature{0.0f};    // deg C

    // ---- reader thread
    // Stores what a decoded line reports. A reading that finds the ring full is dropped (counted there).
    void apply(const LoggerReport& report);
    // The command waiting to be sent, taken together with its pending mark. False when none is pending.
    bool takeCommand(unsigned char& command);
    void setRunning() { state_.store(ReaderState::Running, std::memory_order_release); }
    // The reader ends with a failure; the text is published before the state (release), so a window that
    // sees Failed (acquire) reads the whole text.
    void fail(const std::string& text);
    void finish() { state_.store(ReaderState::Ended, std::memory_order_release); }

    // ---- window thread
    // A button's command: replaces whatever waits, and is sent by the reader at its next turn.
    void placeCommand(unsigned char command);
    // The once-a-second poll: step values 0, 1, 0, 2, 0, 0, 0, 0, 0, 0; 0 asks for the status, 1 for the
    // temperature when the logger has a sensor, 2 for the battery (clearing the battery-report flag).
    // A step sets the pending mark in every case, so a step that asks nothing sends the byte that waits
    // (a zero byte once the last command has gone). The poll never replaces a command a button placed
    // and the reader has not sent yet: a fire or stop command is never lost to a status request.
    void pollCycle();
    int pollStep() const { return pollStep_; }
    // All status values to zero, the poll from its first step, the ring emptied, the state Idle.
    void clearStatus();
    ReaderState state() const { return state_.load(std::memory_order_acquire); }
    void setOpening() { state_.store(ReaderState::Opening, std::memory_order_release); }
    // Valid once state() returned Failed.
    const std::string& failure() const { return failure_; }

private:
    // The command byte in the low 8 bits, bit 8 its pending mark: one atomic word, so the reader takes the
    // byte and clears both at once (exchange) and the window never sees half a hand-over.
    static constexpr std::uint16_t Pending = 0x100;
    std::atomic<std::uint16_t> command_{0};
    std::atomic<ReaderState> state_{ReaderState::Idle};
    std::string failure_;
    int pollStep_ = 0; // window thread only
};

// The battery symbol's fill, 0x00BBGGRR: the voltage clamped to 4.0 ... 12.5 V; red below 7.0 V, green
// (0x008000) above 8.0 V, and between them a blend through yellow at 7.5 V.
std::uint32_t batteryFillColour(double volts);
// How full the battery symbol is drawn, 0 at 4.0 V to 1 at 12.5 V.
double batteryFillLevel(double volts);

} // namespace selva
