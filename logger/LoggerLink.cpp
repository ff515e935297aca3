#include "logger/LoggerLink.h"

#include "common/Format.h"

#include <algorithm>
#include <bit>

namespace selva {

ReadingRing::ReadingRing(std::size_t capacity)
{
    const std::size_t n = std::bit_ceil(std::max<std::size_t>(capacity, 2));
    slots_ = std::make_unique<float[]>(n);
    mask_ = n - 1;
}

bool ReadingRing::push(float reading)
{
    // Only this thread writes head_, so a relaxed load of it is exact. tail_ is acquired: the consumer
    // released it after reading the slots it frees, so overwriting them here cannot race with that read.
    const std::uint64_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) > mask_) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    slots_[head & mask_] = reading;
    // Release: the slot's value is visible to a consumer that acquires the new head.
    head_.store(head + 1, std::memory_order_release);
    return true;
}

std::size_t ReadingRing::pop(float* out, std::size_t max)
{
    // tail_ has this one writer (relaxed); head_ is acquired so the slots before it are complete.
    const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    const std::uint64_t head = head_.load(std::memory_order_acquire);
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(head - tail, max));
    for (std::size_t i = 0; i < n; ++i)
        out[i] = slots_[(tail + i) & mask_];
    // Release: the reads above happen before the producer may reuse these slots.
    tail_.store(tail + n, std::memory_order_release);
    return n;
}

std::size_t ReadingRing::available() const
{
    const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    return static_cast<std::size_t>(head_.load(std::memory_order_acquire) - tail);
}

void ReadingRing::reset()
{
    // No producer runs (see the class comment): plain stores would do; relaxed atomics say the same.
    head_.store(0, std::memory_order_relaxed);
    tail_.store(0, std::memory_order_relaxed);
    dropped_.store(0, std::memory_order_relaxed);
}

void LoggerLink::apply(const LoggerReport& report)
{
    // Each status value is a single word that only this thread writes; the window reads whichever value
    // was last stored, so relaxed suffices, except for the battery flag, released after the voltage so a
    // window that sees the flag (acquire) sees the voltage of that report.
    switch (report.kind) {
    case LoggerReport::Status:
        statusFlags.store(report.flags, std::memory_order_relaxed);
        break;
    case LoggerReport::Battery:
        batteryVoltage.store(report.value, std::memory_order_relaxed);
        batteryReported.store(true, std::memory_order_release);
        break;
    case LoggerReport::Temperature:
        temperature.store(report.value, std::memory_order_relaxed);
        break;
    case LoggerReport::Reading:
        readings.push(report.value);
        break;
    case LoggerReport::Ignored:
        break;
    }
}

bool LoggerLink::takeCommand(unsigned char& command)
{
    // exchange takes the byte and clears byte and mark in one step; acquire pairs with the window's
    // release so nothing placed is half seen.
    const std::uint16_t v = command_.exchange(0, std::memory_order_acquire);
    if ((v & Pending) == 0)
        return false;
    command = static_cast<unsigned char>(v & 0xFF);
    return true;
}

void LoggerLink::fail(const std::string& text)
{
    failure_ = text;
    state_.store(ReaderState::Failed, std::memory_order_release);
}

void LoggerLink::placeCommand(unsigned char command)
{
    command_.store(static_cast<std::uint16_t>(Pending | command), std::memory_order_release);
}

void LoggerLink::pollCycle()
{
    static constexpr int kSteps[10] = {0, 1, 0, 2, 0, 0, 0, 0, 0, 0};
    int ask = -1;
    switch (kSteps[pollStep_]) {
    case 0:
        ask = CmdStatus;
        break;
    case 1:
        if (statusFlags.load(std::memory_order_relaxed) & StatusTemperatureSensor)
            ask = CmdTemperature;
        break;
    case 2:
        ask = CmdBattery;
        batteryReported.store(false, std::memory_order_relaxed);
        break;
    default:
        break;
    }
    pollStep_ = (pollStep_ + 1) % 10;

    std::uint16_t expected = command_.load(std::memory_order_relaxed);
    for (;;) {
        std::uint16_t wanted = static_cast<std::uint16_t>(expected | Pending);
        if (ask >= 0 && (expected & Pending) == 0)
            wanted = static_cast<std::uint16_t>(Pending | ask);
        // A failed exchange reloads `expected` (the reader took the command meanwhile) and decides again.
        if (command_.compare_exchange_weak(expected, wanted, std::memory_order_release,
                                           std::memory_order_relaxed))
            return;
    }
}

void LoggerLink::clearStatus()
{
    statusFlags.store(0, std::memory_order_relaxed);
    batteryReported.store(false, std::memory_order_relaxed);
    batteryVoltage.store(0.0f, std::memory_order_relaxed);
    temperature.store(0.0f, std::memory_order_relaxed);
    command_.store(0, std::memory_order_relaxed);
    state_.store(ReaderState::Idle, std::memory_order_relaxed);
    failure_.clear();
    pollStep_ = 0;
    readings.reset();
}

std::uint32_t batteryFillColour(double volts)
{
    constexpr double kLow = 7.0, kHigh = 8.0, kMid = 7.5;
    const double v = std::clamp(volts, 4.0, 12.5);
    if (v < kLow)
        return 0x000000FF;
    if (v > kHigh)
        return 0x00008000;
    std::uint32_t red = 255, green = 255;
    if (v <= kMid)
        green = static_cast<std::uint32_t>(255 - roundHalfEven((kMid - v) * 255 / (kMid - kLow)));
    else
        red = static_cast<std::uint32_t>(roundHalfEven((kHigh - v) * 255 / (kHigh - kMid)));
    return red | (green << 8);
}

double batteryFillLevel(double volts)
{
    return (std::clamp(volts, 4.0, 12.5) - 4.0) / (12.5 - 4.0);
}

} // namespace selva
